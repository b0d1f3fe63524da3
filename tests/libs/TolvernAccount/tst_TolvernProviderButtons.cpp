#include "TolvernPlainButton.h"
#include "TolvernProviderButton.h"
#include "TolvernProviderButtons.h"

#include <QImage>
#include <QTest>

#include <memory>

namespace {

const QColor kAccent = QColor::fromRgbF(0.35f, 0.55f, 0.95f);

TolvernProviderButtonStyle styleNamed(const QString &name)
{
    return name == QLatin1String("dark") ? TolvernProviderButtonStyle::dark(kAccent)
                                         : TolvernProviderButtonStyle::light(kAccent);
}

TolvernProviderHint hintNamed(const QString &name)
{
    return *TolvernProviderHints::fromRawValue(name);
}

QColor rgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b));
}

bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

QImage renderOver(QWidget *widget, const QColor &canvas)
{
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(canvas);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Holds the buttons and what their handlers heard.
struct Host
{
    QList<TolvernProviderHint> taps;
    int cancels = 0;
    std::unique_ptr<TolvernProviderButtons> buttons;

    void make(const TolvernProviderButtonStyle &style, bool busy, bool withCancel)
    {
        TolvernProviderButtons::CancelHandler cancel;
        if (withCancel)
            cancel = [this] { ++cancels; };
        buttons = std::make_unique<TolvernProviderButtons>(style, busy, cancel,
                                                           [this](TolvernProviderHint hint) { taps.append(hint); });
        buttons->resize(360, buttons->sizeHint().height());
        buttons->show();
    }
};

} // namespace

class tst_TolvernProviderButtons : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tapReportsItsProvider_data();
    void tapReportsItsProvider();
    void busyAndCancel_data();
    void busyAndCancel();
    void hostClearsBusy();
    void colours_data();
    void colours();
    void appleFadesWhileBusy_data();
    void appleFadesWhileBusy();
    void keyboardFocusShowsARing_data();
    void keyboardFocusShowsARing();
};

void tst_TolvernProviderButtons::tapReportsItsProvider_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("text");
    QTest::newRow("apple") << "apple" << "Sign in with Apple";
    QTest::newRow("google") << "google" << "Sign in with Google";
    QTest::newRow("email") << "email" << "Continue with email";
}

void tst_TolvernProviderButtons::tapReportsItsProvider()
{
    QFETCH(QString, hint);
    QFETCH(QString, text);
    Host host;
    host.make(styleNamed("light"), false, true);
    TolvernProviderButton *button = host.buttons->button(hintNamed(hint));
    QVERIFY(button);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->accessibleName(), text);
    QVERIFY(button->height() >= 48);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(host.taps, QList<TolvernProviderHint>{hintNamed(hint)});
    QCOMPARE(host.cancels, 0);
}

void tst_TolvernProviderButtons::busyAndCancel_data()
{
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("withCancel");
    QTest::addColumn<bool>("cancelShown");
    QTest::newRow("idle, no cancel") << false << false << false;
    QTest::newRow("idle, a cancel given is not shown") << false << true << false;
    QTest::newRow("busy, no cancel: none shown") << true << false << false;
    QTest::newRow("busy with cancel") << true << true << true;
}

void tst_TolvernProviderButtons::busyAndCancel()
{
    QFETCH(bool, busy);
    QFETCH(bool, withCancel);
    QFETCH(bool, cancelShown);
    Host host;
    host.make(styleNamed("dark"), busy, withCancel);
    QCOMPARE(host.buttons->cancelButton()->isVisible(), cancelShown);

    for (auto hint : {TolvernProviderHint::apple, TolvernProviderHint::google, TolvernProviderHint::email}) {
        TolvernProviderButton *button = host.buttons->button(hint);
        QCOMPARE(button->isEnabled(), !busy);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(host.taps.size(), busy ? 0 : 3);

    if (cancelShown) {
        QVERIFY(host.buttons->cancelButton()->isEnabled());
        QCOMPARE(host.buttons->cancelButton()->accessibleName(), QStringLiteral("Cancel sign-in"));
        QTest::mouseClick(host.buttons->cancelButton(), Qt::LeftButton);
        QCOMPARE(host.cancels, 1);
        // Below the three provider buttons.
        QVERIFY(host.buttons->cancelButton()->mapTo(host.buttons.get(), QPoint()).y()
                > host.buttons->button(TolvernProviderHint::email)->geometry().bottom());
    }
}

void tst_TolvernProviderButtons::hostClearsBusy()
{
    Host host;
    host.make(styleNamed("light"), false, true);
    host.buttons->setBusy(true);
    QVERIFY(host.buttons->cancelButton()->isVisible());
    host.buttons->setBusy(false);
    QVERIFY(!host.buttons->cancelButton()->isVisible());
    QTest::mouseClick(host.buttons->button(TolvernProviderHint::google), Qt::LeftButton);
    QCOMPARE(host.taps, QList<TolvernProviderHint>{TolvernProviderHint::google});
}

void tst_TolvernProviderButtons::colours_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QColor>("edge");
    QTest::newRow("light apple: black button, white text")
        << "light" << "apple" << QColor(Qt::black) << QColor(Qt::white) << QColor(Qt::black);
    QTest::newRow("dark apple: white button, black text")
        << "dark" << "apple" << QColor(Qt::white) << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("light google") << "light" << "google" << QColor(Qt::white) << rgb(0.12, 0.12, 0.13)
                                  << rgb(0.86, 0.87, 0.88);
    QTest::newRow("dark google") << "dark" << "google" << rgb(0.075, 0.075, 0.08) << rgb(0.89, 0.89, 0.89)
                                 << rgb(0.235, 0.251, 0.263);
    QTest::newRow("light email on the accent") << "light" << "email" << kAccent << rgb(0.12, 0.1, 0.08) << kAccent;
    QTest::newRow("dark email on the accent") << "dark" << "email" << kAccent << QColor(Qt::white) << kAccent;
}

