#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// What the export, print and copy commands of DocumentManager need from the page
// renderer and the web engine. The window layer implements it and the application
// installs it, so the documents layer never reaches up into the window layer.
class DocumentExportEngine
{
public:
    struct Result {
        enum class Status { Succeeded, Cancelled, Failed };
        Status status = Status::Succeeded;
        // The system's reason, for Failed.
        QString errorDescription;

        static Result succeeded() { return {}; }
        static Result cancelled() { return {Status::Cancelled, QString()}; }
        static Result failed(const QString &reason) { return {Status::Failed, reason}; }
    };
    using Completion = std::function<void(const Result &result)>;

    virtual ~DocumentExportEngine();

    // The standalone page of a text. themeRawValue is a stored "previewTheme" value;
    // one that names no theme gives the Default theme. withUserCSS adds the user's
    // extra theme CSS (the copies); fixed exports pass false.
    virtual QString standalonePage(const QString &markdown, double fontSize, const QUrl &baseURL,
                                   const QString &themeRawValue, bool withUserCSS) = 0;

    // Lays the page out once its math and diagrams are drawn and writes it as a PDF
    // to path, replacing the file only when every byte was written. The completion
    // runs later, on the GUI thread.
    virtual void writePDF(const QString &page, const QString &path, Completion completion) = 0;

    // Asks for a printer, then prints the page. Cancelled when the user closed the
    // printer dialog.
    virtual void print(const QString &page, Completion completion) = 0;
};
