#include "MarkdownPreview.h"

#include "PreviewFileAccess.h"
#include "platform/AlertPresenter.h"

#include <algorithm>

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

QString schemeName()
{
    return QString::fromLatin1(MarkdownPreview::scheme);
}

// One handler for the whole profile; each preview has its own unguessable host
// under which its shell and its document folder are served.
class PreviewSchemeHandler : public QWebEngineUrlSchemeHandler
{
public:
    struct Site
    {
        QByteArray shell;
        QString shellQuery;
        // The shell stands at the folder's own path, so that "../x.png" and
        // "/home/x.png" in the page name the files they name on disk.
        QString shellPath;
        QString folder; // canonical; empty for an untitled document
    };

    static PreviewSchemeHandler &shared()
    {
        static PreviewSchemeHandler *handler = [] {
            auto *h = new PreviewSchemeHandler;
            QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(MarkdownPreview::scheme, h);
            return h;
        }();
        return *handler;
    }

    QHash<QString, Site> sites;

    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        const QUrl url = job->requestUrl();
        const auto site = sites.constFind(url.host());
        if (site == sites.constEnd() || job->requestMethod() != QByteArrayLiteral("GET")) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        const QString path = url.path(QUrl::FullyDecoded);
        if (path == site->shellPath && url.query() == site->shellQuery) {
            auto *buffer = new QBuffer(job);
            buffer->setData(site->shell);
            job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
            return;
        }
        const auto served = PreviewFileAccess::resolve(site->folder, path);
        if (!served) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto *device = new QFile(served->path, job);
        if (!device->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        job->reply(served->mimeType, device);
    }
};

// Launchers a double-click would run even without the executable bit.
bool looksExecutable(const QFileInfo &info)
{
    static const QStringList suffixes = {
        QStringLiteral("desktop"), QStringLiteral("sh"),  QStringLiteral("bash"),     QStringLiteral("zsh"),
        QStringLiteral("csh"),     QStringLiteral("run"), QStringLiteral("bin"),      QStringLiteral("appimage"),
        QStringLiteral("exe"),     QStringLiteral("msi"), QStringLiteral("bat"),      QStringLiteral("cmd"),
        QStringLiteral("com"),     QStringLiteral("jar"), QStringLiteral("py"),       QStringLiteral("pl"),
        QStringLiteral("rb"),      QStringLiteral("deb"), QStringLiteral("rpm"),      QStringLiteral("flatpakref"),
        QStringLiteral("snap"),    QStringLiteral("ps1"), QStringLiteral("vbs"),      QStringLiteral("scr"),
        QStringLiteral("command"), QStringLiteral("app"), QStringLiteral("x86_64")};
    if (suffixes.contains(info.suffix().toLower()))
        return true;
    return info.isFile() && info.isExecutable();
}

// A mail link may not make the mail program attach the user's files: the
// attachment fields go, whatever their case or percent-encoding.
QUrl withoutMailAttachments(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) != 0 || !url.hasQuery())
        return url;
    QStringList kept;
    const QString query = url.query(QUrl::FullyEncoded);
    for (const QString &field : query.split(QLatin1Char('&'))) {
        QString name = field.section(QLatin1Char('='), 0, 0);
        // Decoded until it stops changing: "%2561ttach" must not slip through.
        for (QString decoded; (decoded = QUrl::fromPercentEncoding(name.toUtf8())) != name;)
            name = decoded;
        if (name.trimmed().startsWith(QLatin1String("attach"), Qt::CaseInsensitive))
            continue;
        kept.append(field);
    }
    QUrl safe = url;
    safe.setQuery(kept.isEmpty() ? QString() : kept.join(QLatin1Char('&')));
    return safe;
}

} // namespace

