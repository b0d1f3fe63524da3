#include "TolvernAppIcon.h"

#include <QDir>
#include <QImage>
#include <QTest>

#include <optional>

namespace {

const QColor kViolet = QColor::fromRgbF(167 / 255.0f, 139 / 255.0f, 250 / 255.0f);

// The icon drawn alone on a transparent canvas, so every pixel is its own.
QImage render(TolvernAppIcon &icon, const QSize &size = QSize(96, 96))
{
    icon.resize(size);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    icon.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    // With TOLVERN_SCREENSHOT_DIR set, each drawing is kept there to be looked at.
    const QString folder = qEnvironmentVariable("TOLVERN_SCREENSHOT_DIR");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        image.save(QStringLiteral("%1/app-icon-%2-%3.png").arg(folder, QString::fromLatin1(QTest::currentTestFunction()),
                                                              QString::fromLatin1(QTest::currentDataTag())));
    return image;
}

// Colour c at alpha a, the way QColor reports a non-premultiplied pixel.
struct Rgba
{
    double r, g, b, a;
};

// source over destination.
Rgba over(const Rgba &s, const Rgba &d)
{
    const double a = s.a + d.a * (1 - s.a);
    const auto channel = [&](double sc, double dc) { return (sc * s.a + dc * d.a * (1 - s.a)) / a; };
    return {channel(s.r, d.r), channel(s.g, d.g), channel(s.b, d.b), a};
}

Rgba rgba(const QColor &color, double alpha)
{
    return {color.redF(), color.greenF(), color.blueF(), alpha};
}

bool near(const QColor &seen, const Rgba &want, int tolerance = 3)
{
    return qAbs(seen.red() - qRound(want.r * 255)) <= tolerance && qAbs(seen.green() - qRound(want.g * 255)) <= tolerance
        && qAbs(seen.blue() - qRound(want.b * 255)) <= tolerance && qAbs(seen.alpha() - qRound(want.a * 255)) <= tolerance;
}

QString describe(const QColor &color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(color.red()).arg(color.green()).arg(color.blue()).arg(color.alpha());
}

} // namespace

class tst_TolvernAppIcon : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedValues_data();
    void storedValues();
    void tileColours_data();
    void tileColours();
    void corners_data();
    void corners();
};

void tst_TolvernAppIcon::storedValues_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<QString>("letter"); // "-" for none given
    QTest::addColumn<QString>("storedSlug");
    QTest::addColumn<QString>("shownLetter");
    QTest::newRow("capitals are lowered, letter from the slug") << "NoteKit" << "-" << "notekit" << "N";
    QTest::newRow("lower-case slug, upper-case letter") << "quill" << "-" << "quill" << "Q";
    QTest::newRow("given letter kept as given") << "quill" << "z" << "quill" << "z";
    QTest::newRow("empty slug, empty letter") << "" << "-" << "" << "";
}

void tst_TolvernAppIcon::storedValues()
{
    QFETCH(QString, slug);
    QFETCH(QString, letter);
    QFETCH(QString, storedSlug);
    QFETCH(QString, shownLetter);
    TolvernAppIcon icon(slug, letter == QLatin1String("-") ? std::nullopt : std::optional<QString>(letter));
    QCOMPARE(icon.slug(), storedSlug);
    QCOMPARE(icon.fallbackLetter(), shownLetter);
    QCOMPARE(icon.fallbackTint(), kViolet);
    QCOMPARE(icon.cornerRadius(), 0.0);
}

void tst_TolvernAppIcon::tileColours_data()
{
    QTest::addColumn<QColor>("tint"); // invalid: none given
    QTest::addColumn<QColor>("expectedTint");
    QTest::newRow("default violet") << QColor() << kViolet;
    QTest::newRow("caller's teal") << QColor(0, 128, 128) << QColor(0, 128, 128);
    QTest::newRow("caller's red") << QColor(220, 30, 30) << QColor(220, 30, 30);
}

// Fill at 18 % and the letter follow the tint; the border stays violet at 20 %.
void tst_TolvernAppIcon::tileColours()
{
    QFETCH(QColor, tint);
    QFETCH(QColor, expectedTint);
    TolvernAppIcon icon(QStringLiteral("no-such-app"), std::nullopt,
                        tint.isValid() ? std::optional<QColor>(tint) : std::nullopt, 24);
    const QImage image = render(icon);

    const Rgba fill = rgba(expectedTint, 0.18);
    const QColor inside = image.pixelColor(8, 48);
    QVERIFY2(near(inside, fill), qPrintable(describe(inside)));
    const QColor edge = image.pixelColor(48, 0);
    const Rgba border = over(rgba(kViolet, 0.2), fill);
    QVERIFY2(near(edge, border), qPrintable(describe(edge)));

    // The letter "N" in the centre: some pixels are the tint itself, fully covered.
    int letterPixels = 0;
    for (int x = 36; x < 60; ++x) {
        for (int y = 36; y < 60; ++y)
            letterPixels += near(image.pixelColor(x, y), rgba(expectedTint, 1.0), 4) ? 1 : 0;
    }
    QVERIFY2(letterPixels > 10, qPrintable(QString::number(letterPixels)));
}

void tst_TolvernAppIcon::corners_data()
{
    QTest::addColumn<QString>("slug");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<bool>("drawn");
    // A 10-point corner leaves (1,1) bare and covers (4,4); a 40-point one leaves both bare.
    QTest::newRow("tile ignores a zero radius") << "no-such-app" << 0.0 << QPoint(1, 1) << false;
    QTest::newRow("tile ignores a large radius") << "no-such-app" << 40.0 << QPoint(4, 4) << true;
    QTest::newRow("image takes a large radius") << "sorvane" << 40.0 << QPoint(4, 4) << false;
    QTest::newRow("image takes a zero radius") << "sorvane" << 0.0 << QPoint(1, 1) << true;
    QTest::newRow("image found for a slug in capitals") << "SorVane" << 0.0 << QPoint(1, 1) << true;
}

void tst_TolvernAppIcon::corners()
{
    QFETCH(QString, slug);
    QFETCH(double, radius);
    QFETCH(QPoint, pixel);
    QFETCH(bool, drawn);
    TolvernAppIcon icon(slug, std::nullopt, std::nullopt, radius);
    const QImage image = render(icon);
    const QColor seen = image.pixelColor(pixel);
    QCOMPARE(seen.alpha() > 0, drawn);
    // The image is opaque where drawn; the tile is a light wash.
    if (drawn)
        QCOMPARE(seen.alpha() == 255, !TolvernAppIcon::imagePath(slug.toLower()).isEmpty());
}

QTEST_MAIN(tst_TolvernAppIcon)
#include "tst_TolvernAppIcon.moc"
