#include "AppcastFeed.h"

#include <QXmlStreamReader>

namespace {

bool isOurs(const QXmlStreamReader &reader, QLatin1String name)
{
    return reader.namespaceUri() == AppcastFeed::namespaceUri && reader.name() == name;
}

bool isPlain(const QXmlStreamReader &reader, QLatin1String name)
{
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

QString elementText(QXmlStreamReader &reader)
{
    // Child elements (inline XHTML, say) give up their text, never their markup.
    return reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
}

void readEnclosure(QXmlStreamReader &reader, const QUrl &feedUrl, AppcastItem &item)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    const QString url = attributes.value(QLatin1String("url")).toString().trimmed();
    if (!url.isEmpty())
        item.enclosureUrl = feedUrl.resolved(QUrl(url, QUrl::StrictMode));
    bool ok = false;
    const qint64 length = attributes.value(QLatin1String("length")).toString().trimmed().toLongLong(&ok);
    item.length = ok && length >= 0 ? length : -1;
    item.signature = attributes.value(AppcastFeed::namespaceUri, QLatin1String("edSignature")).toString().trimmed();
    reader.skipCurrentElement();
}

AppcastItem readItem(QXmlStreamReader &reader, const QUrl &feedUrl)
{
    AppcastItem item;
    while (reader.readNextStartElement()) {
        if (isPlain(reader, QLatin1String("title"))) {
            item.title = elementText(reader);
        } else if (isPlain(reader, QLatin1String("description"))) {
            item.releaseNotes = elementText(reader);
        } else if (isPlain(reader, QLatin1String("enclosure"))) {
            readEnclosure(reader, feedUrl, item);
        } else if (isOurs(reader, QLatin1String("version"))) {
            item.versionText = elementText(reader);
        } else if (isOurs(reader, QLatin1String("shortVersion"))) {
            item.shortVersion = elementText(reader);
        } else if (isOurs(reader, QLatin1String("channel"))) {
            item.channel = elementText(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    item.version = QVersionNumber::fromString(item.versionText);
    if (item.shortVersion.isEmpty())
        item.shortVersion = item.versionText;
    return item;
}

} // namespace

Result<QList<AppcastItem>, QString> AppcastFeed::parse(const QByteArray &xml, const QUrl &feedUrl)
{
    QXmlStreamReader reader(xml);
    QList<AppcastItem> items;
    if (!reader.readNextStartElement() || !isPlain(reader, QLatin1String("rss"))) {
        if (reader.hasError())
            return QStringLiteral("The update feed is not valid XML: %1 (line %2).")
                .arg(reader.errorString())
                .arg(reader.lineNumber());
        return QStringLiteral("The update feed is not an RSS document.");
    }
    while (reader.readNextStartElement()) {
        if (!isPlain(reader, QLatin1String("channel"))) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (!isPlain(reader, QLatin1String("item"))) {
                reader.skipCurrentElement();
                continue;
            }
            AppcastItem item = readItem(reader, feedUrl);
            if (!item.version.isNull() && item.enclosureUrl.isValid() && !item.enclosureUrl.isEmpty())
                items.append(std::move(item));
        }
    }
    // The reader stops at the first error; what came before it cannot be trusted.
    if (reader.hasError())
        return QStringLiteral("The update feed is not valid XML: %1 (line %2).")
            .arg(reader.errorString())
            .arg(reader.lineNumber());
    return items;
}

std::optional<AppcastItem> AppcastFeed::bestUpdate(const QList<AppcastItem> &items,
                                                   const QVersionNumber &runningVersion,
                                                   const QSet<QString> &allowedChannels)
{
    // Trailing zeros say nothing: 1.2 and 1.2.0 are the same release.
    const QVersionNumber running = runningVersion.normalized();
    const AppcastItem *best = nullptr;
    for (const AppcastItem &item : items) {
        if (!item.channel.isEmpty() && !allowedChannels.contains(item.channel))
            continue;
        const QVersionNumber version = item.version.normalized();
        if (QVersionNumber::compare(version, running) <= 0)
            continue;
        if (!best || QVersionNumber::compare(version, best->version.normalized()) > 0)
            best = &item;
    }
    if (!best)
        return std::nullopt;
    return *best;
}