// The page the preview shows. Navigations stay on the shell (in-page anchors);
// link clicks elsewhere go to the link policy; everything else is refused.
class MarkdownPreviewPage : public QWebEnginePage
{
public:
    explicit MarkdownPreviewPage(MarkdownPreview *preview)
        : QWebEnginePage(QWebEngineProfile::defaultProfile(), preview)
        , m_preview(preview)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame)
            return false;
        if (m_preview->isShellURL(url))
            return true;
        if (type == NavigationTypeLinkClicked)
            m_preview->handleExternalLink(url);
        return false;
    }

    // target="_blank" and friends: the address goes to the link policy and
    // no window is made.
    QWebEnginePage *createWindow(WebWindowType) override
    {
        auto *catcher = new PopupCatcher(m_preview);
        return catcher;
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override {}
    // A document has no business opening dialogs; the page's own scripts never do.
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return false; }

private:
    class PopupCatcher : public QWebEnginePage
    {
    public:
        explicit PopupCatcher(MarkdownPreview *preview)
            : QWebEnginePage(QWebEngineProfile::defaultProfile(), preview)
            , m_preview(preview)
        {
        }

    protected:
        bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
        {
            if (m_preview && !url.isEmpty())
                m_preview->handleExternalLink(url);
            deleteLater();
            return false;
        }

    private:
        QPointer<MarkdownPreview> m_preview;
    };

    MarkdownPreview *m_preview;
};

void MarkdownPreview::registerSchemes()
{
    QWebEngineUrlScheme previewScheme{QByteArray(scheme)};
    previewScheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    previewScheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(previewScheme);
}

MarkdownPreview::MarkdownPreview(QWidget *parent)
    : QWebEngineView(parent)
    , m_page(new MarkdownPreviewPage(this))
{
    PreviewSchemeHandler::shared();
    m_token = QString::number(QRandomGenerator::system()->generate64(), 16)
        + QString::number(QRandomGenerator::system()->generate64(), 16);
    setPage(m_page);
    m_page->setBackgroundColor(Qt::white);
    setContextMenuPolicy(Qt::NoContextMenu);

    m_debounce.setSingleShot(true);
    m_debounce.setInterval(150);
    connect(&m_debounce, &QTimer::timeout, this, [this] {
        if (m_pageLoaded)
            pushFragment(m_debounced);
        else
            m_pendingHTML = m_debounced;
    });
    connect(this, &QWebEngineView::loadFinished, this, &MarkdownPreview::onLoadFinished);

    // Drawn over the web view, so it shows before the page exists.
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("previewStatusNote"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setMargin(8);
    m_statusLabel->setAutoFillBackground(true);
    m_statusLabel->setBackgroundRole(QPalette::ToolTipBase);
    m_statusLabel->setForegroundRole(QPalette::ToolTipText);
    m_statusLabel->hide();
    m_statusDelay.setSingleShot(true);
    m_statusDelay.setInterval(renderingNoteDelayMs);
    connect(&m_statusDelay, &QTimer::timeout, this, [this] {
        if (m_status != Status::Rendering)
            return;
        m_statusLabel->setText(tr("Rendering the preview…"));
        placeStatusLabel();
        m_statusLabel->show();
        m_statusLabel->raise();
    });

    m_opener = [](const QUrl &url) { QDesktopServices::openUrl(url); };

    // The first shell is loaded once the creator has set the initial values.
    m_shellQueued = true;
    QTimer::singleShot(0, this, [this] {
        if (m_shellQueued)
            loadShell();
    });
}

MarkdownPreview::~MarkdownPreview()
{
    PreviewSchemeHandler::shared().sites.remove(m_token);
}

void MarkdownPreview::setBodyHTML(const QString &html)
{
    // The newest fragment always waits for the next shell.
    m_pendingHTML = html;
    if (m_hasSubmitted && html == m_lastSubmitted)
        return;
    m_hasSubmitted = true;
    m_lastSubmitted = html;
    m_debounced = html;
    m_debounce.start();
}

void MarkdownPreview::setStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    m_statusDelay.stop();
    switch (status) {
    case Status::Current:
        m_statusLabel->hide();
        break;
    case Status::Rendering:
        // A note already up stays; otherwise only a slow render earns one.
        if (m_statusLabel->isHidden())
            m_statusDelay.start();
        else
            m_statusDelay.start(0);
        break;
    case Status::TooLarge:
        m_statusLabel->setText(tr("This document is too large to preview."));
        placeStatusLabel();
        m_statusLabel->show();
        m_statusLabel->raise();
        break;
    }
    Q_EMIT statusChanged(status);
}

