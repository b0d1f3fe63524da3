// The export, print, share and copy commands of the document manager, drawn by the
// real web engine and checked through what they leave behind: files, PDF text, the
// clipboard, alerts, report requests and analytics events.
#include "ScriptedAlertPresenter.h"
#include "FileSizeLimit.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "WebEngineTest.h"

#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/encryption/DocumentEncryptionCommands.h"
#include "export/DocumentExportCommands.h"
#include "platform/AppPaths.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "preview/ThemeService.h"
#include "export/DocumentExporter.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <optional>

namespace {

const QString sampleText = QStringLiteral(
    "# Export Sample\n\n"
    "Quartz harbour lanterns glow beside the tide.\n\n"
    "Inline math $E = mc^2$ and a display:\n\n"
    "$$\\frac{a}{b} = \\sqrt{c}$$\n\n"
    "```mermaid\n"
    "graph TD\n"
    "  Alpha[Kestrel] --> Beta[Osprey]\n"
    "```\n\n"
    "![a small picture](pictures/dot.png)\n");

// The text of a PDF's first page.
QString firstPageText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                QStringLiteral("1"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}

QString pdfInfo(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {pdf});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The fonts a PDF embeds, as pdffonts lists them.
QString pdfFonts(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdffonts"), {pdf});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The share of a first page's pixels that are not near white, rendered small.
double inkedShare(const QString &pdf)
{
    QTemporaryDir dir;
    QProcess process;
    process.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("20"),
                                               QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                               QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                               dir.filePath(QStringLiteral("page"))});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return 0;
    const QImage image(dir.filePath(QStringLiteral("page.png")));
    qint64 inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qGray(image.pixel(x, y)) < 200 ? 1 : 0;
    return image.isNull() ? 0 : double(inked) / (double(image.width()) * image.height());
}

class RecordingLauncher : public DesktopShare::Launcher
{
public:
    RecordingLauncher() { DesktopShare::setLauncher(this); }
    ~RecordingLauncher() override { DesktopShare::setLauncher(nullptr); }

    bool fileManagerAnswers = true;
    QList<QStringList> started;   // program, then its arguments
    QList<QUrl> opened;
    QList<QStringList> shown;

    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started.append(QStringList{program} + arguments);
        return true;
    }
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    bool showItemsInFileManager(const QStringList &fileUris) override
    {
        shown.append(fileUris);
        return fileManagerAnswers;
    }
};

} // namespace

class tst_DocumentExporter : public QObject
{
    Q_OBJECT

private:
    QString m_folder;
    QString m_samplePath;
    QStringList m_events;
    QList<QVariantMap> m_eventProperties;
    QList<QPair<QString, int>> m_reports;

    QString outputPath(const QString &name) const { return QDir(m_folder).filePath(QStringLiteral("out/") + name); }

    // A regular file standing where a folder should be: no write below it can work,
    // not even as root.
    QString unwritablePath(const QString &name) const
    {
        const QString blocker = QDir(m_folder).filePath(QStringLiteral("not-a-folder"));
        writeFile(blocker, "plain");
        return blocker + QLatin1Char('/') + name;
    }

