#include "DocumentManager.h"

#include "DocumentAccessError.h"
#include "MarkdownContentType.h"
#include "diagnostics/DiagnosticUploader.h"
#include "platform/AlertPresenter.h"
#include "platform/Bookmark.h"
#include "platform/NotificationCenter.h"
#include "platform/RecentDocuments.h"
#include "platform/Settings.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QPointer>
#include <QVariantMap>
#include <QWindow>

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString describe(const std::exception &error)
{
    if (const auto *access = dynamic_cast<const DocumentAccessError *>(&error))
        return access->description();
    return QString::fromUtf8(error.what());
}

} // namespace

DocumentManager::DocumentManager(QObject *parent)
    : QObject(parent)
    , m_findRequestToken(QUuid::createUuid())
    , m_replaceRequestToken(QUuid::createUuid())
{
    reloadRecentDocuments();
    m_sessionDebounce.setSingleShot(true);
    m_sessionDeadline.setSingleShot(true);
    connect(&m_sessionDebounce, &QTimer::timeout, this, &DocumentManager::persistSessionState);
    connect(&m_sessionDeadline, &QTimer::timeout, this, &DocumentManager::persistSessionState);
    m_autoSaveTimer.setInterval(m_intervals.autoSaveMs);
    connect(&m_autoSaveTimer, &QTimer::timeout, this, &DocumentManager::saveRecoveryFiles);
    m_autoSaveTimer.start();
}

DocumentManager::~DocumentManager()
{
    m_autoSaveTimer.stop();
    m_sessionDebounce.stop();
    m_sessionDeadline.stop();
}

void DocumentManager::setPersistenceIntervals(const PersistenceIntervals &intervals)
{
    m_intervals = intervals;
    m_autoSaveTimer.start(m_intervals.autoSaveMs);
}

void DocumentManager::setSelectedId(const QUuid &id)
{
    if (id == m_selectedId)
        return;
    m_selectedId = id;
    Q_EMIT selectedIdChanged();
}

TabDocument *DocumentManager::selectedDocument() const
{
    if (m_selectedId.isNull())
        return nullptr;
    for (TabDocument *document : m_documents) {
        if (document->id() == m_selectedId)
            return document;
    }
    return nullptr;
}

void DocumentManager::attach(TabDocument *document)
{
    document->onStateChange = [manager = QPointer<DocumentManager>(this)] {
        if (manager)
            manager->scheduleSessionSave();
    };
}

TabDocument *DocumentManager::appendDocument(std::unique_ptr<TabDocument> owned)
{
    TabDocument *document = owned.release();
    attach(document);
    document->setParent(this);
    m_documents.append(document);
    Q_EMIT documentsChanged();
    setSelectedId(document->id());
    return document;
}

void DocumentManager::openFile(const QString &path)
{
    openFile(QUrl::fromLocalFile(path));
}

void DocumentManager::openFile(const QUrl &url)
{
    if (!url.isLocalFile()) {
        showReadError(DocumentAccessError::openFailed(url), url);
        return;
    }
    const QUrl normalized = TabDocument::normalizedURL(url);
    for (TabDocument *document : std::as_const(m_documents)) {
        if (!document->fileURL().isEmpty() && TabDocument::normalizedURL(document->fileURL()) == normalized) {
            setSelectedId(document->id());
            return;
        }
    }
    const QByteArray bookmark = Bookmark::create(normalized.toLocalFile()).value_or(QByteArray());
    std::unique_ptr<TabDocument> document;
    try {
        document = TabDocument::open(normalized, bookmark, QUuid::createUuid());
    } catch (const std::exception &error) {
        showReadError(error, normalized);
        return;
    }
    appendDocument(std::move(document));
    noteRecentDocument(normalized);
    scheduleSessionSave();
}

void DocumentManager::newDocument(const QString &text, bool markedSaved)
{
    const QString lastSaved = markedSaved ? text : QString();
    const bool modified = markedSaved ? false : !text.isEmpty();
    appendDocument(std::make_unique<TabDocument>(QUuid::createUuid(), QUrl(), QByteArray(), text, lastSaved,
                                                 modified, QDateTime()));
    scheduleSessionSave();
}

