#pragma once

#include "Result.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>

// One release offered by the update feed.
struct AppcastItem {
    QString title;
    // Compared with the running version; versionText is how the feed wrote it.
    QVersionNumber version;
    QString versionText;
    // What the user is shown; the version text when the feed gives none.
    QString shortVersion;
    // Empty: the default channel, offered to everyone.
    QString channel;
    // The update file, resolved against the feed's address.
    QUrl enclosureUrl;
    // Announced size in bytes; -1 when missing or not a number.
    qint64 length = -1;
    // Base64 Ed25519 signature of the update file; empty when missing.
    QString signature;
    // Plain text, shown as written: markup in it is never interpreted.
    QString releaseNotes;
};

// Reads the update feed: an RSS 2.0 document whose items carry our own elements and
// attributes in the namespace below (any prefix may be bound to it):
//
//   <rss version="2.0" xmlns:sorvane="urn:dev.tolvern.sorvane:appcast:1">
//     <channel>
//       <item>
//         <title>sorv.ane 1.2.0</title>
//         <sorvane:version>1.2.0</sorvane:version>         required, dotted numbers
//         <sorvane:shortVersion>1.2</sorvane:shortVersion> optional, shown to the user
//         <sorvane:channel>beta</sorvane:channel>          optional; absent: everyone
//         <description>What changed, as plain text.</description>
//         <enclosure url="https://example.org/sorvane-1.2.0.tar.gz" length="123456"
//                    type="application/octet-stream" sorvane:edSignature="base64"/>
//       </item>
//     </channel>
//   </rss>
//
// Items without a usable version or enclosure address are skipped.
class AppcastFeed
{
public:
    static inline const QString namespaceUri = QStringLiteral("urn:dev.tolvern.sorvane:appcast:1");

    // The items in feed order, or why the document is no feed.
    static Result<QList<AppcastItem>, QString> parse(const QByteArray &xml, const QUrl &feedUrl);

    // The newest item above runningVersion whose channel is the default one or one of
    // allowedChannels; the first of equals wins.
    static std::optional<AppcastItem> bestUpdate(const QList<AppcastItem> &items,
                                                 const QVersionNumber &runningVersion,
                                                 const QSet<QString> &allowedChannels);
};
