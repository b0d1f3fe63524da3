#include "TestEnvironment.h"
#include "TestFiles.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "diagnostics/DiagnosticsLog.h"
#include "diagnostics/QtMessageLog.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <thread>

namespace {

// Both must leave the log redacted: an opaque token and an e-mail address.
const QString secret = QStringLiteral("sk4f9a8b7c6d5e4f3a2b1c0d9e8f7a6b");
const QString email = QStringLiteral("jane.doe@example.com");

enum class Source { CategoryWarning, PlainWarning, CategoryInfo, PlainCritical, CategoryDebug, QtOwnWarning, WorkerThread };

// Emits one message carrying marker (and the secret) the way the row says.
void emitMessage(Source source, const QString &marker)
{
    const QByteArray text = (marker + QStringLiteral(" key ") + secret + QStringLiteral(" for ") + email).toUtf8();
    switch (source) {
    case Source::CategoryWarning:
        qCWarning(lcDiagnostics, "%s", text.constData());
        break;
    case Source::PlainWarning:
        qWarning("%s", text.constData());
        break;
    case Source::CategoryInfo:
        qCInfo(lcDiagnostics, "%s", text.constData());
        break;
    case Source::PlainCritical:
        qCritical("%s", text.constData());
        break;
    case Source::CategoryDebug:
        qCDebug(lcDiagnostics, "%s", text.constData());
        break;
    case Source::QtOwnWarning: {
        // Qt names the missing signal in its own warning, under its own category.
        QObject object;
        const QByteArray signal = "2" + marker.toLatin1() + "(" + secret.toLatin1() + "," + email.toLatin1() + ")";
        QObject::connect(&object, signal.constData(), &object, SLOT(deleteLater()));
        break;
    }
    case Source::WorkerThread:
        std::thread([&text] { qCWarning(lcDiagnostics, "%s", text.constData()); }).join();
        break;
    }
}

QList<DiagnosticLogEntry> entriesWith(const QString &marker)
{
    QList<DiagnosticLogEntry> found;
    for (const DiagnosticLogEntry &entry : DiagnosticLogBuffer::shared().entries()) {
        if (entry.msg.contains(marker))
            found.append(entry);
    }
    return found;
}

constexpr char fatalChildVariable[] = "SORVANE_QTMESSAGELOG_FATAL_CHILD";
constexpr char quietChildVariable[] = "SORVANE_QTMESSAGELOG_QUIET_CHILD";
const QString fatalMarker = QStringLiteral("fatalmarker");

} // namespace

