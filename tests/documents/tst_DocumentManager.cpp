// The tab list and its commands, with a scripted user answering alerts and panels.
#include "DocumentTestFiles.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"

#include "documents/DocumentManager.h"
#include "documents/EditorRequestHub.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

const QString changedOnDiskText = QStringLiteral(
    "\"a.md\" changed on disk since it was opened. Reopen or revert before saving to avoid overwriting newer "
    "content.");

QStringList recentPaths(const DocumentManager &manager)
{
    QStringList paths;
    for (const QUrl &url : manager.recentDocuments())
        paths.append(url.toLocalFile());
    return paths;
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class tst_DocumentManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void openEditSaveRevert();
    void revertAsksOnlyForModifiedFileTabs();
    void closeAnswers_data();
    void closeAnswers();
    void closeUntitledWithPanelCancelledKeepsTab();
    void saveRefusedWhenFileChangedOnDisk_data();
    void saveRefusedWhenFileChangedOnDisk();
    void cleanTabSaveTakesDiskContent();
    void saveAs_data();
    void saveAs();
    void saveAsPanelFolderAndName_data();
    void saveAsPanelFolderAndName();
    void openRefusesNonUtf8();
    void symbolicLinkOpensOnce();
    void newDocument_data();
    void newDocument();
    void tabCycling();
    void closingSelectsLastTab();
    void recentDocuments();
    void readErrorWithoutDescription();
    void formattingRequest();
    void findAndReplaceRequests();
    void openPanelOpensEachChosenFile();
    void fontSize_data();
    void fontSize();
    void closeWithoutTabClosesActiveWindow();

private:
    // A fresh folder of files for each test function.
    std::unique_ptr<DocumentTestFiles> m_files;
};

void tst_DocumentManager::init()
{
    Settings::shared().remove(QStringLiteral("recentDocuments"));
    Settings::shared().remove(QStringLiteral("fontSize"));
    m_files = std::make_unique<DocumentTestFiles>();
}

void tst_DocumentManager::openEditSaveRevert()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("a.md"), "one\n");

    manager.openFile(path);
    QCOMPARE(manager.documents().size(), 1);
    TabDocument *tab = manager.selectedDocument();
    QVERIFY(tab);
    QCOMPARE(tab->text(), QStringLiteral("one\n"));
    QCOMPARE(recentPaths(manager), QStringList{canonical(path)});

    tab->userEditedText(QStringLiteral("two\n"));
    QVERIFY(manager.save(tab));
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("two\n"));
    QVERIFY(!tab->isModified());

    tab->userEditedText(QStringLiteral("three\n"));
    user.alertAnswers = {1}; // Cancel
    manager.revertCurrentDocument();
    QCOMPARE(tab->text(), QStringLiteral("three\n"));
    user.alertAnswers = {0}; // Revert
    manager.revertCurrentDocument();
    QCOMPARE(tab->text(), QStringLiteral("two\n"));
    QVERIFY(!tab->isModified());

    QCOMPARE(user.alerts.size(), 2);
    QCOMPARE(user.alerts.at(1).messageText, QStringLiteral("Revert to saved version of \"a.md\"?"));
    QCOMPARE(user.alerts.at(1).informativeText, QStringLiteral("You will lose any unsaved changes."));
    QCOMPARE(user.alerts.at(1).buttons, (QStringList{QStringLiteral("Revert"), QStringLiteral("Cancel")}));
}

void tst_DocumentManager::revertAsksOnlyForModifiedFileTabs()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    manager.openFile(m_files->write(QStringLiteral("a.md"), "one\n"));
    manager.revertCurrentDocument(); // clean
    manager.newDocument(QStringLiteral("draft"), false);
    manager.revertCurrentDocument(); // untitled
    QVERIFY(user.alerts.isEmpty());
}

void tst_DocumentManager::closeAnswers_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("tabsLeft");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::newRow("save") << 0 << 0 << QByteArray("edited\n");
    QTest::newRow("don't save") << 1 << 0 << QByteArray("one\n");
    QTest::newRow("cancel") << 2 << 1 << QByteArray("one\n");
    QTest::newRow("dismissed") << -1 << 1 << QByteArray("one\n");
}

