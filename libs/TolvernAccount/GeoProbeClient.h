#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

// Asks the identity service once per launch whether this user is in the EU and
// caches the answer beside the consent flags.
class GeoProbeClient
{
public:
    static inline const QString userDefaultsKey = QStringLiteral("tolvern.error_telemetry_eu_region");

    static std::optional<bool> cachedIsEU();
    // GET identityURL + "api/geo"; the body decides whatever the status. Answers the
    // region, or false (storing nothing) on a transport error or a body without a
    // boolean "eu". Runs on the thread of `network`.
    static QCoro::Task<bool> probe(QNetworkAccessManager *network, QUrl identityURL);
};
