// The server export against a stand-in service that converts with the real pandoc:
// the request, the temporary file and its name, the error replies, and the command
// that saves the result without ever losing the file it replaces.
#include "ExportPeer.h"
#include "FileSizeLimit.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "export/PandocExporter.h"
#include "export/ServerExportCommands.h"
#include "export/ServerPandocExporter.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(ServerPandocFormat)
Q_DECLARE_METATYPE(HttpPeer::Reply)

namespace {

const QByteArray liveToken = "live-session-token";
const QString sampleMarkdown = QStringLiteral("# Harbour Notes\n\nLanterns glow beside the quiet tide.\n");

// The text pandoc reads back from a converted file.
QString plainText(const QString &path, const QString &from)
{
    QProcess pandoc;
    pandoc.start(QStringLiteral("pandoc"), {QStringLiteral("--from"), from, QStringLiteral("--to"), QStringLiteral("plain"), path});
    if (!pandoc.waitForFinished(60000) || pandoc.exitCode() != 0)
        return QString();
    return QString::fromUtf8(pandoc.readAllStandardOutput()).simplified();
}

HttpPeer::Reply reply(int status, const QByteArray &body, qint64 truncateAfter = -1)
{
    HttpPeer::Reply r;
    r.status = status;
    r.body = body;
    r.truncateAfter = truncateAfter;
    return r;
}

// A save panel whose answer may come with a file size limit that lasts until the
// test lets it go: only the write to the chosen file runs under it.
class LimitingPresenter : public ScriptedAlertPresenter
{
public:
    std::optional<rlim_t> limitOnSave;
    std::optional<FileSizeLimit> limit;

protected:
    std::optional<QString> presentSaveFile(const FilePanelRequest &request) override
    {
        if (limitOnSave)
            limit.emplace(*limitOnSave);
        return ScriptedAlertPresenter::presentSaveFile(request);
    }
};

} // namespace

class tst_ServerPandocExporter : public QObject
{
    Q_OBJECT

    std::optional<ExportPeer> m_peer;
    QList<QPair<QString, QVariantMap>> m_events;
    QStringList m_reports;
    int m_signInRequests = 0;

    ServerPandocExporter::Result exportNow(const QString &markdown, ServerPandocFormat format, const QString &name)
    {
        QNetworkAccessManager network;
        std::optional<ServerPandocExporter::Result> result;
        ServerPandocExporter::exportDocument(markdown, format, name, network, this,
                                             [&result](const ServerPandocExporter::Result &r) { result = r; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 90000))
            return {QString(), ServerPandocExporter::Error{ServerPandocExporter::Error::Kind::Server,
                                                           QStringLiteral("no answer")}};
        return *result;
    }

    // Runs the Export Document command on a tab named `fileName` and waits for its end.
    bool runCommand(DocumentManager &manager, ServerPandocFormat format)
    {
        ServerExportCommands commands(manager);
        QSignalSpy finished(&commands, &ServerExportCommands::exportFinished);
        commands.exportViaServerCurrentDocument(format);
        return finished.wait(90000) && finished.constFirst().constFirst().toBool();
    }

