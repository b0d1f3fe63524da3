#include "DocumentExporter.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "render/MarkdownToHTML.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>

namespace {

// Whether the page has finished drawing: the document loaded and its math typeset
// (at DOMContentLoaded), the page's fonts loaded, and every diagram replaced by its
// picture. The hidden view never asks for KaTeX's faces by itself, and a formula
// printed before its face arrives comes out blank: so the first call loads every
// face the page declares and waits for the font set. Mermaid leaves a failed
// diagram's error picture in a wrapper, so a state that stops changing also counts
// (the caller waits for that).
const QString readinessScript = QStringLiteral(R"JS(
(function () {
    if (document.readyState !== 'complete') return 'loading';
    if (document.fonts) {
        if (window.__sorvaneFontsLoaded === undefined) {
            window.__sorvaneFontsLoaded = false;
            var faces = Array.from(document.fonts, function (face) {
                return face.load().catch(function () { });
            });
            Promise.all(faces).then(function () { return document.fonts.ready; }).then(function () {
                window.__sorvaneFontsLoaded = true;
            });
        }
        if (!window.__sorvaneFontsLoaded || document.fonts.status !== 'loaded') return 'loading';
    }
    if (typeof mermaid === 'undefined') return 'ready';
    var nodes = document.querySelectorAll('.mermaid');
    var drawn = 0, settled = 0;
    for (var i = 0; i < nodes.length; i++) {
        var node = nodes[i];
        if (node.getAttribute('data-processed') !== 'true') return 'loading';
        if (node.querySelector(':scope > svg')) drawn++;
        else if (node.querySelector('svg')) settled++;
        else return 'loading';
    }
    return drawn === nodes.length ? 'ready' : 'settling:' + drawn + ':' + settled;
})()
)JS");

constexpr int pollIntervalMs = 50;
// How long an unchanged state with failed diagrams must hold to count as done.
constexpr int settleMs = 1000;

} // namespace

// One export or printout: the page's temporary file, the hidden view and the wait.
class DocumentExporter::Job : public QObject
{
public:
    Job(int richContentTimeoutMs, Completion completion)
        : m_timeoutMs(richContentTimeoutMs)
        , m_completion(std::move(completion))
    {
        m_poll.setSingleShot(true);
        m_poll.setInterval(pollIntervalMs);
        connect(&m_poll, &QTimer::timeout, this, &Job::checkReadiness);
    }

    ~Job() override { delete m_view; }

    // Loads the page; `whenReady` runs once it has been drawn.
    void load(const QString &page, std::function<void()> whenReady)
    {
        m_whenReady = std::move(whenReady);
        const QString folder = AppPaths::privateTempFolder();
        m_pageFile.setFileTemplate(QDir(folder).filePath(QStringLiteral("export-XXXXXX.html")));
        const QByteArray bytes = page.toUtf8();
        if (folder.isEmpty() || !m_pageFile.open() || m_pageFile.write(bytes) != bytes.size() || !m_pageFile.flush()) {
            finish(Outcome::failed(m_pageFile.errorString()));
            return;
        }
        m_view = new QWebEngineView;
        QWebEngineSettings *settings = m_view->page()->settings();
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        settings->setAttribute(QWebEngineSettings::PrintElementBackgrounds, true);
        connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (!ok) {
                finish(Outcome::failed(QStringLiteral("The page could not be laid out for export.")));
                return;
            }
            m_waited.start();
            checkReadiness();
        });
        // A renderer that dies takes the pending load or print with it: report it
        // rather than wait for an answer that will not come.
        connect(m_view->page(), &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                    if (status != QWebEnginePage::NormalTerminationStatus)
                        finish(Outcome::failed(QStringLiteral("The page renderer stopped unexpectedly.")));
                });
        // Loaded from a file: setHtml stops at 2 MB, and a big document with the
        // diagram library inlined is more than that.
        m_view->load(QUrl::fromLocalFile(m_pageFile.fileName()));
    }

    QWebEngineView *view() const { return m_view; }

    void finish(const Outcome &result)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_poll.stop();
        // Run from the event loop: the caller may still be inside a web view signal.
        QTimer::singleShot(0, this, [this, result] {
            // The page holds the document's text: it goes before anyone hears of the result.
            m_pageFile.close();
            m_pageFile.remove();
            const Completion completion = std::move(m_completion);
            deleteLater();
            if (completion)
                completion(result);
        });
    }

    std::unique_ptr<QPrinter> printer;

