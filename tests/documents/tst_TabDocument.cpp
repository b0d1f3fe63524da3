// One tab against its file: edits, saving rules, failures, bookmarks.
#include "DocumentTestFiles.h"
#include "TestEnvironment.h"

#include "documents/DocumentAccessError.h"
#include "documents/TabDocument.h"
#include "platform/Bookmark.h"

#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <QtConcurrent>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The opened tab, or nullptr when the file could not be opened.
std::unique_ptr<TabDocument> openPath(const QString &path, const QByteArray &bookmark = {})
{
    TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(path), bookmark, QUuid::createUuid());
    return opened ? std::move(*opened) : nullptr;
}

// The kind of DocumentAccessError a file access answered, or nothing when it succeeded.
template <typename Answer>
std::optional<DocumentAccessError::Kind> failureKind(const Answer &access, QString *description = nullptr)
{
    if (access)
        return std::nullopt;
    if (description)
        *description = access.error().description();
    return access.error().kind();
}

} // namespace

class tst_TabDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editBackToSavedTextIsClean_data();
    void editBackToSavedTextIsClean();
    void stateChangeReachesCallback();
    void titleAndBaseURL();
    void modifiedTabChangedOnDisk_data();
    void modifiedTabChangedOnDisk();
    void cleanTabTakesNewerDiskContent_data();
    void cleanTabTakesNewerDiskContent();
    void saveAsOntoOwnFileRunsCheck();
    void saveAsOntoOtherFileSkipsCheck();
    void failedWriteLeavesFileAndTab();
    void failedSaveAsLeavesTab();
    void saveKeepsPermissions();
    void saveThroughSymbolicLinkKeepsLink();
    void invalidBookmarkRefused();
    void staleBookmarkFollowsPathAndRefreshes();
    void revertAndDiscard();
    void errorDescriptions_data();
    void errorDescriptions();
    void opensOnlyRegularFilesWithinTheCap_data();
    void opensOnlyRegularFilesWithinTheCap();
    void saveOfRestoredTabDoesNotWaitOnAFifo();
};

void tst_TabDocument::editBackToSavedTextIsClean_data()
{
    QTest::addColumn<bool>("byRange");
    QTest::newRow("whole text") << false;
    QTest::newRow("range") << true;
}

void tst_TabDocument::editBackToSavedTextIsClean()
{
    QFETCH(bool, byRange);
    DocumentTestFiles files;
    auto document = openPath(files.write(QStringLiteral("a.md"), "hello\n"));
    QSignalSpy modified(document.get(), &TabDocument::isModifiedChanged);

    if (byRange)
        document->userEditedRange(5, 0, QStringLiteral("!"));
    else
        document->userEditedText(QStringLiteral("hello!\n"));
    QCOMPARE(document->text(), QStringLiteral("hello!\n"));
    QVERIFY(document->isModified());

    if (byRange)
        document->userEditedRange(5, 1, QString());
    else
        document->userEditedText(QStringLiteral("hello\n"));
    QCOMPARE(document->text(), QStringLiteral("hello\n"));
    QVERIFY(!document->isModified());
    QCOMPARE(modified.count(), 2);

    // Same length, different text: still modified.
    if (byRange)
        document->userEditedRange(0, 1, QStringLiteral("j"));
    else
        document->userEditedText(QStringLiteral("jello\n"));
    QVERIFY(document->isModified());
    QCOMPARE(document->lastSavedText(), QStringLiteral("hello\n"));
}

void tst_TabDocument::stateChangeReachesCallback()
{
    TabDocument document(QUuid::createUuid(), {}, {}, QStringLiteral("x"), QStringLiteral("x"), false, {});
    int calls = 0;
    document.onStateChange = [&calls] { ++calls; };
    document.userEditedText(QStringLiteral("x"));
    QCOMPARE(calls, 0); // no change, no assignment
    document.userEditedText(QStringLiteral("xy"));
    QCOMPARE(calls, 2); // text, then isModified
    document.userEditedRange(2, 0, QStringLiteral("z"));
    QCOMPARE(calls, 4);
    document.userEditedRange(99, 0, QStringLiteral("z")); // out of range: ignored
    QCOMPARE(document.text(), QStringLiteral("xyz"));
    document.discardUnsavedChanges();
    QCOMPARE(calls, 6);
    QCOMPARE(document.text(), QStringLiteral("x"));
}

