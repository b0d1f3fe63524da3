#pragma once

#include <QDateTime>
#include <QString>

// The fixed date and time formats snippet tokens expand to: Gregorian, ASCII digits,
// in the local time zone, whatever the user's locale would write.
namespace SnippetDateFormat {

// "yyyy-MM-dd"
QString date(const QDateTime &at);
// "HH:mm"
QString time(const QDateTime &at);
// "yyyy-MM-dd HH:mm"
QString datetime(const QDateTime &at);

} // namespace SnippetDateFormat