    void expectExportAlert(const ScriptedAlertPresenter &alerts)
    {
        QCOMPARE(alerts.alerts.size(), 1);
        const AlertRequest &alert = alerts.alerts.constFirst();
        QCOMPARE(alert.messageText, QStringLiteral("Could not export document"));
        QVERIFY(!alert.informativeText.isEmpty());
        QCOMPARE(alert.style, AlertRequest::Style::Critical);
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QTRY_COMPARE(m_reports.size(), 1);
        QCOMPARE(m_reports.constFirst().first, QStringLiteral("export_failed"));
        QCOMPARE(m_reports.constFirst().second, 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_folder = QDir::home().filePath(QStringLiteral("export"));
        m_samplePath = QDir(m_folder).filePath(QStringLiteral("docs/sample.md"));
        QVERIFY(writeFile(m_samplePath, sampleText.toUtf8()));
        QImage dot(24, 24, QImage::Format_RGB32);
        dot.fill(QColor(0x2a, 0x7a, 0xe2));
        QDir().mkpath(QDir(m_folder).filePath(QStringLiteral("docs/pictures")));
        QVERIFY(dot.save(QDir(m_folder).filePath(QStringLiteral("docs/pictures/dot.png"))));
        Analytics::setObserver([this](const QString &name, const QVariantMap &properties) {
            m_events.append(name);
            m_eventProperties.append(properties);
        });
        DiagnosticUploader::setAutoReportObserver([this](const QString &reason, int count) {
            m_reports.append({reason, count});
        });
    }

    void cleanupTestCase()
    {
        Analytics::setObserver(nullptr);
        DiagnosticUploader::setAutoReportObserver(nullptr);
    }

    void init()
    {
        m_events.clear();
        m_eventProperties.clear();
        m_reports.clear();
        for (const char *key : {"fontSize", "previewTheme", "sorvane.useCustomCSS", "sorvane.proTheme"})
            Settings::shared().remove(QString::fromLatin1(key));
        QDir(QDir(m_folder).filePath(QStringLiteral("out"))).removeRecursively();
        QDir().mkpath(QDir(m_folder).filePath(QStringLiteral("out")));
        QGuiApplication::clipboard()->clear();
    }

    void commandsDoNothingWithoutSelectedTab()
    {
        ScriptedAlertPresenter alerts;
        RecordingLauncher launcher;
        DocumentExporter exporter;
        int printerRequests = 0;
        exporter.setPrinterChooser([&](QPrinter &) { return ++printerRequests, false; });
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        manager.setSelectedId(QUuid());
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);
        QWidget anchor;

        commands.printCurrentDocument();
        commands.exportPDFCurrentDocument();
        commands.exportHTMLCurrentDocument();
        commands.shareCurrentDocument(&anchor);
        commands.copyCurrentAsRichText();
        commands.copyCurrentAsHTML();
        DocumentEncryptionCommands(manager).encryptCurrentDocument();
        QCoreApplication::processEvents();

        QCOMPARE(printerRequests, 0);
        QVERIFY(alerts.alerts.isEmpty());
        QVERIFY(alerts.savePanels.isEmpty());
        QVERIFY(alerts.menus.isEmpty());
        QVERIFY(m_events.isEmpty());
        QVERIFY(finished.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        QVERIFY(!QFile::exists(QDir(AppPaths::privateTempFolder()).filePath(QStringLiteral("sample.html"))));
    }

    void suggestedNames_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("baseName");
        QTest::newRow("untitled") << QString() << QStringLiteral("Untitled");
        QTest::newRow("last extension only") << QStringLiteral("report.final.md") << QStringLiteral("report.final");
        QTest::newRow("no extension") << QStringLiteral("NOTES") << QStringLiteral("NOTES");
    }

