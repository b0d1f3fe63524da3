#include "WebEngineTest.h"
#include "preview/MarkdownPreview.h"
#include "render/MarkdownToHTML.h"

#include "platform/AlertPresenter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace {

// Answers every question with a fixed button and records what was asked.
class ScriptedAlerts : public AlertPresenter
{
public:
    int answer = 1;
    QList<AlertRequest> asked;
    int runModal(const AlertRequest &request) override
    {
        asked.append(request);
        return answer;
    }

protected:
    std::optional<QString> presentSaveFile(const FilePanelRequest &) override { return std::nullopt; }
    void presentOpenFiles(const FilePanelRequest &, std::function<void(const QStringList &)> completion) override
    {
        completion({});
    }
};

QString longBody()
{
    QString html;
    for (int i = 0; i < 300; ++i)
        html += QStringLiteral("<p>Paragraph %1 with enough words to take a line of its own.</p>").arg(i);
    return html;
}

} // namespace

class tst_MarkdownPreview : public QObject
{
    Q_OBJECT

    std::unique_ptr<MarkdownPreview> makeLoadedPreview(const QString &body = QString())
    {
        auto preview = std::make_unique<MarkdownPreview>();
        preview->resize(800, 600);
        preview->show();
        if (!body.isNull())
            preview->setBodyHTML(body);
        if (!QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000))
            return nullptr;
        return preview;
    }

