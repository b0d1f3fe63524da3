#include "TestEnvironment.h"
#include "TestFiles.h"

#include "diagnostics/ReportArchive.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mman.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Address space that must never be read: any access to it kills the test. Lets a
// test hand the writer members of gigabytes without a byte of memory behind them.
class UntouchableMemory
{
public:
    explicit UntouchableMemory(qsizetype size)
        : m_size(size)
        , m_address(mmap(nullptr, size_t(size), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0))
    {
    }
    ~UntouchableMemory()
    {
        if (m_address != MAP_FAILED)
            munmap(m_address, size_t(m_size));
    }
    bool isValid() const { return m_address != MAP_FAILED; }
    QByteArrayView view(qsizetype size) const { return QByteArrayView(static_cast<const char *>(m_address), size); }

private:
    qsizetype m_size;
    void *m_address;
};

struct ReaderRun {
    int exitCode = -1;
    QByteArray output;
};

ReaderRun run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

// Python's zipfile as an independent reader: testzip() clean, then each member's
// name (as the reader decodes it, which depends on the UTF-8 flag) and data in hex.
const char *zipfileReader = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    bad = archive.testzip()
    if bad is not None:
        print("bad member", bad)
        sys.exit(1)
    for info in archive.infolist():
        print(info.filename.encode("utf-8").hex(), archive.read(info).hex())
)";

} // namespace

using Members = QList<QPair<QString, QByteArray>>;

class tst_ReportArchive : public QObject
{
    Q_OBJECT

private:
    static QByteArray zip(const Members &members)
    {
        QList<ReportArchive::Member> list;
        for (const auto &member : members)
            list.append({member.first, member.second});
        Result<QByteArray, ReportArchive::Error> archive = ReportArchive::makeZip(list);
        return archive ? *archive : QByteArray("failed");
    }

private Q_SLOTS:
    void bytesAsLaidOut_data()
    {
        QTest::addColumn<Members>("members");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("no member: the end record alone")
            << Members{} << hex("504b0506 0000 0000 0000 0000 00000000 00000000 0000");
        QTest::newRow("empty data: CRC 0, sizes 0")
            << Members{{"e", {}}}
            << hex("504b0304 1400 0000 0000 0000 0000 00000000 00000000 00000000 0100 0000 65"
                   "504b0102 1400 1400 0000 0000 0000 0000 00000000 00000000 00000000 0100 0000 0000 0000 0000 "
                   "00000000 00000000 65"
                   "504b0506 0000 0000 0100 0100 2f000000 1f000000 0000");
        // The second local header starts at 30 + 1 + 5 = 36 (0x24); every time and
        // date field is zero.
        QTest::newRow("two members in order")
            << Members{{"a", "hello"}, {"b", "xyz"}}
            << hex("504b0304 1400 0000 0000 0000 0000 86a61036 05000000 05000000 0100 0000 61 68656c6c6f"
                   "504b0304 1400 0000 0000 0000 0000 67ba8eeb 03000000 03000000 0100 0000 62 78797a"
                   "504b0102 1400 1400 0000 0000 0000 0000 86a61036 05000000 05000000 0100 0000 0000 0000 0000 "
                   "00000000 00000000 61"
                   "504b0102 1400 1400 0000 0000 0000 0000 67ba8eeb 03000000 03000000 0100 0000 0000 0000 0000 "
                   "00000000 24000000 62"
                   "504b0506 0000 0000 0200 0200 5e000000 46000000 0000");
    }
    void bytesAsLaidOut()
    {
        QFETCH(Members, members);
        QFETCH(QByteArray, expected);
        QCOMPARE(zip(members).toHex(' '), expected.toHex(' '));
    }

    void reportMemberSize()
    {
        const QByteArray json(1000, 'x');
        QCOMPARE(zip({{"diagnostic.json", json}}).size(), json.size() + 128);
    }

    void crcOfZip()
    {
        QCOMPARE(ReportArchive::crc32("123456789"), 0xCBF43926u); // the standard check value
        QCOMPARE(ReportArchive::crc32({}), 0u);
    }

