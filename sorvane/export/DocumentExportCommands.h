#pragma once

#include "DocumentExporter.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DocumentManager;
class QWidget;
class TabDocument;

// The export, print, share and copy commands on the selected tab. Each does nothing
// at all without a tab, and reports its own failures ("Could not export document",
// plus an automatic report request). Print, PDF, HTML file and share use the fixed
// look (size 15, the Default theme, no custom CSS); the copies follow the user's
// settings. The shell makes one for the menus; it holds the manager weakly.
class DocumentExportCommands : public QObject
{
    Q_OBJECT

public:
    DocumentExportCommands(DocumentManager &manager, DocumentExporter &exporter, QObject *parent = nullptr);

    // Print and the PDF export finish later (exportFinished).
    void printCurrentDocument();
    void exportPDFCurrentDocument();
    void exportHTMLCurrentDocument();
    // Offers the desktop's share choices in a menu under `from`; without a widget,
    // at the top middle of the active window; without that, nothing happens.
    void shareCurrentDocument(QWidget *from = nullptr);
    // The page as text/html plus the Markdown as text/plain.
    void copyCurrentAsRichText();
    // The complete page as plain text only.
    void copyCurrentAsHTML();
    // The page with the user's look: as text/html plus the Markdown, or as plain text.
    // `source` names the control for the usage event ("menu", "toolbar"). False when
    // there was nothing to copy.
    bool copyCurrentPage(bool richText, const QString &source);

    // The stored "previewTheme"; empty when absent or not text.
    static QString currentPreviewThemeRawValue();

Q_SIGNALS:
    // A PDF export or print ended; false when it failed or was cancelled.
    void exportFinished(bool succeeded);

private:
    TabDocument *selectedDocument() const;
    // Asks where to export the selected tab; the fixed-look page, or empty when there is
    // no tab, the panel was cancelled, or the tab went meanwhile.
    QString exportPageAfterPanel(const QString &title, const QString &nameFilter, const QString &suffix,
                                 QString *path);
    void showExportError(const QString &description);
    // Reports a failed print or PDF export and tells the listeners.
    void finishExport(const DocumentExporter::Outcome &result);

    QPointer<DocumentManager> m_manager;
    QPointer<DocumentExporter> m_exporter;
};
