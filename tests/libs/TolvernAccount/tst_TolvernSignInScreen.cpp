#include "TolvernElidedLabel.h"
#include "TolvernPlainButton.h"
#include "TolvernProviderButton.h"
#include "TolvernProviderButtons.h"
#include "TolvernSignInScreen.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace {

const QColor kAccent = QColor::fromRgbF(0.35f, 0.55f, 0.95f);
const QUrl kPrivacy(QStringLiteral("https://tolvern.test/privacy/sorvane"));
const QUrl kTerms(QStringLiteral("https://tolvern.test/terms/sorvane"));

// Phases written as "ready", "busy", "offline" or "error:<message>".
TolvernSignInPhase phaseFrom(const QString &text)
{
    if (text.startsWith(QLatin1String("error:")))
        return TolvernSignInPhase::error(text.mid(6));
    if (text == QLatin1String("busy"))
        return TolvernSignInPhase::busy();
    if (text == QLatin1String("offline"))
        return TolvernSignInPhase::offline();
    return TolvernSignInPhase::ready();
}

std::optional<QString> emailFrom(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

QPixmap sampleIcon()
{
    QPixmap icon(64, 64);
    icon.fill(QColor(43, 93, 122));
    return icon;
}

// The screen and what its handlers heard.
struct Host
{
    QList<TolvernProviderHint> taps;
    int cancels = 0;
    int retries = 0;
    int otherAccounts = 0;
    std::unique_ptr<TolvernSignInScreen> screen;

    TolvernSignInScreen *make(const TolvernSignInPhase &phase, const std::optional<QString> &email,
                              bool withHandlers = true, const QString &appName = QStringLiteral("sorv.ane"),
                              const QPixmap &icon = sampleIcon(), bool dark = false)
    {
        TolvernSignInScreen::Action cancel, retry, other;
        if (withHandlers) {
            cancel = [this] { ++cancels; };
            retry = [this] { ++retries; };
            other = [this] { ++otherAccounts; };
        }
        const auto style = dark ? TolvernProviderButtonStyle::dark(kAccent) : TolvernProviderButtonStyle::light(kAccent);
        screen = std::make_unique<TolvernSignInScreen>(
            icon, appName, QStringLiteral("Write Markdown, see it rendered."), style, phase, kPrivacy, kTerms, email,
            [this](TolvernProviderHint hint) { taps.append(hint); }, cancel, retry, other);
        screen->resize(TolvernSignInScreen::naturalWindowSize());
        screen->show();
        return screen.get();
    }

    QWidget *shown(const QString &name) const
    {
        auto *widget = screen->findChild<QWidget *>(name);
        return widget && widget->isVisible() ? widget : nullptr;
    }
};

int top(QWidget *widget, QWidget *root)
{
    return widget->mapTo(root, QPoint()).y();
}

} // namespace

// Receives the links the screen opens.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_TolvernSignInScreen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void phaseEquality_data();
    void phaseEquality();
    void contentByPhase_data();
    void contentByPhase();
    void buttonsCallTheirHandlers_data();
    void buttonsCallTheirHandlers();
    void progressText_data();
    void progressText();
    void headerStartsWithIconOrTitle();
    void longEmailStaysOnOneLine();
    void footerOpensLinks();
    void hostChangesPhase();
    void fitsItsWindowInEveryPhase_data();
    void fitsItsWindowInEveryPhase();
    void hostBackgroundShowsThrough();
};

void tst_TolvernSignInScreen::phaseEquality_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("equal");
    QTest::newRow("ready, ready") << "ready" << "ready" << true;
    QTest::newRow("busy, busy") << "busy" << "busy" << true;
    QTest::newRow("same error message") << "error:Nope" << "error:Nope" << true;
    QTest::newRow("different error messages") << "error:Nope" << "error:Other" << false;
    QTest::newRow("error with empty message, ready") << "error:" << "ready" << false;
    QTest::newRow("busy, offline") << "busy" << "offline" << false;
}

void tst_TolvernSignInScreen::phaseEquality()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, equal);
    QCOMPARE(phaseFrom(a) == phaseFrom(b), equal);
    QCOMPARE(phaseFrom(a) != phaseFrom(b), !equal);
}