QString MarkdownPreview::statusNote() const
{
    return m_statusLabel->isHidden() ? QString() : m_statusLabel->text();
}

void MarkdownPreview::resizeEvent(QResizeEvent *event)
{
    QWebEngineView::resizeEvent(event);
    placeStatusLabel();
}

void MarkdownPreview::placeStatusLabel()
{
    m_statusLabel->setFixedWidth(std::clamp(width() - 24, 0, 360));
    m_statusLabel->adjustSize();
    m_statusLabel->move((this->width() - m_statusLabel->width()) / 2, 12);
}

void MarkdownPreview::setFontSize(double pixels)
{
    if (pixels == m_fontSize)
        return;
    m_fontSize = pixels;
    if (m_pageLoaded) {
        QString size = QString::number(pixels, 'g', QLocale::FloatingPointShortest);
        if (!size.contains(QLatin1Char('.')) && !size.contains(QLatin1Char('e')))
            size += QStringLiteral(".0");
        evaluate(QStringLiteral("document.body.style.fontSize = '%1px'").arg(size));
    }
}

void MarkdownPreview::setColorScheme(const QString &scheme)
{
    if (scheme == m_colorScheme)
        return;
    m_colorScheme = scheme;
    // The engine paints this behind the transparent page.
    m_page->setBackgroundColor(scheme.trimmed() == QLatin1String("dark") ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white));
    if (m_pageLoaded)
        evaluate(QStringLiteral("document.documentElement.style.colorScheme = '%1'").arg(scheme));
}

void MarkdownPreview::setTheme(PreviewTheme theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    reloadShell();
}

void MarkdownPreview::setExtraCSS(const QString &css)
{
    if (css == m_extraCSS)
        return;
    m_extraCSS = css;
    reloadShell();
}

void MarkdownPreview::setBaseURL(const QUrl &folder)
{
    if (folder == m_baseURL)
        return;
    m_baseURL = folder;
    reloadShell();
}

void MarkdownPreview::reloadShell()
{
    // The creator's initial values all go into the one first shell: each would
    // otherwise build the page (megabytes) and start loading it, before the window
    // is even painted.
    if (m_shellQueued)
        return;
    loadShell();
}

void MarkdownPreview::setUrlOpener(UrlOpener opener)
{
    m_opener = std::move(opener);
}

void MarkdownPreview::pushFragment(const QString &html)
{
    if (m_lastPushed && *m_lastPushed == html)
        return;
    // An edit changes a small stretch of a fragment that may be megabytes long: only
    // that stretch is encoded and sent, with how much of the page's copy to keep.
    qsizetype head = 0;
    qsizetype tail = 0;
    if (m_lastPushed) {
        const QString &last = *m_lastPushed;
        const qsizetype shorter = std::min(last.size(), html.size());
        head = std::mismatch(last.constBegin(), last.constBegin() + shorter, html.constBegin()).first
            - last.constBegin();
        // Never between the halves of a pair: the stretch must be valid text.
        if (head > 0 && html.at(head - 1).isHighSurrogate())
            --head;
        tail = std::mismatch(last.crbegin(), last.crbegin() + (shorter - head), html.crbegin()).first
            - last.crbegin();
        if (tail > 0 && html.at(html.size() - tail).isLowSurrogate())
            --tail;
    }
    const bool range = m_lastPushed.has_value();
    m_lastPushed = html;
    // Scripts run in the order given, so the library is there before the update
    // that holds the first diagram.
    if (!m_diagramLibraryLoaded && html.contains(QLatin1StringView("<div class=\"mermaid\">"))) {
        m_diagramLibraryLoaded = true;
        evaluate(MarkdownToHTML::diagramLibraryScript());
    }
    // A long document makes a script of megabytes: built in one buffer.
    const QByteArray base64 = QStringView(html).mid(head, html.size() - head - tail).toUtf8().toBase64();
    QString script;
    script.reserve(base64.size() + 64);
    if (range)
        script += QStringLiteral("updateContentRange(%1, %2, '").arg(head).arg(tail);
    else
        script += QLatin1String("updateContent('");
    script += QLatin1String(base64);
    script += QLatin1String("')");
    evaluate(script);
    Q_EMIT contentPushed();
}

