#include "TolvernAccount.h"

#include "TolvernJSONValue.h"
#include "TolvernJSONWriter.h"

TolvernAccount TolvernAccount::fromJSON(const TolvernJSONValue &json)
{
    TolvernAccount account;
    account.tolvernAccountId = TolvernAccountID::fromJSON(json.member(QStringLiteral("tolvern_account_id")));
    account.emailPrimary = json.string(QStringLiteral("email_primary"));
    if (auto list = json.optionalMember(QStringLiteral("providers"))) {
        QList<TolvernProvider> providers;
        for (const TolvernJSONValue &element : list->elements())
            providers.append(TolvernProviders::fromJSON(element));
        account.providers = providers;
    }
    return account;
}

void TolvernAccount::toJSON(TolvernJSONWriter &writer) const
{
    writer.add(QStringLiteral("tolvern_account_id"), tolvernAccountId.raw);
    writer.add(QStringLiteral("email_primary"), emailPrimary);
    if (providers) {
        QStringList raw;
        for (TolvernProvider provider : *providers)
            raw.append(TolvernProviders::rawValue(provider));
        writer.add(QStringLiteral("providers"), raw);
    }
}

bool TolvernAccount::operator==(const TolvernAccount &other) const
{
    return tolvernAccountId == other.tolvernAccountId && emailPrimary == other.emailPrimary
        && providers == other.providers;
}

size_t qHash(const TolvernAccount &account, size_t seed)
{
    size_t hash = qHashMulti(seed, account.tolvernAccountId, account.emailPrimary, account.providers.has_value());
    if (account.providers) {
        for (TolvernProvider provider : *account.providers)
            hash = qHashMulti(hash, int(provider));
    }
    return hash;
}
