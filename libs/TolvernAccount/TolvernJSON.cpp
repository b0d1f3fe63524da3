#include "TolvernJSON.h"

#include "TolvernDecodingError.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTime>
#include <QTimeZone>

namespace TolvernJSON {

TolvernJSONValue parse(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        throw TolvernDecodingError(TolvernDecodingError::Kind::dataCorrupted, {},
                                   QStringLiteral("The given data was not valid JSON."));
    return TolvernJSONValue(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), {});
}

QString formatDate(const QDateTime &date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

namespace {
// Reads exactly `count` ASCII digits at `pos`.
bool digits(const QString &text, qsizetype &pos, int count, int &value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(pos + i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
    }
    pos += count;
    return true;
}

bool expect(const QString &text, qsizetype &pos, char c)
{
    if (pos >= text.size() || text.at(pos) != QLatin1Char(c))
        return false;
    ++pos;
    return true;
}
} // namespace

std::optional<QDateTime> parseDate(const QString &text, FractionalSeconds fraction)
{
    qsizetype pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(text, pos, 4, year) || !expect(text, pos, '-') || !digits(text, pos, 2, month)
        || !expect(text, pos, '-') || !digits(text, pos, 2, day) || !expect(text, pos, 'T')
        || !digits(text, pos, 2, hour) || !expect(text, pos, ':') || !digits(text, pos, 2, minute)
        || !expect(text, pos, ':') || !digits(text, pos, 2, second))
        return std::nullopt;

    int millis = 0;
    if (fraction == FractionalSeconds::required) {
        if (!expect(text, pos, '.'))
            return std::nullopt;
        int count = 0;
        while (pos < text.size() && text.at(pos) >= QLatin1Char('0') && text.at(pos) <= QLatin1Char('9')) {
            // Digits past the millisecond are read and dropped.
            if (count < 3)
                millis = millis * 10 + (text.at(pos).unicode() - '0');
            ++count;
            ++pos;
        }
        if (count == 0)
            return std::nullopt;
        for (int i = count; i < 3; ++i)
            millis *= 10;
    }

    int offsetSeconds = 0;
    if (expect(text, pos, 'Z')) {
        offsetSeconds = 0;
    } else if (pos < text.size() && (text.at(pos) == QLatin1Char('+') || text.at(pos) == QLatin1Char('-'))) {
        const int sign = text.at(pos) == QLatin1Char('-') ? -1 : 1;
        ++pos;
        int offsetHours = 0, offsetMinutes = 0;
        if (!digits(text, pos, 2, offsetHours) || !expect(text, pos, ':') || !digits(text, pos, 2, offsetMinutes)
            || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        return std::nullopt;
    }
    if (pos != text.size())
        return std::nullopt;

    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millis);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
}

} // namespace TolvernJSON
