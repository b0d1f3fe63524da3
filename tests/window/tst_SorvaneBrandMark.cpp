#include "TestEnvironment.h"

#include "window/SorvaneBrandMark.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QtTest>

#include <optional>

class tst_SorvaneBrandMark : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void geometry_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qreal>("givenRadius"); // negative: none given
        QTest::addColumn<qreal>("radius");
        QTest::addColumn<qreal>("shadowRadius");
        QTest::addColumn<qreal>("shadowOffset");

        QTest::newRow("90, no radius") << 90 << -1.0 << 20.0 << 9.0 << 4.5;
        QTest::newRow("empty state's 80 / 18") << 80 << 18.0 << 18.0 << 8.0 << 4.0;
        QTest::newRow("45, no radius") << 45 << -1.0 << 10.0 << 4.5 << 2.25;
    }

    void geometry()
    {
        QFETCH(int, size);
        QFETCH(qreal, givenRadius);
        QFETCH(qreal, radius);
        QFETCH(qreal, shadowRadius);
        QFETCH(qreal, shadowOffset);

        const std::optional<qreal> given = givenRadius < 0 ? std::nullopt : std::optional<qreal>(givenRadius);
        SorvaneBrandMark mark(size, given);
        QCOMPARE(mark.cornerRadius(), radius);
        QCOMPARE(mark.markRect().size(), QSizeF(size, size));
        QCOMPARE(mark.accessibleName(), QStringLiteral("Sorvane"));

        auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(mark.graphicsEffect());
        QVERIFY(shadow);
        QCOMPARE(shadow->blurRadius(), shadowRadius);
        QCOMPARE(shadow->offset(), QPointF(0, shadowOffset));
        QCOMPARE(shadow->color().rgb(), QColor(Qt::black).rgb());
        QVERIFY(qAbs(shadow->color().alphaF() - 0.35) < 0.01);
        // The shadow falls inside the widget, below the square.
        QVERIFY(mark.markRect().bottom() + shadowOffset + shadowRadius <= mark.height());
    }

    void fallbackWithoutImage()
    {
        SorvaneBrandMark mark(QImage(), 90);
        const QImage picture = mark.grab().toImage();
        const QRectF square = mark.markRect();
        QCOMPARE(picture.pixelColor(square.center().toPoint()).rgb(), QColor(38, 133, 89).rgb());
        // The corner lies outside the rounded square.
        QVERIFY(picture.pixelColor(square.topLeft().toPoint() + QPoint(1, 1)).rgb() != QColor(38, 133, 89).rgb());
    }

    void imageFillsTheSquare()
    {
        QImage red(40, 20, QImage::Format_ARGB32);
        red.fill(Qt::red);
        SorvaneBrandMark mark(red, 90);
        const QImage picture = mark.grab().toImage();
        const QRectF square = mark.markRect();
        // A wide image still covers the square's top and bottom (it is cropped, not letterboxed).
        for (const QPointF &point : {square.center(), QPointF(square.center().x(), square.top() + 2),
                                     QPointF(square.center().x(), square.bottom() - 2)})
            QCOMPARE(picture.pixelColor(point.toPoint()).rgb(), QColor(Qt::red).rgb());
    }
};

SORVANE_TEST_MAIN(tst_SorvaneBrandMark)
#include "tst_SorvaneBrandMark.moc"
