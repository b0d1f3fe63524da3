#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdint>

typedef struct _GError GError;

// Items of the desktop's Secret Service, found by their string attributes. The
// library's items may carry the attributes "service", "account", "access_group",
// "application_tag" and "key_class"; an item's secret is raw bytes.
//
// Every call answers a status in the numbering the library reports:
// 0 success, -25300 no such item, -25291 no Secret Service reachable, -25308 the
// collection is locked or unlocking it was refused, -25293 any other failure.
namespace SecretServiceItems {

using Attributes = QMap<QString, QString>;

inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t itemNotFound = -25300;
inline constexpr std::int32_t notAvailable = -25291;
inline constexpr std::int32_t interactionNotAllowed = -25308;
inline constexpr std::int32_t otherFailure = -25293;

// Creates the item, or replaces the one whose attributes are the same: one call.
std::int32_t store(const Attributes &attributes, const QString &label, const QByteArray &secret);

struct Lookup
{
    std::int32_t status = itemNotFound;
    QByteArray secret;
};
// The secret of an item carrying at least these attributes.
Lookup lookup(const Attributes &attributes);

// Removes every item carrying these attributes; itemNotFound when there was none.
std::int32_t clear(const Attributes &attributes);

// The status of a libsecret or D-Bus failure.
std::int32_t statusFor(const GError *error);

} // namespace SecretServiceItems
