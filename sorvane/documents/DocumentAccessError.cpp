#include "DocumentAccessError.h"

#include <QFileInfo>

namespace {

QString quotedName(const QUrl &url)
{
    const QString name = url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.fileName();
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString describe(DocumentAccessError::Kind kind, const QUrl &url, const QString &reason)
{
    using Kind = DocumentAccessError::Kind;
    switch (kind) {
    case Kind::invalidBookmark:
        return QStringLiteral("sorv.ane no longer has permission to access ") + quotedName(url)
               + QStringLiteral(". Re-open the file or use Save As.");
    case Kind::openFailed:
        return QStringLiteral("sorv.ane could not open ") + quotedName(url)
               + QStringLiteral(". The file may be missing, unreadable, or not UTF-8 text.");
    case Kind::tooLarge:
        return QStringLiteral("sorv.ane could not open ") + quotedName(url)
               + QStringLiteral(": the file is larger than %1, more than the editor can work with.").arg(reason);
    case Kind::fileChangedOnDisk:
        return quotedName(url)
               + QStringLiteral(" changed on disk since it was opened. Reopen or revert before saving "
                                "to avoid overwriting newer content.");
    case Kind::writeFailed: {
        QString text = reason.trimmed();
        while (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        if (text.isEmpty())
            text = QStringLiteral("the file could not be written");
        return QStringLiteral("sorv.ane could not save ") + quotedName(url) + QStringLiteral(": ") + text
               + QLatin1Char('.');
    }
    }
    return {};
}

} // namespace

DocumentAccessError::DocumentAccessError(Kind kind, const QUrl &url, const QString &reason)
    : m_kind(kind)
    , m_url(url)
    , m_description(describe(kind, url, reason))
{
}

DocumentAccessError DocumentAccessError::invalidBookmark(const QUrl &url)
{
    return DocumentAccessError(Kind::invalidBookmark, url, {});
}

DocumentAccessError DocumentAccessError::openFailed(const QUrl &url)
{
    return DocumentAccessError(Kind::openFailed, url, {});
}

DocumentAccessError DocumentAccessError::tooLarge(const QUrl &url, qint64 maxBytes)
{
    return DocumentAccessError(Kind::tooLarge, url, QStringLiteral("%1 MB").arg(maxBytes / (1024 * 1024)));
}

DocumentAccessError DocumentAccessError::fileChangedOnDisk(const QUrl &url)
{
    return DocumentAccessError(Kind::fileChangedOnDisk, url, {});
}

DocumentAccessError DocumentAccessError::writeFailed(const QUrl &url, const QString &reason)
{
    return DocumentAccessError(Kind::writeFailed, url, reason);
}
