#include "SnippetDateFormat.h"

#include <QLocale>

namespace {
QString formatted(const QDateTime &at, QStringView pattern)
{
    // The C locale keeps the digits ASCII and the calendar Gregorian.
    return QLocale::c().toString(at.toLocalTime(), pattern);
}
} // namespace

namespace SnippetDateFormat {

QString date(const QDateTime &at)
{
    return formatted(at, u"yyyy-MM-dd");
}

QString time(const QDateTime &at)
{
    return formatted(at, u"HH:mm");
}

QString datetime(const QDateTime &at)
{
    return formatted(at, u"yyyy-MM-dd HH:mm");
}

} // namespace SnippetDateFormat
