#include "TolvernDeprecationNotice.h"

#include <cstring>

TolvernDeprecationNotice TolvernDeprecationNotice::endpoint(std::optional<QUrl> replacement,
                                                            std::optional<QDateTime> expires,
                                                            std::optional<QString> reason)
{
    TolvernDeprecationNotice notice;
    notice.kind = Case::endpoint;
    notice.replacement = std::move(replacement);
    notice.expires = std::move(expires);
    notice.reason = std::move(reason);
    return notice;
}

TolvernDeprecationNotice TolvernDeprecationNotice::client(const QString &minVersion,
                                                          std::optional<QString> currentVersion,
                                                          std::optional<QString> reason)
{
    TolvernDeprecationNotice notice;
    notice.kind = Case::client;
    notice.minVersion = minVersion;
    notice.currentVersion = std::move(currentVersion);
    notice.reason = std::move(reason);
    return notice;
}

bool TolvernDeprecationNotice::operator==(const TolvernDeprecationNotice &other) const
{
    return kind == other.kind && replacement == other.replacement && expires == other.expires
        && minVersion == other.minVersion && currentVersion == other.currentVersion && reason == other.reason;
}

char *toString(const TolvernDeprecationNotice &notice)
{
    auto text = [](const std::optional<QString> &value) { return value ? *value : QStringLiteral("nil"); };
    QString out;
    if (notice.kind == TolvernDeprecationNotice::Case::endpoint) {
        out = QStringLiteral("endpoint(replacement: %1, expires: %2, reason: %3)")
                  .arg(notice.replacement ? notice.replacement->toString() : QStringLiteral("nil"),
                       notice.expires ? notice.expires->toString(Qt::ISODateWithMs) : QStringLiteral("nil"),
                       text(notice.reason));
    } else {
        out = QStringLiteral("client(minVersion: %1, currentVersion: %2, reason: %3)")
                  .arg(notice.minVersion, text(notice.currentVersion), text(notice.reason));
    }
    const QByteArray utf8 = out.toUtf8();
    char *copy = new char[size_t(utf8.size()) + 1];
    std::memcpy(copy, utf8.constData(), size_t(utf8.size()) + 1);
    return copy;
}
