#pragma once

#include "EncryptedDocumentFlow.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DocumentManager;

// The encrypted-document commands on the document manager's tabs: Encrypt Document
// writes the selected tab to a passphrase-encrypted file (the tab stays as it is);
// Decrypt Open File opens one as a new clean, untitled tab that never reaches the
// session file or the recovery folder. Made on a manager, it also takes the encrypted
// files the manager is asked to open as text (a recent file, the command line). The
// shell makes one for the menus.
class DocumentEncryptionCommands : public QObject
{
    Q_OBJECT

public:
    explicit DocumentEncryptionCommands(DocumentManager &manager, QObject *parent = nullptr);

    void encryptCurrentDocument();
    // Asks for an encrypted file, then as openEncryptedFileAt.
    void openEncryptedFile();
    // The same after the open panel (the command line and tests use it).
    void openEncryptedFileAt(const QString &path);

private:
    static EncryptedDocumentFlow::Hooks hooks(const QPointer<DocumentManager> &manager);

    QPointer<DocumentManager> m_manager;
};