    // Names with bytes past ASCII carry the UTF-8 flag (bit 11) in both headers, so
    // readers do not decode them in a DOS code page.
    void nonAsciiNamesAreMarkedUtf8()
    {
        const QByteArray archive = zip({{QStringLiteral("résumé.json"), "{}"}});
        const QByteArray name = QStringLiteral("résumé.json").toUtf8();
        QCOMPARE(qFromLittleEndian<quint16>(archive.constData() + 6), quint16(0x0800));
        const qsizetype central = 30 + name.size() + 2;
        QCOMPARE(archive.mid(central, 4), QByteArray("PK\x01\x02"));
        QCOMPARE(qFromLittleEndian<quint16>(archive.constData() + central + 8), quint16(0x0800));
    }

    void standardReadersAgree_data()
    {
        QTest::addColumn<Members>("members");
        QTest::newRow("one member") << Members{{"diagnostic.json", R"({"schema_version":1})"}};
        QTest::newRow("two members") << Members{{"a.txt", "hello\n"}, {"folder/b.bin", QByteArray(70000, '\x01')}};
        QTest::newRow("non-ASCII names") << Members{{QStringLiteral("résumé.json"), "{}"}, {QStringLiteral("日本.txt"), "x"}};
        QTest::newRow("empty member") << Members{{"empty", {}}};
    }
    void standardReadersAgree()
    {
        QFETCH(Members, members);
        QTemporaryDir folder;
        const QString path = folder.filePath("report.zip");
        QVERIFY(writeFile(path, zip(members)));

        const ReaderRun unzip = run(QStringLiteral("unzip"), {QStringLiteral("-t"), path});
        QVERIFY2(unzip.exitCode == 0, unzip.output.constData());

        const ReaderRun python = run(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(zipfileReader), path});
        QVERIFY2(python.exitCode == 0, python.output.constData());
        QByteArray expected;
        for (const auto &member : members)
            expected += member.first.toUtf8().toHex() + ' ' + member.second.toHex() + '\n';
        QCOMPARE(python.output, expected);
    }

    void limitsFailWithoutWriting_data()
    {
        QTest::addColumn<int>("memberCount");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("memberSize"); // each member's size, in untouchable memory
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("error");

        const QString longest(65535, QLatin1Char('n'));
        using E = ReportArchive::Error;
        QTest::newRow("65535 members") << 65535 << "m" << qint64(0) << true << 0;
        QTest::newRow("65536 members") << 65536 << "m" << qint64(0) << false << int(E::TooManyMembers);
        QTest::newRow("name of 65535 bytes") << 1 << longest << qint64(0) << true << 0;
        QTest::newRow("name of 65536 bytes") << 1 << longest + QLatin1Char('n') << qint64(0) << false << int(E::NameTooLong);
        // 32768 characters, but two bytes each: the limit counts bytes.
        QTest::newRow("name of 65536 UTF-8 bytes") << 1 << QString(32768, QChar(0xE9)) << qint64(0) << false
                                                   << int(E::NameTooLong);
        QTest::newRow("member over 4 GiB") << 1 << "big" << qint64(0x100000000) << false << int(E::MemberTooLarge);
        // Each member fits, but the central directory would start past 4 GiB.
        QTest::newRow("central directory past 4 GiB") << 2 << "half" << qint64(0x80000000) << false
                                                      << int(E::ArchiveTooLarge);
        // The third local header itself would start past 4 GiB.
        QTest::newRow("member offset past 4 GiB") << 3 << "part" << qint64(0x80000000) << false
                                                  << int(E::ArchiveTooLarge);
    }
    void limitsFailWithoutWriting()
    {
        QFETCH(int, memberCount);
        QFETCH(QString, name);
        QFETCH(qint64, memberSize);
        QFETCH(bool, fits);
        QFETCH(int, error);

        // The writer must refuse by arithmetic alone: reading or copying this memory
        // would crash the test.
        UntouchableMemory memory(std::max<qint64>(memberSize, 1));
        QVERIFY(memory.isValid());
        QList<ReportArchive::Member> members(memberCount, ReportArchive::Member{name, memory.view(memberSize)});

        const Result<QByteArray, ReportArchive::Error> archive = ReportArchive::makeZip(members);
        QCOMPARE(archive.hasValue(), fits);
        if (fits) {
            const QByteArray bytes = *archive;
            QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + bytes.size() - 12), quint16(memberCount));
        } else {
            QCOMPARE(int(archive.error()), error);
            QVERIFY(!ReportArchive::errorText(archive.error()).isEmpty());
        }
    }
};

SORVANE_TEST_MAIN(tst_ReportArchive)
#include "tst_ReportArchive.moc"
