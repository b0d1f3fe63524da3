#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>

// A reply or stored record that does not decode. Raised by the library's JSON
// reader; callers turn it into their own outcome (absent value, malformed reply).
class TolvernDecodingError : public std::exception
{
public:
    enum class Kind { keyNotFound, typeMismatch, dataCorrupted };

    TolvernDecodingError(Kind kind, QStringList codingPath, QString debugDescription);

    Kind kind() const { return m_kind; }
    // Keys and array indexes from the top down to the failing value (for a missing
    // key, the key itself is last).
    const QStringList &codingPath() const { return m_codingPath; }
    const QString &debugDescription() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QStringList m_codingPath;
    QString m_description;
    QByteArray m_what;
};
