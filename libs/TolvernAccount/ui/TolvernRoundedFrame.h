#pragma once

#include <QColor>
#include <QWidget>

// A container drawn as a rounded outline: a 1-point line inside its edge.
class TolvernRoundedFrame : public QWidget
{
    Q_OBJECT
public:
    TolvernRoundedFrame(double radius, const QColor &border, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_radius;
    QColor m_border;
};
