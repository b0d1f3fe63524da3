#include "DocumentSessionKeeper.h"

#include "DocumentManager.h"
#include "TabDocument.h"
#include "diagnostics/DiagnosticUploader.h"
#include "platform/AlertPresenter.h"

#include <QPointer>

DocumentSessionKeeper::DocumentSessionKeeper(DocumentManager &manager)
    : m_manager(manager)
{
    m_sessionDebounce.setSingleShot(true);
    m_sessionDeadline.setSingleShot(true);
    connect(&m_sessionDebounce, &QTimer::timeout, this, &DocumentSessionKeeper::persistSessionState);
    connect(&m_sessionDeadline, &QTimer::timeout, this, &DocumentSessionKeeper::persistSessionState);
    m_autoSaveTimer.setInterval(m_intervals.autoSaveMs);
    connect(&m_autoSaveTimer, &QTimer::timeout, this, &DocumentSessionKeeper::saveRecoveryFiles);
    m_autoSaveTimer.start();
}

DocumentSessionKeeper::~DocumentSessionKeeper() = default;

void DocumentSessionKeeper::setPersistenceIntervals(const PersistenceIntervals &intervals)
{
    m_intervals = intervals;
    m_autoSaveTimer.start(m_intervals.autoSaveMs);
}

namespace {

SessionLineEnding sessionLineEnding(TabDocument::LineEnding ending)
{
    switch (ending) {
    case TabDocument::LineEnding::CRLF: return SessionLineEnding::CrLf;
    case TabDocument::LineEnding::CR: return SessionLineEnding::Cr;
    case TabDocument::LineEnding::LF: break;
    }
    return SessionLineEnding::Lf;
}

TabDocument::LineEnding tabLineEnding(SessionLineEnding ending)
{
    switch (ending) {
    case SessionLineEnding::CrLf: return TabDocument::LineEnding::CRLF;
    case SessionLineEnding::Cr: return TabDocument::LineEnding::CR;
    case SessionLineEnding::Lf: break;
    }
    return TabDocument::LineEnding::LF;
}

} // namespace

void DocumentSessionKeeper::scheduleSave()
{
    if (m_isRestoringSession)
        return;
    // Each change restarts the quiet wait; the deadline is not restarted, so text
    // typed without a pause still reaches the file within the longest wait.
    m_sessionDebounce.start(m_intervals.sessionDebounceMs);
    if (!m_sessionDeadline.isActive())
        m_sessionDeadline.start(m_intervals.sessionMaxDelayMs);
}

DocumentSessionState DocumentSessionKeeper::currentSessionState() const
{
    DocumentSessionState state;
    for (const TabDocument *document : m_manager.m_documents) {
        // Decrypted text never goes to disk in clear.
        if (document->isSensitive())
            continue;
        SessionDocumentState entry;
        entry.id = document->id();
        if (!document->fileURL().isEmpty())
            entry.filePath = document->fileURL().toLocalFile();
        entry.securityScopedBookmark = document->securityScopedBookmark();
        entry.text = document->text();
        entry.lastSavedText = document->lastSavedText();
        entry.isModified = document->isModified();
        if (document->lastKnownModificationDate().isValid())
            entry.lastKnownModificationDate = document->lastKnownModificationDate();
        if (document->fileFormatKnown()) {
            entry.lineEnding = sessionLineEnding(document->fileFormat().lineEnding);
            entry.hasByteOrderMark = document->fileFormat().byteOrderMark;
        }
        if (document->id() == m_manager.m_selectedId)
            state.selectedDocumentID = document->id();
        state.documents.append(entry);
    }
    return state;
}

void DocumentSessionKeeper::persistSessionState()
{
    m_sessionDebounce.stop();
    m_sessionDeadline.stop();
    m_manager.reloadRecentDocuments();
    m_sessionStore.write(currentSessionState());
    Q_EMIT sessionStatePersisted();
}

std::unique_ptr<TabDocument> DocumentSessionKeeper::restoredTab(const SessionDocumentState &entry) const
{
    QUuid id = entry.id;
    // A hand-edited file may repeat an id; the tab still comes back, under a new one.
    if (m_manager.documentWithId(id))
        id = QUuid::createUuid();
    if (!entry.filePath) {
        return std::make_unique<TabDocument>(id, QUrl(), QByteArray(), entry.text, entry.lastSavedText,
                                             entry.isModified, entry.lastKnownModificationDate.value_or(QDateTime()));
    }
    const QUrl url = QUrl::fromLocalFile(*entry.filePath);
    if (!entry.isModified) {
        // Gone or unreadable: the stored text and path come back instead.
        if (TabDocument::Opened opened = TabDocument::open(url, entry.securityScopedBookmark, id))
            return std::move(*opened);
    }
    auto document = std::make_unique<TabDocument>(id, url, entry.securityScopedBookmark, entry.text,
                                                  entry.lastSavedText, entry.isModified,
                                                  entry.lastKnownModificationDate.value_or(QDateTime()));
    // A plain "\n" layout is not stored; the tab then keeps whatever its file has.
    if (entry.lineEnding != SessionLineEnding::Lf || entry.hasByteOrderMark)
        document->setFileFormat({tabLineEnding(entry.lineEnding), entry.hasByteOrderMark});
    return document;
}

