#pragma once

// Values sent to the maker's services that name this platform.
namespace PlatformConstants {
inline constexpr const char *platform = "linux"; // telemetry "platform"
// The maker's web site: help, contact, privacy and terms pages live under it.
inline constexpr const char *website = "https://tolvern.dev";
} // namespace PlatformConstants
