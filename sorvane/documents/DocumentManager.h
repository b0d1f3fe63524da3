#pragma once

#include "DocumentExportEngine.h"
#include "documents/encryption/EncryptedDocumentFlow.h"
#include "MarkdownFormatAction.h"
#include "RecoveryStore.h"
#include "SessionStateStore.h"
#include "TabDocument.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <exception>
#include <memory>
#include <optional>

// The single owner of the open documents: the tab list and the selected tab, opening,
// new tabs, closing with the unsaved-changes prompt, Save, Save As, Revert, the open
// panel, recent documents, find/replace request tokens, formatting requests and tab
// cycling. Created once by the application; every view and command that touches
// documents goes through it. Alerts and panels go through AlertPresenter::shared().
// It also keeps the open tabs across launches ("SessionState.json"), snapshots the
// modified tabs for crash recovery and is the gate every way of quitting passes.
class QWidget;

class DocumentManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<TabDocument *> documents READ documents NOTIFY documentsChanged)
    Q_PROPERTY(QUuid selectedId READ selectedId WRITE setSelectedId NOTIFY selectedIdChanged)
    Q_PROPERTY(QList<QUrl> recentDocuments READ recentDocuments NOTIFY recentDocumentsChanged)
    Q_PROPERTY(QUuid findRequestToken READ findRequestToken NOTIFY findRequestTokenChanged)
    Q_PROPERTY(QUuid replaceRequestToken READ replaceRequestToken NOTIFY replaceRequestTokenChanged)

public:
    // A find or replace request: the tab it is for and a token unique to the request.
    struct RequestState {
        QUuid documentID;
        QUuid token;
    };
    using FindRequestState = RequestState;
    using ReplaceRequestState = RequestState;

    // How long the persistence timers wait. Tests run the same logic on a shorter clock.
    struct PersistenceIntervals {
        int sessionDebounceMs = 2000;    // quiet time after the last change
        int sessionMaxDelayMs = 10000;   // longest wait after the first unsaved change
        int autoSaveMs = 30000;          // crash-recovery snapshots
    };

    explicit DocumentManager(QObject *parent = nullptr);
    ~DocumentManager() override;

    // Tab order. The manager owns the tabs; a closed tab is deleted later by the event loop.
    QList<TabDocument *> documents() const { return m_documents; }
    // Null when no tab is selected.
    QUuid selectedId() const { return m_selectedId; }
    void setSelectedId(const QUuid &id);
    // The tab named by selectedId, or nullptr.
    TabDocument *selectedDocument() const;
    // Most recent first; only files that still exist.
    QList<QUrl> recentDocuments() const { return m_recentDocuments; }
    QUuid findRequestToken() const { return m_findRequestToken; }
    QUuid replaceRequestToken() const { return m_replaceRequestToken; }
    std::optional<FindRequestState> findRequestState() const { return m_findRequestState; }
    std::optional<ReplaceRequestState> replaceRequestState() const { return m_replaceRequestState; }

    // Selects the tab already showing the file, else opens it in a new selected tab.
    void openFile(const QUrl &url);
    void openFile(const QString &path);
    // A new selected untitled tab. markedSaved: the text counts as saved (clean tab).
    void newDocument(const QString &text = QString(), bool markedSaved = false);
    // Prompts for unsaved changes first; a cancelled or failed save keeps the tab.
    void closeDocument(const QUuid &id);
    // Closes the selected tab, or without one the application's active window.
    void closeCurrentDocumentOrWindow();
    // True when the tab was saved (or its unchanged file taken from disk).
    bool save(TabDocument *document);
    bool saveAs(TabDocument *document);
    void revertCurrentDocument();
    void openFilePicker();
    void clearRecentDocuments();
    void requestFind();
    void requestReplace();
    void requestFormatting(MarkdownFormatAction action);
    void selectNextTab();
    void selectPreviousTab();
    // The stored "fontSize", 15 when absent or not a number.
    double currentFontSize() const;

    // The error alerts of the document commands (also used by the encryption commands).
    // An empty description reads "sorv.ane could not open this file.".
    void showReadError(const QString &description, const QUrl &url = QUrl());
    void showReadError(const std::exception &error, const QUrl &url = QUrl());
    void showSaveError(const QString &description);
    void showSaveError(const std::exception &error);

    // Export, print, share and copy. Each works on the selected tab and does nothing
    // at all without one. Print and the PDF export finish later (exportFinished).
    // The engine draws the pages; the application installs it (not owned).
    void setExportEngine(DocumentExportEngine *engine) { m_exportEngine = engine; }
    DocumentExportEngine *exportEngine() const { return m_exportEngine; }
    void printCurrentDocument();
    void exportPDFCurrentDocument();
    void exportHTMLCurrentDocument();
    // Offers the desktop's share choices in a menu under `from`; without a widget,
    // at the top middle of the active window; without that, nothing happens.
    void shareCurrentDocument(QWidget *from = nullptr);
    // The page as text/html plus the Markdown as text/plain.
    void copyCurrentAsRichText();
    // The complete page as plain text only.
    void copyCurrentAsHTML();
    // The file name without its last extension, or "Untitled": names suggested files.
    static QString baseName(const TabDocument *document);
    // The stored "previewTheme"; empty when absent or not text.
    QString currentPreviewThemeRawValue() const;

    // Writes the selected tab to a passphrase-encrypted file; the tab stays as it is.
    void encryptCurrentDocument();
    // Asks for an encrypted file and opens its text in a new clean, untitled tab
    // that never reaches the session file or the recovery folder.
    void openEncryptedFile();
    // The same after the open panel (the command-line and tests use it).
    void openEncryptedFileAt(const QString &path);

    void setPersistenceIntervals(const PersistenceIntervals &intervals);
    PersistenceIntervals persistenceIntervals() const { return m_intervals; }

    // At the main window's first appearance: brings back the tabs of the last run and
    // offers the crash-recovery snapshots that hold newer text. Acts once per process.
    void restoreSessionIfNeeded();
    // The quit gate: asks about each modified tab (last to first). False when the user
    // cancelled or a save failed; then nothing else happens. True after the snapshots
    // were cleared and the session written: the application may go now.
    bool prepareForTermination();
    // For an exit that cannot be refused (SIGTERM, logout without interaction): writes
    // the snapshots and the session without asking anything.
    void persistForForcedExit();
    // Writes (or, with restoring switched off, deletes) "SessionState.json" now.
    void persistSessionState();
    // Snapshots of the modified tabs into the "Recovery" folder; the 30 s timer calls it.
    void saveRecoveryFiles();

