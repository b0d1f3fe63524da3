#include "DocumentExportCommands.h"

#include "DocumentExporter.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/AlertPresenter.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

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

DocumentExportCommands::DocumentExportCommands(DocumentManager &manager, DocumentExporter &exporter,
                                               QObject *parent)
    : QObject(parent)
    , m_manager(&manager)
    , m_exporter(&exporter)
{
}

TabDocument *DocumentExportCommands::selectedDocument() const
{
    return m_manager ? m_manager->selectedDocument() : nullptr;
}

QString DocumentExportCommands::currentPreviewThemeRawValue()
{
    const QJsonValue stored = Settings::shared().storedValue(SettingsKeys::previewTheme);
    return stored.isString() ? stored.toString() : QString();
}

void DocumentExportCommands::showExportError(const QString &description)
{
    const int count = m_manager ? static_cast<int>(m_manager->documents().size()) : 0;
    // The report request does not hold up the alert.
    QTimer::singleShot(0, QCoreApplication::instance(), [count] {
        DiagnosticUploader::shared().uploadAuto(QStringLiteral("export_failed"), count);
    });
    AlertPresenter::shared().runModal(AlertRequest::failure(QStringLiteral("Could not export document"), description));
}

void DocumentExportCommands::finishExport(const DocumentExporter::Outcome &result)
{
    using Status = DocumentExporter::Outcome::Status;
    if (result.status == Status::Failed)
        showExportError(result.errorDescription);
    Q_EMIT exportFinished(result.status == Status::Succeeded);
}

void DocumentExportCommands::printCurrentDocument()
{
    TabDocument *document = selectedDocument();
    if (!document || !m_exporter)
        return;
    const QString page = m_exporter->standalonePage(document->text(), fixedExportFontSize, document->baseURL(),
                                                    fixedExportTheme, false);
    m_exporter->print(page, [commands = QPointer<DocumentExportCommands>(this)](const DocumentExporter::Outcome &result) {
        if (commands)
            commands->finishExport(result);
    });
}

void DocumentExportCommands::exportPDFCurrentDocument()
{
    QString path;
    const QString page = exportPageAfterPanel(QStringLiteral("Export as PDF"), QStringLiteral("PDF (*.pdf)"),
                                              QStringLiteral(".pdf"), &path);
    if (page.isEmpty())
        return;
    m_exporter->writePDF(page, path,
                         [commands = QPointer<DocumentExportCommands>(this)](const DocumentExporter::Outcome &result) {
                             if (commands)
                                 commands->finishExport(result);
                         });
}

QString DocumentExportCommands::exportPageAfterPanel(const QString &title, const QString &nameFilter, const QString &suffix,
                                              QString *path)
{
    const QPointer<TabDocument> document = selectedDocument();
    if (!document || !m_exporter)
        return {};
    FilePanelRequest panel;
    panel.title = title;
    panel.nameFilters = {nameFilter};
    panel.suggestedName = document->baseName() + suffix;
    panel.defaultSuffix = suffix.mid(1);
    if (const QString file = filePath(document); !file.isEmpty())
        panel.directory = QFileInfo(file).absolutePath();
    const std::optional<QString> chosen = AlertPresenter::shared().chooseSaveFile(panel);
    // The panel is modal but the tab may still have gone (a closed window, a quit).
    if (!chosen || chosen->isEmpty() || !document || !m_manager || !m_manager->documents().contains(document.data())
        || !m_exporter)
        return {};
    *path = *chosen;
    return m_exporter->standalonePage(document->text(), fixedExportFontSize, document->baseURL(),
                                          fixedExportTheme, false);
}

void DocumentExportCommands::exportHTMLCurrentDocument()
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

void DocumentExportCommands::shareCurrentDocument(QWidget *from)
{
    TabDocument *document = selectedDocument();
    if (!document)
        return;
    const QString text = document->text();
    const QString name = document->baseName();

    // The page goes to a private temporary folder; without a file of its own, the
    // tab shares that page. A page that cannot be written is left out quietly.
    QString pagePath;
    if (m_exporter) {
        const QString folder = AppPaths::privateTempFolder();
        const QString candidate = QDir(folder).filePath(name + QStringLiteral(".html"));
        const QString page =
            m_exporter->standalonePage(text, fixedExportFontSize, document->baseURL(), fixedExportTheme, false);
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

void DocumentExportCommands::copyCurrentAsRichText()
{
    copyCurrentPage(true, QStringLiteral("menu"));
}

void DocumentExportCommands::copyCurrentAsHTML()
{
    copyCurrentPage(false, QStringLiteral("menu"));
}

bool DocumentExportCommands::copyCurrentPage(bool richText, const QString &source)
{
    TabDocument *document = selectedDocument();
    if (!document || !m_exporter)
        return false;
    // The copies follow the user's size, theme and extra CSS.
    const QString html = m_exporter->standalonePage(document->text(), m_manager->currentFontSize(),
                                                    document->baseURL(), currentPreviewThemeRawValue(), true);
    auto *data = new QMimeData;
    if (richText) {
        data->setHtml(html);
        data->setText(document->text());
    } else {
        data->setText(html);
    }
    QGuiApplication::clipboard()->setMimeData(data);
    Analytics::track(richText ? QStringLiteral("copy_rich_text") : QStringLiteral("copy_html"),
                     {{QStringLiteral("source"), source}});
    return true;
}
