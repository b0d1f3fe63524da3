#pragma once

// Values sent to the maker's services that name this platform.
namespace PlatformConstants {
inline constexpr const char *platform = "linux";      // telemetry "platform"
inline constexpr const char *osFamily = "linux";      // report "os"
inline constexpr const char *osName = "Linux";        // human-readable OS name
inline constexpr const char *clientName = "sorvane-linux";
inline constexpr const char *distribution = "direct"; // how the app was installed/updated
} // namespace PlatformConstants