void DocumentManager::closeDocument(const QUuid &id)
{
    TabDocument *document = nullptr;
    for (TabDocument *candidate : std::as_const(m_documents)) {
        if (candidate->id() == id) {
            document = candidate;
            break;
        }
    }
    if (!document)
        return;
    if (document->isModified()) {
        switch (promptForUnsavedChanges(document)) {
        case UnsavedChangesDecision::save:
            if (!save(document))
                return;
            break;
        case UnsavedChangesDecision::dontSave:
            document->discardUnsavedChanges();
            break;
        case UnsavedChangesDecision::cancel:
            return;
        }
    }
    QList<TabDocument *> removed;
    for (qsizetype i = m_documents.size() - 1; i >= 0; --i) {
        if (m_documents.at(i)->id() == id)
            removed.append(m_documents.takeAt(i));
    }
    if (removed.isEmpty())
        return;
    Q_EMIT documentsChanged();
    if (m_selectedId == id)
        setSelectedId(m_documents.isEmpty() ? QUuid() : m_documents.constLast()->id());
    // Views may still be inside a call from this tab: delete it from the event loop.
    for (TabDocument *tab : std::as_const(removed)) {
        tab->onStateChange = nullptr;
        tab->deleteLater();
    }
    scheduleSessionSave();
}

DocumentManager::UnsavedChangesDecision DocumentManager::promptForUnsavedChanges(TabDocument *document)
{
    AlertRequest request;
    request.messageText = QStringLiteral("Save changes to ") + quoted(document->title()) + QLatin1Char('?');
    request.informativeText = QStringLiteral("Your changes will be lost if you don't save them.");
    request.buttons = {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")};
    switch (AlertPresenter::shared().runModal(request)) {
    case 0: return UnsavedChangesDecision::save;
    case 1: return UnsavedChangesDecision::dontSave;
    default: return UnsavedChangesDecision::cancel;
    }
}

void DocumentManager::closeCurrentDocumentOrWindow()
{
    if (TabDocument *document = selectedDocument()) {
        closeDocument(document->id());
        return;
    }
    // The window, not its widget: this layer knows no views.
    if (QWindow *window = QGuiApplication::focusWindow())
        window->close();
}

bool DocumentManager::save(TabDocument *document)
{
    if (!document)
        return false;
    if (document->fileURL().isEmpty())
        return saveAs(document);
    try {
        document->save();
    } catch (const std::exception &error) {
        showSaveError(error);
        return false;
    }
    noteRecentDocument(document->fileURL());
    scheduleSessionSave();
    return true;
}

bool DocumentManager::saveAs(TabDocument *document)
{
    if (!document)
        return false;
    FilePanelRequest request;
    request.title = QStringLiteral("Save As");
    request.nameFilters = MarkdownContentType::savePanelNameFilters();
    if (document->fileURL().isEmpty()) {
        request.suggestedName = QStringLiteral("Untitled.md");
    } else {
        const QFileInfo info(document->fileURL().toLocalFile());
        request.suggestedName = info.fileName();
        request.directory = info.absolutePath();
    }
    const std::optional<QString> chosen = AlertPresenter::shared().chooseSaveFile(request);
    if (!chosen || chosen->isEmpty())
        return false;
    try {
        document->saveTo(QUrl::fromLocalFile(*chosen));
    } catch (const std::exception &error) {
        showSaveError(error);
        return false;
    }
    // The tab's URL is the chosen file in its resolved form, so a link does not
    // give the same file a second entry.
    noteRecentDocument(document->fileURL());
    scheduleSessionSave();
    return true;
}

void DocumentManager::revertCurrentDocument()
{
    TabDocument *document = selectedDocument();
    if (!document || document->fileURL().isEmpty() || !document->isModified())
        return;
    AlertRequest request;
    request.messageText = QStringLiteral("Revert to saved version of ") + quoted(document->title()) + QLatin1Char('?');
    request.informativeText = QStringLiteral("You will lose any unsaved changes.");
    request.buttons = {QStringLiteral("Revert"), QStringLiteral("Cancel")};
    if (AlertPresenter::shared().runModal(request) != 0)
        return;
    try {
        document->revert();
    } catch (const std::exception &error) {
        showReadError(error, document->fileURL());
        return;
    }
    scheduleSessionSave();
}

void DocumentManager::openFilePicker()
{
    FilePanelRequest request;
    request.title = QStringLiteral("Open");
    request.nameFilters = MarkdownContentType::openPanelNameFilters();
    request.multipleSelection = true;
    AlertPresenter::shared().chooseOpenFiles(request, [manager = QPointer<DocumentManager>(this)](const QStringList &paths) {
        for (const QString &path : paths) {
            if (!manager)
                return;
            manager->openFile(path);
        }
    });
}

void DocumentManager::reloadRecentDocuments()
{
    QList<QUrl> urls;
    for (const QString &path : RecentDocuments(Settings::shared()).paths())
        urls.append(QUrl::fromLocalFile(path));
    if (urls == m_recentDocuments)
        return;
    m_recentDocuments = urls;
    Q_EMIT recentDocumentsChanged();
}

void DocumentManager::noteRecentDocument(const QUrl &url)
{
    if (url.isLocalFile())
        RecentDocuments(Settings::shared()).note(url.toLocalFile());
    reloadRecentDocuments();
}

void DocumentManager::clearRecentDocuments()
{
    RecentDocuments(Settings::shared()).clear();
    reloadRecentDocuments();
}

void DocumentManager::requestFind()
{
    if (const auto state = freshRequest()) {
        m_findRequestState = state;
        m_findRequestToken = state->token;
        Q_EMIT findRequestTokenChanged();
    }
}

void DocumentManager::requestReplace()
{
    if (const auto state = freshRequest()) {
        m_replaceRequestState = state;
        m_replaceRequestToken = state->token;
        Q_EMIT replaceRequestTokenChanged();
    }
}

std::optional<DocumentManager::RequestState> DocumentManager::freshRequest() const
{
    const TabDocument *document = selectedDocument();
    if (!document)
        return std::nullopt;
    return RequestState{document->id(), QUuid::createUuid()};
}

void DocumentManager::requestFormatting(MarkdownFormatAction action)
{
    const TabDocument *document = selectedDocument();
    if (!document)
        return;
    const QVariantMap userInfo{
        {QStringLiteral("documentID"), QVariant::fromValue(document->id())},
        {QStringLiteral("action"), MarkdownFormatActions::toString(action)},
    };
    NotificationCenter::shared().post(QStringLiteral("sorvane.formatting"), QVariant(), userInfo);
}

void DocumentManager::selectNextTab()
{
    const qsizetype count = m_documents.size();
    if (m_selectedId.isNull() || count < 2)
        return;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_documents.at(i)->id() == m_selectedId) {
            setSelectedId(m_documents.at((i + 1) % count)->id());
            return;
        }
    }
}

