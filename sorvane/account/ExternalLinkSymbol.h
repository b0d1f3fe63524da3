#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

// The small "opens in the browser" mark beside the account page links: an arrow
// leaving a rounded square, drawn in one colour at a square size.
class ExternalLinkSymbol : public QWidget
{
    Q_OBJECT
public:
    // No colour: the palette's secondary text colour, so it follows the window.
    ExternalLinkSymbol(int size, std::optional<QColor> color, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<QColor> m_color;
};
