#pragma once

#include <QImage>
#include <QWidget>

// The application's mark: the "AppIcon" image from the resources (else the
// application's window icon) in a rounded square with a soft shadow. With no image
// at all a plain rounded square stands in. The empty state shows it at 80 / 18.
class SorvaneBrandMark : public QWidget
{
    Q_OBJECT
public:
    SorvaneBrandMark(int size, qreal cornerRadius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static QImage loadImage(int size);

    int m_size;
    qreal m_cornerRadius;
    QImage m_image;
};
