#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Why a document could not be read or written. TabDocument answers it; DocumentManager
// shows the description in an alert.
class DocumentAccessError
{
public:
    enum class Kind { invalidBookmark, openFailed, tooLarge, fileChangedOnDisk, writeFailed };

    static DocumentAccessError invalidBookmark(const QUrl &url);
    static DocumentAccessError openFailed(const QUrl &url);
    // A regular file bigger than the editor opens (maxBytes).
    static DocumentAccessError tooLarge(const QUrl &url, qint64 maxBytes);
    static DocumentAccessError fileChangedOnDisk(const QUrl &url);
    // reason: the system's own error text.
    static DocumentAccessError writeFailed(const QUrl &url, const QString &reason);

    Kind kind() const { return m_kind; }
    QUrl url() const { return m_url; }
    // The text shown to the user.
    QString description() const { return m_description; }

private:
    DocumentAccessError(Kind kind, const QUrl &url, const QString &reason);

    Kind m_kind;
    QUrl m_url;
    QString m_description;
};
