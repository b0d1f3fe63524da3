#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// The two encrypted-document commands with their prompts, panels and alerts,
// written against what the document manager supplies: the tab's title, text and
// base name, and the hooks below. Questions go through AlertPresenter and
// PassphrasePrompt, stored passphrases through PassphraseStore::shared().
class EncryptedDocumentFlow
{
public:
    struct Hooks {
        // "Could not save file" with this description (and the save-failure note).
        std::function<void(const QString &description)> showSaveError;
        // "Could not open file" with the open-failed text for this path.
        std::function<void(const QString &path)> showOpenFailed;
        std::function<void(const QString &path)> noteRecentDocument;
        // A new, clean, untitled and selected tab holding the text; never linked to
        // the encrypted file, and kept out of the session file and recovery folder.
        std::function<void(const QString &text, const QString &sourcePath)> presentDecryptedDocument;
    };

    // Asks for a passphrase (twice when confirming, again after a mismatch); nothing
    // when cancelled or empty.
    static std::optional<QString> promptForPassphrase(const QString &messageText, const QString &informativeText,
                                                      bool confirming);

    // Encrypts `text` to a file the user names (suggested: baseName + ".md.enc"), the
    // panel opening in `directory` (the tab's folder; empty for the last one used).
    // The tab itself is left as it is.
    static void encryptDocument(const QString &title, const QString &text, const QString &baseName,
                                const Hooks &hooks, const QString &directory = QString());
    // Shows the open panel, then continues with openEncryptedFileAt.
    static void openEncryptedFile(const Hooks &hooks);
    static void openEncryptedFileAt(const QString &path, const Hooks &hooks);

    // Replaces the file atomically; on failure nothing at `path` changes.
    static bool writeEncryptedFile(const QString &path, const QByteArray &data, QString *errorText = nullptr);
    static std::optional<QByteArray> readEncryptedFile(const QString &path, QString *errorText = nullptr);

    EncryptedDocumentFlow() = delete;
};
