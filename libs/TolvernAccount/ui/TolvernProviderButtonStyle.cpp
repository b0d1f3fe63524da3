#include "TolvernProviderButtonStyle.h"

namespace {
QColor rgb(double r, double g, double b, double a = 1.0)
{
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}
} // namespace

TolvernProviderButtonStyle TolvernProviderButtonStyle::light(const QColor &accent)
{
    return TolvernProviderButtonStyle(Kind::light, accent);
}

TolvernProviderButtonStyle TolvernProviderButtonStyle::dark(const QColor &accent)
{
    return TolvernProviderButtonStyle(Kind::dark, accent);
}

QColor TolvernProviderButtonStyle::titleColor() const
{
    return isDark() ? rgb(0.96, 0.95, 1.0) : rgb(0.1, 0.1, 0.12);
}

QColor TolvernProviderButtonStyle::secondaryColor() const
{
    return isDark() ? rgb(1, 1, 1, 0.6) : rgb(0.1, 0.1, 0.12, 0.6);
}

QColor TolvernProviderButtonStyle::errorColor() const
{
    return isDark() ? rgb(1.0, 0.45, 0.42) : rgb(0.75, 0.18, 0.16);
}

QColor TolvernProviderButtonStyle::onAccentColor() const
{
    return isDark() ? rgb(1, 1, 1) : rgb(0.12, 0.1, 0.08);
}

QColor TolvernProviderButtonStyle::appleText() const
{
    return isDark() ? QColor(Qt::black) : QColor(Qt::white);
}

QColor TolvernProviderButtonStyle::appleBackground() const
{
    return isDark() ? QColor(Qt::white) : QColor(Qt::black);
}

QColor TolvernProviderButtonStyle::googleText() const
{
    return isDark() ? rgb(0.89, 0.89, 0.89) : rgb(0.12, 0.12, 0.13);
}

QColor TolvernProviderButtonStyle::googleBackground() const
{
    return isDark() ? rgb(0.075, 0.075, 0.08) : QColor(Qt::white);
}

QColor TolvernProviderButtonStyle::googleBorder() const
{
    return isDark() ? rgb(0.235, 0.251, 0.263) : rgb(0.86, 0.87, 0.88);
}

QColor TolvernProviderButtonStyle::cancelText() const
{
    return isDark() ? QColor(Qt::white) : rgb(0.12, 0.12, 0.13);
}