void tst_TolvernProviderButtons::colours()
{
    QFETCH(QString, style);
    QFETCH(QString, hint);
    QFETCH(QColor, background);
    QFETCH(QColor, text);
    QFETCH(QColor, edge);
    Host host;
    host.make(styleNamed(style), false, false);
    TolvernProviderButton *button = host.buttons->button(hintNamed(hint));
    const QImage image = renderOver(button, Qt::magenta);

    QVERIFY2(near(image.pixelColor(16, image.height() / 2), background),
             qPrintable(image.pixelColor(16, image.height() / 2).name()));
    QVERIFY2(near(image.pixelColor(image.width() / 2, 0), edge),
             qPrintable(image.pixelColor(image.width() / 2, 0).name()));
    // The label is drawn in the text colour: some of its pixels are fully covered.
    int textPixels = 0;
    for (int x = 40; x < image.width() - 40; ++x) {
        for (int y = 12; y < image.height() - 12; ++y)
            textPixels += near(image.pixelColor(x, y), text, 12) ? 1 : 0;
    }
    QVERIFY2(textPixels > 20, qPrintable(QString::number(textPixels)));
}

void tst_TolvernProviderButtons::appleFadesWhileBusy_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QColor>("canvas");
    QTest::addColumn<QColor>("busyBackground");
    // Black at 0.55 over white is 0.45 white; white at 0.55 over black is 0.55 white.
    QTest::newRow("light apple") << "light" << "apple" << QColor(Qt::white) << QColor(115, 115, 115);
    QTest::newRow("dark apple") << "dark" << "apple" << QColor(Qt::black) << QColor(140, 140, 140);
    QTest::newRow("google keeps full opacity") << "light" << "google" << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("email keeps full opacity") << "dark" << "email" << QColor(Qt::black) << kAccent;
}

void tst_TolvernProviderButtons::appleFadesWhileBusy()
{
    QFETCH(QString, style);
    QFETCH(QString, hint);
    QFETCH(QColor, canvas);
    QFETCH(QColor, busyBackground);
    Host host;
    host.make(styleNamed(style), true, true);
    const QImage image = renderOver(host.buttons->button(hintNamed(hint)), canvas);
    const QColor seen = image.pixelColor(16, image.height() / 2);
    QVERIFY2(near(seen, busyBackground), qPrintable(seen.name()));
}

void tst_TolvernProviderButtons::keyboardFocusShowsARing_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("hint");
    for (const char *style : {"light", "dark"}) {
        for (const char *hint : {"apple", "google", "email"})
            QTest::addRow("%s %s", style, hint) << style << hint;
    }
}

// Someone who moves with Tab must see which button Space would press; a click does
// not draw the ring.
void tst_TolvernProviderButtons::keyboardFocusShowsARing()
{
    QFETCH(QString, style);
    QFETCH(QString, hint);
    Host host;
    host.make(styleNamed(style), false, false);
    host.buttons->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host.buttons.get()));
    TolvernProviderButton *button = host.buttons->button(hintNamed(hint));
    const QImage plain = renderOver(button, Qt::black);

    button->setFocus(Qt::MouseFocusReason);
    QVERIFY(button->hasFocus());
    QCOMPARE(renderOver(button, Qt::black), plain);

    button->clearFocus();
    button->setFocus(Qt::TabFocusReason);
    QVERIFY(button->showsFocusRing());
    const QImage ringed = renderOver(button, Qt::black);
    // The ring lies just inside the shape, in the label's colour, on every provider.
    const QColor inside = ringed.pixelColor(ringed.width() / 2, 3);
    QVERIFY2(!near(inside, plain.pixelColor(plain.width() / 2, 3), 40), qPrintable(inside.name()));

    button->clearFocus();
    QCOMPARE(renderOver(button, Qt::black), plain);
}

QTEST_MAIN(tst_TolvernProviderButtons)
#include "tst_TolvernProviderButtons.moc"
