#include "RecentDocuments.h"

#include "Settings.h"
#include "SettingsKeys.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {
QStringList stored(const Settings &settings)
{
    QStringList list;
    const QJsonArray array = settings.storedValue(SettingsKeys::recentDocuments).toArray();
    for (const QJsonValue &value : array) {
        const QString path = value.toString();
        if (!path.isEmpty() && !list.contains(path))
            list.append(path);
    }
    return list;
}

void store(Settings &settings, const QStringList &list)
{
    settings.setValue(SettingsKeys::recentDocuments, QJsonArray::fromStringList(list));
}
} // namespace

RecentDocuments::RecentDocuments(Settings &settings)
    : m_settings(settings)
{
}

QStringList RecentDocuments::paths() const
{
    QStringList list;
    for (const QString &path : stored(m_settings)) {
        if (QFileInfo::exists(path))
            list.append(path);
        if (list.size() == limit)
            break;
    }
    return list;
}

void RecentDocuments::note(const QString &path)
{
    QStringList list = stored(m_settings);
    list.removeAll(path);
    list.prepend(path);
    // Drop vanished files so they do not push live ones out.
    QStringList kept;
    for (const QString &entry : list) {
        if (entry == path || QFileInfo::exists(entry))
            kept.append(entry);
        if (kept.size() == limit)
            break;
    }
    store(m_settings, kept);
}

void RecentDocuments::clear()
{
    m_settings.remove(SettingsKeys::recentDocuments);
}
