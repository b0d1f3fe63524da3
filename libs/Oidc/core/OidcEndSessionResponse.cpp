#include "OidcEndSessionResponse.h"

#include "OidcTokenUtilities.h"

#include <QJsonDocument>

OidcEndSessionResponse::OidcEndSessionResponse(const OidcEndSessionRequest &request, const QVariantMap &parameters)
    : m_request(request)
    , m_additionalParameters(parameters)
{
    const QVariant state = m_additionalParameters.take(QStringLiteral("state"));
    if (state.typeId() == QMetaType::QString)
        m_state = state.toString();
    else if (state.isValid())
        m_additionalParameters.insert(QStringLiteral("state"), state);
}

QString OidcEndSessionResponse::description() const
{
    return QStringLiteral("<OidcEndSessionResponse: 0x%1, state: \"%2\", additionalParameters: %3, request: %4>")
        .arg(QString::number(quintptr(this), 16),
             OidcTokenUtilities::redact(m_state).value_or(QStringLiteral("(null)")),
             QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(m_additionalParameters))
                                   .toJson(QJsonDocument::Compact)),
             m_request.description());
}

QJsonObject OidcEndSessionResponse::archive() const
{
    QJsonObject archive{{QStringLiteral("request"), m_request.archive()},
                        {QStringLiteral("additionalParameters"), QJsonObject::fromVariantMap(m_additionalParameters)}};
    if (m_state)
        archive.insert(QStringLiteral("state"), *m_state);
    return archive;
}

std::optional<OidcEndSessionResponse> OidcEndSessionResponse::fromArchive(const QJsonObject &archive)
{
    const auto request = OidcEndSessionRequest::fromArchive(archive.value(QStringLiteral("request")).toObject());
    if (!request)
        return std::nullopt;
    QVariantMap parameters = archive.value(QStringLiteral("additionalParameters")).toObject().toVariantMap();
    const QJsonValue state = archive.value(QStringLiteral("state"));
    if (state.isString())
        parameters.insert(QStringLiteral("state"), state.toString());
    return OidcEndSessionResponse(*request, parameters);
}
