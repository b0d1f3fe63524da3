#pragma once

#include <QString>

// The library's own version.
namespace TolvernAccountLibrary {
inline constexpr char libVersion[] = "0.9.2";
// "TolvernAccount/0.9.2 (" + host + ")", always with the fixed version.
QString versionLine(const QString &host);
} // namespace TolvernAccountLibrary
