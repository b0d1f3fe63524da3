#include "DocumentEncryptionCommands.h"

#include "EncryptionService.h"

#include "documents/DocumentAccessError.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <memory>

DocumentEncryptionCommands::DocumentEncryptionCommands(DocumentManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(&manager)
{
    // Holds only the manager: the handler outlives these commands.
    manager.setEncryptedFileHandler([weak = QPointer<DocumentManager>(&manager)](const QString &path) {
        QFile file(path);
        // The envelope's magic is enough to tell; the rest is read by the flow. Only a
        // regular file can hold one: opening a FIFO would wait for a writer for ever.
        if (!weak || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)
            || !EncryptionService::isEncrypted(file.read(4)))
            return false;
        EncryptedDocumentFlow::openEncryptedFileAt(path, hooks(weak));
        return true;
    });
}

EncryptedDocumentFlow::Hooks DocumentEncryptionCommands::hooks(const QPointer<DocumentManager> &manager)
{
    EncryptedDocumentFlow::Hooks hooks;
    hooks.showSaveError = [manager](const QString &description) {
        if (manager)
            manager->showSaveError(description);
    };
    hooks.showOpenFailed = [manager](const QString &path) {
        if (manager)
            manager->showReadError(DocumentAccessError::openFailed(QUrl::fromLocalFile(path)));
    };
    hooks.noteRecentDocument = [manager](const QString &path) {
        if (manager)
            manager->noteRecentDocument(QUrl::fromLocalFile(path));
    };
    hooks.presentDecryptedDocument = [manager](const QString &text, const QString &) {
        if (!manager)
            return;
        // Never linked to the encrypted file: saving asks for a new place.
        auto document = std::make_unique<TabDocument>(QUuid::createUuid(), QUrl(), QByteArray(), text, text, false,
                                                      QDateTime());
        document->setIsSensitive(true);
        manager->addDocument(std::move(document));
    };
    return hooks;
}

void DocumentEncryptionCommands::encryptCurrentDocument()
{
    TabDocument *document = m_manager ? m_manager->selectedDocument() : nullptr;
    if (!document)
        return;
    const QString folder =
        document->fileURL().isEmpty() ? QString() : QFileInfo(document->fileURL().toLocalFile()).absolutePath();
    EncryptedDocumentFlow::encryptDocument(document->title(), document->text(), document->baseName(),
                                           hooks(m_manager), folder);
}

void DocumentEncryptionCommands::openEncryptedFile()
{
    EncryptedDocumentFlow::openEncryptedFile(hooks(m_manager));
}

void DocumentEncryptionCommands::openEncryptedFileAt(const QString &path)
{
    EncryptedDocumentFlow::openEncryptedFileAt(path, hooks(m_manager));
}
