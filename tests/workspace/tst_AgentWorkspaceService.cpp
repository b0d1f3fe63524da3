#include "AgentWorkspaceTestTree.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "diagnostics/Analytics.h"
#include "platform/Bookmark.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "workspace/AgentWorkspaceService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

namespace {

// One settings file and the launches of the service over it: each launch() drops
// the running service and starts a new one on a fresh read of the file.
struct Launches
{
    QTemporaryDir dir;
    ScriptedAlertPresenter alerts;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<AgentWorkspaceService> service;

    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }

    AgentWorkspaceService &launch()
    {
        service.reset();
        settings = std::make_unique<Settings>(path(QStringLiteral("settings.json")));
        service = std::make_unique<AgentWorkspaceService>(*settings);
        return *service;
    }

    QStringList pinNames() const
    {
        QStringList names;
        for (const AgentFavorite &pin : service->favorites())
            names.append(pin.name);
        return names;
    }

    // The pins as stored: Base64 of a JSON array.
    QJsonArray storedPins() const
    {
        const QByteArray data =
            QByteArray::fromBase64(settings->storedValue(SettingsKeys::agentWorkspaceFavorites).toString().toLatin1());
        return QJsonDocument::fromJson(data).array();
    }

    void storePins(const QJsonArray &pins)
    {
        Settings file(path(QStringLiteral("settings.json")));
        file.setValue(SettingsKeys::agentWorkspaceFavorites,
                      QString::fromLatin1(QJsonDocument(pins).toJson(QJsonDocument::Compact).toBase64()));
    }
};

bool scanned(const AgentWorkspaceService &service)
{
    return QTest::qWaitFor([&] { return !service.isScanning(); }, 10000);
}

QJsonObject pin(const QString &path, const QString &name, bool agent)
{
    return {{QStringLiteral("path"), path}, {QStringLiteral("name"), name}, {QStringLiteral("isAgentDoc"), agent}};
}

AgentFileNode fileNode(const QString &path)
{
    return AgentFileNode{path, QFileInfo(path).fileName(), false, {}};
}

// Holds back the walks of one folder until released; other walks run freely.
class WalkGate
{
public:
    explicit WalkGate(const QString &held)
    {
        AgentWorkspaceService::setWalkGateForTesting([this, held](const QString &root) {
            if (root == held) {
                m_entered.release();
                m_open.acquire();
            }
        });
    }
    ~WalkGate()
    {
        release();
        AgentWorkspaceService::setWalkGateForTesting(nullptr);
        QThreadPool::globalInstance()->waitForDone();
    }
    bool waitUntilHeld() { return m_entered.tryAcquire(1, 10000); }
    void release() { m_open.release(100); }

private:
    QSemaphore m_entered;
    QSemaphore m_open;
};

// Lets every finished walk deliver its result.
void settleWalks()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class RecordingLauncher : public DesktopShare::Launcher
{
public:
    RecordingLauncher() { DesktopShare::setLauncher(this); }
    ~RecordingLauncher() override { DesktopShare::setLauncher(nullptr); }
    bool startDetached(const QString &, const QStringList &) override { return true; }
    bool openUrl(const QUrl &) override { return true; }
    bool showItemsInFileManager(const QStringList &fileUris) override
    {
        shown.append(fileUris);
        return true;
    }
    QList<QStringList> shown;
};

} // namespace

