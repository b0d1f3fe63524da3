#pragma once

#include "UserPresence.h"

// Asks for the login password through the passphrase prompt and checks it with
// PAM. Without a PAM file of its own the service falls back to the system's
// "other" policy, which on Debian is the common login stack.
class PamUserPresence : public UserPresence
{
public:
    static constexpr const char *defaultService = "sorvane";

    // An empty user means the user running this process.
    explicit PamUserPresence(QString service = QString::fromLatin1(defaultService), QString user = QString());

    bool confirm(const QString &reason) override;

    // Runs authentication and account checks for the user with this password.
    bool checkPassword(const QString &password) const;

    QString user() const { return m_user; }

private:
    QString m_service;
    QString m_user;
};
