#include "workspace/HomePath.h"

#include <QtTest>

class tst_HomePath : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void abbreviated_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside home") << "/home/al/notes" << "/home/al" << "~/notes";
        QTest::newRow("home itself") << "/home/al" << "/home/al" << "~";
        QTest::newRow("a longer name") << "/home/alice/notes" << "/home/al" << "/home/alice/notes";
        QTest::newRow("home further in") << "/srv/home/al/x" << "/home/al" << "/srv/home/al/x";
        QTest::newRow("home twice") << "/home/al/home/al" << "/home/al" << "~/home/al";
        QTest::newRow("home with a trailing slash") << "/home/al/x" << "/home/al/" << "~/x";
        QTest::newRow("root home") << "/x" << "/" << "/x";
        QTest::newRow("no home") << "/x" << "" << "/x";
    }

    void abbreviated()
    {
        QFETCH(QString, path);
        QFETCH(QString, home);
        QFETCH(QString, expected);
        QCOMPARE(HomePath::abbreviated(path, home), expected);
    }
};

QTEST_GUILESS_MAIN(tst_HomePath)
#include "tst_HomePath.moc"
