#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <exception>

// Why a document could not be read or written. Thrown by TabDocument and caught by
// DocumentManager, which shows the description in an alert.
class DocumentAccessError : public std::exception
{
public:
    enum class Kind { invalidBookmark, openFailed, fileChangedOnDisk, writeFailed };

    static DocumentAccessError invalidBookmark(const QUrl &url);
    static DocumentAccessError openFailed(const QUrl &url);
    static DocumentAccessError fileChangedOnDisk(const QUrl &url);
    // reason: the system's own error text.
    static DocumentAccessError writeFailed(const QUrl &url, const QString &reason);

    Kind kind() const { return m_kind; }
    QUrl url() const { return m_url; }
    QString reason() const { return m_reason; }
    // The text shown to the user.
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    DocumentAccessError(Kind kind, const QUrl &url, const QString &reason);

    Kind m_kind;
    QUrl m_url;
    QString m_reason;
    QString m_description;
    QByteArray m_what;
};
