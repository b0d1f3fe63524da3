#include "TolvernDeprecationParser.h"

#include "HTTPResponse.h"
#include "TolvernJSON.h"

#include <QHash>
#include <QTimeZone>

namespace TolvernDeprecationParser {

namespace {
bool isURLCharacter(QChar c)
{
    static const QString allowed = QStringLiteral("-._~:/?#[]@!$&'()*+,;=%");
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || allowed.contains(c);
}

std::optional<QUrl> parseURL(const QString &text)
{
    // Only text that is a URL as written: a quoted or spaced value is not one.
    for (const QChar c : text) {
        if (!isURLCharacter(c))
            return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QDateTime> parseISO8601(const QString &text)
{
    if (auto instant = TolvernJSON::parseDate(text, TolvernJSON::FractionalSeconds::none))
        return instant;
    // A plain day means midnight UTC of that day.
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid() && day.toString(QStringLiteral("yyyy-MM-dd")) == text)
        return QDateTime(day, QTime(0, 0), QTimeZone::utc());
    return std::nullopt;
}

std::optional<TolvernDeprecationNotice> parseSingle(const QString &text)
{
    QStringList pieces;
    for (const QString &piece : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = piece.trimmed();
        // Only empty pieces are dropped before trimming; a blank one trims to empty.
        pieces.append(trimmed);
    }
    if (pieces.isEmpty())
        return std::nullopt;

    const QString kind = pieces.first().toLower();
    QHash<QString, QString> parameters;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        // At most two parts: an "=" at the very start is skipped, later ones stay in the value.
        qsizetype start = 0;
        while (start < piece.size() && piece.at(start) == QLatin1Char('='))
            ++start;
        const qsizetype equals = piece.indexOf(QLatin1Char('='), start);
        if (equals < 0)
            continue;
        const QString value = piece.mid(equals + 1).trimmed();
        if (equals + 1 == piece.size())
            continue;
        const QString name = piece.mid(start, equals - start).trimmed();
        parameters.insert(name.toLower(), value);
    }

    auto parameter = [&parameters](const char *name) -> std::optional<QString> {
        const auto found = parameters.constFind(QLatin1String(name));
        if (found == parameters.constEnd())
            return std::nullopt;
        return found.value();
    };

    if (kind == QLatin1String("endpoint")) {
        std::optional<QUrl> replacement;
        if (auto text = parameter("replacement"))
            replacement = parseURL(*text);
        std::optional<QDateTime> expires;
        if (auto text = parameter("expires"))
            expires = parseISO8601(*text);
        return TolvernDeprecationNotice::endpoint(replacement, expires, parameter("reason"));
    }
    if (kind == QLatin1String("client")) {
        const auto minVersion = parameter("min-version");
        if (!minVersion)
            return std::nullopt;
        return TolvernDeprecationNotice::client(*minVersion, parameter("current"), parameter("reason"));
    }
    return std::nullopt;
}
} // namespace

QList<TolvernDeprecationNotice> parse(const QString &headerValue)
{
    QList<TolvernDeprecationNotice> notices;
    for (const QString &piece : headerValue.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (auto notice = parseSingle(piece.trimmed()))
            notices.append(*notice);
    }
    return notices;
}

QList<TolvernDeprecationNotice> notices(const HTTPResponse &response)
{
    const auto value = response.value(QByteArrayLiteral("Tolvern-Deprecation"));
    if (!value)
        return {};
    return parse(QString::fromUtf8(*value));
}

} // namespace TolvernDeprecationParser
