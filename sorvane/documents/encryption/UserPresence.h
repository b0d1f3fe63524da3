#pragma once

#include <QString>

// Confirms that the signed-in user is at the keyboard before a stored passphrase
// is handed out. The desktop build asks for the login password (PamUserPresence);
// tests install a double.
class UserPresence
{
public:
    virtual ~UserPresence();

    // True when the user confirmed; `reason` says what is being unlocked.
    virtual bool confirm(const QString &reason) = 0;

    // The check of this process: PAM unless one was installed.
    static UserPresence &shared();
    // Installs a check (not owned); nullptr restores PAM.
    static void setShared(UserPresence *presence);
};
