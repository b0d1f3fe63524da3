#pragma once

#include <QColor>

// Light or dark rendering of the sign-in views, with the accent colour. It also holds
// the one palette the provider buttons and the sign-in screen share: fixed sRGB
// colours, never the system's, so the views look the same on every desktop theme.
class TolvernProviderButtonStyle
{
public:
    enum class Kind { light, dark };

    static TolvernProviderButtonStyle light(const QColor &accent);
    static TolvernProviderButtonStyle dark(const QColor &accent);

    Kind kind() const { return m_kind; }
    bool isDark() const { return m_kind == Kind::dark; }
    QColor accent() const { return m_accent; }

    QColor titleColor() const;
    QColor secondaryColor() const;
    QColor errorColor() const;
    QColor onAccentColor() const;

    QColor appleText() const;
    QColor appleBackground() const;
    QColor googleText() const;
    QColor googleBackground() const;
    QColor googleBorder() const;
    QColor emailText() const { return onAccentColor(); }
    QColor emailBackground() const { return m_accent; }
    // The cancel button's colour before its 0.65 opacity.
    QColor cancelText() const;

    bool operator==(const TolvernProviderButtonStyle &other) const
    {
        return m_kind == other.m_kind && m_accent == other.m_accent;
    }

private:
    TolvernProviderButtonStyle(Kind kind, const QColor &accent) : m_kind(kind), m_accent(accent) {}

    Kind m_kind;
    QColor m_accent;
};
