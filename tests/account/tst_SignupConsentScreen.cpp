// The consent screen of a new Apple account as a real widget against the identity
// stand-in: its starting opt-in per region, what a tap on the button sends, the
// error and retry, one submission per double tap, the links, and its forced dark
// look (screenshots under a light and a dark application palette).
#include "ConsentTestBench.h"
#include "TestEnvironment.h"
#include "account/SIWAConsentConfirmView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

using namespace ConsentTestBench;

namespace {

// Stands in for the browser: records the pages the screen asks the desktop to open.
class BrowserRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }
};

struct Screen {
    explicit Screen(TolvernAccountBridge &bridge)
        : view(bridge, [this] { ++continued; })
    {
        view.resize(520, 640);
        view.show();
    }
    QAbstractButton *checkbox() const { return view.findChild<QAbstractButton *>("consentMarketing"); }
    QPushButton *button() const { return view.findChild<QPushButton *>("consentContinue"); }
    QLabel *error() const { return view.findChild<QLabel *>("consentError"); }
    QLabel *terms() const { return view.findChild<QLabel *>("consentTerms"); }
    QString buttonText() const
    {
        for (QLabel *label : button()->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                return label->text();
        }
        return {};
    }
    void tapCheckbox() { QTest::mouseClick(checkbox(), Qt::LeftButton, {}, QPoint(8, checkbox()->height() / 2)); }
    void tapButton() { QTest::mouseClick(button(), Qt::LeftButton); }

    int continued = 0;
    SIWAConsentConfirmView view;
};

QPalette lightPalette()
{
    return QStyleFactory::create(QStringLiteral("Fusion"))->standardPalette();
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(30, 30, 30));
    palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
    palette.setColor(QPalette::Base, QColor(20, 20, 20));
    palette.setColor(QPalette::Text, QColor(230, 230, 230));
    palette.setColor(QPalette::Button, QColor(45, 45, 45));
    palette.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    palette.setColor(QPalette::Link, QColor(120, 170, 255));
    return palette;
}

bool near(const QColor &seen, const QColor &wanted)
{
    return qAbs(seen.red() - wanted.red()) <= 2 && qAbs(seen.green() - wanted.green()) <= 2
           && qAbs(seen.blue() - wanted.blue()) <= 2;
}

} // namespace

class tst_SignupConsentScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startingState_data();
    void startingState();
    void submission_data();
    void submission();
    void failureThenRetry();
    void doubleTapSubmitsOnce();
    void closedWhileSubmitting();
    void linksOpenInTheBrowser();
    void staysDarkUnderEitherAppearance();
};

void tst_SignupConsentScreen::initTestCase()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
}

void tst_SignupConsentScreen::startingState_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("checked");

    QTest::newRow("US") << "US" << true;
    QTest::newRow("Germany") << "DE" << false;
    QTest::newRow("no region") << "" << false;
}

void tst_SignupConsentScreen::startingState()
{
    QFETCH(QString, region);
    QFETCH(bool, checked);

    Bench bench;
    Bench::setRegion(region);
    Screen screen(*bench.bridge);

    QCOMPARE(screen.view.marketingChecked(), checked);
    QCOMPARE(screen.checkbox()->isChecked(), checked);
    QVERIFY(!screen.view.touched());
    QCOMPARE(screen.buttonText(), QStringLiteral("Continue"));
    QVERIFY(screen.button()->isEnabled());
    QVERIFY(!screen.error()->isVisible());
    QCOMPARE(screen.view.findChild<QLabel *>("consentTitle")->text(), QStringLiteral("Finish creating your account"));
    QCOMPARE(screen.checkbox()->findChild<QLabel *>()->text(),
             QStringLiteral("Send me app updates & offers from Tolvern Studios"));
}

void tst_SignupConsentScreen::submission_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<int>("taps");
    // Empty: no capture is sent.
    QTest::addColumn<QString>("method");

    QTest::newRow("US, left checked") << "US" << 0 << "default_checked";
    QTest::newRow("US, unchecked") << "US" << 1 << "";
    QTest::newRow("US, unchecked and checked again") << "US" << 2 << "explicit_checkbox";
    QTest::newRow("elsewhere, checked") << "GB" << 1 << "explicit_checkbox";
    QTest::newRow("elsewhere, left unchecked") << "GB" << 0 << "";
    QTest::newRow("no region, checked") << "" << 1 << "explicit_checkbox";
}