void tst_TolvernSignInScreen::contentByPhase_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("withHandlers");
    QTest::addColumn<QString>("content"); // offline-card, account-block or provider-buttons
    QTest::addColumn<bool>("errorRow");
    QTest::addColumn<bool>("progressRow");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("ready") << "ready" << "" << true << "provider-buttons" << false << false << false;
    QTest::newRow("busy with cancel") << "busy" << "" << true << "provider-buttons" << false << true << true;
    QTest::newRow("busy without cancel") << "busy" << "" << false << "provider-buttons" << false << true << false;
    QTest::newRow("error above the buttons")
        << "error:Sign-in failed. Please try again." << "" << true << "provider-buttons" << true << false << false;
    QTest::newRow("offline") << "offline" << "" << true << "offline-card" << false << false << false;
    QTest::newRow("offline hides the account") << "offline" << "ann@example.com" << true << "offline-card" << false
                                               << false << false;
    QTest::newRow("signed in") << "ready" << "ann@example.com" << true << "account-block" << false << false << false;
    QTest::newRow("error above the account")
        << "error:Could not open sign-in." << "ann@example.com" << true << "account-block" << true << false << false;
    QTest::newRow("busy with the account") << "busy" << "ann@example.com" << true << "account-block" << false << true
                                           << false;
}

void tst_TolvernSignInScreen::contentByPhase()
{
    QFETCH(QString, phase);
    QFETCH(QString, email);
    QFETCH(bool, withHandlers);
    QFETCH(QString, content);
    QFETCH(bool, errorRow);
    QFETCH(bool, progressRow);
    QFETCH(bool, cancel);
    Host host;
    TolvernSignInScreen *screen = host.make(phaseFrom(phase), emailFrom(email), withHandlers);

    const QStringList contents{QStringLiteral("offline-card"), QStringLiteral("account-block"),
                               QStringLiteral("provider-buttons")};
    for (const QString &name : contents)
        QCOMPARE(host.shown(name) != nullptr, name == content);
    QCOMPARE(host.shown(QStringLiteral("progress-row")) != nullptr, progressRow);
    QCOMPARE(host.shown(QStringLiteral("cancel-sign-in")) != nullptr, cancel);

    QWidget *error = host.shown(QStringLiteral("error-row"));
    QCOMPARE(error != nullptr, errorRow);
    if (error) {
        QCOMPARE(qobject_cast<QLabel *>(error)->text(), phaseFrom(phase).message());
        QCOMPARE(error->accessibleName(), phaseFrom(phase).message());
        QWidget *below = host.shown(content == QLatin1String("account-block") ? QStringLiteral("signed-in-email")
                                                                               : QStringLiteral("provider-buttons"));
        QVERIFY(top(error, screen) + error->height() <= top(below, screen));
    }
    if (auto *buttons = qobject_cast<TolvernProviderButtons *>(host.shown(QStringLiteral("provider-buttons")))) {
        QCOMPARE(buttons->isBusy(), phase == QLatin1String("busy"));
        QCOMPARE(buttons->button(TolvernProviderHint::google)->isEnabled(), phase != QLatin1String("busy"));
        QVERIFY(buttons->width() <= 360);
    }
}

void tst_TolvernSignInScreen::buttonsCallTheirHandlers_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("withHandlers");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("heard"); // the counter that moved, or "" for none
    QTest::newRow("google") << "ready" << "" << true << "provider-google" << "tap:google";
    QTest::newRow("email after an error") << "error:x" << "" << true << "provider-email" << "tap:email";
    QTest::newRow("apple") << "ready" << "" << true << "provider-apple" << "tap:apple";
    QTest::newRow("cancel while busy") << "busy" << "" << true << "cancel-sign-in" << "cancel";
    QTest::newRow("retry") << "offline" << "" << true << "retry" << "retry";
    QTest::newRow("retry without a handler") << "offline" << "" << false << "retry" << "";
    QTest::newRow("other account") << "ready" << "ann@example.com" << true << "use-different-account"
                                   << "other";
    QTest::newRow("other account without a handler")
        << "ready" << "ann@example.com" << false << "use-different-account" << "";
}

