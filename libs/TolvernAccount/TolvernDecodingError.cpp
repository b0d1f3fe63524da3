#include "TolvernDecodingError.h"

TolvernDecodingError::TolvernDecodingError(Kind kind, QStringList codingPath, QString debugDescription)
    : m_kind(kind)
    , m_codingPath(std::move(codingPath))
    , m_description(std::move(debugDescription))
    , m_what((m_codingPath.join(QLatin1Char('.')) + QStringLiteral(": ") + m_description).toUtf8())
{
}
