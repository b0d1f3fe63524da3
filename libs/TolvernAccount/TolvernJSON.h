#pragma once

#include "TolvernJSONValue.h"
#include "TolvernJSONWriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The library's JSON coding, shared by identity-service replies, request bodies and
// the stored session. Records provide `static T fromJSON(const TolvernJSONValue &)`
// and `void toJSON(TolvernJSONWriter &) const`. Dates are ISO 8601 internet
// date-times: written in UTC with three fractional digits and "Z", read with or
// without fractional seconds; anything looser (a bare date, no zone) is refused.
namespace TolvernJSON {

// The document's top-level value; bytes that are not JSON are a data-corrupted error.
TolvernJSONValue parse(const QByteArray &data);

template<class T>
T decode(const QByteArray &data)
{
    return T::fromJSON(parse(data));
}

template<class T>
QByteArray encode(const T &value)
{
    TolvernJSONWriter writer;
    value.toJSON(writer);
    return writer.data();
}

QString formatDate(const QDateTime &date);

enum class FractionalSeconds { none, required };
// "yyyy-MM-ddTHH:mm:ss" with, or without, ".fraction", then "Z" or "±hh:mm".
std::optional<QDateTime> parseDate(const QString &text, FractionalSeconds fraction);

} // namespace TolvernJSON
