#pragma once

// Values sent to the maker's services that name this platform.
namespace PlatformConstants {
inline constexpr const char *platform = "linux"; // telemetry "platform"
// How updates reach this build: the user installs the verified download.
inline constexpr const char *installChannel = "direct"; // "install_channel" of "app_updated"
inline constexpr const char *osName = "Linux";            // analytics "$os"
inline constexpr const char *clientName = "sorvane-linux"; // the client library name the services see
// The maker's web site: help, contact, privacy and terms pages live under it.
inline constexpr const char *website = "https://tolvern.dev";
} // namespace PlatformConstants