void MarkdownPreview::evaluate(const QString &script)
{
    m_page->runJavaScript(script);
}

void MarkdownPreview::loadShell()
{
    m_shellQueued = false;
    m_pageLoaded = false;
    m_lastPushed.reset();
    m_diagramLibraryLoaded = false;
    // The new page starts empty: it gets the latest fragment once loaded.
    if (m_hasSubmitted)
        m_pendingHTML = m_lastSubmitted;
    ++m_shellGeneration;

    PreviewSchemeHandler::Site site;
    site.shellQuery = QStringLiteral("shell=%1").arg(m_shellGeneration);
    if (m_baseURL.isLocalFile()) {
        const QString canonical = QFileInfo(m_baseURL.toLocalFile()).canonicalFilePath();
        if (!canonical.isEmpty() && QFileInfo(canonical).isDir())
            site.folder = canonical == QLatin1String("/") ? QString() : canonical;
    }
    site.shellPath = site.folder + QLatin1Char('/');
    m_shellFontSize = m_fontSize;
    m_shellColorScheme = m_colorScheme;
    site.shell = MarkdownToHTML::previewShellHTML(m_fontSize, m_colorScheme, m_theme, m_extraCSS,
                                                  schemeName() + QLatin1Char(':'))
                     .toUtf8();
    PreviewSchemeHandler::shared().sites.insert(m_token, site);

    m_shellURL = QUrl();
    m_shellURL.setScheme(schemeName());
    m_shellURL.setHost(m_token);
    m_shellURL.setPath(site.shellPath, QUrl::DecodedMode);
    m_shellURL.setQuery(site.shellQuery);
    Q_EMIT shellLoadStarted();
    m_page->load(m_shellURL);
}

void MarkdownPreview::onLoadFinished(bool ok)
{
    if (!ok || !isShellURL(m_page->url()))
        return;
    if (m_pageLoaded)
        return; // an in-page anchor, not a new shell
    m_pageLoaded = true;
    // Values that changed while the shell was loading are assigned now.
    if (m_fontSize != m_shellFontSize) {
        const double size = m_fontSize;
        m_fontSize = m_shellFontSize;
        setFontSize(size);
    }
    if (m_colorScheme != m_shellColorScheme)
        evaluate(QStringLiteral("document.documentElement.style.colorScheme = '%1'").arg(m_colorScheme));
    if (m_pendingHTML) {
        const QString html = *m_pendingHTML;
        m_pendingHTML.reset();
        pushFragment(html);
    }
}

bool MarkdownPreview::isShellURL(const QUrl &url) const
{
    // Compared decoded: the engine may spell the folder's characters its own way.
    return url.scheme() == m_shellURL.scheme() && url.host() == m_shellURL.host()
        && url.path(QUrl::FullyDecoded) == m_shellURL.path(QUrl::FullyDecoded) && url.query() == m_shellURL.query();
}

QUrl MarkdownPreview::localURL(const QUrl &url) const
{
    if (url.scheme() != schemeName() || url.host() != m_token)
        return url;
    const auto site = PreviewSchemeHandler::shared().sites.constFind(m_token);
    if (site == PreviewSchemeHandler::shared().sites.constEnd() || site->folder.isEmpty())
        return QUrl();
    QUrl local = QUrl::fromLocalFile(QDir::cleanPath(url.path(QUrl::FullyDecoded)));
    local.setFragment(url.fragment(QUrl::FullyDecoded), QUrl::DecodedMode);
    return local;
}

