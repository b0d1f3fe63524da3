#pragma once

#include <QVariantMap>

#include <optional>

// The application's build-time facts, keyed as the update feed and the About window
// read them: "CFBundleShortVersionString" (the version), "CFBundleVersion" (the build
// number), "SUFeedURL" and "SUPublicEDKey" (the update feed and its signing key).
// A key the build left empty is absent. Tests replace the whole map.
class BundleInfo
{
public:
    static QVariantMap info();
    // Replaces the map until called again with nullopt (the built one comes back).
    static void setInfoForTesting(std::optional<QVariantMap> info);
    // The value under `key` when it is a string, else nullopt.
    static std::optional<QString> string(const QString &key);
};