void tst_TabDocument::titleAndBaseURL()
{
    TabDocument untitled(QUuid::createUuid(), {}, {}, {}, {}, false, {});
    QCOMPARE(untitled.title(), QStringLiteral("Untitled"));
    QVERIFY(untitled.baseURL().isEmpty());

    TabDocument file(QUuid::createUuid(), QUrl::fromLocalFile(QStringLiteral("/notes/day one.md")), {}, {}, {},
                     false, {});
    QCOMPARE(file.title(), QStringLiteral("day one.md"));
    QCOMPARE(file.baseURL(), QUrl::fromLocalFile(QStringLiteral("/notes/")));
}

void tst_TabDocument::modifiedTabChangedOnDisk_data()
{
    QTest::addColumn<int>("laterMs");
    QTest::addColumn<bool>("refused");
    QTest::newRow("0.5 s later") << 500 << false;
    QTest::newRow("1.0 s later") << 1000 << false;
    QTest::newRow("2 s later") << 2000 << true;
    QTest::newRow("2 s earlier") << -2000 << true;
}

void tst_TabDocument::modifiedTabChangedOnDisk()
{
    QFETCH(int, laterMs);
    QFETCH(bool, refused);
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("mine\n"));
    const QDateTime recorded = document->lastKnownModificationDate();
    DocumentTestFiles::overwriteAt(path, "theirs\n", recorded.addMSecs(laterMs));

    QString description;
    const auto kind = failureKind(document->save(), &description);
    if (refused) {
        QCOMPARE(kind, DocumentAccessError::Kind::fileChangedOnDisk);
        QCOMPARE(description, QStringLiteral("\"a.md\" changed on disk since it was opened. Reopen or revert "
                                             "before saving to avoid overwriting newer content."));
        QCOMPARE(DocumentTestFiles::read(path), QByteArray("theirs\n"));
        QVERIFY(document->isModified());
        QCOMPARE(document->lastSavedText(), QStringLiteral("one\n"));
    } else {
        QVERIFY(!kind);
        QCOMPARE(DocumentTestFiles::read(path), QByteArray("mine\n"));
        QVERIFY(!document->isModified());
        QCOMPARE(document->lastSavedText(), QStringLiteral("mine\n"));
    }
}

void tst_TabDocument::cleanTabTakesNewerDiskContent_data()
{
    QTest::addColumn<QByteArray>("theirs");
    QTest::addColumn<int>("laterMs");
    QTest::newRow("new date") << QByteArray("their longer text\n") << 2000;
    QTest::newRow("same size, new date") << QByteArray("ONE\n") << 300;
    QTest::newRow("new size, same date") << QByteArray("one two\n") << 0;
}

void tst_TabDocument::cleanTabTakesNewerDiskContent()
{
    QFETCH(QByteArray, theirs);
    QFETCH(int, laterMs);
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    auto document = openPath(path);
    DocumentTestFiles::overwriteAt(path, theirs, document->lastKnownModificationDate().addMSecs(laterMs));

    QVERIFY(!failureKind(document->save()));
    QCOMPARE(DocumentTestFiles::read(path), theirs);
    QCOMPARE(document->text(), QString::fromUtf8(theirs));
    QCOMPARE(document->lastSavedText(), QString::fromUtf8(theirs));
    QVERIFY(!document->isModified());

    // Unchanged since: a further save writes (and keeps) the same bytes.
    QVERIFY(document->save());
    QCOMPARE(DocumentTestFiles::read(path), theirs);
}

