#include "ScriptedAlertPresenter.h"
#include "ServicePeer.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "diagnostics/DiagnosticReport.h"
#include "diagnostics/DiagnosticThrottle.h"
#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <qcorotask.h>

Q_DECLARE_METATYPE(DiagnosticError)

namespace {

using Kind = DiagnosticError::Kind;
using Outcome = Result<QString, DiagnosticError>;

QCoro::Task<void> keep(QCoro::Task<Outcome> task, std::optional<Outcome> *out)
{
    out->emplace(co_await std::move(task));
}

// Runs the event loop until the report ends (QCoro::waitFor needs a default value).
Outcome finish(QCoro::Task<Outcome> task)
{
    std::optional<Outcome> out;
    QCoro::waitFor(keep(std::move(task), &out));
    return *out;
}

// One uploader over its own log, throttle file and client facts, talking to `origin`.
struct Rig {
    explicit Rig(const QUrl &origin)
        : uploader(DiagnosticUploader::Environment{origin, &throttle, &log, [this] { return client; }})
    {
        uploader.setSessionProvider([this] { return token; });
        log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("first line"));
        log.add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("test"), QStringLiteral("second line"));
    }

    Result<QString, DiagnosticError> manual(int openDocuments = 2)
    {
        return finish(uploader.uploadManual(openDocuments));
    }
    void automatic(const QString &reason = QStringLiteral("crash_recovery"), int openDocuments = 1)
    {
        QCoro::waitFor(uploader.uploadAuto(reason, openDocuments));
    }
    QStringList messages() const
    {
        QStringList texts;
        for (const DiagnosticLogEntry &entry : log.entries())
            texts << entry.msg;
        return texts;
    }

    QTemporaryDir folder;
    DiagnosticLogBuffer log{200, folder.path()};
    DiagnosticThrottle throttle{folder.filePath(QStringLiteral("diagnostic-throttle.json"))};
    DiagnosticUploader::Client client{QStringLiteral("1.1.18"), QStringLiteral("Debian GNU/Linux 12 (bookworm)"), true};
    std::optional<QString> token = QStringLiteral("tvs_test-token");
    DiagnosticUploader uploader;
};

QJsonObject jsonOf(const QJsonObject &part)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(part.value("body_b64").toString().toLatin1())).object();
}

// An origin where nothing listens.
QUrl refusingOrigin()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const quint16 port = server.serverPort();
    server.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

const QString skippedLine = QStringLiteral("Auto report skipped — /health unreachable (reason=crash_recovery).");
const QString autoLine = QStringLiteral("Auto diagnostic report (reason=crash_recovery).");

} // namespace

class tst_DiagnosticUploader : public QObject
{
    Q_OBJECT

private:
    ServicePeer m_peer;

