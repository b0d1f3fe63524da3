#pragma once

#include "ServerPandocFormat.h"

#include <QObject>
#include <QPointer>

#include <functional>

class DocumentManager;
class QNetworkAccessManager;

// The Export Document commands: the selected tab through the export service, then a
// save panel, then the converted file written over the chosen one all at once (a
// failed or cancelled write leaves an existing file as it was). Failures show the
// export alert; a missing or refused sign-in also opens the sign-in, once the
// account work provides it. Holds the manager weakly.
class ServerExportCommands : public QObject
{
    Q_OBJECT

public:
    explicit ServerExportCommands(DocumentManager &manager, QObject *parent = nullptr);
    ~ServerExportCommands() override;

    // Returns at once; exportFinished follows.
    void exportViaServerCurrentDocument(ServerPandocFormat format);

    // Runs after the alert of an export that needs a sign-in; none until the
    // account work sets it.
    using SignInHook = std::function<void()>;
    static void setSignInHook(SignInHook hook);

Q_SIGNALS:
    // The export ended: written, cancelled, failed or with nothing to export.
    void exportFinished(bool written);

private:
    void showExportError(const QString &description);
    // Asks where to put the temporary file, then writes it there.
    bool saveResult(const QString &temporaryFile, const QString &displayName, ServerPandocFormat format);

    QPointer<DocumentManager> m_manager;
    QNetworkAccessManager *m_network;
};
