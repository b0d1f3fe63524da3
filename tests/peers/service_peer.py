#!/usr/bin/env python3
"""Stand-in for the maker's diagnostics and analytics services on 127.0.0.1.

Prints "port <n>" on its first line of output, then serves until stdin closes or it
is killed. Replies are scripted per route through POST /_peer/script; every other
request is logged and can be read back through GET /_peer/log, with multipart
bodies split by Python's own `email` parser and zip attachments checked by
`zipfile`, so the tests read what the app sent with readers independent of it.
"""

import base64
import email.parser
import email.policy
import io
import json
import sys
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

_lock = threading.Lock()
_scripts = {}  # route -> list of replies still to give
_log = []
_stop = threading.Event()
_next_code = [1]


def _check_batch(payload):
    """What the capture endpoint requires of a batch; a list of problems."""
    problems = []
    if not isinstance(payload, dict):
        return ["body is not a JSON object"]
    if not isinstance(payload.get("api_key"), str) or not payload.get("api_key"):
        problems.append("missing api_key")
    batch = payload.get("batch")
    if not isinstance(batch, list) or not batch:
        problems.append("missing batch")
        return problems
    for index, item in enumerate(batch):
        if not isinstance(item, dict):
            problems.append("batch[%d] is not an object" % index)
            continue
        for key, kind in (("event", str), ("distinct_id", str), ("properties", dict), ("timestamp", str)):
            if not isinstance(item.get(key), kind):
                problems.append("batch[%d] lacks %s" % (index, key))
    return problems


def _default_reply(method, path, parsed_json):
    if path == "/diagnostics" and method == "POST":
        with _lock:
            code = "PEER%d" % _next_code[0]
            _next_code[0] += 1
        return {"status": 200, "body": json.dumps({"short_code": code})}
    if path == "/health":
        return {"status": 200, "body": ""}
    if path == "/api/app-events" and method == "POST":
        return {"status": 200, "body": "{}"}
    if path == "/batch" and method == "POST":
        problems = _check_batch(parsed_json)
        if problems:
            return {"status": 400, "body": json.dumps({"error": "; ".join(problems)})}
        return {"status": 200, "body": json.dumps({"status": 1})}
    return {"status": 404, "body": json.dumps({"error": "not found"})}


def _parse_multipart(content_type, body):
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
    if not message.is_multipart():
        return None, "multipart body did not parse"
    parts = []
    for part in message.iter_parts():
        payload = part.get_payload(decode=True) or b""
        entry = {
            "name": part.get_param("name", header="content-disposition"),
            "filename": part.get_filename(),
            "content_type": part.get_content_type(),
            "headers": {k.lower(): str(v) for k, v in part.items()},
            "body_b64": base64.b64encode(payload).decode("ascii"),
        }
        if payload[:2] == b"PK":
            entry["zip"] = _check_zip(payload)
        parts.append(entry)
    return parts, None


def _check_zip(data):
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            bad = archive.testzip()
            members = {info.filename: base64.b64encode(archive.read(info)).decode("ascii")
                       for info in archive.infolist()}
            return {"ok": bad is None, "names": [i.filename for i in archive.infolist()], "members": members}
    except (zipfile.BadZipFile, ValueError, EOFError) as error:
        return {"ok": False, "error": str(error), "names": [], "members": {}}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _send(self, status, body, headers=None):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        if not any(name.lower() == "content-type" for name in (headers or {})):
            self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def _control(self, path, body):
        global _log
        if path == "/_peer/script":
            request = json.loads(body or b"{}")
            with _lock:
                _scripts.setdefault(request["route"], []).extend(request.get("replies", []))
            self._send(200, "{}")
        elif path == "/_peer/log":
            with _lock:
                snapshot = list(_log)
            self._send(200, json.dumps(snapshot))
        elif path == "/_peer/reset":
            with _lock:
                _scripts.clear()
                _log = []
            self._send(200, "{}")
        else:
            self._send(404, "{}")

    def _handle(self):
        path, _, query = self.path.partition("?")
        body = self._read_body()
        if path.startswith("/_peer/"):
            self._control(path, body)
            return
        entry = {
            "method": self.command,
            "path": path,
            "query": query,
            "headers": {k.lower(): v for k, v in self.headers.items()},
            "body_b64": base64.b64encode(body).decode("ascii"),
            "errors": [],
        }
        parsed_json = None
        content_type = self.headers.get("Content-Type", "")
        if content_type.startswith("multipart/"):
            parts, error = _parse_multipart(content_type, body)
            entry["multipart"] = parts or []
            if error:
                entry["errors"].append(error)
        elif body:
            try:
                parsed_json = json.loads(body)
                entry["json"] = parsed_json
            except ValueError:
                pass
        with _lock:
            queue = _scripts.get(path)
            reply = queue.pop(0) if queue else None
        if reply is None:
            reply = _default_reply(self.command, path, parsed_json)
        if path == "/batch" and parsed_json is not None:
            entry["errors"].extend(_check_batch(parsed_json))
        with _lock:
            _log.append(entry)
        if reply.get("delay"):
            time.sleep(float(reply["delay"]))
        if reply.get("silence"):
            _stop.wait()
            self.close_connection = True
            return
        if reply.get("close"):
            self.close_connection = True
            return
        self._send(int(reply.get("status", 200)), reply.get("body", ""), reply.get("headers"))

    do_GET = _handle
    do_POST = _handle
    do_PUT = _handle
    do_DELETE = _handle
    do_HEAD = _handle


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("port %d" % server.server_address[1], flush=True)
    # The test ends the peer by closing stdin or killing it.
    sys.stdin.read()
    _stop.set()
    server.shutdown()


if __name__ == "__main__":
    main()