void tst_DocumentManager::closeAnswers()
{
    QFETCH(int, answer);
    QFETCH(int, tabsLeft);
    QFETCH(QByteArray, onDisk);
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("a.md"), "one\n");
    manager.openFile(path);
    TabDocument *tab = manager.selectedDocument();
    tab->userEditedText(QStringLiteral("edited\n"));

    user.alertAnswers = {answer};
    manager.closeCurrentDocumentOrWindow();
    QCOMPARE(user.alerts.size(), 1);
    QCOMPARE(user.alerts.at(0).messageText, QStringLiteral("Save changes to \"a.md\"?"));
    QCOMPARE(user.alerts.at(0).informativeText, QStringLiteral("Your changes will be lost if you don't save them."));
    QCOMPARE(user.alerts.at(0).buttons,
             (QStringList{QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")}));
    QCOMPARE(manager.documents().size(), tabsLeft);
    QCOMPARE(DocumentTestFiles::read(path), onDisk);
    if (tabsLeft) {
        QCOMPARE(manager.selectedId(), tab->id());
        QCOMPARE(tab->text(), QStringLiteral("edited\n"));
    } else {
        QVERIFY(manager.selectedId().isNull());
    }
}

void tst_DocumentManager::closeUntitledWithPanelCancelledKeepsTab()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    manager.newDocument(QStringLiteral("draft"), false);
    const QUuid id = manager.selectedId();
    user.alertAnswers = {0}; // Save; the panel is then cancelled
    manager.closeDocument(id);
    QCOMPARE(user.savePanels.size(), 1);
    QCOMPARE(user.savePanels.at(0).suggestedName, QStringLiteral("Untitled.md"));
    QCOMPARE(manager.documents().size(), 1);
    QCOMPARE(manager.selectedId(), id);
}

void tst_DocumentManager::saveRefusedWhenFileChangedOnDisk_data()
{
    QTest::addColumn<int>("laterMs");
    QTest::addColumn<bool>("saved");
    QTest::newRow("0.5 s") << 500 << true;
    QTest::newRow("2 s") << 2000 << false;
}

void tst_DocumentManager::saveRefusedWhenFileChangedOnDisk()
{
    QFETCH(int, laterMs);
    QFETCH(bool, saved);
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("a.md"), "one\n");
    manager.openFile(path);
    TabDocument *tab = manager.selectedDocument();
    tab->userEditedText(QStringLiteral("mine\n"));
    DocumentTestFiles::overwriteAt(path, "theirs\n", tab->lastKnownModificationDate().addMSecs(laterMs));

    QCOMPARE(manager.save(tab), saved);
    if (saved) {
        QVERIFY(user.alerts.isEmpty());
        QCOMPARE(DocumentTestFiles::read(path), QByteArray("mine\n"));
    } else {
        QCOMPARE(user.alerts.size(), 1);
        QCOMPARE(user.alerts.at(0).messageText, QStringLiteral("Could not save file"));
        QCOMPARE(user.alerts.at(0).informativeText, changedOnDiskText);
        QCOMPARE(user.alerts.at(0).style, AlertRequest::Style::Critical);
        QCOMPARE(user.alerts.at(0).buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(DocumentTestFiles::read(path), QByteArray("theirs\n"));
        QVERIFY(tab->isModified());
    }
}

void tst_DocumentManager::cleanTabSaveTakesDiskContent()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("a.md"), "one\n");
    manager.openFile(path);
    TabDocument *tab = manager.selectedDocument();
    DocumentTestFiles::overwriteAt(path, "written elsewhere\n", tab->lastKnownModificationDate().addSecs(2));

    QVERIFY(manager.save(tab));
    QVERIFY(user.alerts.isEmpty());
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("written elsewhere\n"));
    QCOMPARE(tab->text(), QStringLiteral("written elsewhere\n"));
}