Q_SIGNALS:
    void documentsChanged();
    void selectedIdChanged();
    void recentDocumentsChanged();
    void findRequestTokenChanged();
    void replaceRequestTokenChanged();
    // After each session write (or deletion) and each snapshot pass.
    void sessionStatePersisted();
    void recoveryFilesSaved();
    // A PDF export or print ended; false when it failed or was cancelled.
    void exportFinished(bool succeeded);

private:
    enum class UnsavedChangesDecision { save, dontSave, cancel };

    void attach(TabDocument *document);
    // Attaches, takes ownership, appends and selects.
    TabDocument *appendDocument(std::unique_ptr<TabDocument> document);
    void noteRecentDocument(const QUrl &url);
    void reloadRecentDocuments();
    UnsavedChangesDecision promptForUnsavedChanges(TabDocument *document);
    // A find or replace request for the selected tab with a new token; none without a tab.
    std::optional<RequestState> freshRequest() const;
    // Asks where to export the selected tab; the fixed-look page, or empty when there is
    // no tab or engine, the panel was cancelled, or the tab went meanwhile.
    QString exportPageAfterPanel(const QString &title, const QString &nameFilter, const QString &suffix,
                                 QString *path);

    // Session state: writes the open tabs a moment after the last change.
    void scheduleSessionSave();
    DocumentSessionState currentSessionState() const;
    std::optional<DocumentSessionState> loadPersistedSessionState();
    void restorePersistedSession();
    std::unique_ptr<TabDocument> restoredTab(const SessionDocumentState &entry) const;
    TabDocument *documentWithId(const QUuid &id) const;
    // Crash recovery: offers the snapshots that hold text the session does not.
    void restoreFromRecoveryIfNeeded(const QList<RecoveredSnapshot> &snapshots,
                                     const std::optional<QDateTime> &sessionTime);
    void clearRecoveryFiles();

    // "Could not export document" with the reason, plus an automatic report request.
    void showExportError(const QString &description);
    // Reports a failed print or PDF export and tells the listeners.
    void finishExport(const DocumentExportEngine::Result &result);
    EncryptedDocumentFlow::Hooks encryptionHooks();
    void presentDecryptedDocument(const QString &text, const QString &sourcePath);

    QList<TabDocument *> m_documents;
    QUuid m_selectedId;
    QList<QUrl> m_recentDocuments;
    QUuid m_findRequestToken;
    QUuid m_replaceRequestToken;
    std::optional<FindRequestState> m_findRequestState;
    std::optional<ReplaceRequestState> m_replaceRequestState;
    QTimer m_autoSaveTimer;
    QTimer m_sessionDebounce;
    QTimer m_sessionDeadline;
    PersistenceIntervals m_intervals;
    SessionStateStore m_sessionStore;
    RecoveryStore m_recoveryStore;
    bool m_hasRestoredSession = false;
    bool m_isRestoringSession = false;
    DocumentExportEngine *m_exportEngine = nullptr;
};
