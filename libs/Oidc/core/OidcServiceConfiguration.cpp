#include "OidcServiceConfiguration.h"

#include <QJsonDocument>

namespace {
std::optional<QUrl> present(const QUrl &url)
{
    return url.isEmpty() ? std::nullopt : std::optional<QUrl>(url);
}

QString text(const std::optional<QUrl> &url)
{
    return url ? url->toString(QUrl::FullyEncoded) : QStringLiteral("(null)");
}

std::optional<QUrl> readURL(const QJsonObject &archive, const QString &key)
{
    const QJsonValue value = archive.value(key);
    if (!value.isString())
        return std::nullopt;
    return QUrl(value.toString(), QUrl::StrictMode);
}
} // namespace

OidcServiceConfiguration::OidcServiceConfiguration(const QUrl &authorizationEndpoint, const QUrl &tokenEndpoint,
                                                   const std::optional<QUrl> &issuer,
                                                   const std::optional<QUrl> &registrationEndpoint,
                                                   const std::optional<QUrl> &endSessionEndpoint,
                                                   const std::optional<OidcServiceDiscovery> &discoveryDocument)
    : m_authorizationEndpoint(authorizationEndpoint)
    , m_tokenEndpoint(tokenEndpoint)
    , m_issuer(issuer)
    , m_registrationEndpoint(registrationEndpoint)
    , m_endSessionEndpoint(endSessionEndpoint)
    , m_discoveryDocument(discoveryDocument)
{
}

OidcServiceConfiguration::OidcServiceConfiguration(const OidcServiceDiscovery &document)
    : OidcServiceConfiguration(document.authorizationEndpoint(), document.tokenEndpoint(), present(document.issuer()),
                               present(document.registrationEndpoint()), present(document.endSessionEndpoint()),
                               document)
{
}

QString OidcServiceConfiguration::description() const
{
    const QString document = m_discoveryDocument
        ? QString::fromUtf8(QJsonDocument(m_discoveryDocument->discoveryDictionary()).toJson(QJsonDocument::Compact))
        : QStringLiteral("(null)");
    return QStringLiteral("OidcServiceConfiguration authorizationEndpoint: %1, tokenEndpoint: %2, "
                          "registrationEndpoint: %3, endSessionEndpoint: %4, discoveryDocument: [%5]")
        .arg(m_authorizationEndpoint.toString(QUrl::FullyEncoded), m_tokenEndpoint.toString(QUrl::FullyEncoded),
             text(m_registrationEndpoint), text(m_endSessionEndpoint), document);
}

QJsonObject OidcServiceConfiguration::archive() const
{
    QJsonObject archive{{QStringLiteral("authorizationEndpoint"), m_authorizationEndpoint.toString(QUrl::FullyEncoded)},
                        {QStringLiteral("tokenEndpoint"), m_tokenEndpoint.toString(QUrl::FullyEncoded)}};
    if (m_issuer)
        archive.insert(QStringLiteral("issuer"), m_issuer->toString(QUrl::FullyEncoded));
    if (m_registrationEndpoint)
        archive.insert(QStringLiteral("registrationEndpoint"), m_registrationEndpoint->toString(QUrl::FullyEncoded));
    if (m_endSessionEndpoint)
        archive.insert(QStringLiteral("endSessionEndpoint"), m_endSessionEndpoint->toString(QUrl::FullyEncoded));
    if (m_discoveryDocument)
        archive.insert(QStringLiteral("discoveryDocument"), m_discoveryDocument->archive());
    return archive;
}

std::optional<OidcServiceConfiguration> OidcServiceConfiguration::fromArchive(const QJsonObject &archive)
{
    const std::optional<QUrl> authorization = readURL(archive, QStringLiteral("authorizationEndpoint"));
    const std::optional<QUrl> token = readURL(archive, QStringLiteral("tokenEndpoint"));
    if (!authorization || !token)
        return std::nullopt;
    std::optional<OidcServiceDiscovery> document;
    const QJsonValue kept = archive.value(QStringLiteral("discoveryDocument"));
    if (kept.isObject())
        document = OidcServiceDiscovery::fromArchive(kept.toObject());
    return OidcServiceConfiguration(*authorization, *token, readURL(archive, QStringLiteral("issuer")),
                                    readURL(archive, QStringLiteral("registrationEndpoint")),
                                    readURL(archive, QStringLiteral("endSessionEndpoint")), document);
}
