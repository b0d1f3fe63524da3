// DocumentManager's export, print, share, copy and encryption commands.
#include "documents/DocumentManager.h"

#include "documents/DocumentAccessError.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "platform/AlertPresenter.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QWidget>

namespace {

// The fixed look of print, PDF, HTML file and share: never the user's.
constexpr double fixedExportFontSize = 15.0;
const QString fixedExportTheme = QStringLiteral("Default");

QString filePath(const TabDocument *document)
{
    return document->fileURL().isEmpty() ? QString() : document->fileURL().toLocalFile();
}

} // namespace

QString DocumentManager::baseName(const TabDocument *document)
{
    if (!document || document->fileURL().isEmpty())
        return QStringLiteral("Untitled");
    const QString name = QFileInfo(document->fileURL().toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A leading dot starts a hidden name, not an extension.
    return dot > 0 ? name.left(dot) : name;
}

QString DocumentManager::currentPreviewThemeRawValue() const
{
    const QJsonValue stored = Settings::shared().storedValue(QStringLiteral("previewTheme"));
    return stored.isString() ? stored.toString() : QString();
}

void DocumentManager::showExportError(const QString &description)
{
    const int count = static_cast<int>(m_documents.size());
    // The report request does not hold up the alert.
    QTimer::singleShot(0, QCoreApplication::instance(), [count] {
        DiagnosticUploader::shared().uploadAuto(QStringLiteral("export_failed"), count);
    });
    AlertRequest request;
    request.messageText = QStringLiteral("Could not export document");
    request.informativeText = description;
    request.buttons = {QStringLiteral("OK")};
    request.style = AlertRequest::Style::Critical;
    AlertPresenter::shared().runModal(request);
}

void DocumentManager::finishExport(const DocumentExportEngine::Result &result)
{
    using Status = DocumentExportEngine::Result::Status;
    if (result.status == Status::Failed)
        showExportError(result.errorDescription);
    Q_EMIT exportFinished(result.status == Status::Succeeded);
}

void DocumentManager::printCurrentDocument()
{
    TabDocument *document = selectedDocument();
    if (!document || !m_exportEngine)
        return;
    const QString page = m_exportEngine->standalonePage(document->text(), fixedExportFontSize, document->baseURL(),
                                                        fixedExportTheme, false);
    m_exportEngine->print(page, [manager = QPointer<DocumentManager>(this)](const DocumentExportEngine::Result &result) {
        if (manager)
            manager->finishExport(result);
    });
}

void DocumentManager::exportPDFCurrentDocument()
{
    QString path;
    const QString page = exportPageAfterPanel(QStringLiteral("Export as PDF"), QStringLiteral("PDF (*.pdf)"),
                                              QStringLiteral(".pdf"), &path);
    if (page.isEmpty())
        return;
    m_exportEngine->writePDF(page, path,
                             [manager = QPointer<DocumentManager>(this)](const DocumentExportEngine::Result &result) {
                                 if (manager)
                                     manager->finishExport(result);
                             });
}

QString DocumentManager::exportPageAfterPanel(const QString &title, const QString &nameFilter, const QString &suffix,
                                              QString *path)
{
    const QPointer<TabDocument> document = selectedDocument();
    if (!document || !m_exportEngine)
        return {};
    FilePanelRequest panel;
    panel.title = title;
    panel.nameFilters = {nameFilter};
    panel.suggestedName = baseName(document) + suffix;
    const std::optional<QString> chosen = AlertPresenter::shared().chooseSaveFile(panel);
    // The panel is modal but the tab may still have gone (a closed window, a quit).
    if (!chosen || chosen->isEmpty() || !document || !m_documents.contains(document.data()))
        return {};
    *path = *chosen;
    return m_exportEngine->standalonePage(document->text(), fixedExportFontSize, document->baseURL(),
                                          fixedExportTheme, false);
}

void DocumentManager::exportHTMLCurrentDocument()
{
    QString path;
    const QString page = exportPageAfterPanel(QStringLiteral("Export as HTML"), QStringLiteral("HTML (*.html *.htm)"),
                                              QStringLiteral(".html"), &path);
    if (page.isEmpty())
        return;
    QString error;
    if (!AtomicFile::write(path, page.toUtf8(), &error))
        showExportError(error);
}

void DocumentManager::shareCurrentDocument(QWidget *from)
{
    TabDocument *document = selectedDocument();
    if (!document)
        return;
    const QString text = document->text();
    const QString name = baseName(document);

    // The page goes to a private temporary folder; without a file of its own, the
    // tab shares that page. A page that cannot be written is left out quietly.
    QString pagePath;
    if (m_exportEngine) {
        const QString folder = AppPaths::privateTempFolder();
        const QString candidate = QDir(folder).filePath(name + QStringLiteral(".html"));
        const QString page =
            m_exportEngine->standalonePage(text, fixedExportFontSize, document->baseURL(), fixedExportTheme, false);
        if (!folder.isEmpty() && AtomicFile::write(candidate, page.toUtf8()))
            pagePath = candidate;
    }
    const QString documentPath = filePath(document);
    const QString sharedFile = documentPath.isEmpty() ? pagePath : documentPath;

    QRect anchor;
    if (from) {
        anchor = QRect(from->mapToGlobal(QPoint(0, 0)), from->size());
    } else {
        QWidget *window = QApplication::activeWindow();
        if (!window)
            return;
        anchor = QRect(window->mapToGlobal(QPoint(window->width() / 2, 0)), QSize(1, 1));
    }

    enum class Choice { Email, ShowInFileManager, CopyPath };
    QList<Choice> choices{Choice::Email};
    ChoiceMenuRequest menu;
    menu.anchor = anchor;
    menu.items = {QStringLiteral("Email")};
    if (!sharedFile.isEmpty()) {
        choices << Choice::ShowInFileManager << Choice::CopyPath;
        menu.items << QStringLiteral("Show in File Manager") << QStringLiteral("Copy Path");
    }
    const int picked = AlertPresenter::shared().chooseFromMenu(menu);
    Analytics::track(QStringLiteral("share_document"));
    if (picked < 0 || picked >= choices.size())
        return;
    switch (choices.at(picked)) {
    case Choice::Email:
        if (!documentPath.isEmpty())
            DesktopShare::emailFile(documentPath);
        else
            DesktopShare::emailText(name, text);
        break;
    case Choice::ShowInFileManager:
        DesktopShare::showInFileManager(sharedFile);
        break;
    case Choice::CopyPath:
        DesktopShare::copyPath(sharedFile);
        break;
    }
}

void DocumentManager::copyCurrentAsRichText()
{
    TabDocument *document = selectedDocument();
    if (!document || !m_exportEngine)
        return;
    const QString html = m_exportEngine->standalonePage(document->text(), currentFontSize(), document->baseURL(),
                                                        currentPreviewThemeRawValue(), true);
    auto *data = new QMimeData;
    data->setHtml(html);
    data->setText(document->text());
    QGuiApplication::clipboard()->setMimeData(data);
    Analytics::track(QStringLiteral("copy_rich_text"), {{QStringLiteral("source"), QStringLiteral("menu")}});
}

void DocumentManager::copyCurrentAsHTML()
{
    TabDocument *document = selectedDocument();
    if (!document || !m_exportEngine)
        return;
    const QString html = m_exportEngine->standalonePage(document->text(), currentFontSize(), document->baseURL(),
                                                        currentPreviewThemeRawValue(), true);
    auto *data = new QMimeData;
    data->setText(html);
    QGuiApplication::clipboard()->setMimeData(data);
    Analytics::track(QStringLiteral("copy_html"), {{QStringLiteral("source"), QStringLiteral("menu")}});
}

EncryptedDocumentFlow::Hooks DocumentManager::encryptionHooks()
{
    const QPointer<DocumentManager> manager(this);
    EncryptedDocumentFlow::Hooks hooks;
    hooks.showSaveError = [manager](const QString &description) {
        if (manager)
            manager->showSaveError(description);
    };
    hooks.showOpenFailed = [manager](const QString &path) {
        if (!manager)
            return;
        const QUrl url = QUrl::fromLocalFile(path);
        manager->showReadError(DocumentAccessError::openFailed(url), url);
    };
    hooks.noteRecentDocument = [manager](const QString &path) {
        if (manager)
            manager->noteRecentDocument(QUrl::fromLocalFile(path));
    };
    hooks.presentDecryptedDocument = [manager](const QString &text, const QString &sourcePath) {
        if (manager)
            manager->presentDecryptedDocument(text, sourcePath);
    };
    return hooks;
}

void DocumentManager::encryptCurrentDocument()
{
    TabDocument *document = selectedDocument();
    if (!document)
        return;
    EncryptedDocumentFlow::encryptDocument(document->title(), document->text(), baseName(document),
                                           encryptionHooks());
}

void DocumentManager::openEncryptedFile()
{
    EncryptedDocumentFlow::openEncryptedFile(encryptionHooks());
}

void DocumentManager::openEncryptedFileAt(const QString &path)
{
    EncryptedDocumentFlow::openEncryptedFileAt(path, encryptionHooks());
}

void DocumentManager::presentDecryptedDocument(const QString &text, const QString &)
{
    // Never linked to the encrypted file: saving asks for a new place.
    auto document = std::make_unique<TabDocument>(QUuid::createUuid(), QUrl(), QByteArray(), text, text, false,
                                                  QDateTime());
    document->setIsSensitive(true);
    appendDocument(std::move(document));
}
