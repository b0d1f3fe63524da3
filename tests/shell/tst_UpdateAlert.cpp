// The update alert: answered from the keyboard, notes shown as text, and its place
// remembered for the next time.
#include "TestEnvironment.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "shell/UpdateAlert.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

AppcastItem release(const QString &notes)
{
    AppcastItem item;
    item.versionText = QStringLiteral("1.3.0");
    item.version = QVersionNumber(1, 3, 0);
    item.shortVersion = QStringLiteral("1.3");
    item.releaseNotes = notes;
    return item;
}

} // namespace

class tst_UpdateAlert : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { Settings::shared().remove(SettingsKeys::updateAlertFrame); }

    void keyboard_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("result");

        QTest::newRow("Return installs") << QList<int>{Qt::Key_Return} << int(QDialog::Accepted);
        QTest::newRow("Enter installs") << QList<int>{Qt::Key_Enter} << int(QDialog::Accepted);
        QTest::newRow("Escape is Later") << QList<int>{Qt::Key_Escape} << int(QDialog::Rejected);
        QTest::newRow("Tab to Later, Space") << QList<int>{Qt::Key_Tab, Qt::Key_Space} << int(QDialog::Rejected);
        QTest::newRow("back to the notes, Tab, Space")
            << QList<int>{Qt::Key_Backtab, Qt::Key_Tab, Qt::Key_Space} << int(QDialog::Accepted);
    }

    void keyboard()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, result);
        UpdateAlert alert(release(QStringLiteral("Faster preview.")), QStringLiteral("1.2.0"));
        QSignalSpy finished(&alert, &QDialog::finished);
        alert.show();
        QApplication::setActiveWindow(&alert);
        QVERIFY(QTest::qWaitForWindowActive(&alert));
        QCOMPARE(QApplication::focusWidget(), alert.installButton());
        for (int key : keys)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), result);
    }

    void closingIsLater()
    {
        UpdateAlert alert(release(QString()), QStringLiteral("1.2.0"));
        QSignalSpy finished(&alert, &QDialog::finished);
        alert.show();
        QVERIFY(alert.close());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    }

    void notesAreText()
    {
        const QString notes = QStringLiteral("<h1>Big</h1> <img src=\"https://tracker.example/p.png\"> &amp; more");
        UpdateAlert alert(release(notes), QStringLiteral("<b>1.2.0</b>"));
        QCOMPARE(alert.notesView()->toPlainText(), notes);
        QVERIFY(alert.notesView()->isReadOnly());
        bool sawVersions = false;
        for (const QLabel *label : alert.findChildren<QLabel *>()) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            sawVersions = sawVersions || label->text().contains(QStringLiteral("1.3 is now available — you have <b>1.2.0</b>"));
        }
        QVERIFY(sawVersions);
    }

    void remembersItsPlace()
    {
        const QRect place(140, 90, 560, 400);
        {
            UpdateAlert alert(release(QStringLiteral("notes")), QStringLiteral("1.2.0"));
            alert.show();
            alert.setGeometry(place);
            QTRY_COMPARE(alert.geometry(), place);
            alert.reject();
        }
        QCOMPARE(Settings::shared().stringValue(SettingsKeys::updateAlertFrame), QStringLiteral("140 90 560 400"));
        UpdateAlert next(release(QStringLiteral("notes")), QStringLiteral("1.2.0"));
        QCOMPARE(next.geometry(), place);
    }
};

SORVANE_TEST_MAIN(tst_UpdateAlert)
#include "tst_UpdateAlert.moc"