private:
    void checkReadiness()
    {
        if (m_finished)
            return;
        m_view->page()->runJavaScript(readinessScript, [self = QPointer<Job>(this)](const QVariant &value) {
            if (!self || self->m_finished)
                return;
            self->noteState(value.toString());
        });
    }

    void noteState(const QString &state)
    {
        bool ready = state == QLatin1String("ready") || m_waited.elapsed() >= m_timeoutMs;
        if (!ready && state.startsWith(QLatin1String("settling"))) {
            if (state != m_lastState)
                m_stateSince.start();
            ready = m_stateSince.elapsed() >= settleMs;
        }
        m_lastState = state;
        if (ready) {
            const std::function<void()> whenReady = std::move(m_whenReady);
            if (whenReady)
                whenReady();
            return;
        }
        m_poll.start();
    }

    int m_timeoutMs;
    Completion m_completion;
    std::function<void()> m_whenReady;
    QTemporaryFile m_pageFile;
    QWebEngineView *m_view = nullptr;
    QTimer m_poll;
    QElapsedTimer m_waited;
    QElapsedTimer m_stateSince;
    QString m_lastState;
    bool m_finished = false;
};

DocumentExporter::DocumentExporter(QObject *parent)
    : QObject(parent)
    , m_printerChooser([](QPrinter &printer) {
        QPrintDialog dialog(&printer);
        return dialog.exec() == QDialog::Accepted;
    })
{
}

DocumentExporter::~DocumentExporter() = default;

QString DocumentExporter::standalonePage(const QString &markdown, double fontSize, const QUrl &baseURL,
                                         const QString &themeRawValue, bool withUserCSS)
{
    const PreviewTheme theme = previewThemeFromRawValue(themeRawValue).value_or(PreviewTheme::Standard);
    return MarkdownToHTML::documentHTML(markdown, fontSize, baseURL, theme,
                                        withUserCSS && m_extraCSSSource ? m_extraCSSSource() : QString());
}

QPageLayout DocumentExporter::pdfPageLayout()
{
    return QPageLayout(QPageSize(QSizeF(612, 792), QPageSize::Point, QString(), QPageSize::ExactMatch),
                       QPageLayout::Portrait, QMarginsF(36, 36, 36, 36), QPageLayout::Point);
}

void DocumentExporter::writePDF(const QString &page, const QString &path, Completion completion)
{
    auto *job = new Job(m_richContentTimeoutMs, std::move(completion));
    job->setParent(this);
    job->load(page, [job, path] {
        job->view()->page()->printToPdf(
            [self = QPointer<Job>(job), path](const QByteArray &pdf) {
                if (!self)
                    return;
                if (pdf.isEmpty()) {
                    self->finish(Outcome::failed(QStringLiteral("The page could not be printed to PDF.")));
                    return;
                }
                QString error;
                if (!AtomicFile::write(path, pdf, &error)) {
                    self->finish(Outcome::failed(error));
                    return;
                }
                self->finish(Outcome::succeeded());
            },
            pdfPageLayout());
    });
}

void DocumentExporter::print(const QString &page, Completion completion)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!m_printerChooser || !m_printerChooser(*printer)) {
        if (completion)
            completion(Outcome::cancelled());
        return;
    }
    auto *job = new Job(m_richContentTimeoutMs, std::move(completion));
    job->setParent(this);
    job->printer = std::move(printer);
    job->load(page, [job] {
        QWebEngineView *view = job->view();
        connect(view, &QWebEngineView::printFinished, job, [job](bool ok) {
            job->finish(ok ? Outcome::succeeded()
                           : Outcome::failed(QStringLiteral("The printer did not accept the document.")));
        });
        view->print(job->printer.get());
    });
}
