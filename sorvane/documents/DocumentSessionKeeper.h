#pragma once

#include "DocumentSessionState.h"
#include "RecoveryStore.h"
#include "SessionStateStore.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class DocumentManager;
class TabDocument;

// Keeps the document manager's tabs across launches and crashes: writes
// "SessionState.json" a moment after each change (and within a longest wait while
// the user types on), snapshots the modified tabs into the "Recovery" folder every
// 30 s, and at the first window brings the last session back and offers the
// snapshots that hold newer text. The manager owns one; its tabs tell it of changes.
class DocumentSessionKeeper : public QObject
{
    Q_OBJECT

public:
    // How long the persistence timers wait. Tests run the same logic on a shorter clock.
    struct PersistenceIntervals {
        int sessionDebounceMs = 2000;    // quiet time after the last change
        int sessionMaxDelayMs = 10000;   // longest wait after the first unsaved change
        int autoSaveMs = 30000;          // crash-recovery snapshots
    };

    explicit DocumentSessionKeeper(DocumentManager &manager);
    ~DocumentSessionKeeper() override;

    void setPersistenceIntervals(const PersistenceIntervals &intervals);

    // A tab changed: the session is written after the quiet time or the longest wait.
    void scheduleSave();

    // At the main window's first appearance: brings back the tabs of the last run and
    // offers the crash-recovery snapshots that hold newer text. Acts once per process.
    void restoreSessionIfNeeded();
    // For an exit that cannot be refused (SIGTERM, logout without interaction): writes
    // the snapshots and the session without asking anything.
    void persistForForcedExit();
    // Writes (or, with restoring switched off, deletes) "SessionState.json" now.
    void persistSessionState();
    // Snapshots of the modified tabs into the "Recovery" folder; the 30 s timer calls it.
    void saveRecoveryFiles();
    void clearRecoveryFiles();

Q_SIGNALS:
    // After each session write (or deletion).
    void sessionStatePersisted();

private:
    DocumentSessionState currentSessionState() const;
    void restorePersistedSession();
    std::unique_ptr<TabDocument> restoredTab(const SessionDocumentState &entry) const;
    // Crash recovery: offers the snapshots that hold text the session does not.
    void restoreFromRecoveryIfNeeded(const QList<RecoveredSnapshot> &snapshots,
                                     const std::optional<QDateTime> &sessionTime);

    DocumentManager &m_manager;
    QTimer m_autoSaveTimer;
    QTimer m_sessionDebounce;
    QTimer m_sessionDeadline;
    PersistenceIntervals m_intervals;
    SessionStateStore m_sessionStore;
    RecoveryStore m_recoveryStore;
    bool m_hasRestoredSession = false;
    bool m_isRestoringSession = false;
};
