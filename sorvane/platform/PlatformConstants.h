#pragma once

// Values sent to the maker's services that name this platform.
namespace PlatformConstants {
inline constexpr const char *platform = "linux"; // telemetry "platform"
// How updates reach this build: the user installs the verified download.
inline constexpr const char *installChannel = "direct"; // "install_channel" of "app_updated"
inline constexpr const char *osName = "Linux";            // analytics "$os"
// Names this client to the services: analytics, and diagnostic reports ("client_kind",
// "platform", the file name).
inline constexpr const char *clientName = "sorvane-linux";
// The maker's web site: help, contact, privacy and terms pages live under it.
inline constexpr const char *website = "https://tolvern.dev";
} // namespace PlatformConstants
