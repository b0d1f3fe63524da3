#pragma once

#include "TolvernFocusButton.h"
#include <QColor>

// A borderless text button of the sign-in views: its text in one font and colour,
// optionally on a filled rounded shape (the offline card's Retry).
class TolvernPlainButton : public TolvernFocusButton
{
    Q_OBJECT
public:
    TolvernPlainButton(const QString &text, int pixelSize, QFont::Weight weight, const QColor &color,
                       QWidget *parent = nullptr);

    void setFill(const QColor &fill, double radius);
    void setMinimumButtonHeight(int height);

    QColor textColor() const { return m_color; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont labelFont() const;

    int m_pixelSize;
    QFont::Weight m_weight;
    QColor m_color;
    QColor m_fill;
    double m_radius = 0;
    int m_minHeight = 0;
};
