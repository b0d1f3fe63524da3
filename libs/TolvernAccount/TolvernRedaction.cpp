#include "TolvernRedaction.h"

#include "TolvernError.h"

#include <QTextBoundaryFinder>

#include <cxxabi.h>
#include <cstdlib>
#include <typeinfo>

namespace TolvernRedaction {

QString rawValue(Classification classification)
{
    switch (classification) {
    case Classification::transport: return QStringLiteral("transport");
    case Classification::server: return QStringLiteral("server");
    case Classification::auth: return QStringLiteral("auth");
    case Classification::decode: return QStringLiteral("decode");
    case Classification::cancelled: return QStringLiteral("cancelled");
    case Classification::timeout: return QStringLiteral("timeout");
    case Classification::clientKilled: return QStringLiteral("clientKilled");
    case Classification::requiresUpgrade: return QStringLiteral("requiresUpgrade");
    }
    return QString();
}

QString endpoint(const QString &text)
{
    // A "?" carrying a combining mark is another character, not a query start.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end < 0)
            end = text.size();
        if (end - start == 1 && (text.at(start) == QLatin1Char('?') || text.at(start) == QLatin1Char('#')))
            return text.left(start);
        start = end;
    }
    return text;
}

TolvernLogFields decodeFailure(const QString &endpointText, const std::optional<QString> &field)
{
    TolvernLogFields fields{{QStringLiteral("endpoint"), endpoint(endpointText)},
                            {QStringLiteral("class"), rawValue(Classification::decode)}};
    if (field)
        fields.insert(QStringLiteral("field"), *field);
    return fields;
}

TolvernLogFields transportFailure(const QString &endpointText, QNetworkReply::NetworkError error)
{
    const QString code = QString::number(int(error));
    return {{QStringLiteral("endpoint"), endpoint(endpointText)},
            {QStringLiteral("class"), rawValue(Classification::transport)},
            {QStringLiteral("error_domain"), QStringLiteral("QNetworkReply")},
            {QStringLiteral("error_code"), code},
            {QStringLiteral("url_error"), code}};
}

namespace {
QString typeName(const std::exception &error)
{
    const char *mangled = typeid(error).name();
    int status = 0;
    char *demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && demangled ? demangled : mangled);
    std::free(demangled);
    return name;
}
} // namespace

TolvernLogFields transportFailure(const QString &endpointText, const std::exception &error)
{
    // The library's own error reports its case number; other errors have none.
    int code = 1;
    if (const auto *tolvern = dynamic_cast<const TolvernError *>(&error))
        code = int(tolvern->kind());
    return {{QStringLiteral("endpoint"), endpoint(endpointText)},
            {QStringLiteral("class"), rawValue(Classification::transport)},
            {QStringLiteral("error_domain"), typeName(error)},
            {QStringLiteral("error_code"), QString::number(code)}};
}

} // namespace TolvernRedaction
