#pragma once

#include "DocumentSessionState.h"
#include "PersistenceLog.h"

#include <QDateTime>
#include <QString>

#include <optional>

class Settings;

// Reads and writes the open-tab session: "SessionState.json" in the support folder,
// with the settings key an older build used as a fallback. DocumentManager calls
// write() at each save point and load() once at restore.
class SessionStateStore
{
public:
    static constexpr const char *fileName = "SessionState.json";
    static constexpr const char *logCategory = "session_persist";

    // supportFolder empty: there is no support folder, so only the legacy key is used.
    explicit SessionStateStore(Settings &settings, QString supportFolder, PersistenceLog log = diagnosticPersistenceLog());
    // The shared settings and the standard support folder.
    SessionStateStore();

    // The session file's path; empty without a support folder.
    QString filePath() const;
    // True while "restoreSession" holds no value; otherwise its Boolean value.
    bool shouldRestoreSession() const;

    // Drops the legacy key, then writes the state atomically, or deletes the file when
    // restoring is switched off. Failures are logged; the previous file stays.
    void write(const DocumentSessionState &state);

    // The stored session: the file, else the legacy key, else nothing. A file that does
    // not decode is renamed aside (see keptAsidePath()) so no later write replaces it.
    std::optional<DocumentSessionState> load();

    // Where the last undecodable session file was moved; empty when none was.
    QString keptAsidePath() const { return m_keptAsidePath; }

    // The session file's modification time, when it exists.
    std::optional<QDateTime> fileModificationTime() const;

private:
    std::optional<DocumentSessionState> decodeFile(const QByteArray &data);
    // Before the first write of this process: an existing file that does not decode is
    // kept aside rather than replaced.
    void protectUndecodableFile();
    void keepAside();
    void logLine(DiagnosticLogBuffer::Level level, const QString &message,
                 const std::optional<LoggedError> &error = std::nullopt) const;

    Settings &m_settings;
    QString m_folder;
    PersistenceLog m_log;
    bool m_fileChecked = false;
    QString m_keptAsidePath;
};
