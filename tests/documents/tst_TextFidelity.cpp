// What a file looks like on disk survives a trip through a tab.
#include "DocumentTestFiles.h"
#include "TestEnvironment.h"

#include "documents/DocumentAccessError.h"
#include "documents/TabDocument.h"

#include <QApplication>
#include <QTest>

class tst_TextFidelity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unchangedSaveKeepsBytes_data();
    void unchangedSaveKeepsBytes();
    void mixedEndingsUseDominantStyle_data();
    void mixedEndingsUseDominantStyle();
    void editInCrlfFileChangesOnlyEditedBytes();
    void untitledSavesWithLineFeedsAndNoMark();
    void rebuiltTabKeepsFileStyle();
    void invalidUtf8Refused_data();
    void invalidUtf8Refused();
};

void tst_TextFidelity::unchangedSaveKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("LF") << QByteArray("# Title\n\nBody\n") << QStringLiteral("# Title\n\nBody\n");
    QTest::newRow("CRLF") << QByteArray("# Title\r\n\r\nBody\r\n") << QStringLiteral("# Title\n\nBody\n");
    QTest::newRow("CR") << QByteArray("# Title\r\rBody\r") << QStringLiteral("# Title\n\nBody\n");
    QTest::newRow("NBSP") << QByteArray("a\xC2\xA0" "b\n") << QStringLiteral("a\u00A0b\n");
    QTest::newRow("line separator") << QByteArray("a\xE2\x80\xA8" "b\n") << QStringLiteral("a\u2028b\n");
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF# T\n") << QStringLiteral("# T\n");
    QTest::newRow("BOM and CRLF") << QByteArray("\xEF\xBB\xBF" "a\r\nb") << QStringLiteral("a\nb");
    QTest::newRow("no final newline") << QByteArray("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("CRLF, no final newline") << QByteArray("a\r\nb") << QStringLiteral("a\nb");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("BOM inside the text") << QByteArray("a\xEF\xBB\xBF" "b") << QStringLiteral("a\uFEFFb");
    QTest::newRow("non-BMP and tabs") << QByteArray("\t\xF0\x9F\x98\x80 x\n") << QStringLiteral("\t\U0001F600 x\n");
}

void tst_TextFidelity::unchangedSaveKeepsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expectedText);
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("doc.md"), bytes);

    TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());

    QVERIFY(opened);

    std::unique_ptr<TabDocument> &document = *opened;
    QCOMPARE(document->text(), expectedText);
    QVERIFY(document->save());
    QCOMPARE(DocumentTestFiles::read(path), bytes);

    // Save As to a new file writes the same layout.
    QVERIFY(document->saveTo(QUrl::fromLocalFile(files.path(QStringLiteral("copy.md")))));
    QCOMPARE(DocumentTestFiles::read(files.path(QStringLiteral("copy.md"))), bytes);
}

void tst_TextFidelity::mixedEndingsUseDominantStyle_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("mostly CRLF") << QByteArray("a\r\nb\r\nc\nd\r\n") << QByteArray("a\r\nb\r\nc\r\nd\r\n");
    QTest::newRow("mostly LF") << QByteArray("a\nb\r\nc\n") << QByteArray("a\nb\nc\n");
    QTest::newRow("mostly CR") << QByteArray("a\rb\rc\r\n") << QByteArray("a\rb\rc\r");
    QTest::newRow("tie goes to LF") << QByteArray("a\r\nb\n") << QByteArray("a\nb\n");
}

void tst_TextFidelity::mixedEndingsUseDominantStyle()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, written);
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("doc.md"), bytes);

    TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());

    QVERIFY(opened);

    std::unique_ptr<TabDocument> &document = *opened;
    QVERIFY(!document->text().contains(QLatin1Char('\r')));
    QVERIFY(document->save());
    QCOMPARE(DocumentTestFiles::read(path), written);
}

void tst_TextFidelity::editInCrlfFileChangesOnlyEditedBytes()
{
    DocumentTestFiles files;
    const QByteArray before("\xEF\xBB\xBFline one\r\nline two\r\nline three");
    const QString path = files.write(QStringLiteral("doc.md"), before);
    TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());
    QVERIFY(opened);
    std::unique_ptr<TabDocument> &document = *opened;

    const int at = static_cast<int>(document->text().indexOf(QStringLiteral("two")));
    document->userEditedRange(at, 3, QStringLiteral("2"));
    QVERIFY(document->isModified());
    QVERIFY(document->save());

    QCOMPARE(DocumentTestFiles::read(path), QByteArray("\xEF\xBB\xBFline one\r\nline 2\r\nline three"));
    QVERIFY(!document->isModified());
}

void tst_TextFidelity::untitledSavesWithLineFeedsAndNoMark()
{
    DocumentTestFiles files;
    TabDocument document(QUuid::createUuid(), {}, {}, QStringLiteral("a\nb\u00A0"), {}, true, {});
    const QString path = files.path(QStringLiteral("new.md"));
    QVERIFY(document.saveTo(QUrl::fromLocalFile(path)));
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("a\nb\xC2\xA0"));
}

void tst_TextFidelity::rebuiltTabKeepsFileStyle()
{
    // A tab rebuilt from stored state (not read from disk) saving to its file keeps the
    // file's line endings and mark.
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("doc.md"), QByteArray("\xEF\xBB\xBF" "a\r\nb\r\n"));
    TabDocument document(QUuid::createUuid(), QUrl::fromLocalFile(path), {}, QStringLiteral("a\nc\n"),
                         QStringLiteral("a\nb\n"), true, {});
    QVERIFY(document.save());
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("\xEF\xBB\xBF" "a\r\nc\r\n"));
}

void tst_TextFidelity::invalidUtf8Refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9\n");
    QTest::newRow("lone continuation") << QByteArray("a\x80" "b");
    QTest::newRow("truncated at end") << QByteArray("ab\xE2\x82");
    QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF");
    QTest::newRow("encoded surrogate") << QByteArray("a\xED\xA0\x80");
    QTest::newRow("beyond U+10FFFF") << QByteArray("a\xF4\x90\x80\x80");
    QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE" "a\0", 4);
}

void tst_TextFidelity::invalidUtf8Refused()
{
    QFETCH(QByteArray, bytes);
    DocumentTestFiles files;
    const QString path = files.write(QStringLiteral("bad.md"), bytes);
    const TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());
    QVERIFY2(!opened, "a file that is not UTF-8 opened");
    QCOMPARE(opened.error().kind(), DocumentAccessError::Kind::openFailed);
    QCOMPARE(DocumentTestFiles::read(path), bytes);
}

SORVANE_TEST_MAIN(tst_TextFidelity)
#include "tst_TextFidelity.moc"
