#pragma once

#include <QString>

// Paths as the navigators show them: the home folder written as "~".
namespace HomePath {

// path with home replaced by "~" when home is its leading component ("/home/al/notes"
// reads "~/notes"; "/home/alice/notes" stays as it is under the home "/home/al").
// A trailing "/" on home does not matter; an empty home changes nothing.
QString abbreviated(const QString &path, const QString &home);
// The same with the user's home folder.
QString abbreviated(const QString &path);

} // namespace HomePath
