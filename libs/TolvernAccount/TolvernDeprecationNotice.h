#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

// One notice of the identity service's deprecation header: an endpoint that is
// retired (or will be), or a client version below the supported minimum.
struct TolvernDeprecationNotice
{
    enum class Case { endpoint, client };

    static TolvernDeprecationNotice endpoint(std::optional<QUrl> replacement, std::optional<QDateTime> expires,
                                             std::optional<QString> reason);
    static TolvernDeprecationNotice client(const QString &minVersion, std::optional<QString> currentVersion,
                                           std::optional<QString> reason);

    Case kind = Case::endpoint;
    // endpoint
    std::optional<QUrl> replacement;
    std::optional<QDateTime> expires;
    // client
    QString minVersion;
    std::optional<QString> currentVersion;
    // both
    std::optional<QString> reason;

    bool operator==(const TolvernDeprecationNotice &other) const;
    bool operator!=(const TolvernDeprecationNotice &other) const { return !(*this == other); }
};

char *toString(const TolvernDeprecationNotice &notice);