void tst_TabDocument::saveAsOntoOwnFileRunsCheck()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("mine\n"));
    DocumentTestFiles::overwriteAt(path, "theirs\n", document->lastKnownModificationDate().addSecs(2));

    // Reached by another spelling of the same path.
    const QString sameFile = files.path(QStringLiteral("./sub/../a.md"));
    QDir().mkpath(files.path(QStringLiteral("sub")));
    QCOMPARE(failureKind(document->saveTo(QUrl::fromLocalFile(sameFile))),
             DocumentAccessError::Kind::fileChangedOnDisk);
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("theirs\n"));
}

void tst_TabDocument::saveAsOntoOtherFileSkipsCheck()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    const QString other = files.write(QStringLiteral("b.md"), "old b\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("mine\n"));
    DocumentTestFiles::setModificationTime(other, QDateTime::currentDateTime().addDays(-3));
    DocumentTestFiles::overwriteAt(path, "theirs\n", document->lastKnownModificationDate().addSecs(2));

    QVERIFY(document->saveTo(QUrl::fromLocalFile(other)));
    QCOMPARE(DocumentTestFiles::read(other), QByteArray("mine\n"));
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("theirs\n"));
    QCOMPARE(document->fileURL(), TabDocument::normalizedURL(QUrl::fromLocalFile(other)));
    QVERIFY(!document->isModified());
    QCOMPARE(Bookmark::resolve(document->securityScopedBookmark())->path, document->fileURL().toLocalFile());
}

void tst_TabDocument::failedWriteLeavesFileAndTab()
{
    // A name at the file system's limit: the file exists, but no temp file can be
    // made beside it (this fails for root too).
    DocumentTestFiles files;
    const QString name = QString(252, QLatin1Char('n')) + QStringLiteral(".md");
    const QString path = files.write(name, "original\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("edited\n"));
    const QByteArray bookmark = document->securityScopedBookmark();
    const QDateTime date = document->lastKnownModificationDate();

    QString description;
    QCOMPARE(failureKind(document->save(), &description), DocumentAccessError::Kind::writeFailed);
    QVERIFY2(description.startsWith(QStringLiteral("sorv.ane could not save \"") + name + QStringLiteral("\": ")),
             qPrintable(description));
    QVERIFY(description.endsWith(QLatin1Char('.')));
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("original\n"));
    QVERIFY(document->isModified());
    QCOMPARE(document->text(), QStringLiteral("edited\n"));
    QCOMPARE(document->lastSavedText(), QStringLiteral("original\n"));
    QCOMPARE(document->securityScopedBookmark(), bookmark);
    QCOMPARE(document->lastKnownModificationDate(), date);
    QCOMPARE(QDir(files.path(QString())).entryList(QDir::Files).size(), 1); // no temp file left
}

void tst_TabDocument::failedSaveAsLeavesTab()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("two\n"));
    const QUrl before = document->fileURL();
    const QByteArray bookmark = document->securityScopedBookmark();

    const QString target = files.path(QStringLiteral("missing-folder/b.md"));
    QCOMPARE(failureKind(document->saveTo(QUrl::fromLocalFile(target))),
             DocumentAccessError::Kind::writeFailed);
    QCOMPARE(document->fileURL(), before);
    QCOMPARE(document->securityScopedBookmark(), bookmark);
    QCOMPARE(document->lastSavedText(), QStringLiteral("one\n"));
    QVERIFY(document->isModified());
}

void tst_TabDocument::saveKeepsPermissions()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("two\n"));
    QVERIFY(document->save());
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("two\n"));
    QCOMPARE(QFile::permissions(path) & 0xF0FF, permissions);
}

void tst_TabDocument::saveThroughSymbolicLinkKeepsLink()
{
    DocumentTestFiles files;
    const QString real = files.write(QStringLiteral("real.md"), "one\n");
    const QString link = files.path(QStringLiteral("link.md"));
    QVERIFY(QFile::link(real, link));
    auto document = openPath(link);
    QCOMPARE(document->fileURL(), QUrl::fromLocalFile(QFileInfo(real).canonicalFilePath()));
    document->userEditedText(QStringLiteral("two\n"));
    QVERIFY(document->save());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(DocumentTestFiles::read(link), QByteArray("two\n"));
}