void tst_DocumentManager::saveAs_data()
{
    QTest::addColumn<QString>("target"); // "" for a cancelled panel
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QByteArray>("ownFileAfter");
    QTest::newRow("own file runs the check") << QStringLiteral("a.md") << false << QByteArray("theirs\n");
    QTest::newRow("other file") << QStringLiteral("b.md") << true << QByteArray("theirs\n");
    QTest::newRow("cancelled") << QString() << false << QByteArray("theirs\n");
}

void tst_DocumentManager::saveAs()
{
    QFETCH(QString, target);
    QFETCH(bool, saved);
    QFETCH(QByteArray, ownFileAfter);
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("a.md"), "one\n");
    manager.openFile(path);
    TabDocument *tab = manager.selectedDocument();
    tab->userEditedText(QStringLiteral("mine\n"));
    DocumentTestFiles::overwriteAt(path, "theirs\n", tab->lastKnownModificationDate().addSecs(2));

    if (!target.isEmpty())
        user.saveAnswers = {m_files->path(target)};
    QCOMPARE(manager.saveAs(tab), saved);
    QCOMPARE(user.savePanels.size(), 1);
    QCOMPARE(user.savePanels.at(0).suggestedName, QStringLiteral("a.md"));
    QCOMPARE(user.savePanels.at(0).nameFilters,
             QStringList{QStringLiteral("Markdown (*.md *.markdown *.mdown *.mkd *.mkdn *.mdx)")});
    QCOMPARE(DocumentTestFiles::read(path), ownFileAfter);
    QCOMPARE(manager.documents().size(), 1);
    if (saved) {
        QCOMPARE(DocumentTestFiles::read(m_files->path(target)), QByteArray("mine\n"));
        QCOMPARE(tab->fileURL().toLocalFile(), canonical(m_files->path(target)));
        QCOMPARE(recentPaths(manager).value(0), canonical(m_files->path(target)));
        QVERIFY(!tab->isModified());
    } else {
        QCOMPARE(tab->fileURL().toLocalFile(), canonical(path));
        QVERIFY(tab->isModified());
        QCOMPARE(user.alerts.size(), target.isEmpty() ? 0 : 1);
        if (!target.isEmpty())
            QCOMPARE(user.alerts.at(0).informativeText, changedOnDiskText);
    }
}

void tst_DocumentManager::saveAsPanelFolderAndName_data()
{
    QTest::addColumn<QString>("tabFile");     // "" for an untitled tab
    QTest::addColumn<QString>("openedBefore"); // chosen in an earlier open panel; "" for none
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("panelFolder"); // "~" for home
    QTest::addColumn<QString>("saved");
    QTest::newRow("file tab: its folder, not the last used")
        << QStringLiteral("docs/a.md") << QStringLiteral("other/b.md") << QStringLiteral("docs/notes")
        << QStringLiteral("docs") << QStringLiteral("docs/notes.md");
    QTest::newRow("untitled tab: the last folder used")
        << QString() << QStringLiteral("other/b.md") << QStringLiteral("other/notes") << QStringLiteral("other")
        << QStringLiteral("other/notes.md");
    QTest::newRow("untitled tab, no panel yet: home")
        << QString() << QString() << QStringLiteral("notes.md") << QStringLiteral("~") << QStringLiteral("notes.md");
    QTest::newRow("the user's own extension kept")
        << QStringLiteral("docs/a.md") << QString() << QStringLiteral("docs/notes.txt") << QStringLiteral("docs")
        << QStringLiteral("docs/notes.txt");
}

