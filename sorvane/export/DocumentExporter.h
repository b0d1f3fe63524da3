#pragma once

#include "documents/DocumentExportEngine.h"

#include <QObject>
#include <QPageLayout>

#include <functional>

class QPrinter;

// Draws standalone pages for the document commands: the page from MarkdownToHTML,
// and PDF files and printouts through a hidden web view that loads the page from a
// private temporary file, waits until its math and diagrams are drawn and then
// prints it. The application creates one and installs it on DocumentManager.
class DocumentExporter : public QObject, public DocumentExportEngine
{
    Q_OBJECT

public:
    explicit DocumentExporter(QObject *parent = nullptr);
    ~DocumentExporter() override;

    QString standalonePage(const QString &markdown, double fontSize, const QUrl &baseURL,
                           const QString &themeRawValue, bool withUserCSS) override;
    void writePDF(const QString &page, const QString &path, Completion completion) override;
    void print(const QString &page, Completion completion) override;

    // Lets the user pick and set up a printer; false when cancelled. The default
    // shows the print dialog; tests print to a file instead.
    using PrinterChooser = std::function<bool(QPrinter &printer)>;
    void setPrinterChooser(PrinterChooser chooser) { m_printerChooser = std::move(chooser); }

    // US Letter, 612 x 792 points, 36-point margins on every side.
    static QPageLayout pdfPageLayout();

    // The longest wait for math, fonts and diagrams; past it the page is printed as
    // it stands rather than not at all.
    void setRichContentTimeout(int milliseconds) { m_richContentTimeoutMs = milliseconds; }

private:
    class Job;

    PrinterChooser m_printerChooser;
    int m_richContentTimeoutMs = 20000;
};
