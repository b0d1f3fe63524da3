#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Which local files a preview page may load. Anything inside the document's
// folder is served; outside it only pictures are, and a picture is known by its
// first bytes, never by its name, so a page cannot read a text file called
// "x.png" from elsewhere.
class PreviewFileAccess
{
public:
    struct Served
    {
        QString path;         // canonical
        QByteArray mimeType;
    };

    // The file behind an absolute request path, or none. folder is the
    // canonical document folder; empty for an untitled document.
    static std::optional<Served> resolve(const QString &folder, const QString &requestPath);

    // The picture type the bytes start with; empty for anything else.
    static QByteArray imageType(const QByteArray &head);
};
