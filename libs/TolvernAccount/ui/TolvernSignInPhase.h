#pragma once

#include <QString>

// What the sign-in screen shows, set by its host: an error after a failed attempt,
// ready, busy while a sign-in runs, or offline. Equal when the same case with the
// same message.
class TolvernSignInPhase
{
public:
    enum class Kind { error, ready, busy, offline };

    static TolvernSignInPhase error(const QString &message) { return TolvernSignInPhase(Kind::error, message); }
    static TolvernSignInPhase ready() { return TolvernSignInPhase(Kind::ready); }
    static TolvernSignInPhase busy() { return TolvernSignInPhase(Kind::busy); }
    static TolvernSignInPhase offline() { return TolvernSignInPhase(Kind::offline); }

    Kind kind() const { return m_kind; }
    // Meaningful for error only.
    QString message() const { return m_message; }

    bool operator==(const TolvernSignInPhase &other) const;
    bool operator!=(const TolvernSignInPhase &other) const { return !(*this == other); }

private:
    explicit TolvernSignInPhase(Kind kind, const QString &message = QString()) : m_kind(kind), m_message(message) {}

    Kind m_kind;
    QString m_message;
};

// For QCOMPARE.
char *toString(const TolvernSignInPhase &phase);
