#pragma once

#include "render/MarkdownToHTML.h"

#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <optional>

class MarkdownPreviewPage;
class QLabel;

// The live preview of the selected document: the preview shell is loaded once
// and every new body fragment is pushed into it through updateContent(), so
// typing never reloads the page. Only a new theme, extra CSS or document
// folder loads a new shell. The shell (about 4 MB with Mermaid), the
// document folder's files and pictures from elsewhere (PreviewFileAccess)
// reach the page through the app's own URL scheme.
// Link clicks leave the page only through the link policy below.
class MarkdownPreview : public QWebEngineView
{
    Q_OBJECT
    Q_PROPERTY(Status status READ status WRITE setStatus NOTIFY statusChanged)
public:
    // Whether the page shows the document as it is. A render that takes a while and a
    // document too large to preview are said in a note over the page.
    enum class Status { Current, Rendering, TooLarge };
    Q_ENUM(Status)
    // A render shorter than this never shows its note.
    static constexpr int renderingNoteDelayMs = 300;

    // The scheme the shell and the folder's files are served under.
    static constexpr const char *scheme = "sorvane-preview";
    // Registers that scheme; must run before the application object exists.
    static void registerSchemes();

    explicit MarkdownPreview(QWidget *parent = nullptr);
    ~MarkdownPreview() override;

    // A new fragment; sent 150 ms after the last change, repeats dropped.
    void setBodyHTML(const QString &html);
    // Applied by assignment in the open page, without a reload.
    void setFontSize(double pixels);
    void setColorScheme(const QString &scheme);
    // These load a new shell, which starts at the top.
    void setTheme(PreviewTheme theme);
    void setExtraCSS(const QString &css);
    // The folder of the document's file (relative images and links); an empty
    // URL for an untitled document.
    void setBaseURL(const QUrl &folder);

    Status status() const { return m_status; }
    void setStatus(Status status);
    // The note over the page, empty while none shows.
    QString statusNote() const;

    bool isPageLoaded() const { return m_pageLoaded; }
    // The address the current shell was loaded from.
    QUrl shellURL() const { return m_shellURL; }

    // What a link click outside the page leads to.
    enum class LinkAction { Open, Ask, Refuse };
    static LinkAction linkAction(const QUrl &url);

    // Opens an address in the default application; tests replace it.
    using UrlOpener = std::function<void(const QUrl &)>;
    void setUrlOpener(UrlOpener opener);

    // A link leaving the page: the folder's own scheme becomes a file address,
    // a mail link loses any attachment fields, then the policy decides. Public for the page classes and the tests.
    void handleExternalLink(const QUrl &url);

    // Scrolls the page to a heading of the document: the `occurrence`-th heading of
    // that level whose text matches the title (Markdown marks aside), else the
    // `index`-th heading of the page. Waits for a fragment still on its way.
    void scrollToHeading(int level, const QString &title, int occurrence, int index);

Q_SIGNALS:
    // A fragment went into the page (one per updateContent call).
    void contentPushed();
    // A new shell started loading.
    void shellLoadStarted();
    void statusChanged(MarkdownPreview::Status status);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class MarkdownPreviewPage;

    void pushFragment(const QString &html);
    void evaluate(const QString &script);
    void loadShell();
    void reloadShell();
    void onLoadFinished(bool ok);
    bool isShellURL(const QUrl &url) const;
    QUrl localURL(const QUrl &url) const;

    MarkdownPreviewPage *m_page = nullptr;
    QString m_token;
    int m_shellGeneration = 0;
    QUrl m_shellURL;

    QString m_lastSubmitted;
    bool m_hasSubmitted = false;
    QString m_debounced;
    QTimer m_debounce;

    std::optional<QString> m_pendingHTML;
    std::optional<QString> m_lastPushed;
    // Whether the page has run the diagram library (the shell comes without it).
    bool m_diagramLibraryLoaded = false;
    bool m_pageLoaded = false;

    Status m_status = Status::Current;
    QLabel *m_statusLabel = nullptr;
    QTimer m_statusDelay;
    void placeStatusLabel();

    double m_fontSize = 14;
    double m_shellFontSize = 14;
    QString m_shellColorScheme;
    QString m_colorScheme = QStringLiteral("light");
    PreviewTheme m_theme = PreviewTheme::Standard;
    QString m_extraCSS;
    QUrl m_baseURL;
    bool m_shellQueued = false;

    UrlOpener m_opener;

    // A heading scroll waiting for the page's next fragment.
    std::optional<QString> m_pendingHeadingScroll;
};
