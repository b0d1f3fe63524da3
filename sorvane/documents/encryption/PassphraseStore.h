#pragma once

#include <QString>

#include <optional>

class UserPresence;

// Passphrases of encrypted documents in the Secret Service: one item per file,
// service "dev.tolvern.sorvane.encryption", account = the file's path as the save
// panel gave it. A stored passphrase is handed out only after the user-presence
// check; the keyring's own lock applies on top.
class PassphraseStore
{
public:
    static constexpr const char *service = "dev.tolvern.sorvane.encryption";

    explicit PassphraseStore(UserPresence &presence);
    // The store of this process, checking through UserPresence::shared().
    static PassphraseStore shared();

    // Replaces any item for this account; true when the new item was added.
    bool store(const QString &passphrase, const QString &account) const;
    // The stored passphrase after the presence check; nothing when there is no
    // item, the check is refused, the keyring fails or the bytes are not UTF-8.
    std::optional<QString> read(const QString &account) const;
    // True when an item was removed.
    bool remove(const QString &account) const;

private:
    UserPresence *m_presence;
};
