#pragma once

#include <QString>

// Paths as the floating panels show them: the home folder written "~".
class HomePath
{
public:
    // `path` with `home` replaced by "~" when home is its leading component, so with
    // home "/home/al" the folder "/home/alice/notes" stays as it is. A home of "/" or
    // "" abbreviates nothing.
    static QString abbreviated(const QString &path, const QString &home);
};
