#pragma once

#include <QColor>
#include <QWidget>

// The small "opens in the browser" mark beside the account page links: an arrow
// leaving a rounded square, drawn in one colour at a square size.
class ExternalLinkSymbol : public QWidget
{
    Q_OBJECT
public:
    ExternalLinkSymbol(int size, const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