    QList<QJsonObject> reports() const { return m_peer.requests(QStringLiteral("/diagnostics")); }
    QList<QJsonObject> probes() const { return m_peer.requests(QStringLiteral("/health")); }
    // A dropped connection is scripted a few times over: Qt's HTTP client sends a
    // request again when the connection closes before any reply.
    void scriptReports(int status, const QByteArray &body, bool dropped)
    {
        const ServicePeer::Reply reply{status, body, {}, 0, false, dropped};
        m_peer.script(QStringLiteral("/diagnostics"), dropped ? QList<ServicePeer::Reply>(6, reply) : QList{reply});
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_peer.start(), qPrintable(m_peer.errorString())); }

    void init()
    {
        m_peer.reset();
        Settings::shared().remove(SettingsKeys::diagnosticsEnabled);
        Settings::shared().remove(SettingsKeys::recentSaveFailures);
    }

    void manualReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("dropped"); // the connection closes without a reply
        QTest::addColumn<QString>("code");
        QTest::addColumn<DiagnosticError>("error");

        const DiagnosticError none;
        const DiagnosticError malformed = DiagnosticError::of(Kind::MalformedResponse);
        QTest::newRow("short code") << 200 << QByteArray(R"({"short_code":"K7Q-2M"})") << false << "K7Q-2M" << none;
        QTest::newRow("201 counts as success") << 201 << QByteArray(R"({"short_code":"A1"})") << false << "A1" << none;
        QTest::newRow("empty body") << 200 << QByteArray() << false << "" << malformed;
        QTest::newRow("not JSON") << 200 << QByteArray("ok") << false << "" << malformed;
        QTest::newRow("not an object") << 200 << QByteArray(R"(["K7Q"])") << false << "" << malformed;
        QTest::newRow("key missing") << 200 << QByteArray(R"({"code":"K7Q"})") << false << "" << malformed;
        QTest::newRow("not a string") << 200 << QByteArray(R"({"short_code":7})") << false << "" << malformed;
        QTest::newRow("empty code") << 200 << QByteArray(R"({"short_code":""})") << false << "" << malformed;
        QTest::newRow("500 with a message") << 500 << QByteArray(R"({"message":"quota reached"})") << false << ""
                                            << DiagnosticError::server("quota reached");
        QTest::newRow("500 with error and message") << 500 << QByteArray(R"({"error":"bad blob","message":"m"})")
                                                    << false << "" << DiagnosticError::server("bad blob");
        QTest::newRow("500, error not a string") << 500 << QByteArray(R"({"error":5,"message":"m"})") << false << ""
                                                 << DiagnosticError::server("m");
        QTest::newRow("500 empty") << 500 << QByteArray() << false << "" << DiagnosticError::of(Kind::ServerUnknown);
        QTest::newRow("404 page") << 404 << QByteArray("<html>gone</html>") << false << ""
                                  << DiagnosticError::of(Kind::ServerUnknown);
        QTest::newRow("connection dropped") << 0 << QByteArray() << true << "" << DiagnosticError::transport({});
    }
    void manualReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, dropped);
        QFETCH(QString, code);
        QFETCH(DiagnosticError, error);

        Settings::shared().setValue(SettingsKeys::recentSaveFailures, 4);
        scriptReports(status, body, dropped);
        Rig rig(m_peer.url());
        const Result<QString, DiagnosticError> result = rig.manual();

        if (!dropped)
            QCOMPARE(reports().size(), 1);
        QVERIFY(!rig.uploader.inFlight());
        if (!code.isEmpty()) {
            QVERIFY(result.hasValue());
            QCOMPARE(*result, code);
            QCOMPARE(Settings::shared().intValue(SettingsKeys::recentSaveFailures, -1), 0);
            return;
        }
        QVERIFY(!result.hasValue());
        QCOMPARE(Settings::shared().intValue(SettingsKeys::recentSaveFailures, -1), 4);
        if (error.kind == Kind::Transport) {
            QCOMPARE(result.error().kind, Kind::Transport);
            QVERIFY(!result.error().description().value_or(QString()).isEmpty()); // the client's own text
        } else {
            QCOMPARE(result.error(), error);
        }
    }

    // The request as Python's own HTTP and multipart readers see it.
    void requestLayout()
    {
        Settings::shared().setValue(SettingsKeys::recentSaveFailures, 4);
        m_peer.script(QStringLiteral("/diagnostics"), {{200, R"({"short_code":"X"})"}});
        Rig rig(m_peer.url());
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(rig.manual(-3).hasValue());
        const qint64 after = QDateTime::currentSecsSinceEpoch();

        QCOMPARE(reports().size(), 1);
        const QJsonObject request = reports().first();
        QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(request.value("errors").toArray(), QJsonArray());
        const QJsonObject headers = request.value("headers").toObject();
        QCOMPARE(headers.value("authorization").toString(), QStringLiteral("Bearer tvs_test-token"));
        const QString contentType = headers.value("content-type").toString();
        const QRegularExpression boundaryPattern(QStringLiteral(
            "^multipart/form-data; boundary=(Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
        const QRegularExpressionMatch boundary = boundaryPattern.match(contentType);
        QVERIFY2(boundary.hasMatch(), qPrintable(contentType));

        // The framing, byte for byte, around the two parts.
        const QByteArray dash = "--" + boundary.captured(1).toLatin1();
        const QByteArray body = ServicePeer::bodyOf(request);
        QVERIFY(body.startsWith(dash + "\r\nContent-Disposition: form-data; name=\"metadata\"\r\n"
                                       "Content-Type: text/plain; charset=utf-8\r\n\r\n{"));
        QVERIFY(body.contains("}\r\n" + dash + "\r\nContent-Disposition: form-data; name=\"blob\"; filename=\"sorvane-linux-"));
        QVERIFY(body.contains(".zip\"\r\nContent-Type: application/zip\r\n\r\nPK\x03\x04"));
        QVERIFY(body.endsWith("\r\n" + dash + "--\r\n"));

        const QJsonArray parts = request.value("multipart").toArray();
        QCOMPARE(parts.size(), 2);
        const QJsonObject metadataPart = parts[0].toObject();
        QCOMPARE(metadataPart.value("name").toString(), QStringLiteral("metadata"));
        QCOMPARE(metadataPart.value("content_type").toString(), QStringLiteral("text/plain"));
        const QJsonObject metadata = jsonOf(metadataPart);
        const QJsonObject expectedMetadata{
            {"kind", "manual"},
            {"session_id", QJsonValue::Null},
            {"client_kind", "sorvane-linux"},
            {"client_version", "1.1.18"},
            {"client_role", QJsonValue::Null},
            {"os_version", "Debian GNU/Linux 12 (bookworm)"},
            {"terminate_reason", QJsonValue::Null},
            {"codec", QJsonValue::Null},
            {"extra", QJsonObject{{"open_document_count", 0}, {"recent_save_failures", 4}, {"pandoc_available", true}}},
        };
        QCOMPARE(metadata, expectedMetadata);

        const QJsonObject blobPart = parts[1].toObject();
        QCOMPARE(blobPart.value("name").toString(), QStringLiteral("blob"));
        QCOMPARE(blobPart.value("content_type").toString(), QStringLiteral("application/zip"));
        const QString fileName = blobPart.value("filename").toString();
        const QRegularExpressionMatch stamp = QRegularExpression(QStringLiteral("^sorvane-linux-(\\d+)\\.zip$")).match(fileName);
        QVERIFY2(stamp.hasMatch(), qPrintable(fileName));
        QVERIFY(stamp.captured(1).toLongLong() >= before && stamp.captured(1).toLongLong() <= after);

        const QJsonObject zip = blobPart.value("zip").toObject();
        QVERIFY(zip.value("ok").toBool());
        QCOMPARE(zip.value("names").toArray(), QJsonArray{"diagnostic.json"});
        const QJsonObject diagnostic =
            QJsonDocument::fromJson(QByteArray::fromBase64(zip.value("members").toObject().value("diagnostic.json").toString().toLatin1()))
                .object();
        QCOMPARE(diagnostic.value("schema_version").toInt(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"))
                    .match(diagnostic.value("captured_at").toString())
                    .hasMatch());
        QCOMPARE(diagnostic.value("stats").toObject(),
                 (QJsonObject{{"app", QJsonObject{{"version", "1.1.18"}, {"platform", "sorvane-linux"}, {"session_id", QJsonValue::Null}}},
                              {"extra", QJsonObject()}}));
        // The ring as it was when the report was built, oldest first: the two lines of
        // the rig and the uploader's own "Sending…" line.
        const QJsonArray ring = diagnostic.value("log_buffer").toArray();
        QCOMPARE(ring.size(), 3);
        QCOMPARE(ring[0].toObject(), rig.log.entries().at(0).jsonObject());
        QCOMPARE(ring[2].toObject().value("msg").toString(), QStringLiteral("Sending manual diagnostic report."));
    }

    void metadataCaps_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("os");
        QTest::addColumn<QString>("expectedVersion");
        QTest::addColumn<QString>("expectedOs");

        const QString accent = QStringLiteral("e\u0301"); // one character, two code points
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // one character
        QTest::newRow("short texts stay") << "1.1.18" << "Debian" << "1.1.18" << "Debian";
        QTest::newRow("64 and 128 characters stay") << QString(64, 'v') << QString(128, 'o') << QString(64, 'v')
                                                    << QString(128, 'o');
        QTest::newRow("longer are cut") << QString(70, 'v') << QString(130, 'o') << QString(64, 'v') << QString(128, 'o');
        QTest::newRow("combining marks count once") << accent.repeated(70) << accent.repeated(130)
                                                    << accent.repeated(64) << accent.repeated(128);
        QTest::newRow("joined emoji count once") << family.repeated(65) << family.repeated(129) << family.repeated(64)
                                                 << family.repeated(128);
    }
    void metadataCaps()
    {
        QFETCH(QString, version);
        QFETCH(QString, os);
        QFETCH(QString, expectedVersion);
        QFETCH(QString, expectedOs);

        DiagnosticReport::Metadata metadata;
        metadata.kind = QStringLiteral("auto");
        metadata.terminateReason = QStringLiteral("export_failed");
        metadata.clientVersion = version;
        metadata.osVersion = os;
        const QJsonObject record = DiagnosticReport::metadataRecord(metadata);
        QCOMPARE(record.value("client_version").toString(), expectedVersion);
        QCOMPARE(record.value("os_version").toString(), expectedOs);
        QCOMPARE(record.value("terminate_reason").toString(), QStringLiteral("export_failed"));
    }

    // Metadata past 16384 bytes of JSON is never sent, by either kind of report.
    void oversizedMetadataSendsNothing()
    {
        Rig rig(m_peer.url());
        rig.client.osVersion = (QStringLiteral("a") + QString(100, QChar(0x0301))).repeated(128);
        const Result<QString, DiagnosticError> result = rig.manual();
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error(), DiagnosticError::of(Kind::PayloadTooLarge));
        QVERIFY(!rig.uploader.inFlight());

        rig.automatic();
        QCOMPARE(probes().size(), 1);
        QVERIFY(reports().isEmpty());
        QVERIFY(rig.throttle.shouldUpload(QStringLiteral("crash_recovery"))); // not counted
    }

    void signedOutAndBusySendNothing()
    {
        Rig rig(m_peer.url());
        rig.token.reset();
        Result<QString, DiagnosticError> result = rig.manual();
        QCOMPARE(result.error(), DiagnosticError::of(Kind::NotSignedIn));
        QCOMPARE(rig.messages().last(), QStringLiteral("Manual report attempted while signed out."));
        QCOMPARE(rig.log.entries().last().level, QStringLiteral("warn"));
        QVERIFY(!rig.uploader.inFlight());
        QVERIFY(reports().isEmpty());

        rig.token = QStringLiteral("tvs_back");
        m_peer.script(QStringLiteral("/diagnostics"), {{200, R"({"short_code":"FIRST"})", {}, 0.5}});
        QCoro::Task<Result<QString, DiagnosticError>> first = rig.uploader.uploadManual(1);
        QVERIFY(rig.uploader.inFlight());
        result = rig.manual();
        QCOMPARE(result.error(), DiagnosticError::of(Kind::Busy));
        QCOMPARE(finish(std::move(first)).valueOr(QString()), QStringLiteral("FIRST"));
        QCOMPARE(reports().size(), 1);
        QVERIFY(!rig.uploader.inFlight());
    }

    // A ring too big for 5 MiB loses a tenth of its entries per attempt, then one at a
    // time from 9 down to none.
    void shrinkSequence()
    {
        QTemporaryDir folder;
        DiagnosticLogBuffer log(200, folder.path());
        for (int i = 0; i < 200; ++i)
            log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("entry %1").arg(i));
        QList<int> attempts;
        const auto blob = DiagnosticReport::buildBlob(log, QStringLiteral("1.1.18"), 0, [&](int n) { attempts << n; });
        const QList<int> expected{200, 180, 162, 146, 132, 119, 108, 98, 89, 81, 73, 66, 60, 54, 49, 45, 41, 37, 34,
                                  31,  28,  26,  24,  22,  20,  18,  17, 16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,
                                  5,   4,   3,   2,   1,   0};
        QCOMPARE(attempts, expected);
        QVERIFY(blob.hasValue());
        QCOMPARE(blob->entryCount, 0);
    }

    void fullRingOfLargeEntriesFitsFiveMiB()
    {
        QTemporaryDir folder;
        DiagnosticLogBuffer log(200, folder.path());
        const QString chunk = QStringLiteral("lorem ipsum ").repeated(2560); // ~30 KB
        for (int i = 0; i < 200; ++i)
            log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), chunk + QString::number(i));
        const auto blob = DiagnosticReport::buildBlob(log, QStringLiteral("1.1.18"));
        QVERIFY(blob.hasValue());
        QCOMPARE(blob->entryCount, 162); // 200 and 180 entries are over 5 MiB
        QVERIFY(blob->zip.size() <= DiagnosticReport::maxArchiveBytes);
        // The newest entries are the ones kept.
        QVERIFY(blob->zip.contains((chunk + QStringLiteral("199")).toUtf8()));
        QVERIFY(!blob->zip.contains((chunk + QStringLiteral("37\"")).toUtf8()));
    }

    // Each condition of an automatic report, in order; the first that fails ends it
    // before any later one is looked at.
    void automaticConditions_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("probes");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QString>("lastLine");

        QTest::newRow("switched off") << "off" << 0 << 0 << "";
        QTest::newRow("setting absent counts as on") << "absent" << 1 << 1 << autoLine;
        QTest::newRow("throttled") << "throttled" << 0 << 0 << "";
        QTest::newRow("signed out") << "signed out" << 0 << 0 << "";
        QTest::newRow("health refused") << "refused" << 0 << 0 << skippedLine;
        QTest::newRow("health silent for 3 s") << "silent" << 1 << 0 << skippedLine;
        QTest::newRow("health 503 is reachable") << "503" << 1 << 1 << autoLine;
    }
    void automaticConditions()
    {
        QFETCH(QString, condition);
        QFETCH(int, probes);
        QFETCH(int, sent);
        QFETCH(QString, lastLine);

        Rig rig(condition == "refused" ? refusingOrigin() : m_peer.url());
        if (condition == "off")
            Settings::shared().setValue(SettingsKeys::diagnosticsEnabled, false);
        if (condition == "throttled")
            rig.throttle.recordUpload(QStringLiteral("crash_recovery"));
        if (condition == "signed out")
            rig.token.reset();
        if (condition == "silent")
            m_peer.script(QStringLiteral("/health"), {{200, {}, {}, 0, true}});
        if (condition == "503")
            m_peer.script(QStringLiteral("/health"), {{503, "down"}});
        const QString before = rig.messages().last();

        rig.automatic(QStringLiteral("crash_recovery"), 3);

        QCOMPARE(this->probes().size(), probes);
        QCOMPARE(reports().size(), sent);
        QCOMPARE(rig.messages().last(), lastLine.isEmpty() ? before : lastLine);
        QVERIFY(!rig.uploader.inFlight());
        if (sent) {
            const QJsonObject metadata = jsonOf(reports().first().value("multipart").toArray()[0].toObject());
            QCOMPARE(metadata.value("kind").toString(), QStringLiteral("auto"));
            QCOMPARE(metadata.value("terminate_reason").toString(), QStringLiteral("crash_recovery"));
            QCOMPARE(metadata.value("extra").toObject().value("open_document_count").toInt(), 3);
        }
    }

    // With a renewing provider, the token it answers goes out, not the one held; when
    // the renewal ends the session, nothing goes.
    void renewedTokenIsSent_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<bool>("renewed");
        QTest::newRow("manual, renewed") << false << true;
        QTest::newRow("manual, session ended") << false << false;
        QTest::newRow("automatic, renewed") << true << true;
        QTest::newRow("automatic, session ended") << true << false;
    }
    void renewedTokenIsSent()
    {
        QFETCH(bool, automatic);
        QFETCH(bool, renewed);
        Rig rig(m_peer.url());
        int asked = 0;
        rig.uploader.setFreshSessionProvider([&asked, renewed]() -> QCoro::Task<std::optional<QString>> {
            ++asked;
            co_return renewed ? std::optional<QString>(QStringLiteral("tvs_renewed")) : std::nullopt;
        });
        m_peer.script(QStringLiteral("/diagnostics"), {{200, "{\"short_code\":\"R\"}"}});
        if (automatic) {
            rig.automatic();
        } else {
            const Result<QString, DiagnosticError> result = rig.manual();
            QCOMPARE(result.hasValue(), renewed);
            if (!renewed)
                QCOMPARE(result.error(), DiagnosticError::of(Kind::NotSignedIn));
        }
        QCOMPARE(asked, 1);
        QVERIFY(!rig.uploader.inFlight());
        QCOMPARE(reports().size(), renewed ? 1 : 0);
        if (renewed) {
            const QJsonObject headers = reports().first().value("headers").toObject();
            QCOMPARE(headers.value("authorization").toString(), QStringLiteral("Bearer tvs_renewed"));
        }
    }

    void automaticWhileInFlight()
    {
        Rig rig(m_peer.url());
        m_peer.script(QStringLiteral("/diagnostics"), {{200, R"({"short_code":"M"})", {}, 0.5}});
        QCoro::Task<Result<QString, DiagnosticError>> manual = rig.uploader.uploadManual(1);
        rig.automatic();
        QVERIFY(probes().isEmpty());
        QVERIFY(finish(std::move(manual)).hasValue());
        QCOMPARE(reports().size(), 1);
    }

    // Whether the attempt counts against the hour: only when the service answered.
    void throttleRecordsWhenTheServerAnswered_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<bool>("recorded");

        QTest::newRow("success") << 200 << QByteArray(R"({"short_code":"A"})") << false << true;
        QTest::newRow("server message") << 500 << QByteArray(R"({"error":"no"})") << false << true;
        QTest::newRow("malformed") << 200 << QByteArray("nope") << false << true;
        QTest::newRow("server unknown") << 500 << QByteArray() << false << true;
        QTest::newRow("transport failure") << 0 << QByteArray() << true << false;
    }
    void throttleRecordsWhenTheServerAnswered()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, dropped);
        QFETCH(bool, recorded);

        Rig rig(m_peer.url());
        scriptReports(status, body, dropped);
        rig.automatic(QStringLiteral("export_failed"));
        const qsizetype sent = reports().size();
        QVERIFY(sent >= 1);
        QCOMPARE(rig.throttle.shouldUpload(QStringLiteral("export_failed")), !recorded);
        QVERIFY(rig.throttle.shouldUpload(QStringLiteral("crash_recovery")));
        // A second request within the hour goes only when the first did not count.
        rig.automatic(QStringLiteral("export_failed"));
        QCOMPARE(reports().size() > sent, !recorded);
    }

    // Two requests at once both probe the service, but one report goes: the second
    // finds the first in flight once its probe returns, or, for the same reason, the
    // hour already used.
    void twoAtOnceSendOne_data()
    {
        QTest::addColumn<QString>("secondReason");
        QTest::addColumn<double>("firstReportDelay");
        QTest::addColumn<int>("sent");

        QTest::newRow("same reason, first still sending") << "crash_recovery" << 3.0 << 1;
        QTest::newRow("same reason, first already sent") << "crash_recovery" << 0.0 << 1;
        QTest::newRow("other reason, first still sending") << "export_failed" << 3.0 << 1;
        // Reports never overlap, but another reason's hour is its own.
        QTest::newRow("other reason, first already sent") << "export_failed" << 0.0 << 2;
    }
    void twoAtOnceSendOne()
    {
        QFETCH(QString, secondReason);
        QFETCH(double, firstReportDelay);
        QFETCH(int, sent);

        Rig rig(m_peer.url());
        m_peer.script(QStringLiteral("/health"), {{200, {}, {}, 0.1}, {200, {}, {}, 1.5}});
        m_peer.script(QStringLiteral("/diagnostics"), {{200, R"({"short_code":"A"})", {}, firstReportDelay}});
        QCoro::Task<void> first = rig.uploader.uploadAuto(QStringLiteral("crash_recovery"), 1);
        QCoro::Task<void> second = rig.uploader.uploadAuto(secondReason, 1);
        QCoro::waitFor(second);
        QCoro::waitFor(first);
        QVERIFY(!rig.uploader.inFlight());
        QCOMPARE(probes().size(), 2);
        QCOMPARE(reports().size(), sent);
    }

    // The document manager's recovery offer asks for one automatic report, which the
    // shared uploader sends to the service named by the environment.
    void recoveryOfferSendsOneReport()
    {
        qputenv("SORVANE_IDENTITY_URL", m_peer.url().toString().toUtf8());
        DiagnosticUploader &uploader = DiagnosticUploader::shared();
        uploader.setSessionProvider([] { return std::optional<QString>(QStringLiteral("tvs_shared")); });
        QFile::remove(DiagnosticThrottle::shared().filePath());

        const QString recovery = AppPaths::supportFolder() + QStringLiteral("/Recovery/");
        QVERIFY(writeFile(recovery + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".md"),
                          "lost text\n"));
        ScriptedAlertPresenter alerts;
        alerts.alertAnswers = {1}; // Discard
        DocumentManager manager;
        manager.sessionKeeper().restoreSessionIfNeeded();
        QCOMPARE(alerts.alerts.size(), 1);

        QVERIFY(QTest::qWaitFor([&] { return reports().size() == 1 && !uploader.inFlight(); }, 20000));
        const QJsonObject request = reports().first();
        QCOMPARE(request.value("headers").toObject().value("authorization").toString(), QStringLiteral("Bearer tvs_shared"));
        const QJsonObject metadata = jsonOf(request.value("multipart").toArray()[0].toObject());
        QCOMPARE(metadata.value("kind").toString(), QStringLiteral("auto"));
        QCOMPARE(metadata.value("terminate_reason").toString(), QStringLiteral("crash_recovery"));
        QVERIFY(!DiagnosticThrottle::shared().shouldUpload(QStringLiteral("crash_recovery")));
        uploader.setSessionProvider({});
        qunsetenv("SORVANE_IDENTITY_URL");
    }

    void noteSaveFailureCountsAndCaps_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("first failure") << QJsonValue(QJsonValue::Undefined) << qint64(1);
        QTest::newRow("counting up") << QJsonValue(5) << qint64(6);
        QTest::newRow("reaches the cap") << QJsonValue(999) << qint64(1000);
        QTest::newRow("stays at the cap") << QJsonValue(1000) << qint64(1000);
        QTest::newRow("above the cap comes down to it") << QJsonValue(5000) << qint64(1000);
        QTest::newRow("negative restarts") << QJsonValue(-3) << qint64(1);
        // A count no integer holds, or no whole count at all, is damage: counting restarts.
        QTest::newRow("1e19 restarts") << QJsonValue(1e19) << qint64(1);
        QTest::newRow("-1e300 restarts") << QJsonValue(-1e300) << qint64(1);
        QTest::newRow("fraction restarts") << QJsonValue(2.5) << qint64(1);
        QTest::newRow("NaN restarts") << QJsonValue(qQNaN()) << qint64(1);
    }
    void noteSaveFailureCountsAndCaps()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(qint64, expected);

        const QString key = QStringLiteral("sorvane.recentSaveFailures");
        Settings::shared().setValue(key, stored);
        DiagnosticUploader::noteSaveFailure();

        QCOMPARE(Settings::shared().storedValue(key).toInteger(-1), expected);
        const DiagnosticLogEntry entry = DiagnosticLogBuffer::shared().lastEntries(1).first();
        QCOMPARE(entry.level, QStringLiteral("warn"));
        QCOMPARE(entry.category, QStringLiteral("save"));
        QCOMPARE(entry.msg, QStringLiteral("Document save failed (count=%1)").arg(expected));
    }

    void errorsLogWithTheirDescription()
    {
        QTemporaryDir folder;
        DiagnosticLogBuffer buffer(5, folder.path());
        buffer.add(DiagnosticLogBuffer::Level::Error, "report", "upload failed",
                   DiagnosticError::of(DiagnosticError::Kind::Busy).toLoggedError());
        buffer.add(DiagnosticLogBuffer::Level::Error, "report", "upload failed",
                   DiagnosticError::of(DiagnosticError::Kind::ServerUnknown).toLoggedError());
        buffer.flush();

        const QList<DiagnosticLogEntry> entries = buffer.entries();
        QCOMPARE(entries[0].jsonObject().value("exception_type").toString(), QStringLiteral("DiagnosticError"));
        QCOMPARE(entries[0].jsonObject().value("exception_message").toString(),
                 QStringLiteral("A diagnostic report is already being sent."));
        // No description: the line carries the type only.
        QVERIFY(!entries[1].jsonObject().contains("exception_message"));
        QCOMPARE(DiagnosticError::server("quota reached").description(), std::optional<QString>("quota reached"));
    }
};

SORVANE_TEST_MAIN(tst_DiagnosticUploader)
#include "tst_DiagnosticUploader.moc"
