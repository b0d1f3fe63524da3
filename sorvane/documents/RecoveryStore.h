#pragma once

#include "PersistenceLog.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

// One modified tab to snapshot.
struct RecoverySnapshot {
    QUuid id;
    QString text;
    QString title;          // the file's name, or "Untitled"
    QString originalPath;   // the file's path, or empty
};

// One snapshot found in the folder.
struct RecoveredSnapshot {
    QUuid id;
    QString text;
    QDateTime modified;     // the ".md" file's modification time, UTC

    bool operator==(const RecoveredSnapshot &) const = default;
};

// The "Recovery" folder of the support folder: snapshots of the modified tabs, written
// every 30 s by DocumentManager, read back after a run that ended without quitting,
// and deleted on a normal quit.
class RecoveryStore
{
public:
    static constexpr const char *folderName = "Recovery";
    static constexpr const char *logCategory = "recovery";

    // supportFolder empty: there is no support folder and nothing is read or written.
    explicit RecoveryStore(QString supportFolder, PersistenceLog log = diagnosticPersistenceLog());
    // The standard support folder.
    RecoveryStore();

    // The folder's path; empty without a support folder.
    QString folderPath() const;

    // Writes UUID.md and UUID.json for each snapshot and removes the snapshots of every
    // other tab, so a tab saved or closed since the last tick is never offered back.
    // An empty list clears the folder. Failures are logged and skipped.
    void writeSnapshots(const QList<RecoverySnapshot> &snapshots);

    // Every UUID-named ".md" file that reads as UTF-8 (empty texts included), by name.
    QList<RecoveredSnapshot> readSnapshots() const;

    // Deletes the folder with everything in it; errors are ignored.
    void clear();

private:
    void logWarning(const QString &message, const QString &reason) const;

    QString m_folder;
    PersistenceLog m_log;
};