class tst_AgentWorkspaceService : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The folder panel asks for one folder with the workspace's words, opens in the
    // root once there is one; a chosen folder becomes the root and is walked, a
    // cancel changes nothing.
    void chooseDirectory()
    {
        Launches l;
        makeTree(l.path("project"), {"a.md", "sub/b.md"});
        AgentWorkspaceService &service = l.launch();
        QStringList events;
        Analytics::setObserver([&](const QString &name, const QVariantMap &) { events.append(name); });

        l.alerts.folderAnswers = {l.path("project"), std::nullopt};
        service.chooseDirectory();
        QCOMPARE(service.rootPath(), l.path("project"));
        QCOMPARE(service.rootDisplayName(), QStringLiteral("project"));
        QVERIFY(service.isScanning());
        QVERIFY(scanned(service));
        QCOMPARE(outline(service.tree()), QStringLiteral("sub/\n  b.md\na.md\n"));
        QCOMPARE(service.fileCount(), 2);
        QCOMPARE(events, QStringList{"agent_workspace_set"});

        service.chooseDirectory();
        QCOMPARE(service.rootPath(), l.path("project"));
        QVERIFY(!service.isScanning());
        QCOMPARE(events.size(), 1);
        Analytics::setObserver(nullptr);

        QCOMPARE(l.alerts.folderPanels.size(), 2);
        const FolderPanelRequest first = l.alerts.folderPanels.at(0);
        QCOMPARE(first.acceptLabel, QStringLiteral("Use Folder"));
        QCOMPARE(first.message, QStringLiteral("Choose your AI agent working directory. Sorvane will pin AGENTS.md and "
                                               "CLAUDE.md and list every markdown file inside."));
        QCOMPARE(first.directory, QDir::homePath());
        QCOMPARE(l.alerts.folderPanels.at(1).directory, l.path("project"));
    }

    // Agent files are pinned the first time any scan finds them, ahead of other pins;
    // after the user unpins one, Refresh and a relaunch leave it unpinned, while
    // choosing the folder again pins it again.
    void agentFilesArePinnedOnce()
    {
        Launches l;
        makeTree(l.path("project"), {"AGENTS.md", "docs/Claude.MD", "notes.md"});
        makeTree(l.path("elsewhere"), {"zeta.md"});
        AgentWorkspaceService &service = l.launch();
        service.toggleFavorite(fileNode(l.path("elsewhere/zeta.md")));
        service.setRoot(l.path("project"));
        QVERIFY(scanned(service));
        QCOMPARE(l.pinNames(), (QStringList{"AGENTS.md", "Claude.MD", "zeta.md"}));
        QVERIFY(service.favorites().at(0).isAgentDoc);
        QVERIFY(!service.favorites().at(2).isAgentDoc);
        QCOMPARE(l.storedPins().size(), 3);
        QJsonArray seen = l.settings->storedValue(SettingsKeys::agentWorkspaceSeenAgentDocs).toArray();
        QCOMPARE(seen.size(), 2);

        service.removeFavorite(service.favorites().at(0));
        QCOMPARE(l.pinNames(), (QStringList{"Claude.MD", "zeta.md"}));
        service.refresh();
        QVERIFY(scanned(service));
        QCOMPARE(l.pinNames(), (QStringList{"Claude.MD", "zeta.md"}));

        AgentWorkspaceService &again = l.launch();
        QCOMPARE(again.rootPath(), l.path("project"));
        QVERIFY(scanned(again));
        QCOMPARE(l.pinNames(), (QStringList{"Claude.MD", "zeta.md"}));

        again.setRoot(l.path("project"));
        QVERIFY(scanned(again));
        QCOMPARE(l.pinNames(), (QStringList{"AGENTS.md", "Claude.MD", "zeta.md"}));
    }

    // Stored pins keep their stored order; adding one sorts (agent files first, then
    // by name in any case), removing one does not.
    void toggleFavorite()
    {
        Launches l;
        l.storePins({pin("/p/zeta.md", "zeta.md", false), pin("/p/Alpha.md", "Alpha.md", false)});
        AgentWorkspaceService &service = l.launch();
        QCOMPARE(l.pinNames(), (QStringList{"zeta.md", "Alpha.md"}));

        service.toggleFavorite(AgentFileNode{"/p/folder", "folder", true, {fileNode("/p/folder/x.md")}});
        QCOMPARE(l.pinNames(), (QStringList{"zeta.md", "Alpha.md"}));

        service.toggleFavorite(fileNode("/p/sub/../beta.md"));
        QCOMPARE(l.pinNames(), (QStringList{"Alpha.md", "beta.md", "zeta.md"}));
        QVERIFY(service.isFavorite("/p/beta.md"));

        service.toggleFavorite(fileNode("/p/CLAUDE.md"));
        QCOMPARE(l.pinNames(), (QStringList{"CLAUDE.md", "Alpha.md", "beta.md", "zeta.md"}));
        QVERIFY(service.favorites().at(0).isAgentDoc);

        l.storePins({pin("/p/zeta.md", "zeta.md", false), pin("/p/b.md", "b.md", false), pin("/p/a.md", "a.md", false)});
        AgentWorkspaceService &again = l.launch();
        again.toggleFavorite(fileNode("/p/b.md"));
        QCOMPARE(l.pinNames(), (QStringList{"zeta.md", "a.md"}));
        QCOMPARE(l.storedPins(), (QJsonArray{pin("/p/zeta.md", "zeta.md", false), pin("/p/a.md", "a.md", false)}));

        // Removal takes every pin of the path and keeps the others' order.
        l.storePins({pin("/p/z.md", "z.md", false), pin("/p/a.md", "a.md", false), pin("/p/z.md", "z.md", false),
                     pin("/p/m.md", "m.md", false)});
        AgentWorkspaceService &third = l.launch();
        third.removeFavorite(AgentFavorite{"/p/z.md", "z.md", false});
        QCOMPARE(l.pinNames(), (QStringList{"a.md", "m.md"}));
    }

    // Closing keeps the pins and forgets the folder for the next launch; a pinned file
    // that was deleted goes at the next scan, in memory and in storage.
    void clearRootAndPruning()
    {
        Launches l;
        makeTree(l.path("project"), {"a.md", "b.md"});
        AgentWorkspaceService &service = l.launch();
        service.setRoot(l.path("project"));
        QVERIFY(scanned(service));
        service.toggleFavorite(fileNode(l.path("project/a.md")));
        service.toggleFavorite(fileNode(l.path("project/b.md")));

        QSignalSpy rootChanged(&service, &AgentWorkspaceService::rootPathChanged);
        service.clearRoot();
        QCOMPARE(rootChanged.size(), 1);
        QVERIFY(!service.hasRoot());
        QVERIFY(service.tree().isEmpty());
        QCOMPARE(service.fileCount(), 0);
        QCOMPARE(l.pinNames(), (QStringList{"a.md", "b.md"}));
        QVERIFY(service.isFavorite(l.path("project/a.md")));
        QVERIFY(!l.settings->contains(SettingsKeys::agentWorkspaceRootBookmark));
        service.refresh();
        QVERIFY(!service.isScanning());

        QVERIFY(QFile::remove(l.path("project/a.md")));
        AgentWorkspaceService &again = l.launch();
        QVERIFY(!again.hasRoot());
        QCOMPARE(l.pinNames(), (QStringList{"a.md", "b.md"}));
        again.setRoot(l.path("project"));
        QVERIFY(scanned(again));
        QCOMPARE(l.pinNames(), QStringList{"b.md"});
        QCOMPARE(l.storedPins().size(), 1);
    }

    // The next launch reopens the folder and walks it; a folder replaced at the same
    // path is taken and its bookmark renewed; a folder that is gone or a damaged
    // bookmark starts without a root and leaves the stored value alone.
    void restore()
    {
        Launches l;
        makeTree(l.path("project"), {"a.md"});
        l.launch().setRoot(l.path("project"));
        QVERIFY(scanned(*l.service));
        const QJsonValue first = l.settings->storedValue(SettingsKeys::agentWorkspaceRootBookmark);
        QVERIFY(first.isString());

        AgentWorkspaceService &restored = l.launch();
        QCOMPARE(restored.rootPath(), l.path("project"));
        QVERIFY(scanned(restored));
        QCOMPARE(outline(restored.tree()), QStringLiteral("a.md\n"));

        // Another folder at the same path (the old one moved aside, so the new one
        // cannot reuse its inode).
        QVERIFY(QDir().rename(l.path("project"), l.path("project-old")));
        makeTree(l.path("project"), {"b.md"});
        AgentWorkspaceService &replaced = l.launch();
        QCOMPARE(replaced.rootPath(), l.path("project"));
        QVERIFY(scanned(replaced));
        QCOMPARE(outline(replaced.tree()), QStringLiteral("b.md\n"));
        const QJsonValue renewed = l.settings->storedValue(SettingsKeys::agentWorkspaceRootBookmark);
        QVERIFY(renewed != first);
        const auto resolved = Bookmark::resolve(QByteArray::fromBase64(renewed.toString().toLatin1()));
        QVERIFY(resolved && !resolved->stale);

        QVERIFY(QDir(l.path("project")).removeRecursively());
        AgentWorkspaceService &gone = l.launch();
        QVERIFY(!gone.hasRoot());
        QVERIFY(!gone.isScanning());
        QCOMPARE(l.settings->storedValue(SettingsKeys::agentWorkspaceRootBookmark), renewed);

        for (const QJsonValue &damaged : {QJsonValue(QStringLiteral("%%not base64%%")),
                                          QJsonValue(QString::fromLatin1(QByteArray("{\"path\":1}").toBase64())),
                                          QJsonValue(42)}) {
            l.settings->setValue(SettingsKeys::agentWorkspaceRootBookmark, damaged);
            AgentWorkspaceService &broken = l.launch();
            QVERIFY(!broken.hasRoot());
            QCOMPARE(l.settings->storedValue(SettingsKeys::agentWorkspaceRootBookmark), damaged);
        }
    }

    // A walk that ends after a newer one started never shows: choosing A then B with
    // A's walk held back leaves B's tree and pins, whenever A's walk finishes.
    void olderWalkNeverWins()
    {
        Launches l;
        makeTree(l.path("a"), {"AGENTS.md", "only-in-a.md"});
        makeTree(l.path("b"), {"only-in-b.md"});
        AgentWorkspaceService &service = l.launch();
        WalkGate gate(l.path("a"));
        service.setRoot(l.path("a"));
        QVERIFY(gate.waitUntilHeld());
        service.setRoot(l.path("b"));
        // B's walk finishes while A's is still held: B's result shows at once.
        QVERIFY(QTest::qWaitFor([&] { return service.fileCount() == 1; }, 10000));
        QCOMPARE(outline(service.tree()), QStringLiteral("only-in-b.md\n"));
        QVERIFY(!service.isScanning());

        gate.release();
        settleWalks();
        QCOMPARE(outline(service.tree()), QStringLiteral("only-in-b.md\n"));
        QCOMPARE(service.rootPath(), l.path("b"));
        QVERIFY(service.favorites().isEmpty());
        QVERIFY(!service.isScanning());
    }

    // Close Workspace while the walk runs: no tree comes back, and scanning ends.
    void closeDuringWalk()
    {
        Launches l;
        makeTree(l.path("a"), {"AGENTS.md", "x.md"});
        AgentWorkspaceService &service = l.launch();
        WalkGate gate(l.path("a"));
        service.setRoot(l.path("a"));
        QVERIFY(gate.waitUntilHeld());
        service.clearRoot();
        QVERIFY(service.isScanning());
        gate.release();
        settleWalks();
        QVERIFY(!service.isScanning());
        QVERIFY(service.tree().isEmpty());
        QCOMPARE(service.fileCount(), 0);
        QVERIFY(service.favorites().isEmpty());
    }

    // A folder whose bookmark cannot be made is used until quit, and the previous
    // folder does not come back at the next launch.
    void failedBookmarkForgetsThePreviousFolder()
    {
        Launches l;
        makeTree(l.path("first"), {"a.md"});
        AgentWorkspaceService &service = l.launch();
        service.setRoot(l.path("first"));
        QVERIFY(scanned(service));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not remember the AI workspace folder"));
        service.setRoot(l.path("vanished"));
        QCOMPARE(service.rootPath(), l.path("vanished"));
        QVERIFY(scanned(service));
        QVERIFY(service.tree().isEmpty());
        QVERIFY(!l.settings->contains(SettingsKeys::agentWorkspaceRootBookmark));

        QVERIFY(!l.launch().hasRoot());
    }

    // One damaged stored pin costs only itself: the rest load in order, and the next
    // save keeps them.
    void damagedPinsAreSkippedOneByOne()
    {
        Launches l;
        l.storePins({pin("/p/one.md", "one.md", false), QJsonObject{{"path", "/p/nameless.md"}, {"isAgentDoc", false}},
                     pin("/p/AGENTS.md", "AGENTS.md", true), QJsonValue(42),
                     QJsonObject{{"path", "/p/t.md"}, {"name", "t.md"}, {"isAgentDoc", "yes"}},
                     pin("/p/two.md", "two.md", false)});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("skipped 3 unreadable stored pin"));
        AgentWorkspaceService &service = l.launch();
        QCOMPARE(l.pinNames(), (QStringList{"one.md", "AGENTS.md", "two.md"}));
        service.toggleFavorite(fileNode("/p/three.md"));
        QCOMPARE(l.storedPins().size(), 4);

        // Pins that are not a JSON array at all start empty, and nothing is lost in
        // storage until the next save.
        Settings(l.path("settings.json")).setValue(SettingsKeys::agentWorkspaceFavorites, QStringLiteral("bm90IGpzb24="));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("stored pins are unreadable"));
        l.launch();
        QVERIFY(l.service->favorites().isEmpty());
        QCOMPARE(l.settings->storedValue(SettingsKeys::agentWorkspaceFavorites).toString(), QStringLiteral("bm90IGpzb24="));
    }

    // The stored forms: the pins a Base64 string of a compact JSON array with the
    // three keys, the bookmark a Base64 string, the seen files a list of paths.
    void storedForms()
    {
        Launches l;
        makeTree(l.path("project"), {"CLAUDE.md"});
        AgentWorkspaceService &service = l.launch();
        service.setRoot(l.path("project"));
        QVERIFY(scanned(service));
        const QJsonValue pins = l.settings->storedValue(SettingsKeys::agentWorkspaceFavorites);
        QVERIFY(pins.isString());
        const QByteArray json = QByteArray::fromBase64(pins.toString().toLatin1());
        QVERIFY(!json.contains(' ') && !json.contains('\n'));
        QCOMPARE(QJsonDocument::fromJson(json).array(), QJsonArray{pin(l.path("project/CLAUDE.md"), "CLAUDE.md", true)});
        QVERIFY(Bookmark::resolve(QByteArray::fromBase64(
            l.settings->storedValue(SettingsKeys::agentWorkspaceRootBookmark).toString().toLatin1())));
        QCOMPARE(l.settings->storedValue(SettingsKeys::agentWorkspaceSeenAgentDocs).toArray(),
                 QJsonArray{l.path("project/CLAUDE.md")});
    }

    // Show in File Manager selects the root; without a root nothing is asked.
    void revealInFileManager()
    {
        Launches l;
        makeTree(l.path("project"), {"a.md"});
        RecordingLauncher launcher;
        AgentWorkspaceService &service = l.launch();
        service.revealInFileManager();
        QVERIFY(launcher.shown.isEmpty());
        service.setRoot(l.path("project"));
        service.revealInFileManager();
        QCOMPARE(launcher.shown, QList<QStringList>{{QUrl::fromLocalFile(l.path("project")).toString()}});
        QVERIFY(scanned(service));
    }
};

SORVANE_TEST_MAIN(tst_AgentWorkspaceService)
#include "tst_AgentWorkspaceService.moc"