private Q_SLOTS:
    void initTestCase() { AlertPresenter::setShared(&m_alerts); }
    void cleanupTestCase() { AlertPresenter::setShared(nullptr); }

    void burstOfFragmentsGivesOneUpdate()
    {
        auto preview = makeLoadedPreview();
        QVERIFY(preview);
        QSignalSpy pushed(preview.get(), &MarkdownPreview::contentPushed);
        // Back to back, so the burst is shorter than the pause on any machine.
        for (int i = 1; i <= 5; ++i)
            preview->setBodyHTML(QStringLiteral("<p>version %1</p>").arg(i));
        QVERIFY(pushed.wait(5000));
        QCOMPARE(pushed.count(), 1);
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.getElementById('content').textContent === 'version 5'")));

        // The same fragment again (a font-size change in the pane, say) sends nothing.
        preview->setBodyHTML(QStringLiteral("<p>version 5</p>"));
        preview->setFontSize(18);
        QVERIFY(!pushed.wait(1000));
        QCOMPARE(pushed.count(), 1);
    }

    void fragmentsBeforeLoadShowTheLast()
    {
        MarkdownPreview preview;
        preview.setBodyHTML(QStringLiteral("<p>first</p>"));
        preview.setBodyHTML(QStringLiteral("<p>second</p>"));
        QVERIFY(QTest::qWaitFor([&] { return preview.isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview.page(), QStringLiteral("document.getElementById('content').textContent === 'second'")));
    }

    void nonAsciiArrivesIntact()
    {
        const QString text = QStringLiteral("Ça va — naïve façade, 日本語, emoji 😀🎉, quote ' and \\ backslash");
        auto preview = makeLoadedPreview();
        QVERIFY(preview);
        preview->setBodyHTML(QStringLiteral("<p id=\"t\"></p>").replace(QStringLiteral("></p>"),
                                                                       QStringLiteral(">") + text.toHtmlEscaped() + QStringLiteral("</p>")));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("!!document.getElementById('t')")));
        QCOMPARE(runScript(preview->page(), QStringLiteral("document.getElementById('t').textContent")).toString(), text);
    }

    // After the first fragment only the changed stretch travels; the page must end up
    // with the new fragment whatever the old and new share, pairs of UTF-16 units
    // included.
    void editsArriveIntact_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        const QString lead = QStringLiteral("<p>lead</p>\n");
        const QString trail = QStringLiteral("\n<p>trail</p>");
        QTest::newRow("middle word") << lead + QStringLiteral("<p>one two</p>") + trail
                                     << lead + QStringLiteral("<p>one new two</p>") + trail;
        QTest::newRow("low half differs") << lead + QStringLiteral("<p>x😀y</p>") + trail
                                          << lead + QStringLiteral("<p>x😁y</p>") + trail;
        QTest::newRow("high half differs") << lead + QStringLiteral("<p>x😀y</p>") + trail
                                           << lead + QStringLiteral("<p>x𝒜y</p>") + trail;
        QTest::newRow("pair inserted beside pair") << QStringLiteral("<p>😀</p>") << QStringLiteral("<p>😀😀</p>");
        QTest::newRow("repeated text shrinks") << QStringLiteral("<p>aaaa</p>") << QStringLiteral("<p>aa</p>");
        QTest::newRow("at the start") << QStringLiteral("<p>body</p>") << QStringLiteral("<h1>new</h1>\n<p>body</p>");
        QTest::newRow("at the end") << QStringLiteral("<p>body</p>") << QStringLiteral("<p>body</p>\n<p>more ü</p>");
        QTest::newRow("all gone") << QStringLiteral("<p>body</p>") << QString();
        QTest::newRow("from nothing") << QString() << QStringLiteral("<p>body</p>");
    }

    void editsArriveIntact()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        auto preview = makeLoadedPreview();
        QVERIFY(preview);
        const QString contentHTML = QStringLiteral("document.getElementById('content').innerHTML");
        const QString reads = QStringLiteral("%1 === %2");
        preview->setBodyHTML(QStringLiteral("<p>start</p>"));
        QVERIFY(waitForScript(preview->page(), reads.arg(contentHTML, jsString(QStringLiteral("<p>start</p>")))));
        for (const QString &fragment : {before, after}) {
            preview->setBodyHTML(fragment);
            QVERIFY2(waitForScript(preview->page(), reads.arg(contentHTML, jsString(fragment)), 10000),
                     qPrintable(runScript(preview->page(), contentHTML).toString()));
        }
    }

    void fontSizeAndSchemeKeepThePageAndScroll()
    {
        auto preview = makeLoadedPreview(longBody());
        QVERIFY(preview);
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.getElementById('content').children.length === 300")));
        // Scrolled again on each poll: on a busy machine the page may still be growing
        // (blocks out of view are laid out late) when the first scroll lands.
        QVERIFY(waitForScript(preview->page(), QStringLiteral("(window.scrollTo(0, 1200), window.scrollY === 1200)")));
        // A mark on the page, and the paragraph at the top of the view.
        QVERIFY(runScript(preview->page(), QStringLiteral(
            "window.__kept = true; window.__top = Array.from(document.querySelectorAll('#content p'))"
            ".find(function (p) { return p.getBoundingClientRect().bottom > 0; }); !!window.__top")).toBool());
        QSignalSpy reloads(preview.get(), &MarkdownPreview::shellLoadStarted);

        preview->setFontSize(19);
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.body.style.fontSize === '19px'")));
        preview->setColorScheme(QStringLiteral("dark"));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.documentElement.style.colorScheme === 'dark'")));

        // The page was not replaced, and the paragraph the reader was at is still in
        // view: the view did not go back to the top.
        QVERIFY(runScript(preview->page(), QStringLiteral("window.__kept === true")).toBool());
        QVERIFY(waitForScript(preview->page(), QStringLiteral(
            "(function () { var r = window.__top.getBoundingClientRect();"
            " return window.scrollY > 0 && r.bottom > 0 && r.top < window.innerHeight; })()")));
        QCOMPARE(reloads.count(), 0);
    }

    // The values a new preview is given before it first runs the event loop build one
    // shell, not one each.
    void initialValuesLoadOneShell()
    {
        QTemporaryDir folder;
        MarkdownPreview preview;
        QSignalSpy loads(&preview, &MarkdownPreview::shellLoadStarted);
        preview.setTheme(PreviewTheme::Serif);
        preview.setExtraCSS(QStringLiteral("p { letter-spacing: 2px; }"));
        preview.setBaseURL(QUrl::fromLocalFile(folder.path()));
        preview.setBodyHTML(QStringLiteral("<p>first</p>"));
        preview.resize(600, 400);
        preview.show();
        QVERIFY(QTest::qWaitFor([&] { return preview.isPageLoaded(); }, 60000));
        QCOMPARE(loads.count(), 1);
        QVERIFY(waitForScript(preview.page(), QStringLiteral("document.getElementById('content').textContent === 'first'")));
        QVERIFY(waitForScript(preview.page(),
                              QStringLiteral("getComputedStyle(document.querySelector('p')).letterSpacing === '2px'")));
    }

    void themeExtraCSSAndFolderReloadTheShell()
    {
        auto preview = makeLoadedPreview(longBody());
        QVERIFY(preview);
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.body.scrollHeight > 3000")));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("(window.scrollTo(0, 900), window.scrollY === 900)")));
        QSignalSpy reloads(preview.get(), &MarkdownPreview::shellLoadStarted);

        preview->setTheme(PreviewTheme::GitHub);
        QCOMPARE(reloads.count(), 1);
        QVERIFY(QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000));
        // The new shell starts at the top and shows the latest fragment again.
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.getElementById('content').children.length === 300")));
        QCOMPARE(runScript(preview->page(), QStringLiteral("window.scrollY")).toInt(), 0);
        QVERIFY(runScript(preview->page(), QStringLiteral("document.documentElement.outerHTML.indexOf('#0969da') > 0")).toBool());

        preview->setExtraCSS(QStringLiteral("p { letter-spacing: 3px; }"));
        QCOMPARE(reloads.count(), 2);
        QVERIFY(QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("getComputedStyle(document.querySelector('p')).letterSpacing === '3px'")));

        QTemporaryDir folder;
        preview->setBaseURL(QUrl::fromLocalFile(folder.path()));
        QCOMPARE(reloads.count(), 3);
        // The same values again load nothing.
        preview->setTheme(PreviewTheme::GitHub);
        preview->setExtraCSS(QStringLiteral("p { letter-spacing: 3px; }"));
        preview->setBaseURL(QUrl::fromLocalFile(folder.path()));
        QCOMPARE(reloads.count(), 3);
    }

    // In a real page: pictures from the document's folder and from anywhere else,
    // by relative, absolute and symbolic-link paths. What is refused is in
    // tst_PreviewFileAccess, where the answer can be told from a broken picture.
    void imagesComeFromAnywhereReadable()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("doc/pics")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("shared assets")));
        QImage image(7, 5, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString outside = root.path() + QStringLiteral("/shared assets");
        QVERIFY(image.save(root.path() + QStringLiteral("/doc/pics/in side.png")));
        QVERIFY(image.save(outside + QStringLiteral("/a.png")));
        QVERIFY(image.save(outside + QStringLiteral("/picture.txt"), "PNG"));
        QVERIFY(QFile::link(outside + QStringLiteral("/a.png"), root.path() + QStringLiteral("/doc/link.png")));

        struct Case
        {
            const char *id;
            QString src;
        };
        const QString absolute = QUrl::fromLocalFile(outside + QStringLiteral("/a.png")).path(QUrl::FullyEncoded);
        const QList<Case> cases = {
            {"inside", QStringLiteral("pics/in%20side.png")},
            {"parent", QStringLiteral("../shared%20assets/a.png")},
            {"dotted", QStringLiteral("pics/../../shared%20assets/a.png")},
            {"encoded", QStringLiteral("pics/%2e%2e/%2e%2e/shared%20assets/a.png")},
            {"absolute", absolute},
            {"named as text", QStringLiteral("../shared%20assets/picture.txt")},
            {"link out", QStringLiteral("link.png")},
        };
        QString body;
        for (const Case &c : cases)
            body += QStringLiteral("<img id=\"%1\" src=\"%2\">").arg(QLatin1String(c.id), c.src);

        auto preview = std::make_unique<MarkdownPreview>();
        preview->setBaseURL(QUrl::fromLocalFile(root.path() + QStringLiteral("/doc")));
        preview->setBodyHTML(body);
        QVERIFY(QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.images.length === %1 && "
                                                              "Array.from(document.images).every(i => i.complete)")
                                                   .arg(cases.size())));
        for (const Case &c : cases) {
            const int width = runScript(preview->page(), QStringLiteral("document.getElementById('%1').naturalWidth")
                                                             .arg(QLatin1String(c.id)))
                                  .toInt();
            QVERIFY2(width == 7, c.id);
        }
    }

    void linkAction_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("action");
        const int open = int(MarkdownPreview::LinkAction::Open);
        const int ask = int(MarkdownPreview::LinkAction::Ask);
        const int refuse = int(MarkdownPreview::LinkAction::Refuse);
        QTest::newRow("https") << "https://example.com/a?b#c" << open;
        QTest::newRow("http") << "http://example.com/" << open;
        QTest::newRow("mixed-case http") << "HTTP://example.com/" << open;
        QTest::newRow("mailto") << "mailto:someone@example.com" << open;
        QTest::newRow("javascript") << "javascript:alert(1)" << refuse;
        QTest::newRow("mixed-case javascript") << "JaVaScRiPt:alert(1)" << refuse;
        QTest::newRow("vbscript") << "vbscript:msgbox(1)" << refuse;
        QTest::newRow("data") << "data:text/html,<script>alert(1)</script>" << refuse;
        QTest::newRow("app scheme") << "sorvane://auth/callback?code=x" << refuse;
        QTest::newRow("preview scheme") << "sorvane-preview://abc/x.png" << refuse;
        QTest::newRow("executable") << QUrl::fromLocalFile(QStringLiteral("/bin/sh")).toString() << refuse;
        QTest::newRow("launcher") << QUrl::fromLocalFile(QDir::tempPath() + QStringLiteral("/x.desktop")).toString() << refuse;
        QTest::newRow("shell script") << QUrl::fromLocalFile(QDir::tempPath() + QStringLiteral("/x.SH")).toString() << refuse;
        QTest::newRow("remote file") << "file://server/share/doc.md" << refuse;
        QTest::newRow("plain file") << QUrl::fromLocalFile(QDir::tempPath() + QStringLiteral("/notes.md")).toString() << ask;
        QTest::newRow("ftp") << "ftp://example.com/file" << ask;
        QTest::newRow("tel") << "tel:+123456" << ask;
        QTest::newRow("no scheme") << "relative/path" << refuse;
    }

    void linkAction()
    {
        QFETCH(QString, url);
        QFETCH(int, action);
        QCOMPARE(int(MarkdownPreview::linkAction(QUrl(url))), action);
    }

    // Mail links open at once, so they lose every attachment field before the
    // mail program sees them.
    void mailLinksLoseAttachments_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("handedOver");
        QTest::newRow("plain") << "mailto:a@example.com" << "mailto:a@example.com";
        QTest::newRow("subject and body kept") << "mailto:a@example.com?subject=Hi%20there&body=x"
                                               << "mailto:a@example.com?subject=Hi%20there&body=x";
        QTest::newRow("attach only") << "mailto:a@example.com?attach=/home/me/.ssh/id_rsa" << "mailto:a@example.com";
        QTest::newRow("attachment among others")
            << "mailto:a@example.com?subject=s&attachment=file:///etc/passwd&body=b"
            << "mailto:a@example.com?subject=s&body=b";
        QTest::newRow("upper case") << "mailto:a@example.com?ATTACH=/etc/passwd&Attachment=/etc/shadow"
                                    << "mailto:a@example.com";
        QTest::newRow("percent-encoded name") << "mailto:a@example.com?%61ttach=/etc/passwd&cc=b@example.com"
                                              << "mailto:a@example.com?cc=b@example.com";
        QTest::newRow("encoded twice") << "mailto:a@example.com?%2561ttachment=/etc/passwd"
                                       << "mailto:a@example.com";
        QTest::newRow("repeated") << "mailto:?attach=/a&attach=/b&to=a@example.com" << "mailto:?to=a@example.com";
        QTest::newRow("upper-case scheme") << "MAILTO:a@example.com?attach=/etc/passwd" << "mailto:a@example.com";
        QTest::newRow("value naming attach kept") << "mailto:a@example.com?subject=attach" 
                                                  << "mailto:a@example.com?subject=attach";
    }

    void mailLinksLoseAttachments()
    {
        QFETCH(QString, link);
        QFETCH(QString, handedOver);
        MarkdownPreview preview;
        QList<QUrl> opened;
        preview.setUrlOpener([&](const QUrl &url) { opened.append(url); });
        preview.handleExternalLink(QUrl(link));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.constFirst().toString(QUrl::FullyEncoded), handedOver);
    }

    void clicksFollowThePolicy()
    {
        QTemporaryDir folder;
        QFile sibling(folder.path() + QStringLiteral("/other.md"));
        QVERIFY(sibling.open(QIODevice::WriteOnly));
        sibling.close();

        auto preview = std::make_unique<MarkdownPreview>();
        QList<QUrl> opened;
        preview->setUrlOpener([&](const QUrl &url) { opened.append(url); });
        preview->setBaseURL(QUrl::fromLocalFile(folder.path()));
        preview->setBodyHTML(QStringLiteral(
            "<p><a id=\"web\" href=\"https://example.com/page\">web</a>"
            "<a id=\"blank\" href=\"https://example.com/new\" target=\"_blank\">new window</a>"
            "<a id=\"anchor\" href=\"#far\">anchor</a>"
            "<a id=\"sibling\" href=\"other.md#part\">sibling</a>"
            "<a id=\"app\" href=\"sorvane://open?path=/etc/passwd\">app</a></p>"
            "<div style=\"height: 4000px\"></div><h2 id=\"far\">Far</h2>"));
        QVERIFY(QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("!!document.getElementById('web')")));
        const QUrl shell = preview->shellURL();
        const auto click = [&](const char *id) {
            runScript(preview->page(), QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
        };

        click("web");
        QTRY_COMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/page"))});
        click("blank");
        QTRY_COMPARE(opened.size(), 2);
        QCOMPARE(opened.last(), QUrl(QStringLiteral("https://example.com/new")));

        click("anchor");
        QVERIFY(waitForScript(preview->page(), QStringLiteral("window.scrollY > 1000")));
        QCOMPARE(opened.size(), 2);
        QCOMPARE(preview->page()->url().adjusted(QUrl::RemoveFragment), shell);

        m_alerts.asked.clear();
        m_alerts.answer = 1; // Cancel
        click("sibling");
        QTRY_COMPARE(m_alerts.asked.size(), 1);
        QCOMPARE(opened.size(), 2);
        m_alerts.answer = 0; // Open
        click("sibling");
        QTRY_COMPARE(opened.size(), 3);
        QUrl expected = QUrl::fromLocalFile(QFileInfo(sibling).canonicalFilePath());
        expected.setFragment(QStringLiteral("part"));
        QCOMPARE(opened.last(), expected);

        m_alerts.asked.clear();
        click("app");
        // Clicks are handled in order: once the next one has arrived, the one to
        // the app's own scheme was refused without a word.
        click("web");
        QTRY_COMPARE(opened.size(), 4);
        QCOMPARE(opened.last(), QUrl(QStringLiteral("https://example.com/page")));
        QCOMPARE(m_alerts.asked.size(), 0);
        QCOMPARE(preview->page()->url().adjusted(QUrl::RemoveFragment), shell);
    }

    // A switch of scheme redraws every diagram in the new one at once, from the
    // source it kept, without a new fragment or shell.
    // Compiling the diagram library takes most of a second, so the page gets it with
    // the first diagram, not with the shell; after a new shell, again.
    void diagramLibraryComesWithTheFirstDiagram()
    {
        auto preview = makeLoadedPreview(MarkdownToHTML::renderedBodyHTML(QStringLiteral("# Plain\n\nNo diagram.\n")));
        QVERIFY(preview);
        QVERIFY(waitForScript(preview->page(), QStringLiteral("!!document.querySelector('h1')")));
        QCOMPARE(runScript(preview->page(), QStringLiteral("typeof mermaid")).toString(), QStringLiteral("undefined"));

        const QString diagram = MarkdownToHTML::renderedBodyHTML(
            QStringLiteral("# Plain\n\n```mermaid\nflowchart LR\n  A[Kestrel] --> B[Osprey]\n```\n"));
        const QString drawn = QStringLiteral("(function () { var m = document.querySelector('.mermaid');"
                                             " return !!m && m.getAttribute('data-processed') === 'true'"
                                             " && !!m.querySelector('svg') && /Kestrel/.test(m.textContent); })()");
        preview->setBodyHTML(diagram);
        QVERIFY(waitForScript(preview->page(), drawn));

        // A new shell (another theme) starts without it and is given it again.
        QSignalSpy loaded(preview.get(), &QWebEngineView::loadFinished);
        preview->setTheme(PreviewTheme::Serif);
        QVERIFY(loaded.wait(30000));
        QVERIFY(waitForScript(preview->page(), drawn));
    }

    void diagramsFollowASchemeSwitch()
    {
        auto preview = makeLoadedPreview(MarkdownToHTML::renderedBodyHTML(QStringLiteral(
            "```mermaid\nflowchart LR\n  A[Kestrel] --> B[Osprey]\n```\n\n"
            "```mermaid\nflowchart TD\n  C[Heron] --> D[Plover]\n```\n")));
        QVERIFY(preview);
        const QString lightFill = QStringLiteral("rgb(236, 236, 255)");
        // Every diagram drawn, in the scheme asked for, with its labels.
        const auto drawnIn = [&](bool dark) {
            return QStringLiteral(
                       "(function () { var d = document.querySelectorAll('.mermaid');"
                       " return d.length === 2 && Array.from(d).every(function (m) {"
                       "  var shape = m.querySelector('svg .node rect, svg .node path');"
                       "  return m.getAttribute('data-processed') === 'true' && shape"
                       "   && (getComputedStyle(shape).fill !== '%1') === %2"
                       "   && /Kestrel|Heron/.test(m.textContent); }); })()")
                .arg(lightFill, dark ? QStringLiteral("true") : QStringLiteral("false"));
        };
        QVERIFY(waitForScript(preview->page(), drawnIn(false)));
        QSignalSpy pushed(preview.get(), &MarkdownPreview::contentPushed);
        QSignalSpy reloads(preview.get(), &MarkdownPreview::shellLoadStarted);

        preview->setColorScheme(QStringLiteral("dark"));
        QVERIFY(waitForScript(preview->page(), drawnIn(true)));
        // Back and forth quickly: the last scheme wins.
        preview->setColorScheme(QStringLiteral("light"));
        preview->setColorScheme(QStringLiteral("dark"));
        preview->setColorScheme(QStringLiteral("light"));
        QVERIFY(waitForScript(preview->page(), drawnIn(false)));
        QCOMPARE(runScript(preview->page(), QStringLiteral("document.querySelectorAll('.mermaid svg').length")).toInt(), 2);
        QCOMPARE(pushed.count(), 0);
        QCOMPARE(reloads.count(), 0);
    }

    // Each theme shows its own colours in both schemes; the view is grabbed to
    // /tmp/preview-shots for a look.
    void themeColours_data()
    {
        QTest::addColumn<int>("theme");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("quoteBar");
        QTest::addColumn<QString>("text");
        const QString lightText = QStringLiteral("rgb(29, 29, 31)");
        const QString darkText = QStringLiteral("rgb(245, 245, 247)");
        QTest::newRow("Default light") << int(PreviewTheme::Standard) << "light" << "rgb(0, 102, 204)" << "rgb(229, 229, 229)" << "rgb(208, 208, 208)" << lightText;
        QTest::newRow("Default dark") << int(PreviewTheme::Standard) << "dark" << "rgb(90, 200, 250)" << "rgb(51, 51, 51)" << "rgb(85, 85, 85)" << darkText;
        QTest::newRow("GitHub light") << int(PreviewTheme::GitHub) << "light" << "rgb(9, 105, 218)" << "rgb(208, 215, 222)" << "rgb(208, 215, 222)" << lightText;
        QTest::newRow("GitHub dark") << int(PreviewTheme::GitHub) << "dark" << "rgb(88, 166, 255)" << "rgb(48, 54, 61)" << "rgb(48, 54, 61)" << darkText;
        QTest::newRow("Serif light") << int(PreviewTheme::Serif) << "light" << "rgb(139, 0, 0)" << "rgb(212, 197, 169)" << "rgb(196, 168, 130)" << lightText;
        QTest::newRow("Serif dark") << int(PreviewTheme::Serif) << "dark" << "rgb(230, 115, 90)" << "rgb(68, 68, 68)" << "rgb(102, 102, 102)" << darkText;
    }

    void themeColours()
    {
        QFETCH(int, theme);
        QFETCH(QString, scheme);
        QFETCH(QString, link);
        QFETCH(QString, rule);
        QFETCH(QString, quoteBar);
        QFETCH(QString, text);
        MarkdownPreview preview;
        preview.resize(900, 700);
        preview.show();
        preview.setTheme(PreviewTheme(theme));
        preview.setColorScheme(scheme);
        preview.setBodyHTML(MarkdownToHTML::renderedBodyHTML(QStringLiteral(
            "# Heading one\n\nSome **strong** text with a [link](https://example.com) and `inline code`.\n\n"
            "## Heading two\n\n> A quotation, set apart.\n\n```\ncode block\n```\n\n"
            "| A | B |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\n- item\n- [x] done\n\nMath $e^{i\\pi}+1=0$.\n\n"
            "```mermaid\nflowchart LR\n  A --> B\n```\n\nText with a footnote.[^1]\n\n[^1]: The note.\n")));
        QVERIFY(QTest::qWaitFor([&] { return preview.isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview.page(), QStringLiteral("document.querySelectorAll('.mermaid svg').length > 0")));
        const auto style = [&](const char *selector, const char *property) {
            return runScript(preview.page(), QStringLiteral("getComputedStyle(document.querySelector('%1')).%2")
                                                 .arg(QLatin1String(selector), QLatin1String(property)))
                .toString();
        };
        QCOMPARE(style("#content a", "color"), link);
        QCOMPARE(style("h1", "borderBottomColor"), rule);
        QCOMPARE(style("blockquote", "borderLeftColor"), quoteBar);
        QCOMPARE(style("body", "color"), text);
        // Diagrams follow the assigned scheme too.
        const QString nodeFill = runScript(preview.page(), QStringLiteral(
            "getComputedStyle(document.querySelector('.mermaid svg .node rect, .mermaid svg .node path')).fill")).toString();
        QVERIFY2((scheme == QLatin1String("dark")) == (nodeFill != QLatin1String("rgb(236, 236, 255)")), qPrintable(nodeFill));

        QTest::qWait(300);
        QDir().mkpath(QStringLiteral("/tmp/preview-shots"));
        const QString name = previewThemeRawValue(PreviewTheme(theme)) + QLatin1Char('-') + scheme;
        preview.grab().save(QStringLiteral("/tmp/preview-shots/%1.png").arg(name));
    }

    // A column's alignment from the delimiter row beats the themes' left-aligned
    // cells, in the preview and in the exported page (HTML and PDF).
    void tableColumnsKeepTheirAlignment_data()
    {
        QTest::addColumn<int>("theme");
        QTest::addColumn<bool>("exported");
        for (PreviewTheme theme : allPreviewThemes()) {
            const QByteArray name = previewThemeRawValue(theme).toUtf8();
            QTest::newRow((name + " preview").constData()) << int(theme) << false;
            QTest::newRow((name + " export").constData()) << int(theme) << true;
        }
    }

    void tableColumnsKeepTheirAlignment()
    {
        QFETCH(int, theme);
        QFETCH(bool, exported);
        const QString markdown = QStringLiteral("| plain | left | right | centre |\n|---|:---|---:|:---:|\n| a | b | c | d |\n");
        std::unique_ptr<MarkdownPreview> preview;
        std::unique_ptr<QWebEnginePage> exportPage;
        QWebEnginePage *page = nullptr;
        if (exported) {
            exportPage = std::make_unique<QWebEnginePage>();
            QSignalSpy finished(exportPage.get(), &QWebEnginePage::loadFinished);
            exportPage->setHtml(MarkdownToHTML::documentHTML(markdown, 15, QUrl(), PreviewTheme(theme), QString()));
            QVERIFY(finished.wait(30000));
            page = exportPage.get();
        } else {
            preview = std::make_unique<MarkdownPreview>();
            preview->setTheme(PreviewTheme(theme));
            preview->setBodyHTML(MarkdownToHTML::renderedBodyHTML(markdown));
            QVERIFY(QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000));
            page = preview->page();
        }
        QVERIFY(waitForScript(page, QStringLiteral("document.querySelectorAll('td').length === 4")));
        const QString aligns = runScript(page, QStringLiteral(
            "Array.from(document.querySelectorAll('tr'), r => Array.from(r.cells, c => getComputedStyle(c).textAlign).join(' ')).join(' | ')")).toString();
        QCOMPARE(aligns, QStringLiteral("left left right center | left left right center"));
    }

private:
    ScriptedAlerts m_alerts;
};

SORVANE_WEBENGINE_TEST_MAIN(tst_MarkdownPreview)
#include "tst_MarkdownPreview.moc"