void tst_DocumentManager::saveAsPanelFolderAndName()
{
    QFETCH(QString, tabFile);
    QFETCH(QString, openedBefore);
    QFETCH(QString, typed);
    QFETCH(QString, panelFolder);
    QFETCH(QString, saved);
    QVERIFY(QDir().mkpath(m_files->path(QStringLiteral("docs"))));
    QVERIFY(QDir().mkpath(m_files->path(QStringLiteral("other"))));
    ScriptedAlertPresenter user;
    DocumentManager manager;
    if (!openedBefore.isEmpty()) {
        user.openAnswers = {QStringList{m_files->write(openedBefore, "earlier\n")}};
        manager.openFilePicker();
    }
    if (tabFile.isEmpty())
        manager.newDocument(QStringLiteral("draft\n"));
    else
        manager.openFile(m_files->write(tabFile, "one\n"));
    user.saveAnswers = {m_files->path(typed)};

    QVERIFY(manager.saveAs(manager.selectedDocument()));

    QCOMPARE(user.savePanels.size(), 1);
    const QString expectedFolder = panelFolder == QStringLiteral("~") ? QDir::homePath() : m_files->path(panelFolder);
    QCOMPARE(canonical(user.savePanels.at(0).directory), canonical(expectedFolder));
    QCOMPARE(manager.selectedDocument()->fileURL().toLocalFile(), canonical(m_files->path(saved)));
}

void tst_DocumentManager::openRefusesNonUtf8()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString path = m_files->write(QStringLiteral("latin.md"), "caf\xE9\n");
    manager.openFile(path);
    QVERIFY(manager.documents().isEmpty());
    QVERIFY(manager.recentDocuments().isEmpty());
    QCOMPARE(user.alerts.size(), 1);
    QCOMPARE(user.alerts.at(0).messageText, QStringLiteral("Could not open file"));
    QCOMPARE(user.alerts.at(0).informativeText,
             QStringLiteral("sorv.ane could not open \"latin.md\". The file may be missing, unreadable, or not "
                            "UTF-8 text."));
    QCOMPARE(user.alerts.at(0).accessoryText, canonical(path));
    QCOMPARE(user.alerts.at(0).style, AlertRequest::Style::Critical);
    QCOMPARE(user.alerts.at(0).buttons, QStringList{QStringLiteral("OK")});
}

void tst_DocumentManager::symbolicLinkOpensOnce()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString real = m_files->write(QStringLiteral("real.md"), "one\n");
    const QString link = m_files->path(QStringLiteral("link.md"));
    QVERIFY(QFile::link(real, link));

    manager.openFile(link);
    const QUuid first = manager.selectedId();
    manager.newDocument();
    manager.openFile(real);
    manager.openFile(m_files->path(QStringLiteral("./real.md")));
    QCOMPARE(manager.documents().size(), 2);
    QCOMPARE(manager.selectedId(), first);
    QCOMPARE(recentPaths(manager), QStringList{canonical(real)});
}

void tst_DocumentManager::newDocument_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("markedSaved");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("lastSaved");
    QTest::addColumn<bool>("select");
    QTest::newRow("empty") << QString() << false << false << QString() << true;
    QTest::newRow("text") << QStringLiteral("abc") << false << true << QString() << true;
    QTest::newRow("text marked saved") << QStringLiteral("abc") << true << false << QStringLiteral("abc") << true;
    QTest::newRow("not selected") << QStringLiteral("abc") << true << false << QStringLiteral("abc") << false;
}

void tst_DocumentManager::newDocument()
{
    QFETCH(QString, text);
    QFETCH(bool, markedSaved);
    QFETCH(bool, modified);
    QFETCH(QString, lastSaved);
    QFETCH(bool, select);
    DocumentManager manager;
    manager.newDocument(QStringLiteral("open already"), false);
    const QUuid before = manager.selectedId();
    manager.newDocument(text, markedSaved, select);
    QCOMPARE(manager.documents().size(), 2);
    TabDocument *tab = manager.documents().last();
    QCOMPARE(manager.selectedId(), select ? tab->id() : before);
    QCOMPARE(tab->text(), text);
    QCOMPARE(tab->isModified(), modified);
    QCOMPARE(tab->lastSavedText(), lastSaved);
    QCOMPARE(tab->title(), QStringLiteral("Untitled"));
    QVERIFY(tab->fileURL().isEmpty());
    QVERIFY(!tab->lastKnownModificationDate().isValid());
}

