#pragma once

#include <QStringList>

class Settings;

// The recent-documents list: absolute paths, most recent first, at most ten,
// kept in the settings store. Files that no longer exist are left out when read.
class RecentDocuments
{
public:
    static constexpr int limit = 10;

    explicit RecentDocuments(Settings &settings);

    QStringList paths() const;
    void note(const QString &path);
    void clear();

private:
    Settings &m_settings;
};