void tst_TolvernSignInScreen::buttonsCallTheirHandlers()
{
    QFETCH(QString, phase);
    QFETCH(QString, email);
    QFETCH(bool, withHandlers);
    QFETCH(QString, button);
    QFETCH(QString, heard);
    Host host;
    TolvernSignInScreen *screen = host.make(phaseFrom(phase), emailFrom(email), withHandlers);
    QWidget *target = host.shown(button);
    QVERIFY(target);
    QTest::mouseClick(target, Qt::LeftButton);

    QList<TolvernProviderHint> taps;
    if (heard.startsWith(QLatin1String("tap:")))
        taps.append(*TolvernProviderHints::fromRawValue(heard.mid(4)));
    QCOMPARE(host.taps, taps);
    QCOMPARE(host.cancels, heard == QLatin1String("cancel") ? 1 : 0);
    QCOMPARE(host.retries, heard == QLatin1String("retry") ? 1 : 0);
    QCOMPARE(host.otherAccounts, heard == QLatin1String("other") ? 1 : 0);
    // The phase is the host's: a button never changes it.
    QCOMPARE(screen->phase(), phaseFrom(phase));
    QVERIFY(host.shown(button));
}

void tst_TolvernSignInScreen::progressText_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<QString>("text");
    QTest::newRow("named") << "sorv.ane" << QStringLiteral("Signing in to sorv.ane\u2026");
    QTest::newRow("empty name") << "" << QStringLiteral("Signing in to \u2026");
}

void tst_TolvernSignInScreen::progressText()
{
    QFETCH(QString, appName);
    QFETCH(QString, text);
    Host host;
    host.make(TolvernSignInPhase::busy(), std::nullopt, true, appName);
    auto *label = qobject_cast<QLabel *>(host.shown(QStringLiteral("progress-text")));
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(host.shown(QStringLiteral("progress-row"))->accessibleName(), text);
}

void tst_TolvernSignInScreen::headerStartsWithIconOrTitle()
{
    Host host;
    host.make(TolvernSignInPhase::ready(), std::nullopt, true, QStringLiteral("sorv.ane"), sampleIcon());
    QLayout *header = host.shown(QStringLiteral("header"))->layout();
    QCOMPARE(header->itemAt(0)->widget()->objectName(), QStringLiteral("app-icon"));
    QCOMPARE(header->itemAt(0)->widget()->size(), QSize(96, 96));

    host.make(TolvernSignInPhase::ready(), std::nullopt, true, QStringLiteral("sorv.ane"), QPixmap());
    header = host.shown(QStringLiteral("header"))->layout();
    QCOMPARE(header->itemAt(0)->widget()->objectName(), QStringLiteral("title"));
    QCOMPARE(qobject_cast<QLabel *>(header->itemAt(0)->widget())->text(), QStringLiteral("sorv.ane"));
    QVERIFY(!host.screen->findChild<QWidget *>(QStringLiteral("app-icon")));
}

void tst_TolvernSignInScreen::longEmailStaysOnOneLine()
{
    const QString email = QStringLiteral("first.") + QString(80, QLatin1Char('x')) + QStringLiteral("@example.com");
    Host host;
    host.make(TolvernSignInPhase::ready(), email);
    auto *label = qobject_cast<TolvernElidedLabel *>(host.shown(QStringLiteral("signed-in-email")));
    QVERIFY(label);
    QCOMPARE(label->fullText(), email);
    QVERIFY(label->width() <= 360);
    QCOMPARE(label->height(), label->fontMetrics().height());
    const QString shown = label->text();
    QVERIFY2(shown.size() < email.size(), qPrintable(shown));
    QVERIFY2(shown.startsWith(QStringLiteral("first.")) && shown.endsWith(QStringLiteral("@example.com")),
             qPrintable(shown));
    QVERIFY(shown.contains(QChar(0x2026)));
    QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
}

