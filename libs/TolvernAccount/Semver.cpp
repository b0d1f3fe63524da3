#include "Semver.h"

#include <QList>
#include <QStringList>

namespace Semver {

namespace {
qlonglong component(const QString &piece)
{
    // A sign, then digits only; anything else (spaces included) counts as 0.
    qsizetype start = 0;
    if (!piece.isEmpty() && (piece.at(0) == QLatin1Char('+') || piece.at(0) == QLatin1Char('-')))
        start = 1;
    if (start == piece.size())
        return 0;
    for (qsizetype i = start; i < piece.size(); ++i) {
        if (piece.at(i) < QLatin1Char('0') || piece.at(i) > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const qlonglong value = piece.toLongLong(&ok);
    return ok ? value : 0;
}

QList<qlonglong> components(const QString &version)
{
    QList<qlonglong> numbers;
    for (const QString &piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts))
        numbers.append(component(piece));
    return numbers;
}
} // namespace

int compare(const QString &a, const QString &b)
{
    const QList<qlonglong> left = components(a);
    const QList<qlonglong> right = components(b);
    const qsizetype length = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < length; ++i) {
        const qlonglong x = left.value(i, 0);
        const qlonglong y = right.value(i, 0);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

} // namespace Semver