void tst_TabDocument::invalidBookmarkRefused()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    QString description;
    QCOMPARE(failureKind(TabDocument::open(QUrl::fromLocalFile(path), QByteArray("not a bookmark"), QUuid::createUuid()),
                         &description),
             DocumentAccessError::Kind::invalidBookmark);
    QCOMPARE(description, QStringLiteral("sorv.ane no longer has permission to access \"a.md\". Re-open the "
                                         "file or use Save As."));

    TabDocument rebuilt(QUuid::createUuid(), QUrl::fromLocalFile(path), QByteArray("{}"), QStringLiteral("x"),
                        QStringLiteral("one\n"), true, {});
    QCOMPARE(failureKind(rebuilt.save()), DocumentAccessError::Kind::invalidBookmark);
    QCOMPARE(failureKind(rebuilt.revert()), DocumentAccessError::Kind::invalidBookmark);
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("one\n"));
}

void tst_TabDocument::staleBookmarkFollowsPathAndRefreshes()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\n");
    const QByteArray oldBookmark = *Bookmark::create(path);
    // Replaced by another program with a new file at the same path: the bookmark is stale.
    const QString replacement = files.write(QStringLiteral("a.md.new"), "two\n");
    QVERIFY(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(path).constData()) == 0);
    QVERIFY(Bookmark::resolve(oldBookmark)->stale);

    auto document = openPath(path, oldBookmark);
    QCOMPARE(document->text(), QStringLiteral("two\n"));
    QVERIFY(document->securityScopedBookmark() != oldBookmark);
    QVERIFY(!Bookmark::resolve(document->securityScopedBookmark())->stale);
}

void tst_TabDocument::revertAndDiscard()
{
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("a.md"), "one\r\n");
    auto document = openPath(path);
    document->userEditedText(QStringLiteral("edited\n"));
    DocumentTestFiles::overwriteAt(path, "newer\r\n", document->lastKnownModificationDate().addSecs(5));
    QVERIFY(document->revert());
    QCOMPARE(document->text(), QStringLiteral("newer\n"));
    QCOMPARE(document->lastSavedText(), QStringLiteral("newer\n"));
    QVERIFY(!document->isModified());
    QCOMPARE(document->lastKnownModificationDate(), QFileInfo(path).lastModified());

    QFile::remove(path);
    document->userEditedText(QStringLiteral("x"));
    QCOMPARE(failureKind(document->revert()), DocumentAccessError::Kind::openFailed);
    QCOMPARE(document->text(), QStringLiteral("x"));
    document->discardUnsavedChanges();
    QCOMPARE(document->text(), QStringLiteral("newer\n"));
    QVERIFY(!document->isModified());
}

void tst_TabDocument::errorDescriptions_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("open failed") << int(DocumentAccessError::Kind::openFailed)
                                 << QStringLiteral("sorv.ane could not open \"b c.md\". The file may be missing, "
                                                   "unreadable, or not UTF-8 text.");
    QTest::newRow("too large") << int(DocumentAccessError::Kind::tooLarge)
                               << QStringLiteral("sorv.ane could not open \"b c.md\": the file is larger than 64 MB, "
                                                 "more than the editor can work with.");
    QTest::newRow("write failed") << int(DocumentAccessError::Kind::writeFailed)
                                  << QStringLiteral("sorv.ane could not save \"b c.md\": No space left on device.");
}

void tst_TabDocument::errorDescriptions()
{
    QFETCH(int, kind);
    QFETCH(QString, expected);
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/a/b c.md"));
    const auto make = [&] {
        switch (DocumentAccessError::Kind(kind)) {
        case DocumentAccessError::Kind::openFailed: return DocumentAccessError::openFailed(url);
        case DocumentAccessError::Kind::tooLarge: return DocumentAccessError::tooLarge(url, TabDocument::maxFileBytes);
        default: return DocumentAccessError::writeFailed(url, QStringLiteral("No space left on device"));
        }
    };
    QCOMPARE(make().description(), expected);
}

