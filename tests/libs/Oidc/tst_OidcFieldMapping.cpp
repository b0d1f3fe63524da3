#include "OidcFieldMapping.h"

#include <QDateTime>
#include <QTest>
#include <QUrl>

namespace {
const OidcFieldMapping::Map &fields()
{
    static const OidcFieldMapping::Map map = {
        {QStringLiteral("code"), OidcFieldMapping(QStringLiteral("authorizationCode"), OidcFieldMapping::Type::String)},
        {QStringLiteral("expires_in"), OidcFieldMapping(QStringLiteral("accessTokenExpirationDate"),
                                                        OidcFieldMapping::Type::Date,
                                                        OidcFieldMapping::dateSinceNowConversion)},
        {QStringLiteral("iat"), OidcFieldMapping(QStringLiteral("issuedAt"), OidcFieldMapping::Type::Date,
                                                 OidcFieldMapping::dateEpochConversion)},
        {QStringLiteral("jwks_uri"), OidcFieldMapping(QStringLiteral("jwksURL"), OidcFieldMapping::Type::URL,
                                                      OidcFieldMapping::URLConversion)},
    };
    return map;
}
} // namespace

class tst_OidcFieldMapping : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mappedValuesFillFieldsOthersRemain()
    {
        const QDateTime before = QDateTime::currentDateTimeUtc();
        QVariantMap instance;
        const QVariantMap remaining = OidcFieldMapping::remainingParameters(
            fields(),
            {{"code", "c0de"}, {"expires_in", 3600.9}, {"iat", 86400}, {"jwks_uri", "https://id.example/jwks"},
             {"unknown", "u"}},
            instance);
        QCOMPARE(instance.value("authorizationCode").toString(), QStringLiteral("c0de"));
        const QDateTime expiry = instance.value("accessTokenExpirationDate").toDateTime();
        QVERIFY(expiry >= before.addSecs(3600) && expiry <= QDateTime::currentDateTimeUtc().addSecs(3600));
        QCOMPARE(instance.value("issuedAt").toDateTime(), QDateTime::fromSecsSinceEpoch(86400, Qt::UTC));
        QCOMPARE(instance.value("jwksURL").toUrl(), QUrl("https://id.example/jwks"));
        QCOMPARE(remaining, (QVariantMap{{"unknown", "u"}}));
    }

    // A redirect's values are strings: a mapped one of another type is no error, it
    // lands among the remaining parameters.
    void wrongTypesLandAmongTheRemaining()
    {
        QVariantMap instance;
        const QVariantMap remaining =
            OidcFieldMapping::remainingParameters(fields(), {{"code", 42}, {"expires_in", "3600"}}, instance);
        QVERIFY(instance.isEmpty());
        QCOMPARE(remaining, (QVariantMap{{"code", 42}, {"expires_in", "3600"}}));
    }

    void archivesRoundTrip()
    {
        QVariantMap instance{{"authorizationCode", "c0de"},
                             {"accessTokenExpirationDate", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
                             {"jwksURL", QUrl("https://id.example/jwks?x=a%2Bb")}};
        QJsonObject archive;
        OidcFieldMapping::encode(archive, fields(), instance);
        QVariantMap decoded;
        OidcFieldMapping::decode(archive, fields(), decoded);
        QCOMPARE(decoded, instance);
    }
};

QTEST_GUILESS_MAIN(tst_OidcFieldMapping)
#include "tst_OidcFieldMapping.moc"
