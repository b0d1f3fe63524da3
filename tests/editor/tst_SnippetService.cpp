#include "TestFiles.h"
#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "editor/snippets/SnippetService.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString saveFailed = QStringLiteral("snippet save failed; in-memory snippets intact but will not survive relaunch");


int persistWarnings(const QString &message)
{
    int count = 0;
    for (const DiagnosticLogEntry &entry : DiagnosticLogBuffer::shared().entries()) {
        if (entry.level == QLatin1String("warn") && entry.category == QLatin1String("persist")
            && entry.msg.startsWith(message))
            ++count;
    }
    return count;
}

// The names in the fixture folder that start with "snippets.json.invalid-".
QStringList asideNames(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("snippets.json.invalid-*")},
                                  QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

const QByteArray twoSnippets = R"([{"id":"0b8f4c9e-3d1a-4c55-9a57-6c1f2e3d4a5b","name":"Sig","trigger":";sig","body":"-- me"},
{"trigger":";hr","body":"---\n","name":"Rule","id":"7f0e2a61-9b3c-4d8e-a1f2-3b4c5d6e7f80"}])";
} // namespace

class tst_SnippetService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noFileWritesTheStarters();
    void validFileIsNotRewritten();
    void emptyLibrarySurvivesRelaunch();
    void brokenFileIsKeptAside_data();
    void brokenFileIsKeptAside();
    void brokenFileThatCannotMoveStaysUntouched();
    void editsWithinTheDelayGiveOneWrite();
    void updateOfAnUnknownIdChangesNothing();
    void unmakeableFolderLogsAndKeepsTheList();
    void pendingSaveIsWrittenAtTheEnd_data();
    void pendingSaveIsWrittenAtTheEnd();
};

void tst_SnippetService::noFileWritesTheStarters()
{
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("support/snippets.json"));
    QList<Snippet> first;
    {
        SnippetService service(path);
        first = service.snippets();
        QCOMPARE(first, SnippetService::starters());
        QVERIFY(!service.isSavePending());
    }
    const QByteArray written = readFile(path);
    const QJsonDocument document = QJsonDocument::fromJson(written);
    QVERIFY(document.isArray());
    QCOMPARE(document.array().size(), 5);
    // Pretty-printed, keys sorted, ids in the plain hyphenated form.
    QVERIFY2(written.startsWith("[\n    {\n        \"body\": "), written.left(40).constData());
    const QRegularExpression keyOrder(QStringLiteral(
        R"("body": [^\n]*\n\s*"id": "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}",\n\s*"name": [^\n]*\n\s*"trigger": )"));
    QCOMPARE(QString::fromUtf8(written).count(keyOrder), 5);

    SnippetService relaunched(path);
    QCOMPARE(relaunched.snippets(), first);
}

void tst_SnippetService::validFileIsNotRewritten()
{
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    QVERIFY(writeFile(path, twoSnippets));

    SnippetService service(path);
    QCOMPARE(service.snippets().size(), 2);
    QCOMPARE(service.snippets().at(1).name, QStringLiteral("Rule"));
    QCOMPARE(service.snippets().at(1).body, QStringLiteral("---\n"));
    QCOMPARE(service.find(QStringLiteral(";sig"))->name, QStringLiteral("Sig"));
    QVERIFY(!service.find(QStringLiteral(";SIG")));
    QVERIFY(!service.isSavePending());
    QCOMPARE(readFile(path), twoSnippets);
    QCOMPARE(asideNames(fixture.path()), QStringList());
}

void tst_SnippetService::emptyLibrarySurvivesRelaunch()
{
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    {
        SnippetService service(path);
        QSignalSpy saved(&service, &SnippetService::saveFinished);
        for (const Snippet &snippet : SnippetService::starters())
            service.remove(snippet.id);
        QVERIFY(service.snippets().isEmpty());
        QVERIFY(saved.wait());
        QCOMPARE(saved.takeFirst().at(0).toBool(), true);
    }
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).array().size(), 0);

    SnippetService relaunched(path);
    QVERIFY(relaunched.snippets().isEmpty());
    QVERIFY(!relaunched.isSavePending());
}

void tst_SnippetService::brokenFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a folder takes the file's place
    QTest::addColumn<bool>("earlierAside");

    QTest::newRow("entry without body")
        << QByteArray(R"([{"id":"0b8f4c9e-3d1a-4c55-9a57-6c1f2e3d4a5b","name":"Sig","trigger":";sig"}])") << false;
    QTest::newRow("id that is no UUID") << QByteArray(R"([{"id":"7","name":"a","trigger":"b","body":"c"}])") << false;
    QTest::newRow("not JSON") << QByteArray("[{\"name\": ") << false;
    QTest::newRow("an object, not a list") << QByteArray(R"({"name":"a"})") << false;
    QTest::newRow("folder named snippets.json") << QByteArray() << false;
    QTest::newRow("an earlier broken file is not overwritten") << QByteArray("nonsense") << true;
}

