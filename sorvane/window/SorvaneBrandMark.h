#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>

// The application's mark: the "AppIcon" image from the resources (else the
// application's window icon) filling a rounded square with a soft black shadow.
// With no image at all a plain green rounded square stands in. The empty state
// shows it at 80 / 18. The widget leaves room around the square for the shadow.
class SorvaneBrandMark : public QWidget
{
    Q_OBJECT
public:
    // No radius: size × 2/9.
    explicit SorvaneBrandMark(int size, std::optional<qreal> cornerRadius = std::nullopt, QWidget *parent = nullptr);
    // With a given image; a null image draws the plain square.
    SorvaneBrandMark(const QImage &image, int size, std::optional<qreal> cornerRadius = std::nullopt,
                     QWidget *parent = nullptr);

    int markSize() const { return m_size; }
    qreal cornerRadius() const { return m_cornerRadius; }
    qreal shadowRadius() const { return m_size * 0.1; }
    QPointF shadowOffset() const { return QPointF(0, m_size * 0.05); }
    // The square itself inside the widget.
    QRectF markRect() const;

    // The stand-in colour when there is no image.
    static QColor fallbackColor();
    // The icon image, looked up once per process; null when there is none at all.
    static const QImage &sharedImage();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_size;
    qreal m_cornerRadius;
    QImage m_image;
};