    // Cancelling the panel writes nothing and records nothing.
    void suggestedNames()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, baseName);
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        if (fileName.isEmpty()) {
            manager.newDocument(QStringLiteral("text"));
        } else {
            const QString path = QDir(m_folder).filePath(QStringLiteral("names/") + fileName);
            QVERIFY(writeFile(path, "text"));
            manager.openFile(path);
        }
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);
        commands.exportPDFCurrentDocument();
        commands.exportHTMLCurrentDocument();
        QCOMPARE(alerts.savePanels.size(), 2);
        QCOMPARE(alerts.savePanels.at(0).suggestedName, baseName + QStringLiteral(".pdf"));
        QCOMPARE(alerts.savePanels.at(1).suggestedName, baseName + QStringLiteral(".html"));
        QCoreApplication::processEvents();
        QVERIFY(finished.isEmpty());
        QVERIFY(alerts.alerts.isEmpty());
        QVERIFY(m_events.isEmpty());
    }

    void exportPanelFolderAndName_data()
    {
        QTest::addColumn<bool>("pdf");
        QTest::addColumn<bool>("untitled"); // after an open panel in docs/
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("pdf, file tab") << true << false << QStringLiteral("out/typed") << QStringLiteral("out/typed.pdf");
        QTest::newRow("html, file tab") << false << false << QStringLiteral("out/typed")
                                        << QStringLiteral("out/typed.html");
        QTest::newRow("html, untitled tab") << false << true << QStringLiteral("out/typed.htm")
                                            << QStringLiteral("out/typed.htm");
    }

    // The panel opens in the document's folder, else the last one used, and a bare
    // name gets the export's extension.
    void exportPanelFolderAndName()
    {
        QFETCH(bool, pdf);
        QFETCH(bool, untitled);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        if (untitled) {
            alerts.openAnswers = {QStringList{m_samplePath}};
            manager.openFilePicker();
            manager.newDocument(QStringLiteral("text"));
        } else {
            manager.openFile(m_samplePath);
        }
        alerts.saveAnswers = {QDir(m_folder).filePath(typed)};
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);

        if (pdf)
            commands.exportPDFCurrentDocument();
        else
            commands.exportHTMLCurrentDocument();

        if (pdf)
            QVERIFY(finished.wait(120000));
        QCOMPARE(alerts.savePanels.size(), 1);
        QCOMPARE(QFileInfo(alerts.savePanels.at(0).directory).canonicalFilePath(),
                 QFileInfo(QDir(m_folder).filePath(QStringLiteral("docs"))).canonicalFilePath());
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(QDir(QDir(m_folder).filePath(QStringLiteral("out"))).entryList(QDir::Files),
                 QStringList{QFileInfo(written).fileName()});
    }

    // The file export ignores the user's size, theme and CSS, carries the math and
    // diagram libraries the text needs, and resolves the picture against the document.
    void htmlExportWritesStandalonePage()
    {
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        Settings::shared().setValue(QStringLiteral("fontSize"), 20);
        Settings::shared().setValue(QStringLiteral("previewTheme"), QStringLiteral("Serif"));
        Settings::shared().setValue(QStringLiteral("sorvane.useCustomCSS"), true);
        QVERIFY(writeFile(QDir(AppPaths::supportFolder()).filePath(QStringLiteral("custom.css")),
                          "body { color: #abcdef; }"));
        manager.openFile(m_samplePath);
        const QString target = outputPath(QStringLiteral("sample.html"));
        alerts.saveAnswers = {target};

        commands.exportHTMLCurrentDocument();

        QVERIFY(alerts.alerts.isEmpty());
        const QString page = QString::fromUtf8(readFile(target));
        QVERIFY(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
        const QString folderURL = QUrl::fromLocalFile(QDir(m_folder).filePath(QStringLiteral("docs/"))).toString();
        QVERIFY2(page.contains(QStringLiteral("<base href=\"") + folderURL), qPrintable(folderURL));
        QVERIFY(page.contains(QStringLiteral("src=\"pictures/dot.png\"")));
        QVERIFY(page.contains(QStringLiteral("id=\"sorvane-katex-css\"")));
        QVERIFY(page.contains(QStringLiteral("renderMathInElement")));
        QVERIFY(page.contains(QStringLiteral("E = mc^2")));
        QVERIFY(page.contains(QStringLiteral("class=\"mermaid\"")));
        QVERIFY(page.contains(QStringLiteral("mermaid.initialize")));
        QVERIFY(page.contains(QStringLiteral("font-size: 15.0px")));
        QVERIFY(page.contains(QStringLiteral("body { font-family: -apple-system, BlinkMacSystemFont, \"SF Pro Text\"")));
        QVERIFY(!page.contains(QStringLiteral("#abcdef")));
        QVERIFY(m_events.isEmpty());
    }

    void htmlExportFailureShowsAlert_data()
    {
        QTest::addColumn<bool>("existingTarget");
        QTest::newRow("folder is a file") << false;
        QTest::newRow("write cut short over an old file") << true;
    }

    void htmlExportFailureShowsAlert()
    {
        QFETCH(bool, existingTarget);
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        QString target;
        if (existingTarget) {
            target = outputPath(QStringLiteral("old.html"));
            QVERIFY(writeFile(target, "old page"));
        } else {
            target = unwritablePath(QStringLiteral("sample.html"));
        }
        alerts.saveAnswers = {target};
        {
            FileSizeLimit limit(existingTarget ? 1024 : RLIM_INFINITY);
            commands.exportHTMLCurrentDocument();
        }
        expectExportAlert(alerts);
        if (existingTarget)
            QCOMPARE(readFile(target), QByteArray("old page"));
        else
            QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files).size(), existingTarget ? 1 : 0);
    }

    // The PDF holds the document's words, its math typeset and its diagram drawn
    // (neither left as source), on US Letter paper.
    void pdfExportWritesDocument()
    {
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        const QString target = outputPath(QStringLiteral("sample.pdf"));
        QVERIFY(writeFile(target, "an older export"));
        alerts.saveAnswers = {target};
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);

        commands.exportPDFCurrentDocument();

        QVERIFY(finished.wait(120000));
        QCOMPARE(finished.constFirst().constFirst().toBool(), true);
        QVERIFY(alerts.alerts.isEmpty());
        QVERIFY(readFile(target).startsWith("%PDF-"));
        const QString text = firstPageText(target);
        for (const char *words : {"Export Sample", "Quartz harbour lanterns glow beside the tide.", "Kestrel", "Osprey"})
            QVERIFY2(text.contains(QString::fromLatin1(words)), qPrintable(text));
        for (const char *source : {"$$", "\\frac", "-->", "graph TD", "mc^2"})
            QVERIFY2(!text.contains(QString::fromLatin1(source)), qPrintable(text));
        QVERIFY2(pdfInfo(target).contains(QStringLiteral("612 x 792 pts")), qPrintable(pdfInfo(target)));
        QVERIFY(m_events.isEmpty());
        const QStringList leftovers = QDir(AppPaths::privateTempFolder()).entryList({QStringLiteral("export-*")});
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(u' ')));
    }

    // Formulas reach the PDF typeset in KaTeX's own fonts, inline and displayed,
    // with a diagram on the page too.
    void pdfExportTypesetsMath()
    {
        DocumentExporter exporter;
        const QString page = exporter.standalonePage(
            QStringLiteral("Energy $E = mc^2$ inline.\n\n$$\\int_0^1 x^2 dx$$\n\n"
                           "```mermaid\ngraph TD\n  Alpha[Kestrel] --> Beta[Osprey]\n```\n"),
            15, QUrl(), QString(), false);
        const QString target = outputPath(QStringLiteral("math.pdf"));
        std::optional<DocumentExporter::Outcome> outcome;
        exporter.writePDF(page, target, [&](const DocumentExporter::Outcome &result) { outcome = result; });
        QVERIFY(QTest::qWaitFor([&] { return outcome.has_value(); }, 120000));
        QCOMPARE(int(outcome->status), int(DocumentExporter::Outcome::Status::Succeeded));

        const QString text = firstPageText(target);
        // The integral sign, the variables and the exponents, not the TeX source.
        for (const QString &symbol : {QStringLiteral("\u222B"), QStringLiteral("mc"), QStringLiteral("Kestrel")})
            QVERIFY2(text.contains(symbol), qPrintable(symbol + QStringLiteral(" not in: ") + text));
        for (const char *source : {"$", "\\int", "mc^2", "x^2"})
            QVERIFY2(!text.contains(QString::fromLatin1(source)), qPrintable(text));
        const QString fonts = pdfFonts(target);
        for (const char *face : {"KaTeX_Main", "KaTeX_Math", "KaTeX_Size"})
            QVERIFY2(fonts.contains(QString::fromLatin1(face)), qPrintable(fonts));
    }

    void pdfExportFailureShowsAlert()
    {
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        const QString target = unwritablePath(QStringLiteral("sample.pdf"));
        alerts.saveAnswers = {target};
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);

        commands.exportPDFCurrentDocument();

        QVERIFY(finished.wait(120000));
        QCOMPARE(finished.constFirst().constFirst().toBool(), false);
        expectExportAlert(alerts);
        QVERIFY(!QFile::exists(target));
    }

    void print_data()
    {
        QTest::addColumn<bool>("chooses");
        QTest::addColumn<bool>("writable");
        QTest::newRow("printed") << true << true;
        QTest::newRow("printer fails") << true << false;
        QTest::newRow("dialog cancelled") << false << true;
    }

    // Printing goes to a PDF printer here, so the test can read what was printed.
    void print()
    {
        QFETCH(bool, chooses);
        QFETCH(bool, writable);
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        const QString target = writable ? outputPath(QStringLiteral("printed.pdf"))
                                        : unwritablePath(QStringLiteral("printed.pdf"));
        exporter.setPrinterChooser([&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(target);
            return chooses;
        });
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        QSignalSpy finished(&commands, &DocumentExportCommands::exportFinished);

        commands.printCurrentDocument();

        // A cancelled dialog ends the command at once.
        QVERIFY(!finished.isEmpty() || finished.wait(120000));
        QCOMPARE(finished.constFirst().constFirst().toBool(), chooses && writable);
        if (!chooses) {
            QVERIFY(alerts.alerts.isEmpty());
            QVERIFY(!QFile::exists(target));
        } else if (!writable) {
            expectExportAlert(alerts);
        } else {
            QVERIFY(alerts.alerts.isEmpty());
            // The printer gets the page as a picture: look for ink on it.
            QVERIFY(readFile(target).startsWith("%PDF-"));
            QVERIFY(inkedShare(target) > 0.002);
        }
        QVERIFY(m_events.isEmpty());
    }

    void copies_data()
    {
        QTest::addColumn<QJsonValue>("fontSize");
        QTest::addColumn<QString>("theme");
        QTest::addColumn<QString>("expectedSize");
        QTest::addColumn<QString>("expectedFont");
        QTest::newRow("user size and theme") << QJsonValue(20) << QStringLiteral("Serif") << QStringLiteral("20.0px")
                                             << QStringLiteral("Georgia,");
        QTest::newRow("fractional size") << QJsonValue(16.5) << QStringLiteral("GitHub")
                                         << QStringLiteral("16.5px") << QStringLiteral("-apple-system, BlinkMacSystemFont, \"Segoe UI\"");
        QTest::newRow("size stored as text, theme in other case")
            << QJsonValue(QStringLiteral("20")) << QStringLiteral("serif") << QStringLiteral("15.0px")
            << QStringLiteral("-apple-system, BlinkMacSystemFont, \"SF Pro Text\"");
    }

    // Rich text: the themed page as HTML plus the Markdown; HTML: the page as text only.
    void copies()
    {
        QFETCH(QJsonValue, fontSize);
        QFETCH(QString, theme);
        QFETCH(QString, expectedSize);
        QFETCH(QString, expectedFont);
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        Settings::shared().setValue(QStringLiteral("fontSize"), fontSize);
        Settings::shared().setValue(QStringLiteral("previewTheme"), theme);
        Settings::shared().setValue(QStringLiteral("sorvane.useCustomCSS"), true);
        Settings::shared().setValue(QStringLiteral("sorvane.proTheme"), QStringLiteral("Minimal"));
        QVERIFY(writeFile(QDir(AppPaths::supportFolder()).filePath(QStringLiteral("custom.css")),
                          "h1 { letter-spacing: 0.31em; }"));
        ThemeService themes(Settings::shared());
        exporter.setExtraCSSSource([&] { return themes.extraCSS(); });
        manager.openFile(m_samplePath);

        commands.copyCurrentAsRichText();
        const QMimeData *rich = QGuiApplication::clipboard()->mimeData();
        QStringList formats = rich->formats();
        formats.sort();
        QCOMPARE(formats, (QStringList{QStringLiteral("text/html"), QStringLiteral("text/plain")}));
        QCOMPARE(rich->text(), sampleText);
        const QString html = rich->html();
        QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
        QVERIFY(html.contains(QStringLiteral("font-size: ") + expectedSize));
        QVERIFY(html.contains(QStringLiteral("body { font-family: ") + expectedFont));
        QVERIFY(html.contains(QStringLiteral("letter-spacing: 0.31em")));
        // The extra theme comes first, the user's CSS after it, as in the preview.
        const qsizetype extraTheme = html.indexOf(ThemeService::proThemeStylesheet(ThemeService::ProTheme::Minimal));
        QVERIFY(extraTheme > 0);
        QVERIFY(extraTheme < html.indexOf(QStringLiteral("letter-spacing: 0.31em")));

        commands.copyCurrentAsHTML();
        const QMimeData *plain = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(plain->formats(), QStringList{QStringLiteral("text/plain")});
        // Each page carries its own script nonce; the rest is the same page.
        const QRegularExpression nonce(QStringLiteral("nonce(-|=\")[A-Za-z0-9+/=]+"));
        QCOMPARE(QString(plain->text()).replace(nonce, QStringLiteral("nonce")),
                 QString(html).replace(nonce, QStringLiteral("nonce")));

        QCOMPARE(m_events, (QStringList{QStringLiteral("copy_rich_text"), QStringLiteral("copy_html")}));
        for (const QVariantMap &properties : std::as_const(m_eventProperties))
            QCOMPARE(properties, (QVariantMap{{QStringLiteral("source"), QStringLiteral("menu")}}));
        QVERIFY(alerts.alerts.isEmpty());
    }

    void share_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("fileManagerAnswers");
        QTest::newRow("email the file") << true << QStringLiteral("Email") << true;
        QTest::newRow("email untitled text") << false << QStringLiteral("Email") << true;
        QTest::newRow("show in file manager") << true << QStringLiteral("Show in File Manager") << true;
        QTest::newRow("no file manager on the bus") << true << QStringLiteral("Show in File Manager") << false;
        QTest::newRow("copy path") << true << QStringLiteral("Copy Path") << true;
        QTest::newRow("untitled shares its page") << false << QStringLiteral("Copy Path") << true;
        QTest::newRow("menu dismissed") << true << QString() << true;
    }

    void share()
    {
        QFETCH(bool, withFile);
        QFETCH(QString, choice);
        QFETCH(bool, fileManagerAnswers);
        ScriptedAlertPresenter alerts;
        RecordingLauncher launcher;
        launcher.fileManagerAnswers = fileManagerAnswers;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        const QString untitledText = QStringLiteral("a & b + c = d\nsecond line");
        if (withFile)
            manager.openFile(m_samplePath);
        else
            manager.newDocument(untitledText);
        const QString page = QDir(AppPaths::privateTempFolder())
                                 .filePath((withFile ? QStringLiteral("sample") : QStringLiteral("Untitled")) +
                                           QStringLiteral(".html"));
        QWidget anchor;
        anchor.resize(40, 20);

        // The menu's offers depend on whether there is a file to hand on.
        const QStringList offered{QStringLiteral("Email"), QStringLiteral("Show in File Manager"),
                                  QStringLiteral("Copy Path")};
        alerts.menuAnswers = {static_cast<int>(offered.indexOf(choice))};
        commands.shareCurrentDocument(&anchor);

        QCOMPARE(alerts.menus.size(), 1);
        QCOMPARE(alerts.menus.constFirst().items, offered);
        QCOMPARE(alerts.menus.constFirst().anchor, QRect(anchor.mapToGlobal(QPoint(0, 0)), QSize(40, 20)));
        QCOMPARE(m_events, QStringList{QStringLiteral("share_document")});
        QCOMPARE(m_eventProperties.constFirst(), QVariantMap());
        QVERIFY(QString::fromUtf8(readFile(page)).contains(QStringLiteral("<!DOCTYPE html>")));

        const QString sharedFile = withFile ? m_samplePath : page;
        if (choice == QLatin1String("Email")) {
            if (withFile) {
                QCOMPARE(launcher.started,
                         (QList<QStringList>{{QStringLiteral("xdg-email"), QStringLiteral("--attach"), m_samplePath}}));
                QVERIFY(launcher.opened.isEmpty());
            } else {
                QCOMPARE(launcher.opened.size(), 1);
                const QUrl mail = launcher.opened.constFirst();
                QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
                QCOMPARE(mail.toString(QUrl::FullyEncoded),
                         QStringLiteral("mailto:?subject=Untitled&body=a%20%26%20b%20%2B%20c%20%3D%20d%0Asecond%20line"));
                QVERIFY(launcher.started.isEmpty());
            }
        } else if (choice == QLatin1String("Show in File Manager")) {
            QCOMPARE(launcher.shown, (QList<QStringList>{{QUrl::fromLocalFile(sharedFile).toString()}}));
            if (fileManagerAnswers)
                QVERIFY(launcher.started.isEmpty());
            else
                QCOMPARE(launcher.started, (QList<QStringList>{{QStringLiteral("xdg-open"),
                                                                QFileInfo(sharedFile).absolutePath()}}));
        } else if (choice == QLatin1String("Copy Path")) {
            QCOMPARE(QGuiApplication::clipboard()->text(), sharedFile);
            QVERIFY(launcher.started.isEmpty());
        } else {
            QVERIFY(launcher.started.isEmpty() && launcher.opened.isEmpty() && launcher.shown.isEmpty());
        }
    }

    void shareWithoutAnchorOrWindowDoesNothing()
    {
        ScriptedAlertPresenter alerts;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        QVERIFY(!QApplication::activeWindow());
        commands.shareCurrentDocument();
        QVERIFY(alerts.menus.isEmpty());
        QVERIFY(m_events.isEmpty());
    }

    // A share whose page cannot be written still offers the document's file.
    void shareWithoutTemporaryPage()
    {
        ScriptedAlertPresenter alerts;
        RecordingLauncher launcher;
        DocumentExporter exporter;
        DocumentManager manager;
        DocumentExportCommands commands(manager, exporter);
        manager.openFile(m_samplePath);
        const QString page = QDir(AppPaths::privateTempFolder()).filePath(QStringLiteral("sample.html"));
        QFile::remove(page);
        QVERIFY(QDir().mkpath(page));   // a folder where the page would go
        alerts.menuAnswers = {2};
        QWidget anchor;
        commands.shareCurrentDocument(&anchor);
        QVERIFY(QDir().rmdir(page));
        QCOMPARE(alerts.menus.size(), 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), m_samplePath);
        QVERIFY(alerts.alerts.isEmpty());
        QCOMPARE(m_events, QStringList{QStringLiteral("share_document")});
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_DocumentExporter)
#include "tst_DocumentExporter.moc"
