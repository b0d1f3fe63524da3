#include "ServerExportCommands.h"

#include "ServerPandocExporter.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/AlertPresenter.h"
#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTimer>

namespace {

ServerExportCommands::SignInHook &signInHook()
{
    static ServerExportCommands::SignInHook hook;
    return hook;
}

} // namespace

ServerExportCommands::ServerExportCommands(DocumentManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(&manager)
    , m_network(new QNetworkAccessManager(this))
{
}

ServerExportCommands::~ServerExportCommands() = default;

void ServerExportCommands::setSignInHook(SignInHook hook)
{
    signInHook() = std::move(hook);
}

void ServerExportCommands::exportViaServerCurrentDocument(ServerPandocFormat format)
{
    TabDocument *document = m_manager ? m_manager->selectedDocument() : nullptr;
    if (!document) {
        QTimer::singleShot(0, this, [this] { Q_EMIT exportFinished(false); });
        return;
    }
    const QString displayName = document->baseName();
    ServerPandocExporter::exportDocument(
        document->text(), format, displayName, *m_network, this,
        [this, displayName, format](const ServerPandocExporter::Result &result) {
            if (result.error) {
                showExportError(result.error->description());
                if (result.error->kind == ServerPandocExporter::Error::Kind::NotSignedIn && signInHook())
                    signInHook()();
                Q_EMIT exportFinished(false);
                return;
            }
            Q_EMIT exportFinished(saveResult(result.file, displayName, format));
        });
}

bool ServerExportCommands::saveResult(const QString &temporaryFile, const QString &displayName,
                                      ServerPandocFormat format)
{
    FilePanelRequest panel;
    panel.suggestedName = displayName + QLatin1Char('.') + format.fileExtension();
    const std::optional<QString> chosen = AlertPresenter::shared().chooseSaveFile(panel);
    // The temporary file stays; the next export of that name replaces it.
    if (!chosen || chosen->isEmpty())
        return false;
    QFile source(temporaryFile);
    if (!source.open(QIODevice::ReadOnly)) {
        showExportError(source.errorString());
        return false;
    }
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) {
        showExportError(source.errorString());
        return false;
    }
    // All at once over the chosen file: removing it first would lose it on a failure.
    QString error;
    if (!AtomicFile::write(*chosen, bytes, &error)) {
        showExportError(error);
        return false;
    }
    Analytics::track(QStringLiteral("export_pandoc"), {{QStringLiteral("format"), format.rawValue()}});
    return true;
}

void ServerExportCommands::showExportError(const QString &description)
{
    const int count = m_manager ? static_cast<int>(m_manager->documents().size()) : 0;
    // The report request does not hold up the alert.
    QTimer::singleShot(0, QCoreApplication::instance(), [count] {
        DiagnosticUploader::shared().uploadAuto(QStringLiteral("export_failed"), count);
    });
    AlertPresenter::shared().runModal(AlertRequest::failure(QStringLiteral("Could not export document"), description));
}
