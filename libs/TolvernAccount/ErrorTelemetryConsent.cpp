#include "ErrorTelemetryConsent.h"

#include "ErrorTelemetryFileDefaults.h"

#include <QMutex>

namespace {
QMutex storeLock;
std::shared_ptr<ErrorTelemetryDefaults> store;
} // namespace

void ErrorTelemetryConsent::setDefaults(std::shared_ptr<ErrorTelemetryDefaults> defaults)
{
    QMutexLocker locker(&storeLock);
    store = std::move(defaults);
}

std::shared_ptr<ErrorTelemetryDefaults> ErrorTelemetryConsent::defaults()
{
    QMutexLocker locker(&storeLock);
    if (!store)
        store = std::make_shared<ErrorTelemetryFileDefaults>();
    return store;
}

std::optional<bool> ErrorTelemetryConsent::storedBool(const QString &key)
{
    const QVariant value = defaults()->value(key);
    if (!value.isValid())
        return std::nullopt;
    // Read the way user defaults read booleans: numbers by being non-zero, texts
    // "true"/"yes" (any case) or a non-zero number.
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        return text.toDouble() != 0;
    }
    return value.toBool();
}

bool ErrorTelemetryConsent::isEnabled()
{
    if (const std::optional<bool> enabled = storedBool(Keys::enabled))
        return *enabled;
    return !storedBool(Keys::resolvedIsEU).value_or(false);
}

void ErrorTelemetryConsent::setEnabled(bool enabled)
{
    defaults()->setValue(Keys::enabled, enabled);
}

bool ErrorTelemetryConsent::isSettled()
{
    const std::shared_ptr<ErrorTelemetryDefaults> store = defaults();
    return store->contains(Keys::enabled) || store->contains(Keys::resolvedIsEU);
}

bool ErrorTelemetryConsent::shouldShowOptOutNote()
{
    return !storedBool(Keys::optOutShown).value_or(false);
}

void ErrorTelemetryConsent::markOptOutNoteShown()
{
    defaults()->setValue(Keys::optOutShown, true);
}

bool ErrorTelemetryConsent::shouldShowEUOptIn()
{
    return storedBool(Keys::resolvedIsEU).value_or(false) && !defaults()->contains(Keys::enabled)
        && !storedBool(Keys::euOptInShown).value_or(false);
}

void ErrorTelemetryConsent::markEUOptInShown()
{
    defaults()->setValue(Keys::euOptInShown, true);
}
