#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A remembered file: its absolute path plus the device and inode it named when the
// bookmark was made. Resolving gives the path back and says whether it is stale
// (the path is gone or now names another file).
class Bookmark
{
public:
    struct Resolution {
        QString path;
        bool stale = false;
    };

    // Fails when the file cannot be examined (for example it does not exist).
    static std::optional<QByteArray> create(const QString &path);
    // Fails when the data is not a bookmark.
    static std::optional<Resolution> resolve(const QByteArray &data);
};
