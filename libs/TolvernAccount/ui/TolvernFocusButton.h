#pragma once

#include <QAbstractButton>

class QPainter;

// A painted button of the sign-in views that shows where keyboard focus is: a ring
// inside its shape while it holds focus that came from Tab or Backtab, not from a
// click.
class TolvernFocusButton : public QAbstractButton
{
    Q_OBJECT
public:
    using QAbstractButton::QAbstractButton;

    bool showsFocusRing() const { return m_keyboardFocus && hasFocus(); }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // Draws the ring in `color` just inside `shape` when it should show.
    void paintFocusRing(QPainter &painter, const QRectF &shape, double radius, const QColor &color) const;

private:
    bool m_keyboardFocus = false;
};