void DocumentSessionKeeper::restorePersistedSession()
{
    // Files opened before the window appeared take the place of the session.
    if (!m_manager.m_documents.isEmpty() || !m_sessionStore.shouldRestoreSession())
        return;
    const std::optional<DocumentSessionState> state = m_sessionStore.load();
    if (!state)
        return;
    for (const SessionDocumentState &entry : state->documents) {
        TabDocument *document = restoredTab(entry).release();
        document->setParent(&m_manager);
        m_manager.m_documents.append(document);
    }
    for (TabDocument *document : std::as_const(m_manager.m_documents))
        m_manager.attach(document);
    Q_EMIT m_manager.documentsChanged();
    QUuid selected;
    if (state->selectedDocumentID && m_manager.documentWithId(*state->selectedDocumentID))
        selected = *state->selectedDocumentID;
    else if (!m_manager.m_documents.isEmpty())
        selected = m_manager.m_documents.constFirst()->id();
    m_manager.setSelectedId(selected);
}

void DocumentSessionKeeper::restoreSessionIfNeeded()
{
    if (m_hasRestoredSession)
        return;
    m_hasRestoredSession = true;

    // Read before anything is written: the snapshots and the session file's age
    // decide which snapshots hold text the session does not.
    const QList<RecoveredSnapshot> snapshots = m_recoveryStore.readSnapshots();
    const std::optional<QDateTime> sessionTime = m_sessionStore.fileModificationTime();
    if (!snapshots.isEmpty())
        DiagnosticUploader::shared().uploadAuto(QStringLiteral("crash_recovery"),
                                                static_cast<int>(m_manager.m_documents.size()));

    m_isRestoringSession = true;
    restorePersistedSession();
    restoreFromRecoveryIfNeeded(snapshots, sessionTime);
    m_isRestoringSession = false;
    scheduleSave();
}

void DocumentSessionKeeper::restoreFromRecoveryIfNeeded(const QList<RecoveredSnapshot> &snapshots,
                                                  const std::optional<QDateTime> &sessionTime)
{
    if (snapshots.isEmpty())
        return;
    // The session holds each tab's text with its file; a snapshot is up to one tick
    // old and knows no file. Only text the restored tabs lack is offered.
    struct Offer {
        QString text;
        QPointer<TabDocument> tab;   // null: no open tab has this id
    };
    QList<Offer> offers;
    for (const RecoveredSnapshot &snapshot : snapshots) {
        if (TabDocument *tab = m_manager.documentWithId(snapshot.id)) {
            const bool newer = !sessionTime || snapshot.modified > *sessionTime;
            if (newer && snapshot.text != tab->text())
                offers.append({snapshot.text, tab});
        } else if (!snapshot.text.isEmpty()) {
            offers.append({snapshot.text, nullptr});
        }
    }
    if (!offers.isEmpty()) {
        AlertRequest request;
        request.messageText = QStringLiteral("Recover unsaved documents?");
        request.informativeText = QStringLiteral("sorv.ane found ") + QString::number(offers.size()) +
                                  QStringLiteral(" unsaved document(s) from a previous session.");
        request.buttons = {QStringLiteral("Recover"), QStringLiteral("Discard")};
        if (AlertPresenter::shared().runModal(request) == 0) {
            bool added = false;
            for (const Offer &offer : std::as_const(offers)) {
                if (offer.tab) {
                    // Kept with its file, as an unsaved edit.
                    offer.tab->userEditedText(offer.text);
                    continue;
                }
                auto *document = new TabDocument(QUuid::createUuid(), QUrl(), QByteArray(), offer.text, QString(),
                                                 true, QDateTime(), &m_manager);
                m_manager.attach(document);
                m_manager.m_documents.append(document);
                added = true;
                if (m_manager.m_selectedId.isNull())
                    m_manager.setSelectedId(document->id());
            }
            if (added)
                Q_EMIT m_manager.documentsChanged();
        }
    }
    clearRecoveryFiles();
}

void DocumentSessionKeeper::saveRecoveryFiles()
{
    QList<RecoverySnapshot> snapshots;
    for (const TabDocument *document : std::as_const(m_manager.m_documents)) {
        if (!document->isModified() || document->isSensitive())
            continue;
        snapshots.append({document->id(), document->text(), document->title(),
                          document->fileURL().isEmpty() ? QString() : document->fileURL().toLocalFile()});
    }
    m_recoveryStore.writeSnapshots(snapshots);
}

void DocumentSessionKeeper::clearRecoveryFiles()
{
    m_recoveryStore.clear();
}

void DocumentSessionKeeper::persistForForcedExit()
{
    // Snapshots first: the session written after them is the newer record, so the
    // next launch offers none of them again unless restoring is switched off.
    saveRecoveryFiles();
    persistSessionState();
}
