#pragma once

#include <QString>

// Dotted version comparison: components compared as integers, a missing one as 0,
// one that is not an integer ("3-beta") also as 0.
namespace Semver {
// -1 when a < b, 0 when equal, 1 when a > b.
int compare(const QString &a, const QString &b);
} // namespace Semver
