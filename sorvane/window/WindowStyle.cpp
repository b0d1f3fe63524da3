#include "WindowStyle.h"

#include <QWidget>

#include <QApplication>
#include <QStyle>

namespace WindowStyle {

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

QColor accent(const QPalette &palette) { return palette.color(QPalette::Active, QPalette::Highlight); }
QColor primary(const QPalette &palette) { return palette.color(QPalette::Active, QPalette::WindowText); }
QColor secondary(const QPalette &palette) { return withAlpha(primary(palette), 0.55); }
QColor tertiary(const QPalette &palette) { return withAlpha(primary(palette), 0.4); }
QColor quaternary(const QPalette &palette) { return withAlpha(primary(palette), 0.28); }

QColor green(const QPalette &palette)
{
    const bool dark = palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
    return dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x1f, 0x9d, 0x3f);
}

QColor barBackground(const QPalette &palette) { return palette.color(QPalette::Active, QPalette::Window); }

QFont font(qreal pixelSize, QFont::Weight weight)
{
    QFont f = QApplication::font();
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setWeight(weight);
    return f;
}

namespace {

QPalette makePalette(bool dark)
{
    QPalette p;
    const QColor window = dark ? QColor(0x2b, 0x2b, 0x2d) : QColor(0xf3, 0xf3, 0xf4);
    const QColor base = dark ? QColor(0x1e, 0x1e, 0x20) : QColor(0xff, 0xff, 0xff);
    const QColor text = dark ? QColor(0xe8, 0xe8, 0xea) : QColor(0x1d, 0x1d, 0x1f);
    const QColor button = dark ? QColor(0x3a, 0x3a, 0x3c) : QColor(0xfb, 0xfb, 0xfc);
    const QColor accentColor = dark ? QColor(0x3d, 0x8b, 0xfd) : QColor(0x1f, 0x6f, 0xeb);
    const QColor disabledText = dark ? QColor(0x80, 0x80, 0x84) : QColor(0xa0, 0xa0, 0xa4);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, disabled ? disabledText : text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, dark ? QColor(0x26, 0x26, 0x28) : QColor(0xf6, 0xf6, 0xf7));
        p.setColor(group, QPalette::Text, disabled ? disabledText : text);
        p.setColor(group, QPalette::PlaceholderText, disabledText);
        p.setColor(group, QPalette::Button, button);
        p.setColor(group, QPalette::ButtonText, disabled ? disabledText : text);
        p.setColor(group, QPalette::BrightText, Qt::white);
        p.setColor(group, QPalette::Highlight, disabled ? disabledText : accentColor);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::ToolTipBase, dark ? QColor(0x3a, 0x3a, 0x3c) : QColor(0xff, 0xff, 0xe8));
        p.setColor(group, QPalette::ToolTipText, text);
        p.setColor(group, QPalette::Link, accentColor);
        p.setColor(group, QPalette::LinkVisited, accentColor.darker(120));
        p.setColor(group, QPalette::Light, dark ? QColor(0x4a, 0x4a, 0x4c) : Qt::white);
        p.setColor(group, QPalette::Midlight, dark ? QColor(0x40, 0x40, 0x42) : QColor(0xe6, 0xe6, 0xe8));
        p.setColor(group, QPalette::Mid, dark ? QColor(0x50, 0x50, 0x54) : QColor(0xc4, 0xc4, 0xc8));
        p.setColor(group, QPalette::Dark, dark ? QColor(0x18, 0x18, 0x1a) : QColor(0xa0, 0xa0, 0xa4));
        p.setColor(group, QPalette::Shadow, Qt::black);
    }
    return p;
}

} // namespace

QPalette paletteForColorScheme(const QString &scheme)
{
    if (scheme == QLatin1String("dark"))
        return makePalette(true);
    if (scheme == QLatin1String("light"))
        return makePalette(false);
    return QPalette();
}

QWidget *divider(Qt::Orientation orientation, QWidget *parent)
{
    auto *line = new QWidget(parent);
    if (orientation == Qt::Horizontal)
        line->setFixedHeight(1);
    else
        line->setFixedWidth(1);
    line->setAutoFillBackground(true);
    line->setBackgroundRole(QPalette::Mid);
    return line;
}

} // namespace WindowStyle
