#include "TestFiles.h"
#include "FileSizeLimit.h"
#include "TestEnvironment.h"
#include "platform/AtomicFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
} // namespace

class tst_AtomicFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replacesContentAndKeepsPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.md"));
        QVERIFY(AtomicFile::write(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(AtomicFile::write(path, "new content"));
        QCOMPARE(readFile(path), QByteArray("new content"));
        // Group and others gain nothing the user had taken away.
        QCOMPARE(QFile::permissions(path) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }

    // A write that runs out of room (full disk, size limit) must not be committed.
    void shortWriteKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.md"));
        QVERIFY(AtomicFile::write(path, "the old text"));
        QString error;
        bool ok = true;
        {
            FileSizeLimit limit(4);
            ok = AtomicFile::write(path, QByteArray(4096, 'x'), &error);
        }
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(path), QByteArray("the old text"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }

    void missingFolderFails()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!AtomicFile::write(dir.filePath(QStringLiteral("no/such/doc.md")), "x", &error));
        QVERIFY(!error.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_AtomicFile)
#include "tst_AtomicFile.moc"