class tst_QtMessageLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Installed over Qt Test's own handler: each ignoreMessage below also proves the
        // message was handed on to the handler that was there before. Twice, as a second
        // install must not make the handler its own predecessor.
        QtMessageLog::install();
        QtMessageLog::install();
    }
    void cleanup()
    {
        DiagnosticLogBuffer::setVerbose(false);
        DiagnosticLogBuffer::setTelemetryHandler(nullptr);
    }

    void messageReachesTheLog_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QtMsgType>("type");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("category");
        const QString ours = QStringLiteral("sorvane.diagnostics");
        const QString plain = QStringLiteral("default");
        QTest::newRow("category warning") << Source::CategoryWarning << "catwarn" << QtWarningMsg << "warn" << ours;
        QTest::newRow("plain warning") << Source::PlainWarning << "plainwarn" << QtWarningMsg << "warn" << plain;
        QTest::newRow("category info") << Source::CategoryInfo << "catinfo" << QtInfoMsg << "info" << ours;
        QTest::newRow("plain critical") << Source::PlainCritical << "plaincrit" << QtCriticalMsg << "error" << plain;
        QTest::newRow("category debug, verbose") << Source::CategoryDebug << "catdebug" << QtDebugMsg << "debug" << ours;
        QTest::newRow("Qt's own warning") << Source::QtOwnWarning << "qtown" << QtWarningMsg << "warn"
                                          << QStringLiteral("qt.core.qobject.connect");
        QTest::newRow("from another thread") << Source::WorkerThread << "worker" << QtWarningMsg << "warn" << ours;
    }
    void messageReachesTheLog()
    {
        QFETCH(Source, source);
        QFETCH(QString, marker);
        QFETCH(QtMsgType, type);
        QFETCH(QString, level);
        QFETCH(QString, category);
        if (type == QtDebugMsg)
            DiagnosticLogBuffer::setVerbose(true);

        QTest::ignoreMessage(type, QRegularExpression(QRegularExpression::escape(marker)));
        emitMessage(source, marker);

        const QList<DiagnosticLogEntry> entries = entriesWith(marker);
        QCOMPARE(entries.size(), 1);
        const DiagnosticLogEntry &entry = entries.first();
        QCOMPARE(entry.level, level);
        QCOMPARE(entry.category, category);
        QVERIFY2(!entry.msg.contains(secret), qPrintable(entry.msg));
        QVERIFY2(!entry.msg.contains(email), qPrintable(entry.msg));
        QVERIFY2(entry.msg.contains(QLatin1String("redacted")), qPrintable(entry.msg));
    }

    // Whatever the log says while it logs stays out of it: no loop, no second entry,
    // and the outer message is still kept once.
    void messageWhileLoggingDoesNotRecurse()
    {
        int nested = 0;
        DiagnosticLogBuffer::setTelemetryHandler([&nested](auto, const QString &, const auto &) {
            ++nested;
            qWarning("nested message from the log");
        });
        QTest::ignoreMessage(QtWarningMsg, "outer message");
        qWarning("outer message");

        QCOMPARE(nested, 1);
        QCOMPARE(entriesWith(QStringLiteral("outer message")).size(), 1);
        QCOMPARE(entriesWith(QStringLiteral("nested message")).size(), 0);
    }

    // With a quiet console the terminal sees only warnings and worse; the log file
    // still gets everything.
    void quietConsoleKeepsChatterInTheLog()
    {
        QTemporaryDir state;
        QVERIFY(state.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(quietChildVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);

        const QByteArray console = child.readAllStandardError();
        QVERIFY2(console.contains("quietwarning"), console.constData());
        QVERIFY2(console.contains("quietcritical"), console.constData());
        QVERIFY2(!console.contains("quietinfo"), console.constData());
        QVERIFY2(!console.contains("quietdebug"), console.constData());
        const QByteArray log = readFile(state.path() + QStringLiteral("/Sorvane/sorvane.log"));
        for (const char *marker : {"quietwarning", "quietcritical", "quietinfo"})
            QVERIFY2(log.contains(marker), marker);
    }

    // qFatal aborts right after the handlers: its entry must already be in the file.
    void fatalMessageIsOnDiskBeforeTheAbort()
    {
        QTemporaryDir state;
        QVERIFY(state.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(fatalChildVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QByteArray log = readFile(state.path() + QStringLiteral("/Sorvane/sorvane.log"));
        QJsonObject fatal;
        for (const QByteArray &line : log.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value(QLatin1String("msg")).toString().contains(fatalMarker))
                fatal = object;
        }
        QVERIFY2(!fatal.isEmpty(), log.constData());
        QCOMPARE(fatal.value(QLatin1String("level")).toString(), QStringLiteral("error"));
        QCOMPARE(fatal.value(QLatin1String("category")).toString(), QStringLiteral("default"));
        QVERIFY(!log.contains(secret.toLatin1()));
        QVERIFY(!log.contains(email.toLatin1()));
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(fatalChildVariable)) {
        // The child of fatalMessageIsOnDiskBeforeTheAbort: no core file for the expected abort.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        QCoreApplication app(argc, argv);
        QtMessageLog::install();
        qFatal("%s %s %s", qPrintable(fatalMarker), qPrintable(secret), qPrintable(email));
    }
    if (qEnvironmentVariableIsSet(quietChildVariable)) {
        // The child of quietConsoleKeepsChatterInTheLog.
        QCoreApplication app(argc, argv);
        QtMessageLog::install();
        QtMessageLog::setQuietConsole(true);
        qCDebug(lcDiagnostics, "quietdebug");
        qCInfo(lcDiagnostics, "quietinfo");
        qInfo("quietinfo plain");
        qCWarning(lcDiagnostics, "quietwarning");
        qCritical("quietcritical");
        DiagnosticLogBuffer::shared().flush();
        return 0;
    }
    TestEnvironment environment;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tst_QtMessageLog tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_QtMessageLog.moc"
