// Server export with the application's account session: the token it sends, the
// sign-in it asks for when the service refuses, and a session about to expire that
// is renewed once before two exports share it.
#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "ExportPeer.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"

#include "account/AccountSessionManager.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "export/ServerExportCommands.h"
#include "export/ServerPandocExporter.h"
#include "shell/ShellAccountIntegration.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace AccountTest;

Q_DECLARE_METATYPE(ServerPandocFormat)

namespace {
using ExportResult = ServerPandocExporter::Result;
const QString markdown = QStringLiteral("# Tide Tables\n\nHigh water at dawn.\n");
} // namespace

class tst_AccountServerExport : public QObject
{
    Q_OBJECT

    IdentityPeer m_identity;
    ExportPeer m_export;
    QNetworkAccessManager m_network;
    std::shared_ptr<InMemoryStorage> m_storage;
    std::unique_ptr<ShellAccountIntegration> m_integration;
    int m_signInRequests = 0;

    // The app's account start-up over a store holding `session`, if any; waits until
    // the launch restore has been adopted.
    void launch(const std::optional<StoredSession> &session)
    {
        m_storage = std::make_shared<InMemoryStorage>();
        if (session)
            store(*m_storage, *session);
        m_integration.reset();
        m_integration = std::make_unique<ShellAccountIntegration>([this] {
            return std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity.baseUrl()),
                                                          dependencies(m_storage));
        });
        m_integration->setSignInPresenter([this] { ++m_signInRequests; });
        m_integration->createBridge();
        awaitTask(m_integration->bridge()->restore());
    }

    // A session of the stand-in, signed in, then rewritten to expire at `expiresAt`.
    void launchSignedIn(const QDateTime &expiresAt = QDateTime::currentDateTimeUtc().addDays(30))
    {
        launch(stored(m_identity.openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        StoredSession session = *storedSession(*m_storage);
        session.expiresAt = expiresAt;
        store(*m_storage, session);
        m_identity.clearLog();
        m_export.http().clearRequests();
    }

    QString token() const { return storedSession(*m_storage)->tvs; }

    // Starts one export; the result lands in `result`.
    void startExport(ServerPandocFormat format, std::optional<ExportResult> &result)
    {
        ServerPandocExporter::exportDocument(markdown, format, QStringLiteral("tides"), m_network, this,
                                             [&result](const ExportResult &r) { result = r; });
    }

    QString bearerOf(int request) const
    {
        return QString::fromUtf8(m_export.requests().at(request).headers.value("authorization"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty(), "pandoc is needed");
        m_export.trustIdentity(&m_identity);
        qputenv("SORVANE_EXPORT_URL", m_export.baseURL().toString().toUtf8());
    }

    void cleanup()
    {
        m_integration.reset();
        m_signInRequests = 0;
        m_export.http().clearRequests();
    }

    void exportSendsTheSessionToken_data()
    {
        QTest::addColumn<ServerPandocFormat>("format");
        QTest::newRow("docx") << ServerPandocFormat(ServerPandocFormat::Docx);
        QTest::newRow("epub") << ServerPandocFormat(ServerPandocFormat::Epub);
        QTest::newRow("latex") << ServerPandocFormat(ServerPandocFormat::Latex);
        QTest::newRow("slides") << ServerPandocFormat(ServerPandocFormat::Revealjs);
    }

    void exportSendsTheSessionToken()
    {
        QFETCH(ServerPandocFormat, format);
        launchSignedIn();
        std::optional<ExportResult> result;
        startExport(format, result);
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 90000);
        QVERIFY2(!result->error, qPrintable(result->error ? result->error->description() : QString()));
        QVERIFY(QFile::exists(result->file));
        QCOMPARE(m_export.requests().size(), 1);
        const HttpPeer::Request request = m_export.requests().first();
        QCOMPARE(request.headers.value("authorization"), "Bearer " + token().toUtf8());
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value(QStringLiteral("markdown")).toString(), markdown);
        QCOMPARE(body.value(QStringLiteral("from")).toString(), QStringLiteral("markdown"));
        QCOMPARE(body.value(QStringLiteral("to")).toString(), format.rawValue());
        // A fresh session is not renewed.
        QCOMPARE(m_identity.count(IdentityPeer::kRefresh), 0);
    }

    void refusedExportAsksForSignIn_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("session revoked at the service") << true;
        QTest::newRow("signed out, nothing sent") << false;
    }

    void refusedExportAsksForSignIn()
    {
        QFETCH(bool, signedIn);
        if (signedIn) {
            launchSignedIn();
            m_identity.revokeToken(token());
        } else {
            launch(std::nullopt);
        }
        ScriptedAlertPresenter presenter;
        DocumentManager manager;
        const QString path = QDir::home().filePath(QStringLiteral("tides.md"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(markdown.toUtf8());
        file.close();
        manager.openFile(path);

        ServerExportCommands commands(manager);
        QSignalSpy finished(&commands, &ServerExportCommands::exportFinished);
        commands.exportViaServerCurrentDocument(ServerPandocFormat::Docx);
        QVERIFY(finished.wait(90000));
        QCOMPARE(finished.constFirst().constFirst().toBool(), false);
        QCOMPARE(m_export.requests().size(), signedIn ? 1 : 0);
        QCOMPARE(presenter.alerts.size(), 1);
        QCOMPARE(presenter.alerts.constFirst().informativeText,
                 QStringLiteral("Sign in to sorv.ane to export this format."));
        QCOMPARE(m_signInRequests, 1);
    }

    // The settings' report row asks the uploader, which asks the bridge.
    void reportsFollowTheSession()
    {
        launch(std::nullopt);
        QVERIFY(!DiagnosticUploader::shared().hasSession());
        launchSignedIn();
        QVERIFY(DiagnosticUploader::shared().hasSession());
        awaitTask(m_integration->bridge()->manager().signOut());
        QVERIFY(!DiagnosticUploader::shared().hasSession());
        launchSignedIn();
        m_integration.reset();
        QVERIFY(!DiagnosticUploader::shared().hasSession());
    }

    void expiringSessionIsRenewedOnceForTwoExports()
    {
        launchSignedIn(QDateTime::currentDateTimeUtc().addSecs(3600));
        const QString old = token();
        std::optional<ExportResult> first;
        std::optional<ExportResult> second;
        startExport(ServerPandocFormat::Docx, first);
        startExport(ServerPandocFormat::Epub, second);
        QTRY_VERIFY_WITH_TIMEOUT(first.has_value() && second.has_value(), 90000);
        QVERIFY(!first->error);
        QVERIFY(!second->error);
        QCOMPARE(m_identity.count(IdentityPeer::kRefresh), 1);
        QCOMPARE(m_export.requests().size(), 2);
        const QString renewed = token();
        QVERIFY(renewed != old);
        QCOMPARE(bearerOf(0), QStringLiteral("Bearer ") + renewed);
        QCOMPARE(bearerOf(1), QStringLiteral("Bearer ") + renewed);
    }
};

SORVANE_TEST_MAIN(tst_AccountServerExport)
#include "tst_AccountServerExport.moc"
