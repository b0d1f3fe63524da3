#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QPageLayout>

#include <functional>

class QPrinter;

// Draws standalone pages for the document commands: the page from MarkdownToHTML,
// and PDF files and printouts through a hidden web view that loads the page from a
// private temporary file, waits until its math and diagrams are drawn and then
// prints it. The application creates one for the export commands.
class DocumentExporter : public QObject
{
    Q_OBJECT

public:
    // How a PDF export or a print ended.
    struct Outcome {
        enum class Status { Succeeded, Cancelled, Failed };
        Status status = Status::Succeeded;
        // The system's reason, for Failed.
        QString errorDescription;

        static Outcome succeeded() { return {}; }
        static Outcome cancelled() { return {Status::Cancelled, QString()}; }
        static Outcome failed(const QString &reason) { return {Status::Failed, reason}; }
    };
    using Completion = std::function<void(const Outcome &outcome)>;

    explicit DocumentExporter(QObject *parent = nullptr);
    ~DocumentExporter() override;

    // The standalone page of a text. themeRawValue is a stored "previewTheme" value;
    // one that names no theme gives the Default theme. withUserCSS adds the user's
    // extra CSS (the copies), the text the preview appends too; fixed exports pass false.
    QString standalonePage(const QString &markdown, double fontSize, const QUrl &baseURL,
                           const QString &themeRawValue, bool withUserCSS);
    // Lays the page out once its math and diagrams are drawn and writes it as a PDF
    // to path, replacing the file only when every byte was written. The completion
    // runs later, on the GUI thread.
    void writePDF(const QString &page, const QString &path, Completion completion);
    // Asks for a printer, then prints the page. Cancelled when the user closed the
    // printer dialog.
    void print(const QString &page, Completion completion);

    // Lets the user pick and set up a printer; false when cancelled. The default
    // shows the print dialog; tests print to a file instead.
    using PrinterChooser = std::function<bool(QPrinter &printer)>;
    void setPrinterChooser(PrinterChooser chooser) { m_printerChooser = std::move(chooser); }

    // Where the user's extra CSS comes from: the extra theme and custom CSS the
    // preview shows, read on every copy. None until the application sets it.
    using ExtraCSSSource = std::function<QString()>;
    void setExtraCSSSource(ExtraCSSSource source) { m_extraCSSSource = std::move(source); }

    // US Letter, 612 x 792 points, 36-point margins on every side.
    static QPageLayout pdfPageLayout();

private:
    class Job;

    PrinterChooser m_printerChooser;
    ExtraCSSSource m_extraCSSSource;
    // The longest wait for math, fonts and diagrams; past it the page is printed as
    // it stands rather than not at all.
    const int m_richContentTimeoutMs = 20000;
};