void tst_SnippetService::brokenFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, earlierAside);

    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    if (content.isEmpty()) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(path + QStringLiteral("/inside.txt"), "kept"));
    } else {
        QVERIFY(writeFile(path, content));
    }
    QStringList earlier;
    if (earlierAside) {
        // The stamps of this second and the next few, so the new name must step aside.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int s = 0; s < 3; ++s) {
            const QString name = QStringLiteral("snippets.json.invalid-")
                                 + now.addSecs(s).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
            QVERIFY(writeFile(fixture.filePath(name), "earlier"));
            earlier << name;
        }
    }
    const int warningsBefore = persistWarnings(QStringLiteral("snippet library unreadable"));

    SnippetService service(path);

    QCOMPARE(service.snippets(), SnippetService::starters());
    QCOMPARE(persistWarnings(QStringLiteral("snippet library unreadable")), warningsBefore + 1);
    // The starters now sit in a fresh file, the old content beside it untouched.
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).array().size(), 5);
    QStringList aside = asideNames(fixture.path());
    for (const QString &name : earlier) {
        QCOMPARE(readFile(fixture.filePath(name)), QByteArray("earlier"));
        aside.removeOne(name);
    }
    QCOMPARE(aside.size(), 1);
    const QString kept = fixture.filePath(aside.first());
    if (content.isEmpty())
        QCOMPARE(readFile(kept + QStringLiteral("/inside.txt")), QByteArray("kept"));
    else
        QCOMPARE(readFile(kept), content);
}

void tst_SnippetService::brokenFileThatCannotMoveStaysUntouched()
{
    QTemporaryDir fixture;
    // A name so long that no longer name beside it can exist: the rename must fail.
    const QString path = fixture.filePath(QString(240, u's'));
    const QByteArray broken = R"([{"name":"only a name"}])";
    QVERIFY(writeFile(path, broken));

    SnippetService service(path);
    QCOMPARE(service.snippets(), SnippetService::starters());
    Snippet added;
    added.trigger = QStringLiteral(";x");
    service.add(added);
    service.flushPendingSave();

    QCOMPARE(service.snippets().size(), 6);
    QCOMPARE(readFile(path), broken);
    QCOMPARE(QDir(fixture.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1);
}

void tst_SnippetService::editsWithinTheDelayGiveOneWrite()
{
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    QVERIFY(writeFile(path, twoSnippets));
    SnippetService service(path);
    QSignalSpy saved(&service, &SnippetService::saveFinished);
    QSignalSpy changed(&service, &SnippetService::snippetsChanged);

    Snippet edited = service.snippets().at(0);
    edited.name = QStringLiteral("Signature");
    service.update(edited);
    edited.trigger = QStringLiteral(";sign");
    service.update(edited);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(service.find(QStringLiteral(";sign"))->name, QStringLiteral("Signature"));
    QCOMPARE(readFile(path), twoSnippets); // nothing yet: the write waits for a pause
    QTRY_VERIFY(readFile(path).contains("\";sign\""));

    // A later edit writes once more; writes left over from the first two would come before it.
    Snippet added;
    added.name = QStringLiteral("Third");
    service.add(added);
    QTRY_VERIFY(readFile(path).contains("\"Third\""));
    QCOMPARE(saved.size(), 2);
    QCOMPARE(service.snippets().size(), 3);
}

void tst_SnippetService::updateOfAnUnknownIdChangesNothing()
{
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    QVERIFY(writeFile(path, twoSnippets));
    SnippetService service(path);
    const QList<Snippet> before = service.snippets();
    QSignalSpy changed(&service, &SnippetService::snippetsChanged);

    Snippet stranger;
    stranger.name = QStringLiteral("Stranger");
    service.update(stranger);

    QCOMPARE(service.snippets(), before);
    QCOMPARE(changed.size(), 0);
    QVERIFY(!service.isSavePending());
}

void tst_SnippetService::unmakeableFolderLogsAndKeepsTheList()
{
    QTemporaryDir fixture;
    const QString blocker = fixture.filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "a file where the folder should go"));
    const QString path = blocker + QStringLiteral("/support/snippets.json");
    const int before = persistWarnings(saveFailed);

    SnippetService service(path);
    QCOMPARE(service.snippets(), SnippetService::starters());
    QCOMPARE(persistWarnings(saveFailed), before + 1);

    QSignalSpy saved(&service, &SnippetService::saveFinished);
    Snippet added;
    added.trigger = QStringLiteral(";x");
    service.add(added);
    QVERIFY(saved.wait());
    QCOMPARE(saved.first().at(0).toBool(), false);
    QCOMPARE(persistWarnings(saveFailed), before + 2);
    QCOMPARE(service.snippets().size(), 6);
    QVERIFY(service.find(QStringLiteral(";x")));
    QCOMPARE(readFile(blocker), QByteArray("a file where the folder should go"));
}

void tst_SnippetService::pendingSaveIsWrittenAtTheEnd_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("application quits") << true;
    QTest::newRow("service goes away") << false;
}

void tst_SnippetService::pendingSaveIsWrittenAtTheEnd()
{
    QFETCH(bool, quit);
    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    QVERIFY(writeFile(path, twoSnippets));
    auto service = std::make_unique<SnippetService>(path);
    service->remove(service->snippets().at(0).id);
    QVERIFY(service->isSavePending());

    if (quit)
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    else
        service.reset();

    const QJsonArray stored = QJsonDocument::fromJson(readFile(path)).array();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Rule"));
    if (service)
        QVERIFY(!service->isSavePending());
}

SORVANE_TEST_MAIN(tst_SnippetService)
#include "tst_SnippetService.moc"