void DocumentManager::selectPreviousTab()
{
    const qsizetype count = m_documents.size();
    if (m_selectedId.isNull() || count < 2)
        return;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_documents.at(i)->id() == m_selectedId) {
            setSelectedId(m_documents.at((i - 1 + count) % count)->id());
            return;
        }
    }
}

double DocumentManager::currentFontSize() const
{
    const QJsonValue stored = Settings::shared().storedValue(QStringLiteral("fontSize"));
    return stored.isDouble() ? stored.toDouble() : 15.0;
}

void DocumentManager::showReadError(const std::exception &error, const QUrl &url)
{
    showReadError(describe(error), url);
}

void DocumentManager::showReadError(const QString &description, const QUrl &url)
{
    AlertRequest request;
    request.messageText = QStringLiteral("Could not open file");
    request.informativeText = description.isEmpty() ? QStringLiteral("sorv.ane could not open this file.") : description;
    request.buttons = {QStringLiteral("OK")};
    request.style = AlertRequest::Style::Critical;
    if (!url.isEmpty())
        request.accessoryText = url.isLocalFile() ? url.toLocalFile() : url.toString();
    AlertPresenter::shared().runModal(request);
}

void DocumentManager::showSaveError(const std::exception &error)
{
    showSaveError(describe(error));
}

