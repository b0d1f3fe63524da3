#pragma once

#include <QColor>
#include <QWidget>

class QVariantAnimation;

// A small spinning progress indicator; it turns only while shown.
class TolvernSpinner : public QWidget
{
    Q_OBJECT
public:
    TolvernSpinner(int size, const QColor &color, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QColor m_color;
    QVariantAnimation *m_animation;
    double m_angle = 0;
};