void tst_SignupConsentScreen::submission()
{
    QFETCH(QString, region);
    QFETCH(int, taps);
    QFETCH(QString, method);

    Bench bench;
    QVERIFY(bench.signInNewAccount());
    Bench::setRegion(region);
    Screen screen(*bench.bridge);
    for (int i = 0; i < taps; ++i)
        screen.tapCheckbox();
    QCOMPARE(screen.view.touched(), taps > 0);
    QCOMPARE(screen.checkbox()->isChecked(), screen.view.marketingChecked());

    screen.tapButton();
    QVERIFY(screen.view.isSubmitting());
    QVERIFY(!screen.button()->isEnabled());
    QTRY_COMPARE(screen.continued, 1);

    QVERIFY(!screen.view.isSubmitting());
    QVERIFY(!screen.error()->isVisible());
    QStringList wire{"terms", "privacy"};
    if (!method.isEmpty())
        wire << QStringLiteral("capture");
    QCOMPARE(wireOrder(bench.peer), wire);
    const QJsonObject capture = bodyOf(bench.peer.requestsTo(IdentityPeer::kContactsCapture).value(0));
    QCOMPARE(capture.value("consent_method").toString(), method);
}

void tst_SignupConsentScreen::failureThenRetry()
{
    Bench bench;
    QVERIFY(bench.signInNewAccount());
    Bench::setRegion(QStringLiteral("US"));
    Screen screen(*bench.bridge);
    screen.tapCheckbox();
    screen.tapCheckbox();
    bench.peer.enqueue(IdentityPeer::kConsents, IdentityPeer::jsonReply(500, "{}"));

    screen.tapButton();
    QTRY_VERIFY(!screen.view.isSubmitting());
    QCOMPARE(screen.continued, 0);
    QVERIFY(screen.error()->isVisible());
    QCOMPARE(screen.error()->text(),
             QStringLiteral("Could not confirm your account setup. Check your connection and try again."));
    QCOMPARE(screen.buttonText(), QStringLiteral("Try again"));
    QVERIFY(screen.button()->isEnabled());
    QCOMPARE(wireOrder(bench.peer), (QStringList{"terms", "privacy"}));
    QVERIFY(screen.view.marketingChecked());

    screen.tapButton();
    QVERIFY(!screen.error()->isVisible());
    QTRY_COMPARE(screen.continued, 1);
    QCOMPARE(wireOrder(bench.peer), (QStringList{"terms", "privacy", "terms", "privacy", "capture"}));
    // The box kept its value and its touch across the retry.
    QCOMPARE(bodyOf(bench.peer.requestsTo(IdentityPeer::kContactsCapture).value(0)).value("consent_method").toString(),
             QStringLiteral("explicit_checkbox"));
}

void tst_SignupConsentScreen::doubleTapSubmitsOnce()
{
    Bench bench;
    QVERIFY(bench.signInNewAccount());
    Bench::setRegion(QStringLiteral("FR"));
    Screen screen(*bench.bridge);
    QSignalSpy submitting(&screen.view, &SIWAConsentConfirmView::submittingChanged);

    QTest::mouseDClick(screen.button(), Qt::LeftButton);
    screen.tapButton();
    QTRY_COMPARE(screen.continued, 1);

    QCOMPARE(submitting.count(), 2);
    QCOMPARE(wireOrder(bench.peer), (QStringList{"terms", "privacy"}));
}

