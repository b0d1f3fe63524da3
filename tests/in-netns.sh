#!/usr/bin/env bash
# Runs a test program in a fresh network namespace of its own: only `lo` and one veth
# pair with an address, no default route, GLib's netlink monitor instead of whatever
# the host runs. The program may then add and remove routes without touching the host.
#   tests/in-netns.sh PROGRAM [ARGS...]
# As root the namespace comes from `unshare -n` (or `-rn` where that is refused), as
# an ordinary user from `unshare -rn`. When none can be made the run is skipped with
# exit code 77 (the test's SKIP_RETURN_CODE), saying why.
set -euo pipefail
skip_code=77
skip() {
  echo "in-netns: SKIPPED: $*" >&2
  exit "$skip_code"
}
# ip lives in sbin, which an ordinary user's PATH may lack.
export PATH="$PATH:/usr/sbin:/sbin"

if [ "${1:-}" != "--inside" ]; then
  command -v unshare >/dev/null || skip "unshare (util-linux) is not installed"
  command -v ip >/dev/null || skip "ip (iproute2) is not installed"
  host_ns="$(readlink /proc/self/ns/net)"
  attempts=(-rn)
  [ "$(id -u)" -ne 0 ] || attempts=(-n -rn)
  for flags in "${attempts[@]}"; do
    if why="$(unshare "$flags" true 2>&1)"; then
      exec unshare "$flags" "$0" --inside "$host_ns" "$@"
    fi
  done
  skip "this user may not create a network namespace (unshare ${attempts[*]}: ${why:-refused})"
fi
shift
# Never set up links and routes in the namespace we were started from.
export SORVANE_NETNS_HOST="$1"
shift
[ "$(readlink /proc/self/ns/net)" != "$SORVANE_NETNS_HOST" ] \
  || { echo "in-netns: still in the starting network namespace; refusing to go on" >&2; exit 1; }

# Inside the namespace: the link the test routes through, up on both ends so it has a
# carrier, with an address whose subnet holds the gateway the test names.
SORVANE_NETNS_DEVICE=sorv0
ip link set lo up
ip link add "$SORVANE_NETNS_DEVICE" type veth peer name "${SORVANE_NETNS_DEVICE}p" 2>/dev/null \
  || skip "cannot create a veth pair in the namespace (no veth support in this kernel?)"
ip address add 10.200.0.1/24 dev "$SORVANE_NETNS_DEVICE"
ip link set "$SORVANE_NETNS_DEVICE" up
ip link set "${SORVANE_NETNS_DEVICE}p" up
export SORVANE_NETNS_DEVICE SORVANE_NETNS_GATEWAY=10.200.0.2
# The namespace has no NetworkManager; the host's on the system bus must not answer.
export GIO_USE_NETWORK_MONITOR=netlink
exec "$@"
