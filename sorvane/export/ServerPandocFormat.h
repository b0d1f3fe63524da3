#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// A conversion the export service offers. The raw value is what the request sends as
// "to"; the cases are listed in the order the export submenu shows them.
class ServerPandocFormat
{
public:
    enum Value { Docx, Epub, Latex, Revealjs };

    constexpr ServerPandocFormat(Value value)
        : m_value(value)
    {
    }

    static QList<ServerPandocFormat> allCases();
    // Exactly one of the four raw values, else none.
    static std::optional<ServerPandocFormat> fromRawValue(const QString &rawValue);

    Value value() const { return m_value; }
    QString rawValue() const;
    // Without the dot.
    QString fileExtension() const;
    // The export submenu's title.
    QString menuTitle() const;

    friend bool operator==(ServerPandocFormat a, ServerPandocFormat b) { return a.m_value == b.m_value; }
    friend size_t qHash(ServerPandocFormat format, size_t seed = 0) { return ::qHash(int(format.m_value), seed); }

private:
    Value m_value;
};