void tst_TolvernSignInScreen::footerOpensLinks()
{
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    Host host;
    host.make(TolvernSignInPhase::offline(), std::nullopt);
    QTest::mouseClick(host.shown(QStringLiteral("privacy-link")), Qt::LeftButton);
    QTest::mouseClick(host.shown(QStringLiteral("terms-link")), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(sink.opened, (QList<QUrl>{kPrivacy, kTerms}));
}

void tst_TolvernSignInScreen::hostChangesPhase()
{
    Host host;
    TolvernSignInScreen *screen = host.make(TolvernSignInPhase::ready(), std::nullopt);
    screen->setPhase(TolvernSignInPhase::busy());
    QVERIFY(host.shown(QStringLiteral("progress-row")));
    screen->setSignedInEmail(QStringLiteral("ann@example.com"));
    QVERIFY(host.shown(QStringLiteral("account-block")));
    QVERIFY(host.shown(QStringLiteral("progress-row")));
    screen->setPhase(TolvernSignInPhase::offline());
    QVERIFY(host.shown(QStringLiteral("offline-card")));
    QVERIFY(!host.shown(QStringLiteral("account-block")));
    screen->setSignedInEmail(std::nullopt);
    screen->setPhase(TolvernSignInPhase::ready());
    QVERIFY(host.shown(QStringLiteral("provider-buttons")));
    QVERIFY(!host.shown(QStringLiteral("offline-card")));
}

void tst_TolvernSignInScreen::fitsItsWindowInEveryPhase_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("email");
    for (bool dark : {false, true}) {
        const char *look = dark ? "dark" : "light";
        QTest::addRow("%s-ready", look) << dark << "ready" << "";
        QTest::addRow("%s-busy", look) << dark << "busy" << "";
        QTest::addRow("%s-error", look) << dark << "error:Sign-in failed. Please try again." << "";
        QTest::addRow("%s-offline", look) << dark << "offline" << "";
        QTest::addRow("%s-signed-in", look) << dark << "ready" << "ann.example@tolvern.dev";
        QTest::addRow("%s-signed-in-error", look)
            << dark << "error:Could not open sign-in. Please try again." << "ann.example@tolvern.dev";
    }
}

// Every phase fits the window size the screen proposes without scrolling. With
// TOLVERN_SCREENSHOT_DIR set, each is also saved there to be looked at.
void tst_TolvernSignInScreen::fitsItsWindowInEveryPhase()
{
    QFETCH(bool, dark);
    QFETCH(QString, phase);
    QFETCH(QString, email);
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, dark ? QColor(24, 24, 28) : QColor(246, 246, 248));
    window.setPalette(palette);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    Host host;
    host.make(phaseFrom(phase), emailFrom(email), true, QStringLiteral("sorv.ane"), sampleIcon(), dark);
    layout->addWidget(host.screen.get());
    window.resize(TolvernSignInScreen::naturalWindowSize());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *scroll = host.screen->findChild<QScrollArea *>(QStringLiteral("scroll"));
    QCOMPARE(scroll->verticalScrollBar()->maximum(), 0);
    QWidget *footer = host.shown(QStringLiteral("footer"));
    QVERIFY(top(footer, &window) + footer->height() <= window.height() - 32);

    const QString folder = qEnvironmentVariable("TOLVERN_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        QVERIFY(window.grab().save(folder + QLatin1Char('/') + QString::fromLatin1(QTest::currentDataTag()) + ".png"));
    }
}

namespace {
// A host that paints its own backdrop, as the sign-in window does.
class PaintedHost : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), QColor(200, 30, 40)); }
};
} // namespace

// The screen draws no background of its own: a host's backdrop stays visible around
// its content, in both styles.
void tst_TolvernSignInScreen::hostBackgroundShowsThrough()
{
    for (const bool dark : {false, true}) {
        PaintedHost host;
        host.resize(TolvernSignInScreen::naturalWindowSize());
        Host made;
        TolvernSignInScreen *screen = made.make(TolvernSignInPhase::ready(), std::nullopt, true,
                                                QStringLiteral("sorv.ane"), sampleIcon(), dark);
        screen->setParent(&host);
        screen->setGeometry(host.rect());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const QImage image = host.grab().toImage();
        QCOMPARE(image.pixelColor(4, 4), QColor(200, 30, 40));
        QCOMPARE(image.pixelColor(image.width() - 5, image.height() / 2), QColor(200, 30, 40));
        screen->setParent(nullptr);
    }
}

QTEST_MAIN(tst_TolvernSignInScreen)
#include "tst_TolvernSignInScreen.moc"
