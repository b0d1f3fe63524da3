// Reading the update feed and choosing the release to offer.
#include "platform/AppcastFeed.h"

#include <QTest>

namespace {

const QUrl feedUrl(QStringLiteral("https://updates.example.org/sorvane/appcast.xml"));

QByteArray feed(const QByteArray &items, const QByteArray &prefix = "sorvane")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:" + prefix + "=\""
        + AppcastFeed::namespaceUri.toUtf8() + "\"><channel><title>sorv.ane</title>" + items + "</channel></rss>";
}

AppcastItem item(const QString &version, const QString &channel = QString())
{
    AppcastItem item;
    item.versionText = version;
    item.version = QVersionNumber::fromString(version);
    item.shortVersion = version;
    item.channel = channel;
    item.enclosureUrl = QUrl(QStringLiteral("https://updates.example.org/sorvane-%1.tar.gz").arg(version));
    return item;
}

} // namespace

class tst_AppcastFeed : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsItems()
    {
        const auto items = AppcastFeed::parse(
            feed("<item><title>sorv.ane 1.3</title>"
                 "<sorvane:version>1.3.0</sorvane:version><sorvane:shortVersion>1.3</sorvane:shortVersion>"
                 "<sorvane:channel>beta</sorvane:channel>"
                 "<description><![CDATA[<b>Faster</b> preview & <img src=\"https://x/y.png\">]]></description>"
                 "<enclosure url=\"files/sorvane-1.3.0.tar.gz\" length=\"4096\" type=\"application/octet-stream\" "
                 "sorvane:edSignature=\" c2lnbmF0dXJl \"/></item>"),
            feedUrl);
        QVERIFY2(items.hasValue(), qPrintable(items.hasValue() ? QString() : items.error()));
        QCOMPARE(items->size(), 1);
        const AppcastItem &read = items->first();
        QCOMPARE(read.title, QStringLiteral("sorv.ane 1.3"));
        QCOMPARE(read.version, QVersionNumber(1, 3, 0));
        QCOMPARE(read.shortVersion, QStringLiteral("1.3"));
        QCOMPARE(read.channel, QStringLiteral("beta"));
        // Relative addresses are the feed's neighbours.
        QCOMPARE(read.enclosureUrl, QUrl(QStringLiteral("https://updates.example.org/sorvane/files/sorvane-1.3.0.tar.gz")));
        QCOMPARE(read.length, 4096);
        QCOMPARE(read.signature, QStringLiteral("c2lnbmF0dXJl"));
        // Markup in the notes stays text.
        QCOMPARE(read.releaseNotes, QStringLiteral("<b>Faster</b> preview & <img src=\"https://x/y.png\">"));
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("xml");
        // Versions of the items kept, in order; empty with an error expected.
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<bool>("error");

        const QByteArray enclosure = "<enclosure url=\"https://e.example/u.bin\" length=\"1\"/>";
        QTest::newRow("any prefix for our namespace")
            << feed("<item><up:version>2.0</up:version>" + enclosure + "</item>", "up") << QStringList{"2.0"} << false;
        QTest::newRow("version of another namespace ignored")
            << feed("<item><x:version xmlns:x=\"urn:other\">9.0</x:version><sorvane:version>2.0</sorvane:version>"
                    + enclosure + "</item>")
            << QStringList{"2.0"} << false;
        QTest::newRow("unprefixed version ignored")
            << feed("<item><version>2.0</version>" + enclosure + "</item>") << QStringList() << false;
        QTest::newRow("item without version skipped")
            << feed("<item>" + enclosure + "</item><item><sorvane:version>2.1</sorvane:version>" + enclosure + "</item>")
            << QStringList{"2.1"} << false;
        QTest::newRow("item without enclosure skipped")
            << feed("<item><sorvane:version>2.0</sorvane:version></item>") << QStringList() << false;
        QTest::newRow("version that is no number skipped")
            << feed("<item><sorvane:version>latest</sorvane:version>" + enclosure + "</item>") << QStringList() << false;
        QTest::newRow("no items") << feed("") << QStringList() << false;
        QTest::newRow("unclosed element")
            << QByteArray("<rss version=\"2.0\"><channel><item><title>x</channel></rss>") << QStringList() << true;
        QTest::newRow("broken after a good item")
            << feed("<item><sorvane:version>2.0</sorvane:version>" + enclosure + "</item>").replace("</channel>", "<oops>")
            << QStringList() << true;
        QTest::newRow("not XML") << QByteArray("{\"version\": \"2.0\"}") << QStringList() << true;
        QTest::newRow("empty") << QByteArray() << QStringList() << true;
        QTest::newRow("HTML page") << QByteArray("<html><body>Not found</body></html>") << QStringList() << true;
    }

    void parse()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, versions);
        QFETCH(bool, error);
        const auto items = AppcastFeed::parse(xml, feedUrl);
        QCOMPARE(!items.hasValue(), error);
        if (error) {
            QVERIFY(!items.error().isEmpty());
            return;
        }
        QStringList read;
        for (const AppcastItem &item : *items)
            read.append(item.versionText);
        QCOMPARE(read, versions);
    }

    void bestUpdate_data()
    {
        QTest::addColumn<QList<AppcastItem>>("items");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QStringList>("channels");
        // Empty: nothing to offer.
        QTest::addColumn<QString>("offered");

        QTest::newRow("newest of several") << QList{item("1.3"), item("1.5"), item("1.4")} << "1.2" << QStringList() << "1.5";
        QTest::newRow("numbers, not text") << QList{item("1.9"), item("1.10")} << "1.2" << QStringList() << "1.10";
        QTest::newRow("equal only") << QList{item("1.2.0")} << "1.2.0" << QStringList() << "";
        QTest::newRow("trailing zero is equal") << QList{item("1.2.0")} << "1.2" << QStringList() << "";
        QTest::newRow("older only") << QList{item("1.1"), item("0.9")} << "1.2" << QStringList() << "";
        QTest::newRow("beta skipped by default")
            << QList{item("1.3"), item("1.4", "beta")} << "1.2" << QStringList() << "1.3";
        QTest::newRow("beta when allowed")
            << QList{item("1.3"), item("1.4", "beta")} << "1.2" << QStringList{"beta"} << "1.4";
        QTest::newRow("default channel still offered with beta")
            << QList{item("1.5"), item("1.4", "beta")} << "1.2" << QStringList{"beta"} << "1.5";
        QTest::newRow("unknown channel never")
            << QList{item("1.4", "nightly")} << "1.2" << QStringList{"beta"} << "";
        QTest::newRow("first of equals") << QList{item("1.3"), item("1.3.0", "beta")} << "1.2" << QStringList{"beta"} << "1.3";
    }

    void bestUpdate()
    {
        QFETCH(QList<AppcastItem>, items);
        QFETCH(QString, running);
        QFETCH(QStringList, channels);
        QFETCH(QString, offered);
        const std::optional<AppcastItem> best = AppcastFeed::bestUpdate(
            items, QVersionNumber::fromString(running), QSet<QString>(channels.begin(), channels.end()));
        QCOMPARE(best ? best->versionText : QString(), offered);
    }
};

QTEST_GUILESS_MAIN(tst_AppcastFeed)
#include "tst_AppcastFeed.moc"