    QString openNote(DocumentManager &manager, const QString &fileName)
    {
        const QString path = QDir::home().filePath(QStringLiteral("notes/") + fileName);
        writeFile(path, sampleMarkdown.toUtf8());
        manager.openFile(path);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_peer.emplace();
        m_peer->acceptToken(liveToken);
        // The endpoint is taken once, on first use.
        qputenv("SORVANE_EXPORT_URL", m_peer->baseURL().toString().toUtf8());
        QCOMPARE(ServerPandocExporter::endpoint(), m_peer->http().url(QString::fromLatin1(ExportPeer::path)));
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty(), "pandoc is needed");
        Analytics::setObserver([this](const QString &name, const QVariantMap &properties) {
            m_events.append({name, properties});
        });
        DiagnosticUploader::setAutoReportObserver([this](const QString &reason, int) { m_reports.append(reason); });
        ServerExportCommands::setSignInHook([this] { ++m_signInRequests; });
    }

    void cleanupTestCase()
    {
        Analytics::setObserver(nullptr);
        DiagnosticUploader::setAutoReportObserver(nullptr);
        ServerExportCommands::setSignInHook(nullptr);
        ServerPandocExporter::setSessionProvider(nullptr);
    }

    void init()
    {
        ServerPandocExporter::setSessionProvider([] { return std::optional<QString>(QString::fromLatin1(liveToken)); });
        ServerPandocExporter::setTimeoutMs(60000);
        m_peer->http().clearRequests();
        m_peer->contentDisposition.clear();
        m_events.clear();
        m_reports.clear();
        m_signInRequests = 0;
    }

    void convertsEachFormat_data()
    {
        QTest::addColumn<ServerPandocFormat>("format");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<QString>("expectedName");

        QTest::newRow("docx, the server's extension on the document's name")
            << ServerPandocFormat(ServerPandocFormat::Docx) << QStringLiteral("notes")
            << QByteArray(R"(attachment; filename="Paper.docx")") << QStringLiteral("notes.docx");
        QTest::newRow("epub, no header") << ServerPandocFormat(ServerPandocFormat::Epub)
                                         << QStringLiteral("Harbour Book") << QByteArray() << QStringLiteral("Harbour Book.epub");
        QTest::newRow("latex, a name without extension, untitled")
            << ServerPandocFormat(ServerPandocFormat::Latex) << QStringLiteral("Untitled")
            << QByteArray("filename=out") << QStringLiteral("Untitled.tex");
        QTest::newRow("slides, the parameter in capitals is not read")
            << ServerPandocFormat(ServerPandocFormat::Revealjs) << QStringLiteral("talk")
            << QByteArray("attachment; FILENAME=deck.pdf") << QStringLiteral("talk.html");
        QTest::newRow("docx, a climbing name stays in the temp folder")
            << ServerPandocFormat(ServerPandocFormat::Docx) << QStringLiteral("../../up")
            << QByteArray(R"(attachment; filename="../../../../home/evil.docx")") << QStringLiteral("..-..-up.docx");
        QTest::newRow("latex, a last component without extension")
            << ServerPandocFormat(ServerPandocFormat::Latex) << QStringLiteral("paper")
            << QByteArray(R"(attachment; filename="x.docx/..")") << QStringLiteral("paper.tex");
    }

    void convertsEachFormat()
    {
        QFETCH(ServerPandocFormat, format);
        QFETCH(QString, displayName);
        QFETCH(QByteArray, disposition);
        QFETCH(QString, expectedName);
        m_peer->contentDisposition = disposition;

        const ServerPandocExporter::Result result = exportNow(sampleMarkdown, format, displayName);
        QVERIFY2(!result.error, qPrintable(result.error ? result.error->description() : QString()));
        QCOMPARE(QFileInfo(result.file).fileName(), expectedName);
        QCOMPARE(QFileInfo(result.file).absolutePath(), QFileInfo(AppPaths::privateTempFolder()).absoluteFilePath());

        QCOMPARE(m_peer->requests().size(), 1);
        const HttpPeer::Request request = m_peer->requests().constFirst();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray(ExportPeer::path));
        QCOMPARE(request.headers.value("authorization"), "Bearer " + liveToken);
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(request.headers.value("accept"), QByteArray("application/json"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
                 (QJsonObject{{QStringLiteral("markdown"), sampleMarkdown},
                              {QStringLiteral("from"), QStringLiteral("markdown")},
                              {QStringLiteral("to"), format.rawValue()}}));

        const QByteArray bytes = readFile(result.file);
        switch (format.value()) {
        case ServerPandocFormat::Docx:
        case ServerPandocFormat::Epub:
            QVERIFY(plainText(result.file, format.rawValue()).contains(QStringLiteral("Lanterns glow beside the quiet tide.")));
            break;
        case ServerPandocFormat::Latex:
            QVERIFY(bytes.contains("\\section"));
            QVERIFY(bytes.contains("Lanterns glow"));
            break;
        case ServerPandocFormat::Revealjs:
            QVERIFY(bytes.contains("reveal"));
            QVERIFY(bytes.contains("Harbour Notes"));
            break;
        }
    }

    void aLaterExportOfTheSameNameReplacesTheFile()
    {
        const ServerPandocExporter::Result first = exportNow(QStringLiteral("first"), ServerPandocFormat::Latex, QStringLiteral("same"));
        const ServerPandocExporter::Result second = exportNow(QStringLiteral("# Second take"), ServerPandocFormat::Latex, QStringLiteral("same"));
        QVERIFY(!first.error && !second.error);
        QCOMPARE(second.file, first.file);
        QVERIFY(readFile(second.file).contains("Second take"));
    }

    void errorReplies_data()
    {
        QTest::addColumn<HttpPeer::Reply>("scripted");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("description");

        const QString generic = QStringLiteral("Export failed. Please try again.");
        using Kind = ServerPandocExporter::Error::Kind;
        QTest::newRow("413 with error") << reply(413, R"({"error":"Document is too large to convert."})") << 60000
                                        << int(Kind::Server) << QStringLiteral("Document is too large to convert.");
        QTest::newRow("500 HTML") << reply(500, "<html><body>Internal Server Error</body></html>") << 60000
                                  << int(Kind::Generic) << generic;
        QTest::newRow("502 message") << reply(502, R"({"message":"Converter is restarting."})") << 60000
                                     << int(Kind::Server) << QStringLiteral("Converter is restarting.");
        QTest::newRow("error not a string, message taken") << reply(500, R"({"error":7,"message":"Try later."})")
                                                           << 60000 << int(Kind::Server) << QStringLiteral("Try later.");
        QTest::newRow("empty error kept") << reply(500, R"({"error":""})") << 60000 << int(Kind::Server) << QString();
        QTest::newRow("JSON array") << reply(500, R"(["error"])") << 60000 << int(Kind::Generic) << generic;
        QTest::newRow("error reply cut off") << reply(500, R"({"error":"never finished"})", 10) << 60000
                                             << int(Kind::Generic) << generic;
        QTest::newRow("success dropped mid-body") << reply(200, QByteArray(4096, 'x'), 100) << 60000
                                                  << int(Kind::Generic) << generic;
        QTest::newRow("401") << reply(401, R"({"error":"expired"})") << 60000 << int(Kind::NotSignedIn)
                             << QStringLiteral("Sign in to sorv.ane to export this format.");
        HttpPeer::Reply held;
        held.stall = true;
        QTest::newRow("held past the timeout") << held << 300 << int(Kind::Generic) << generic;
    }

    void errorReplies()
    {
        QFETCH(HttpPeer::Reply, scripted);
        QFETCH(int, timeoutMs);
        QFETCH(int, kind);
        QFETCH(QString, description);
        m_peer->scriptNext(scripted);
        ServerPandocExporter::setTimeoutMs(timeoutMs);

        const ServerPandocExporter::Result result =
            exportNow(sampleMarkdown, ServerPandocFormat::Docx, QStringLiteral("failing"));
        QVERIFY(result.error);
        QCOMPARE(int(result.error->kind), kind);
        QCOMPARE(result.error->description(), description);
        QVERIFY(result.file.isEmpty());
        QCOMPARE(m_peer->requests().size(), 1);
    }

    void noSessionSendsNothing_data()
    {
        QTest::addColumn<bool>("hasProvider");
        QTest::newRow("no provider yet") << false;
        QTest::newRow("signed out") << true;
    }

    void noSessionSendsNothing()
    {
        QFETCH(bool, hasProvider);
        ServerPandocExporter::setSessionProvider(
            hasProvider ? ServerPandocExporter::SessionProvider([] { return std::optional<QString>(); }) : nullptr);
        const ServerPandocExporter::Result result =
            exportNow(sampleMarkdown, ServerPandocFormat::Epub, QStringLiteral("notes"));
        QVERIFY(result.error);
        QCOMPARE(result.error->kind, ServerPandocExporter::Error::Kind::NotSignedIn);
        QVERIFY(m_peer->requests().isEmpty());
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QString>("disposition");
        QTest::addColumn<QString>("expected");

        QTest::newRow("quoted name after a semicolon") << "notes" << R"(attachment; filename="Paper.docx")" << "notes.docx";
        QTest::newRow("blanks and another parameter")
            << "notes" << "attachment; filename=\t Paper.odt ; size=4" << "notes.odt";
        QTest::newRow("no extension") << "notes" << "filename=out" << "notes.docx";
        QTest::newRow("capitals not read") << "notes" << "FILENAME=a.pdf" << "notes.docx";
        QTest::newRow("empty quotes") << "notes" << R"(filename="")" << "notes.docx";
        QTest::newRow("one quote kept as a name") << "notes" << "filename=\"" << "notes.docx";
        QTest::newRow("climbing path") << "notes" << R"(filename="../../../etc/cron.d/job.sh")" << "notes.sh";
        QTest::newRow("slash and colon") << "a/b: c" << "" << "a-b- c.docx";
        QTest::newRow("white space only") << " \t\n" << "" << "Untitled.docx";
        QTest::newRow("suffix letter case ignored") << "Notes.MD" << "" << "Notes.docx";
        QTest::newRow("one suffix only") << "draft.md.md" << "" << "draft.md.docx";
        QTest::newRow("encrypted suffix") << "secret.md.enc" << "" << "secret.docx";
        QTest::newRow("inner blanks kept, outer trimmed") << "  my notes.markdown " << "" << "my notes.markdown.docx";
    }

    void fileNames()
    {
        QFETCH(QString, displayName);
        QFETCH(QString, disposition);
        QFETCH(QString, expected);
        const std::optional<QString> header = disposition.isEmpty() ? std::nullopt : std::optional(disposition);
        QCOMPARE(ServerPandocExporter::suggestedFilename(header, displayName, ServerPandocFormat::Docx), expected);
    }

    void formatRawValues()
    {
        QStringList raw;
        for (ServerPandocFormat format : ServerPandocFormat::allCases()) {
            raw << format.rawValue();
            QCOMPARE(ServerPandocFormat::fromRawValue(format.rawValue()), std::optional(format));
        }
        QCOMPARE(raw, (QStringList{"docx", "epub", "latex", "revealjs"}));
        for (const char *other : {"DOCX", "tex", "html", "", " docx"})
            QVERIFY(!ServerPandocFormat::fromRawValue(QString::fromLatin1(other)));
    }

    // Only an executable pandoc on the PATH counts.
    void locatesPandoc_data()
    {
        QTest::addColumn<bool>("executable");
        QTest::newRow("executable") << true;
        QTest::newRow("not executable") << false;
    }

    void locatesPandoc()
    {
        QFETCH(bool, executable);
        const QString bin = QDir::home().filePath(executable ? QStringLiteral("bin-x") : QStringLiteral("bin-plain"));
        const QString pandoc = QDir(bin).filePath(QStringLiteral("pandoc"));
        QVERIFY(writeFile(pandoc, "#!/bin/sh\n"));
        QFile::setPermissions(pandoc, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | (executable ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
        const QString found = PandocExporter::locatePandoc();
        qputenv("PATH", path);
        QCOMPARE(found, executable ? pandoc : QString());
    }

    void endpointOverride_data()
    {
        QTest::addColumn<QString>("override");
        QTest::addColumn<bool>("taken");
        QTest::newRow("none") << "" << false;
        QTest::newRow("https") << "https://convert.example.org/base/" << true;
        QTest::newRow("http to loopback") << "http://127.0.0.1:8765" << true;
        QTest::newRow("http to localhost") << "http://localhost:8765" << true;
        QTest::newRow("http elsewhere") << "http://convert.example.org" << false;
        QTest::newRow("another scheme") << "ftp://127.0.0.1/" << false;
        QTest::newRow("not a URL") << "convert.example.org" << false;
    }

    void endpointOverride()
    {
        QFETCH(QString, override);
        QFETCH(bool, taken);
        const QUrl builtIn = ServerPandocExporter::endpointFor(QString());
        QCOMPARE(builtIn.scheme(), QStringLiteral("https"));
        QCOMPARE(builtIn.path(), QString::fromLatin1(ExportPeer::path));
        if (!taken && !override.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("SORVANE_EXPORT_URL")));
        const QUrl url = ServerPandocExporter::endpointFor(override);
        if (taken) {
            QCOMPARE(url.host(), QUrl(override).host());
            QVERIFY(url.path().endsWith(QString::fromLatin1(ExportPeer::path)));
            QVERIFY(!url.path().contains(QStringLiteral("//")));
        } else {
            QCOMPARE(url, builtIn);
        }
    }

    // The command: panel, copy, alerts, the event and the sign-in hook.
    void commandSavesWhereChosen()
    {
        ScriptedAlertPresenter presenter;
        DocumentManager manager;
        openNote(manager, QStringLiteral("talk.md"));
        const QString target = QDir::home().filePath(QStringLiteral("out/talk-slides.html"));
        QVERIFY(writeFile(target, "an older deck"));
        presenter.saveAnswers = {target};

        QVERIFY(runCommand(manager, ServerPandocFormat::Revealjs));
        QCOMPARE(presenter.savePanels.size(), 1);
        QCOMPARE(presenter.savePanels.constFirst().suggestedName, QStringLiteral("talk.html"));
        QVERIFY(presenter.savePanels.constFirst().nameFilters.isEmpty());
        QVERIFY(presenter.alerts.isEmpty());
        QCOMPARE(readFile(target), readFile(QDir(AppPaths::privateTempFolder()).filePath(QStringLiteral("talk.html"))));
        QVERIFY(readFile(target).contains("reveal"));
        QCOMPARE(m_events, (QList<QPair<QString, QVariantMap>>{
                               {QStringLiteral("export_pandoc"), {{QStringLiteral("format"), QStringLiteral("revealjs")}}}}));
    }

    void commandNeedsSignIn_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("server refuses the token") << true;
        QTest::newRow("no session, nothing sent") << false;
    }

    void commandNeedsSignIn()
    {
        QFETCH(bool, signedIn);
        ServerPandocExporter::setSessionProvider([signedIn] {
            return signedIn ? std::optional<QString>(QStringLiteral("revoked-token")) : std::nullopt;
        });
        ScriptedAlertPresenter presenter;
        DocumentManager manager;
        openNote(manager, QStringLiteral("notes.md"));

        QVERIFY(!runCommand(manager, ServerPandocFormat::Docx));
        QCOMPARE(m_peer->requests().size(), signedIn ? 1 : 0);
        QCOMPARE(presenter.alerts.size(), 1);
        QCOMPARE(presenter.alerts.constFirst().messageText, QStringLiteral("Could not export document"));
        QCOMPARE(presenter.alerts.constFirst().informativeText, QStringLiteral("Sign in to sorv.ane to export this format."));
        QCOMPARE(m_signInRequests, 1);
        QVERIFY(presenter.savePanels.isEmpty());
        QVERIFY(QTest::qWaitFor([this] { return !m_reports.isEmpty(); }));
        QCOMPARE(m_reports, QStringList{QStringLiteral("export_failed")});
        QVERIFY(m_events.isEmpty());
    }

    void serverMessageShownInTheAlert()
    {
        m_peer->scriptNext(reply(413, R"({"error":"Document is too large to convert."})"));
        ScriptedAlertPresenter presenter;
        DocumentManager manager;
        openNote(manager, QStringLiteral("big.md"));
        QVERIFY(!runCommand(manager, ServerPandocFormat::Epub));
        QCOMPARE(presenter.alerts.size(), 1);
        QCOMPARE(presenter.alerts.constFirst().informativeText, QStringLiteral("Document is too large to convert."));
        QCOMPARE(m_signInRequests, 0);
        QVERIFY(presenter.savePanels.isEmpty());
    }

    // The chosen file holds its old bytes until the new ones are all written.
    void commandKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("panel cancelled") << true;
        QTest::newRow("write cut short by a size limit") << false;
    }

    void commandKeepsTheOldFile()
    {
        QFETCH(bool, cancelled);
        LimitingPresenter presenter;
        DocumentManager manager;
        openNote(manager, QStringLiteral("keep.md"));
        const QString target = QDir::home().filePath(QStringLiteral("kept/keep.docx"));
        const QByteArray old = "the report as it was sent last week";
        QVERIFY(writeFile(target, old));
        if (!cancelled) {
            presenter.saveAnswers = {target};
            presenter.limitOnSave = 512;
        }

        QVERIFY(!runCommand(manager, ServerPandocFormat::Docx));
        presenter.limit.reset();
        QCOMPARE(readFile(target), old);
        QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("keep.docx")});
        QCOMPARE(presenter.savePanels.size(), 1);
        QCOMPARE(presenter.alerts.size(), cancelled ? 0 : 1);
        if (!cancelled) {
            QCOMPARE(presenter.alerts.constFirst().messageText, QStringLiteral("Could not export document"));
            QVERIFY(!presenter.alerts.constFirst().informativeText.isEmpty());
        }
        QVERIFY(m_events.isEmpty());
        // The converted file stays for a later try.
        QVERIFY(QFile::exists(QDir(AppPaths::privateTempFolder()).filePath(QStringLiteral("keep.docx"))));
    }
};

SORVANE_TEST_MAIN(tst_ServerPandocExporter)
#include "tst_ServerPandocExporter.moc"