void tst_DocumentManager::tabCycling()
{
    DocumentManager manager;
    manager.newDocument();
    const QUuid only = manager.selectedId();
    manager.selectNextTab();
    manager.selectPreviousTab();
    QCOMPARE(manager.selectedId(), only);

    manager.newDocument();
    manager.newDocument();
    const auto ids = [&] {
        QList<QUuid> list;
        for (TabDocument *tab : manager.documents())
            list.append(tab->id());
        return list;
    }();
    QCOMPARE(manager.selectedId(), ids.at(2));
    manager.selectNextTab();
    QCOMPARE(manager.selectedId(), ids.at(0));
    manager.selectPreviousTab();
    QCOMPARE(manager.selectedId(), ids.at(2));
    manager.selectPreviousTab();
    QCOMPARE(manager.selectedId(), ids.at(1));

    manager.setSelectedId(QUuid());
    manager.selectNextTab();
    QVERIFY(manager.selectedId().isNull());
}

void tst_DocumentManager::closingSelectsLastTab()
{
    DocumentManager manager;
    manager.newDocument();
    manager.newDocument();
    manager.newDocument();
    const QList<TabDocument *> tabs = manager.documents();
    manager.setSelectedId(tabs.at(1)->id());
    manager.closeDocument(tabs.at(1)->id());
    QCOMPARE(manager.documents(), (QList<TabDocument *>{tabs.at(0), tabs.at(2)}));
    QCOMPARE(manager.selectedId(), tabs.at(2)->id());

    // Closing an unselected tab keeps the selection.
    manager.closeDocument(tabs.at(0)->id());
    QCOMPARE(manager.selectedId(), tabs.at(2)->id());
    manager.closeDocument(QUuid::createUuid()); // unknown: nothing
    manager.closeDocument(tabs.at(2)->id());
    QVERIFY(manager.documents().isEmpty());
    QVERIFY(manager.selectedId().isNull());
    QVERIFY(!manager.selectedDocument());
}

void tst_DocumentManager::recentDocuments()
{
    ScriptedAlertPresenter user;
    QStringList opened;
    {
        DocumentManager manager;
        for (int i = 0; i < 12; ++i) {
            opened.prepend(canonical(m_files->write(QStringLiteral("f%1.md").arg(i), "x\n")));
            manager.openFile(opened.constFirst());
        }
        QCOMPARE(recentPaths(manager), opened.mid(0, 10));
        // Reopening an open file does not move it.
        manager.openFile(opened.at(5));
        QCOMPARE(recentPaths(manager), opened.mid(0, 10));
    }
    QFile::remove(opened.at(1));
    DocumentManager later;
    QStringList expected = opened.mid(0, 10);
    expected.removeAt(1);
    QCOMPARE(recentPaths(later), expected);

    QSignalSpy changed(&later, &DocumentManager::recentDocumentsChanged);
    later.clearRecentDocuments();
    QVERIFY(later.recentDocuments().isEmpty());
    QCOMPARE(changed.count(), 1);
    QVERIFY(DocumentManager().recentDocuments().isEmpty());
}

void tst_DocumentManager::readErrorWithoutDescription()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    manager.showReadError(QString(), QUrl::fromLocalFile(QStringLiteral("/x/y.md")));
    manager.showReadError(QString());
    QCOMPARE(user.alerts.size(), 2);
    for (const AlertRequest &alert : std::as_const(user.alerts)) {
        QCOMPARE(alert.messageText, QStringLiteral("Could not open file"));
        QCOMPARE(alert.style, AlertRequest::Style::Critical);
    }
    QCOMPARE(user.alerts.at(0).informativeText, QStringLiteral("sorv.ane could not open this file."));
    QCOMPARE(user.alerts.at(0).accessoryText, QStringLiteral("/x/y.md"));
    QVERIFY(user.alerts.at(1).accessoryText.isEmpty());
}

void tst_DocumentManager::formattingRequest()
{
    DocumentManager manager;
    auto &hub = EditorRequestHub::shared();
    QSignalSpy posted(&hub, &EditorRequestHub::formattingRequested);
    QSignalSpy others[] = {QSignalSpy(&hub, &EditorRequestHub::findRequested),
                           QSignalSpy(&hub, &EditorRequestHub::replaceRequested),
                           QSignalSpy(&hub, &EditorRequestHub::scrollToRangeRequested)};
    manager.requestFormatting(MarkdownFormatAction::bold);
    QCOMPARE(posted.count(), 0);

    manager.newDocument();
    manager.requestFormatting(MarkdownFormatAction::numberedList);
    QCOMPARE(posted.count(), 1);
    QCOMPARE(posted.at(0).at(0).value<QUuid>(), manager.selectedId());
    QCOMPARE(posted.at(0).at(1).value<MarkdownFormatAction>(), MarkdownFormatAction::numberedList);
    for (const QSignalSpy &other : others)
        QCOMPARE(other.count(), 0);
}

