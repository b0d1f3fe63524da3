#pragma once

// Values sent to the maker's services that name this platform.
namespace PlatformConstants {
inline constexpr const char *platform = "linux"; // telemetry "platform"
} // namespace PlatformConstants