namespace {
// What a table row puts at the path it is given; false when it could not.
bool makeSpecialFile(const QString &what, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (what == QLatin1String("fifo"))
        return ::mkfifo(native.constData(), 0600) == 0;
    if (what == QLatin1String("directory"))
        return QDir().mkdir(path);
    if (what == QLatin1String("socket")) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || static_cast<size_t>(native.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return bound;
    }
    if (what.startsWith(QLatin1String("sparse "))) {
        // Holes only: the disk and the page cache stay empty.
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(what.mid(7).toLongLong());
    }
    return false;
}
} // namespace

// Only a regular file is read, and only up to the cap: a FIFO must not hang the
// window, a device must not fill memory, a sparse giant must not be read at all.
void tst_TabDocument::opensOnlyRegularFilesWithinTheCap_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind"); // -1: opens
    const int opens = -1;
    const int failed = int(DocumentAccessError::Kind::openFailed);
    const int tooLarge = int(DocumentAccessError::Kind::tooLarge);
    QTest::newRow("regular") << QStringLiteral("text # hi\n") << QString() << opens;
    QTest::newRow("empty") << QStringLiteral("text ") << QString() << opens;
    QTest::newRow("fifo, nobody writing") << QStringLiteral("fifo") << QString() << failed;
    QTest::newRow("/dev/zero") << QString() << QStringLiteral("/dev/zero") << failed;
    QTest::newRow("directory") << QStringLiteral("directory") << QString() << failed;
    QTest::newRow("socket") << QStringLiteral("socket") << QString() << failed;
    QTest::newRow("one byte over the cap")
        << QStringLiteral("sparse %1").arg(TabDocument::maxFileBytes + 1) << QString() << tooLarge;
    QTest::newRow("2 GB sparse") << QStringLiteral("sparse %1").arg(qint64(2) << 30) << QString() << tooLarge;
}

void tst_TabDocument::opensOnlyRegularFilesWithinTheCap()
{
    QFETCH(QString, what);
    QFETCH(QString, path);
    QFETCH(int, kind);
    DocumentTestFiles files;
    if (path.isEmpty()) {
        path = files.path(QStringLiteral("x.md"));
        if (what.startsWith(QLatin1String("text ")))
            files.write(QStringLiteral("x.md"), what.mid(5).toUtf8());
        else
            QVERIFY(makeSpecialFile(what, path));
    }

    // On another thread, so that a read that blocks shows up as a failure here
    // rather than as a hung test.
    QFuture<std::optional<DocumentAccessError::Kind>> opened = QtConcurrent::run([path] {
        return failureKind(TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid()));
    });
    const bool finished = QTest::qWaitFor([&] { return opened.isFinished(); }, 20000);
    if (!finished && what == QLatin1String("fifo")) {
        // Let a reader stuck on the FIFO go, so the thread pool can end.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        opened.waitForFinished();
    }
    QVERIFY2(finished, "opening blocked");
    const std::optional<DocumentAccessError::Kind> answer = opened.result();
    QCOMPARE(answer ? int(*answer) : -1, kind);
}

SORVANE_TEST_MAIN(tst_TabDocument)
// A tab rebuilt from the session has not read its file; before saving it looks at
// the file's layout, which must not wait on a FIFO that took the file's place.
void tst_TabDocument::saveOfRestoredTabDoesNotWaitOnAFifo()
{
    DocumentTestFiles files;
    const QString path = files.path(QStringLiteral("restored.md"));
    QVERIFY(makeSpecialFile(QStringLiteral("fifo"), path));
    TabDocument document(QUuid::createUuid(), QUrl::fromLocalFile(path), {}, QStringLiteral("kept text\n"), {},
                         true, {});
    QVERIFY(!document.fileFormatKnown());

    QFuture<bool> saved = QtConcurrent::run([&document] { return bool(document.save()); });
    const bool finished = QTest::qWaitFor([&] { return saved.isFinished(); }, 20000);
    if (!finished) {
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        saved.waitForFinished();
    }
    QVERIFY2(finished, "saving waited on the FIFO");
    QVERIFY(saved.result());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("kept text\n"));
}

#include "tst_TabDocument.moc"