// The host may close the screen while the records are in flight; their late answer
// must find nothing to update and nothing to continue.
void tst_SignupConsentScreen::closedWhileSubmitting()
{
    Bench bench;
    QVERIFY(bench.signInNewAccount());
    Bench::setRegion(QStringLiteral("US"));
    HttpPeer::Reply stalled;
    stalled.stall = true;
    bench.peer.enqueue(IdentityPeer::kConsents, stalled);
    bench.peer.enqueue(IdentityPeer::kConsents, IdentityPeer::jsonReply(500, "{}"));
    int continued = 0;
    auto view = std::make_unique<SIWAConsentConfirmView>(*bench.bridge, [&continued] { ++continued; });
    view->resize(520, 640);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    const qsizetype mark = logMark();

    QTest::mouseClick(view->findChild<QPushButton *>("consentContinue"), Qt::LeftButton);
    QTRY_COMPARE(bench.peer.count(IdentityPeer::kConsents), 1);
    QDir().mkpath(QStringLiteral("/tmp/shots"));
    view->grab().save(QStringLiteral("/tmp/shots/consent-submitting.png"));
    view.reset();

    // The stalled record times out, then privacy is refused; the second line is
    // written just before the submission ends.
    QTRY_VERIFY_WITH_TIMEOUT(consentLines(mark).size() == 2, 30000);
    QVERIFY(consentLines(mark).at(0).startsWith(QLatin1String("warn Consent terms error: ")));
    QCOMPARE(consentLines(mark).at(1), QStringLiteral("warn Consent privacy failed: 500"));
    QCOMPARE(continued, 0);
}

void tst_SignupConsentScreen::linksOpenInTheBrowser()
{
    Bench bench;
    Screen screen(*bench.bridge);
    BrowserRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");

    QLabel *terms = screen.terms();
    QCOMPARE(terms->textFormat(), Qt::RichText);
    screen.view.activateWindow();
    terms->setFocus();
    QTRY_VERIFY(terms->hasFocus());
    // Each Tab reaches the next link; Return opens it.
    QTest::keyClick(terms, Qt::Key_Tab);
    QTest::keyClick(terms, Qt::Key_Return);
    QTest::keyClick(terms, Qt::Key_Tab);
    QTest::keyClick(terms, Qt::Key_Return);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(browser.opened, (QList<QUrl>{QUrl("https://tolvern.dev/terms/sorvane"),
                                          QUrl("https://tolvern.dev/privacy/sorvane")}));
    QCOMPARE(SIWAConsentConfirmView::termsMarkdown(),
             QStringLiteral("By creating an account you agree to the [Terms of Service](https://tolvern.dev/terms/sorvane)"
                            " and [Privacy Policy](https://tolvern.dev/privacy/sorvane)"));
}

// The screen draws its own backdrop and colours, so the application's appearance
// must not show through anywhere.
void tst_SignupConsentScreen::staysDarkUnderEitherAppearance()
{
    Bench bench;
    Bench::setRegion(QStringLiteral("US"));
    const QString folder = QStringLiteral("/tmp/shots");
    QDir().mkpath(folder);
    const QPalette original = QApplication::palette();

    QList<QImage> shots;
    for (const auto &[name, palette] : {std::pair{QStringLiteral("light"), lightPalette()},
                                        std::pair{QStringLiteral("dark"), darkPalette()}}) {
        QApplication::setPalette(palette);
        Screen screen(*bench.bridge);
        QVERIFY(QTest::qWaitForWindowExposed(&screen.view));
        const QImage shot = screen.view.grab().toImage();
        shot.save(folder + QStringLiteral("/consent-%1.png").arg(name));
        shots << shot;
    }
    QApplication::setPalette(original);

    QCOMPARE(shots.at(0), shots.at(1));
    const QImage &shot = shots.first();
    // The gradient runs from the green top-left corner to the near-black bottom-right.
    QVERIFY(near(shot.pixelColor(1, 1), SIWAConsentConfirmView::backdropTop()));
    QVERIFY(near(shot.pixelColor(shot.width() - 2, shot.height() - 2), SIWAConsentConfirmView::backdropBottom()));

    // The error state (no one is signed in), for review.
    Screen failed(*bench.bridge);
    failed.tapButton();
    QTRY_VERIFY(failed.error()->isVisible());
    failed.view.grab().save(folder + QStringLiteral("/consent-error.png"));
}

SORVANE_TEST_MAIN(tst_SignupConsentScreen)
#include "tst_SignupConsentScreen.moc"