void DocumentManager::showSaveError(const QString &description)
{
    // Counted from the event loop so the alert is not held up.
    QTimer::singleShot(0, QCoreApplication::instance(), [] { DiagnosticUploader::noteSaveFailure(); });
    AlertRequest request;
    request.messageText = QStringLiteral("Could not save file");
    request.informativeText = description;
    request.buttons = {QStringLiteral("OK")};
    request.style = AlertRequest::Style::Critical;
    AlertPresenter::shared().runModal(request);
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

TabDocument *DocumentManager::documentWithId(const QUuid &id) const
{
    for (TabDocument *document : m_documents) {
        if (document->id() == id)
            return document;
    }
    return nullptr;
}

void DocumentManager::scheduleSessionSave()
{
    if (m_isRestoringSession)
        return;
    // Each change restarts the quiet wait; the deadline is not restarted, so text
    // typed without a pause still reaches the file within the longest wait.
    m_sessionDebounce.start(m_intervals.sessionDebounceMs);
    if (!m_sessionDeadline.isActive())
        m_sessionDeadline.start(m_intervals.sessionMaxDelayMs);
}

DocumentSessionState DocumentManager::currentSessionState() const
{
    DocumentSessionState state;
    for (const TabDocument *document : m_documents) {
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
        if (document->id() == m_selectedId)
            state.selectedDocumentID = document->id();
        state.documents.append(entry);
    }
    return state;
}

void DocumentManager::persistSessionState()
{
    m_sessionDebounce.stop();
    m_sessionDeadline.stop();
    reloadRecentDocuments();
    m_sessionStore.write(currentSessionState());
    Q_EMIT sessionStatePersisted();
}

std::optional<DocumentSessionState> DocumentManager::loadPersistedSessionState()
{
    return m_sessionStore.load();
}

std::unique_ptr<TabDocument> DocumentManager::restoredTab(const SessionDocumentState &entry) const
{
    QUuid id = entry.id;
    // A hand-edited file may repeat an id; the tab still comes back, under a new one.
    if (documentWithId(id))
        id = QUuid::createUuid();
    if (!entry.filePath) {
        return std::make_unique<TabDocument>(id, QUrl(), QByteArray(), entry.text, entry.lastSavedText,
                                             entry.isModified, entry.lastKnownModificationDate.value_or(QDateTime()));
    }
    const QUrl url = QUrl::fromLocalFile(*entry.filePath);
    if (!entry.isModified) {
        try {
            return TabDocument::open(url, entry.securityScopedBookmark, id);
        } catch (const std::exception &) {
            // Gone or unreadable: the stored text and path come back instead.
        }
    }
    auto document = std::make_unique<TabDocument>(id, url, entry.securityScopedBookmark, entry.text,
                                                  entry.lastSavedText, entry.isModified,
                                                  entry.lastKnownModificationDate.value_or(QDateTime()));
    // A plain "\n" layout is not stored; the tab then keeps whatever its file has.
    if (entry.lineEnding != SessionLineEnding::Lf || entry.hasByteOrderMark)
        document->setFileFormat({tabLineEnding(entry.lineEnding), entry.hasByteOrderMark});
    return document;
}

void DocumentManager::restorePersistedSession()
{
    // Files opened before the window appeared take the place of the session.
    if (!m_documents.isEmpty() || !m_sessionStore.shouldRestoreSession())
        return;
    const std::optional<DocumentSessionState> state = loadPersistedSessionState();
    if (!state)
        return;
    for (const SessionDocumentState &entry : state->documents) {
        TabDocument *document = restoredTab(entry).release();
        document->setParent(this);
        m_documents.append(document);
    }
    for (TabDocument *document : std::as_const(m_documents))
        attach(document);
    Q_EMIT documentsChanged();
    QUuid selected;
    if (state->selectedDocumentID && documentWithId(*state->selectedDocumentID))
        selected = *state->selectedDocumentID;
    else if (!m_documents.isEmpty())
        selected = m_documents.constFirst()->id();
    setSelectedId(selected);
}

void DocumentManager::restoreSessionIfNeeded()
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
                                                static_cast<int>(m_documents.size()));

    m_isRestoringSession = true;
    restorePersistedSession();
    restoreFromRecoveryIfNeeded(snapshots, sessionTime);
    m_isRestoringSession = false;
    scheduleSessionSave();
}

void DocumentManager::restoreFromRecoveryIfNeeded(const QList<RecoveredSnapshot> &snapshots,
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
        if (TabDocument *tab = documentWithId(snapshot.id)) {
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
                                                 true, QDateTime(), this);
                attach(document);
                m_documents.append(document);
                added = true;
                if (m_selectedId.isNull())
                    setSelectedId(document->id());
            }
            if (added)
                Q_EMIT documentsChanged();
        }
    }
    clearRecoveryFiles();
}

void DocumentManager::saveRecoveryFiles()
{
    QList<RecoverySnapshot> snapshots;
    for (const TabDocument *document : std::as_const(m_documents)) {
        if (!document->isModified() || document->isSensitive())
            continue;
        snapshots.append({document->id(), document->text(), document->title(),
                          document->fileURL().isEmpty() ? QString() : document->fileURL().toLocalFile()});
    }
    m_recoveryStore.writeSnapshots(snapshots);
    Q_EMIT recoveryFilesSaved();
}

void DocumentManager::clearRecoveryFiles()
{
    m_recoveryStore.clear();
}

bool DocumentManager::prepareForTermination()
{
    const QList<QPointer<TabDocument>> tabs(m_documents.cbegin(), m_documents.cend());
    for (auto it = tabs.crbegin(); it != tabs.crend(); ++it) {
        TabDocument *document = *it;
        if (!document || !document->isModified())
            continue;
        switch (promptForUnsavedChanges(document)) {
        case UnsavedChangesDecision::save:
            if (!save(document))
                return false;
            break;
        case UnsavedChangesDecision::dontSave:
            document->discardUnsavedChanges();
            break;
        case UnsavedChangesDecision::cancel:
            return false;
        }
    }
    clearRecoveryFiles();
    persistSessionState();
    return true;
}

void DocumentManager::persistForForcedExit()
{
    // Snapshots first: the session written after them is the newer record, so the
    // next launch offers none of them again unless restoring is switched off.
    saveRecoveryFiles();
    persistSessionState();
}