void MarkdownPreview::handleExternalLink(const QUrl &url)
{
    const QUrl target = withoutMailAttachments(localURL(url));
    switch (linkAction(target)) {
    case LinkAction::Open:
        m_opener(target);
        break;
    case LinkAction::Ask: {
        AlertRequest request;
        request.messageText = tr("Open this link in another application?");
        request.informativeText = target.toDisplayString();
        request.buttons = {tr("Open"), tr("Cancel")};
        request.style = AlertRequest::Style::Warning;
        if (AlertPresenter::shared().runModal(request) == 0)
            m_opener(target);
        break;
    }
    case LinkAction::Refuse:
        break;
    }
}

MarkdownPreview::LinkAction MarkdownPreview::linkAction(const QUrl &url)
{
    if (!url.isValid() || url.scheme().isEmpty())
        return LinkAction::Refuse;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        return url.host().isEmpty() && scheme != QLatin1String("mailto") ? LinkAction::Refuse : LinkAction::Open;
    // Schemes that run code, carry their own content, or drive this app.
    static const QStringList never = {QStringLiteral("javascript"), QStringLiteral("vbscript"),
                                      QStringLiteral("data"),       QStringLiteral("blob"),
                                      QStringLiteral("about"),      QStringLiteral("filesystem"),
                                      QStringLiteral("sorvane"),    schemeName(),
                                      QStringLiteral("chrome"),     QStringLiteral("qrc")};
    if (never.contains(scheme))
        return LinkAction::Refuse;
    if (scheme == QLatin1String("file")) {
        if (!url.host().isEmpty() && url.host() != QLatin1String("localhost"))
            return LinkAction::Refuse;
        if (looksExecutable(QFileInfo(url.toLocalFile())))
            return LinkAction::Refuse;
    }
    return LinkAction::Ask;
}

// Heading scrolls from the outline.

void MarkdownPreview::scrollToHeading(int level, const QString &title, int occurrence, int index)
{
    const QString script = QStringLiteral(
                               "(function (level, title, occurrence, index) {"
                               "  if (typeof __sorvaneUpdater !== 'undefined') __sorvaneUpdater.showAll();"
                               "  const norm = s => s.toLowerCase().replace(/[^\\p{L}\\p{N}]+/gu, '');"
                               "  const all = Array.from(document.querySelectorAll("
                               "    '#content h1, #content h2, #content h3, #content h4, #content h5, #content h6'));"
                               "  const want = norm(title);"
                               "  const same = all.filter(h => h.tagName === 'H' + level && norm(h.textContent) === want);"
                               "  const target = same[occurrence] || same[0] || all[index];"
                               "  if (target) target.scrollIntoView({block: 'start'});"
                               "})(%1, %2, %3, %4)")
                               .arg(level)
                               .arg(QString::fromUtf8(QJsonDocument(QJsonArray{title}).toJson(QJsonDocument::Compact)).mid(1).chopped(1))
                               .arg(occurrence)
                               .arg(index);
    // Typed text not yet in the page would move the heading after the scroll.
    const bool fragmentOnItsWay = !m_pageLoaded || m_debounce.isActive() || m_pendingHTML.has_value();
    if (!fragmentOnItsWay) {
        evaluate(script);
        return;
    }
    const bool waiting = m_pendingHeadingScroll.has_value();
    m_pendingHeadingScroll = script;
    if (waiting)
        return;
    auto *once = new QObject(this);
    connect(this, &MarkdownPreview::contentPushed, once, [this, once] {
        if (m_pendingHeadingScroll)
            evaluate(*m_pendingHeadingScroll);
        m_pendingHeadingScroll.reset();
        once->deleteLater();
    });
}
