#pragma once

#include "OidcError.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

#include <optional>

// An OpenID Connect discovery document, checked for the fields the client needs.
// Every property reads the kept JSON object on demand.
class OidcServiceDiscovery
{
public:
    // Parses and checks; none (and the error, when asked for) when it fails.
    static std::optional<OidcServiceDiscovery> fromJSON(const QString &json, OidcError *error = nullptr);
    static std::optional<OidcServiceDiscovery> fromJSONData(const QByteArray &data, OidcError *error = nullptr);
    static std::optional<OidcServiceDiscovery> fromDictionary(const QJsonObject &dictionary, OidcError *error = nullptr);
    static bool dictionaryHasRequiredFields(const QJsonObject &dictionary, OidcError *error = nullptr);

    QJsonObject discoveryDictionary() const { return m_dictionary; }

    QUrl issuer() const { return url("issuer"); }
    QUrl authorizationEndpoint() const { return url("authorization_endpoint"); }
    QUrl deviceAuthorizationEndpoint() const { return url("device_authorization_endpoint"); }
    QUrl tokenEndpoint() const { return url("token_endpoint"); }
    QUrl userinfoEndpoint() const { return url("userinfo_endpoint"); }
    QUrl jwksURL() const { return url("jwks_uri"); }
    QUrl registrationEndpoint() const { return url("registration_endpoint"); }
    QUrl endSessionEndpoint() const { return url("end_session_endpoint"); }
    QUrl serviceDocumentation() const { return url("service_documentation"); }
    QUrl OPPolicyURI() const { return url("op_policy_uri"); }
    QUrl OPTosURI() const { return url("op_tos_uri"); }

    QJsonValue scopesSupported() const { return raw("scopes_supported"); }
    QJsonValue responseTypesSupported() const { return raw("response_types_supported"); }
    QJsonValue responseModesSupported() const { return raw("response_modes_supported"); }
    QJsonValue grantTypesSupported() const { return raw("grant_types_supported"); }
    QJsonValue acrValuesSupported() const { return raw("acr_values_supported"); }
    QJsonValue subjectTypesSupported() const { return raw("subject_types_supported"); }
    QJsonValue IDTokenSigningAlgorithmValuesSupported() const { return raw("id_token_signing_alg_values_supported"); }
    QJsonValue IDTokenEncryptionAlgorithmValuesSupported() const { return raw("id_token_encryption_alg_values_supported"); }
    QJsonValue IDTokenEncryptionEncodingValuesSupported() const { return raw("id_token_encryption_enc_values_supported"); }
    QJsonValue userinfoSigningAlgorithmValuesSupported() const { return raw("userinfo_signing_alg_values_supported"); }
    QJsonValue userinfoEncryptionAlgorithmValuesSupported() const { return raw("userinfo_encryption_alg_values_supported"); }
    QJsonValue userinfoEncryptionEncodingValuesSupported() const { return raw("userinfo_encryption_enc_values_supported"); }
    QJsonValue requestObjectSigningAlgorithmValuesSupported() const { return raw("request_object_signing_alg_values_supported"); }
    QJsonValue requestObjectEncryptionAlgorithmValuesSupported() const { return raw("request_object_encryption_alg_values_supported"); }
    QJsonValue requestObjectEncryptionEncodingValuesSupported() const { return raw("request_object_encryption_enc_values_supported"); }
    QJsonValue tokenEndpointAuthMethodsSupported() const { return raw("token_endpoint_auth_methods_supported"); }
    QJsonValue tokenEndpointAuthSigningAlgorithmValuesSupported() const { return raw("token_endpoint_auth_signing_alg_values_supported"); }
    QJsonValue displayValuesSupported() const { return raw("display_values_supported"); }
    QJsonValue claimTypesSupported() const { return raw("claim_types_supported"); }
    QJsonValue claimsSupported() const { return raw("claims_supported"); }
    QJsonValue claimsLocalesSupported() const { return raw("claims_locales_supported"); }
    QJsonValue UILocalesSupported() const { return raw("ui_locales_supported"); }

    bool claimsParameterSupported() const { return flag("claims_parameter_supported", false); }
    bool requestParameterSupported() const { return flag("request_parameter_supported", false); }
    bool requestURIParameterSupported() const { return flag("request_uri_parameter_supported", true); }
    bool requireRequestURIRegistration() const { return flag("require_request_uri_registration", false); }

    // The keyed archive: the document under "discoveryDictionary" and its members at
    // the top level too; reading takes either form.
    QJsonObject archive() const;
    static std::optional<OidcServiceDiscovery> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcServiceDiscovery &other) const { return m_dictionary == other.m_dictionary; }

private:
    explicit OidcServiceDiscovery(const QJsonObject &dictionary);
    QUrl url(const char *key) const;
    QJsonValue raw(const char *key) const { return m_dictionary.value(QLatin1String(key)); }
    bool flag(const char *key, bool absent) const;

    QJsonObject m_dictionary;
};
