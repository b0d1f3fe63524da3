#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QWidget;

// Colours and fonts the window's views share, taken from the widget's palette so
// they follow the light and dark schemes: the accent, and the text colour at the
// strengths of a primary, secondary, tertiary and quaternary label.
namespace WindowStyle {

QColor accent(const QPalette &palette);
QColor primary(const QPalette &palette);
QColor secondary(const QPalette &palette);
QColor tertiary(const QPalette &palette);
QColor quaternary(const QPalette &palette);
QColor withAlpha(QColor color, qreal alpha);
// The green of a success mark, a lighter one on dark backgrounds.
QColor green(const QPalette &palette);
// The bar background: the window colour, a shade off the text background.
QColor barBackground(const QPalette &palette);

// The application font at a pixel size and weight.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);

// The palette for a colour scheme: "light" or "dark"; anything else gives the
// application's own palette (the desktop's choice).
QPalette paletteForColorScheme(const QString &scheme);

// A one-pixel rule in the palette's mid colour between two areas.
QWidget *divider(Qt::Orientation orientation, QWidget *parent);

} // namespace WindowStyle