void tst_DocumentManager::findAndReplaceRequests()
{
    DocumentManager manager;
    const QUuid findToken = manager.findRequestToken();
    QVERIFY(!findToken.isNull());
    QVERIFY(findToken != manager.replaceRequestToken());
    manager.requestFind();
    QCOMPARE(manager.findRequestToken(), findToken);
    QVERIFY(!manager.findRequestState());

    manager.newDocument();
    QSignalSpy findSpy(&manager, &DocumentManager::findRequestTokenChanged);
    manager.requestFind();
    manager.requestFind();
    QCOMPARE(findSpy.count(), 2); // repeated requests for one tab each count
    QCOMPARE(manager.findRequestState()->documentID, manager.selectedId());
    QCOMPARE(manager.findRequestState()->token, manager.findRequestToken());
    QVERIFY(manager.findRequestToken() != findToken);

    manager.requestReplace();
    QCOMPARE(manager.replaceRequestState()->documentID, manager.selectedId());
    QCOMPARE(manager.replaceRequestState()->token, manager.replaceRequestToken());
}

void tst_DocumentManager::openPanelOpensEachChosenFile()
{
    ScriptedAlertPresenter user;
    DocumentManager manager;
    const QString a = m_files->write(QStringLiteral("a.md"), "a\n");
    const QString b = m_files->write(QStringLiteral("b.txt"), "b\n");
    user.openAnswers = {{b, a}};
    manager.openFilePicker();
    QCOMPARE(user.openPanels.size(), 1);
    QVERIFY(user.openPanels.at(0).multipleSelection);
    QCOMPARE(user.openPanels.at(0).nameFilters,
             (QStringList{QStringLiteral("Markdown (*.md *.markdown *.mdown *.mkd *.mkdn *.mdx)"),
                          QStringLiteral("Plain Text (*.txt)")}));
    QCOMPARE(manager.documents().size(), 2);
    QCOMPARE(manager.documents().at(0)->title(), QStringLiteral("b.txt"));
    QCOMPARE(manager.selectedDocument()->title(), QStringLiteral("a.md"));

    manager.openFilePicker(); // cancelled
    QCOMPARE(manager.documents().size(), 2);
}

void tst_DocumentManager::fontSize_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<double>("expected");
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 15.0;
    QTest::newRow("number") << QJsonValue(18.5) << 18.5;
    QTest::newRow("text") << QJsonValue(QStringLiteral("18")) << 15.0;
    // Sizes no font can have; the toolbar and the pages would round them to integers.
    QTest::newRow("1e300") << QJsonValue(1e300) << 15.0;
    QTest::newRow("-1e300") << QJsonValue(-1e300) << 15.0;
    QTest::newRow("zero") << QJsonValue(0) << 15.0;
    QTest::newRow("NaN") << QJsonValue(qQNaN()) << 15.0;
    QTest::newRow("infinity") << QJsonValue(qInf()) << 15.0;
}

void tst_DocumentManager::fontSize()
{
    QFETCH(QJsonValue, stored);
    QFETCH(double, expected);
    if (!stored.isUndefined())
        Settings::shared().setValue(QStringLiteral("fontSize"), stored);
    QCOMPARE(DocumentManager().currentFontSize(), expected);
}

void tst_DocumentManager::closeWithoutTabClosesActiveWindow()
{
    DocumentManager manager;
    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    manager.closeCurrentDocumentOrWindow();
    QVERIFY(!window.isVisible());
}

SORVANE_TEST_MAIN(tst_DocumentManager)
#include "tst_DocumentManager.moc"
