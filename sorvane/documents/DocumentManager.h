#pragma once

#include "DocumentAccessError.h"
#include "MarkdownFormatAction.h"
#include "TabDocument.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class DocumentSessionKeeper;

// The single owner of the open documents: the tab list and the selected tab, opening,
// new tabs, closing with the unsaved-changes prompt, Save, Save As, Revert, the open
// panel, recent documents, find/replace request tokens, formatting requests and tab
// cycling. Created once by the application; every view and command that touches
// documents goes through it. Alerts and panels go through AlertPresenter::shared().
// Its DocumentSessionKeeper keeps the open tabs across launches and snapshots the
// modified ones for crash recovery; the quit gate asks it before the application goes.
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

    explicit DocumentManager(QObject *parent = nullptr);
    ~DocumentManager() override;

    // Tab order. The manager owns the tabs; a closed tab is deleted later by the event loop.
    QList<TabDocument *> documents() const { return m_documents; }
    // Null when no tab is selected.
    QUuid selectedId() const { return m_selectedId; }
    void setSelectedId(const QUuid &id);
    // The tab named by selectedId, or nullptr.
    TabDocument *selectedDocument() const;
    // The open tab with this id, or nullptr.
    TabDocument *documentWithId(const QUuid &id) const;
    // Most recent first; only files that still exist.
    QList<QUrl> recentDocuments() const { return m_recentDocuments; }
    QUuid findRequestToken() const { return m_findRequestToken; }
    QUuid replaceRequestToken() const { return m_replaceRequestToken; }
    std::optional<FindRequestState> findRequestState() const { return m_findRequestState; }
    std::optional<ReplaceRequestState> replaceRequestState() const { return m_replaceRequestState; }

    // Selects the tab already showing the file, else opens it in a new selected tab;
    // a file the encrypted-file handler takes goes to it instead.
    void openFile(const QUrl &url);
    void openFile(const QString &path);
    // A new untitled tab, selected unless asked not to. markedSaved: the text counts as
    // saved (clean tab).
    void newDocument(const QString &text = QString(), bool markedSaved = false, bool select = true);
    // Appends a tab made elsewhere (a decrypted document) and selects it.
    TabDocument *addDocument(std::unique_ptr<TabDocument> document);
    // Prompts for unsaved changes first; a cancelled or failed save keeps the tab.
    void closeDocument(const QUuid &id);
    // Closes the selected tab, or without one the application's focused window.
    void closeCurrentDocumentOrWindow();
    // True when the tab was saved (or its unchanged file taken from disk).
    bool save(TabDocument *document);
    bool saveAs(TabDocument *document);
    void revertCurrentDocument();
    void openFilePicker();
    void clearRecentDocuments();
    void noteRecentDocument(const QUrl &url);
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
    void showReadError(const DocumentAccessError &error);
    void showSaveError(const QString &description);

    // Offered each file about to open as text (from recent files, the command line, a
    // drop); true when it took the file. The encryption commands install one, so an
    // encrypted document opens through its passphrase rather than failing as text.
    using FileHandler = std::function<bool(const QString &path)>;
    void setEncryptedFileHandler(FileHandler handler) { m_encryptedFileHandler = std::move(handler); }

    // Keeps the tabs across launches and the crash-recovery snapshots.
    DocumentSessionKeeper &sessionKeeper() const { return *m_session; }

    // The quit gate: asks about each modified tab (last to first). False when the user
    // cancelled or a save failed; then nothing else happens. True after the snapshots
    // were cleared and the session written: the application may go now.
    bool prepareForTermination();

Q_SIGNALS:
    void documentsChanged();
    void selectedIdChanged();
    void recentDocumentsChanged();
    void findRequestTokenChanged();
    void replaceRequestTokenChanged();

private:
    friend class DocumentSessionKeeper;

    void attach(TabDocument *document);
    // Attaches, takes ownership, appends; selects when asked.
    TabDocument *appendDocument(std::unique_ptr<TabDocument> document, bool select = true);
    void reloadRecentDocuments();
    // Asks about one modified tab and carries out the answer: false when the user
    // cancelled or the save failed, true when the tab may go.
    bool resolveUnsavedChanges(TabDocument *document);
    // A find or replace request for the selected tab with a new token; none without a tab.
    std::optional<RequestState> freshRequest() const;
    void selectTabAtOffset(qsizetype offset);

    QList<TabDocument *> m_documents;
    QUuid m_selectedId;
    QList<QUrl> m_recentDocuments;
    QUuid m_findRequestToken;
    QUuid m_replaceRequestToken;
    std::optional<FindRequestState> m_findRequestState;
    std::optional<ReplaceRequestState> m_replaceRequestState;
    DocumentSessionKeeper *m_session = nullptr;
    FileHandler m_encryptedFileHandler;
};
