#include "EncryptedDocumentFlow.h"

#include "platform/AtomicFile.h"

#include "EncryptionService.h"
#include "PassphraseStore.h"
#include "platform/AlertPresenter.h"
#include "platform/PassphrasePrompt.h"

#include <QFile>
#include <QFileInfo>

namespace {
void inform(const QString &message, const QString &informative,
            AlertRequest::Style style = AlertRequest::Style::Informational)
{
    AlertPresenter::shared().runModal({message, informative, {QStringLiteral("OK")}, style, {}});
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}
} // namespace

std::optional<QString> EncryptedDocumentFlow::promptForPassphrase(const QString &messageText,
                                                                  const QString &informativeText, bool confirming)
{
    PassphraseRequest request;
    request.messageText = messageText;
    request.informativeText = informativeText;
    request.confirming = confirming;
    // Asked again until both entries agree or the user gives up.
    for (;;) {
        const auto answer = PassphrasePrompt::shared().ask(request);
        if (!answer)
            return std::nullopt;
        if (confirming && answer->confirmation != answer->passphrase) {
            inform(QStringLiteral("Passphrases don't match"), QString());
            continue;
        }
        if (answer->passphrase.isEmpty())
            return std::nullopt;
        return answer->passphrase;
    }
}

void EncryptedDocumentFlow::encryptDocument(const QString &title, const QString &text, const QString &baseName,
                                            const Hooks &hooks, const QString &directory)
{
    const auto passphrase =
        promptForPassphrase(QStringLiteral("Encrypt \"") + title + QLatin1Char('"'),
                            QStringLiteral("Choose a passphrase. Without it, this file cannot be recovered."), true);
    if (!passphrase)
        return;

    FilePanelRequest panel;
    panel.suggestedName = baseName + QStringLiteral(".md.enc");
    panel.defaultSuffix = QStringLiteral("md.enc");
    panel.directory = directory;
    const auto path = AlertPresenter::shared().chooseSaveFile(panel);
    if (!path || path->isEmpty())
        return;

    EncryptionError error;
    const auto data = EncryptionService::encrypt(text, *passphrase, &error);
    if (!data) {
        hooks.showSaveError(error.localizedDescription());
        return;
    }
    QString writeError;
    if (!writeEncryptedFile(*path, *data, &writeError)) {
        hooks.showSaveError(writeError);
        return;
    }

    const int answer = AlertPresenter::shared().runModal(
        {QStringLiteral("Save passphrase to Keychain?"),
         QStringLiteral("Opening this file later will authenticate via your login password instead of "
                        "re-typing the passphrase."),
         {QStringLiteral("Save in Keyring"), QStringLiteral("Don't save")},
         AlertRequest::Style::Informational,
         {}});
    // A keyring that refuses the item changes nothing: the file is written.
    if (answer == 0)
        PassphraseStore::shared().store(*passphrase, *path);

    inform(QStringLiteral("Encrypted"),
           fileName(*path)
               + QStringLiteral(" has been written. The plaintext document is still open — save or close it "
                                "separately."));
    hooks.noteRecentDocument(*path);
}

void EncryptedDocumentFlow::openEncryptedFile(const Hooks &hooks)
{
    FilePanelRequest panel;
    panel.multipleSelection = false;
    AlertPresenter::shared().chooseOpenFiles(panel, [hooks](const QStringList &paths) {
        if (!paths.isEmpty() && !paths.constFirst().isEmpty())
            openEncryptedFileAt(paths.constFirst(), hooks);
    });
}

void EncryptedDocumentFlow::openEncryptedFileAt(const QString &path, const Hooks &hooks)
{
    const auto data = readEncryptedFile(path);
    if (!data) {
        hooks.showOpenFailed(path);
        return;
    }
    if (!EncryptionService::isEncrypted(*data)) {
        inform(QStringLiteral("Not an encrypted sorv.ane file"),
               fileName(path) + QStringLiteral(" does not have a sorv.ane encrypted envelope."));
        return;
    }

    // A stored passphrase that no longer fits falls back to asking.
    if (const auto stored = PassphraseStore::shared().read(path)) {
        if (const auto text = EncryptionService::decrypt(*data, *stored)) {
            hooks.presentDecryptedDocument(*text, path);
            return;
        }
    }

    const auto passphrase = promptForPassphrase(QStringLiteral("Decrypt ") + fileName(path),
                                                QStringLiteral("Enter the passphrase for this document."), false);
    if (!passphrase)
        return;
    EncryptionError error;
    const auto text = EncryptionService::decrypt(*data, *passphrase, &error);
    if (!text) {
        inform(QStringLiteral("Could not decrypt"), error.localizedDescription(), AlertRequest::Style::Critical);
        return;
    }
    hooks.presentDecryptedDocument(*text, path);
}

bool EncryptedDocumentFlow::writeEncryptedFile(const QString &path, const QByteArray &data, QString *errorText)
{
    return AtomicFile::write(path, data, errorText);
}

std::optional<QByteArray> EncryptedDocumentFlow::readEncryptedFile(const QString &path, QString *errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (errorText)
            *errorText = file.errorString();
        return std::nullopt;
    }
    return data;
}
