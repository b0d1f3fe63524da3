#include "TolvernAccountID.h"

#include "TolvernJSONValue.h"

#include <QRegularExpression>

bool TolvernAccountID::isWellFormed() const
{
    // \z rather than $: a trailing newline must not slip through.
    static const QRegularExpression pattern(QStringLiteral(
        "\\Ata_[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\z"));
    return pattern.match(raw).hasMatch();
}

TolvernAccountID TolvernAccountID::fromJSON(const TolvernJSONValue &json)
{
    return TolvernAccountID{json.toString()};
}

bool TolvernAccountID::operator==(const TolvernAccountID &other) const
{
    // Canonically equivalent spellings are the same identifier.
    return raw == other.raw
        || raw.normalized(QString::NormalizationForm_C) == other.raw.normalized(QString::NormalizationForm_C);
}

size_t qHash(const TolvernAccountID &id, size_t seed)
{
    return qHash(id.raw.normalized(QString::NormalizationForm_C), seed);
}
