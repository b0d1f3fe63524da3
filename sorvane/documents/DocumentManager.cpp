#include "DocumentManager.h"

#include "DocumentSessionKeeper.h"
#include "EditorRequestHub.h"
#include "MarkdownContentType.h"
#include "diagnostics/DiagnosticUploader.h"
#include "platform/AlertPresenter.h"
#include "platform/Bookmark.h"
#include "platform/RecentDocuments.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

DocumentManager::DocumentManager(QObject *parent)
    : QObject(parent)
    , m_findRequestToken(QUuid::createUuid())
    , m_replaceRequestToken(QUuid::createUuid())
    , m_session(new DocumentSessionKeeper(*this))
{
    reloadRecentDocuments();
}

DocumentManager::~DocumentManager()
{
    // Gone before the tabs: a tab changing while it is destroyed finds no keeper.
    delete m_session;
    m_session = nullptr;
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
    return m_selectedId.isNull() ? nullptr : documentWithId(m_selectedId);
}

TabDocument *DocumentManager::documentWithId(const QUuid &id) const
{
    for (TabDocument *document : m_documents) {
        if (document->id() == id)
            return document;
    }
    return nullptr;
}

void DocumentManager::attach(TabDocument *document)
{
    document->onStateChange = [manager = QPointer<DocumentManager>(this)] {
        if (manager && manager->m_session)
            manager->m_session->scheduleSave();
    };
}

TabDocument *DocumentManager::appendDocument(std::unique_ptr<TabDocument> owned, bool select)
{
    TabDocument *document = owned.release();
    attach(document);
    document->setParent(this);
    m_documents.append(document);
    Q_EMIT documentsChanged();
    if (select)
        setSelectedId(document->id());
    return document;
}

TabDocument *DocumentManager::addDocument(std::unique_ptr<TabDocument> document)
{
    return appendDocument(std::move(document));
}

void DocumentManager::openFile(const QString &path)
{
    openFile(QUrl::fromLocalFile(path));
}

void DocumentManager::openFile(const QUrl &url)
{
    if (!url.isLocalFile()) {
        showReadError(DocumentAccessError::openFailed(url));
        return;
    }
    const QUrl normalized = TabDocument::normalizedURL(url);
    for (TabDocument *document : std::as_const(m_documents)) {
        if (!document->fileURL().isEmpty() && TabDocument::normalizedURL(document->fileURL()) == normalized) {
            setSelectedId(document->id());
            return;
        }
    }
    if (m_encryptedFileHandler && m_encryptedFileHandler(normalized.toLocalFile()))
        return;
    const QByteArray bookmark = Bookmark::create(normalized.toLocalFile()).value_or(QByteArray());
    TabDocument::Opened document = TabDocument::open(normalized, bookmark, QUuid::createUuid());
    if (!document) {
        showReadError(document.error().description(), normalized);
        return;
    }
    appendDocument(std::move(*document));
    noteRecentDocument(normalized);
    m_session->scheduleSave();
}

void DocumentManager::newDocument(const QString &text, bool markedSaved, bool select)
{
    const QString lastSaved = markedSaved ? text : QString();
    const bool modified = markedSaved ? false : !text.isEmpty();
    appendDocument(std::make_unique<TabDocument>(QUuid::createUuid(), QUrl(), QByteArray(), text, lastSaved,
                                                 modified, QDateTime()),
                   select);
    m_session->scheduleSave();
}

void DocumentManager::closeDocument(const QUuid &id)
{
    TabDocument *document = documentWithId(id);
    if (!document || !resolveUnsavedChanges(document))
        return;
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
    m_session->scheduleSave();
}

bool DocumentManager::resolveUnsavedChanges(TabDocument *document)
{
    if (!document->isModified())
        return true;
    AlertRequest request;
    request.messageText = QStringLiteral("Save changes to ") + quoted(document->title()) + QLatin1Char('?');
    request.informativeText = QStringLiteral("Your changes will be lost if you don't save them.");
    request.buttons = {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")};
    switch (AlertPresenter::shared().runModal(request)) {
    case 0:
        return save(document);
    case 1:
        document->discardUnsavedChanges();
        return true;
    default:
        return false;
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
    if (const TabDocument::Access saved = document->save(); !saved) {
        showSaveError(saved.error().description());
        return false;
    }
    noteRecentDocument(document->fileURL());
    m_session->scheduleSave();
    return true;
}

bool DocumentManager::saveAs(TabDocument *document)
{
    if (!document)
        return false;
    FilePanelRequest request;
    request.title = QStringLiteral("Save As");
    request.nameFilters = MarkdownContentType::savePanelNameFilters();
    request.defaultSuffix = QStringLiteral("md");
    request.keepsOtherSuffix = true;
    // An untitled tab's panel opens in the folder last used (the presenter's choice).
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
    if (const TabDocument::Access saved = document->saveTo(QUrl::fromLocalFile(*chosen)); !saved) {
        showSaveError(saved.error().description());
        return false;
    }
    // The tab's URL is the chosen file in its resolved form, so a link does not
    // give the same file a second entry.
    noteRecentDocument(document->fileURL());
    m_session->scheduleSave();
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
    if (const TabDocument::Access reverted = document->revert(); !reverted) {
        showReadError(reverted.error().description(), document->fileURL());
        return;
    }
    m_session->scheduleSave();
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
    EditorRequestHub::shared().requestFormatting(document->id(), action);
}

void DocumentManager::selectNextTab()
{
    selectTabAtOffset(1);
}

void DocumentManager::selectPreviousTab()
{
    selectTabAtOffset(-1);
}

void DocumentManager::selectTabAtOffset(qsizetype offset)
{
    const qsizetype count = m_documents.size();
    if (m_selectedId.isNull() || count < 2)
        return;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_documents.at(i)->id() == m_selectedId) {
            setSelectedId(m_documents.at((i + offset + count) % count)->id());
            return;
        }
    }
}

double DocumentManager::currentFontSize() const
{
    const QJsonValue stored = Settings::shared().storedValue(SettingsKeys::fontSize);
    return stored.isDouble() && Settings::isUsableFontSize(stored.toDouble()) ? stored.toDouble()
                                                                               : SettingsDefaults::fontSize;
}

void DocumentManager::showReadError(const DocumentAccessError &error)
{
    showReadError(error.description(), error.url());
}

void DocumentManager::showReadError(const QString &description, const QUrl &url)
{
    AlertRequest request = AlertRequest::failure(
        QStringLiteral("Could not open file"),
        description.isEmpty() ? QStringLiteral("sorv.ane could not open this file.") : description);
    if (!url.isEmpty())
        request.accessoryText = url.isLocalFile() ? url.toLocalFile() : url.toString();
    AlertPresenter::shared().runModal(request);
}

void DocumentManager::showSaveError(const QString &description)
{
    // Counted from the event loop so the alert is not held up.
    QTimer::singleShot(0, QCoreApplication::instance(), [] { DiagnosticUploader::noteSaveFailure(); });
    AlertPresenter::shared().runModal(AlertRequest::failure(QStringLiteral("Could not save file"), description));
}

bool DocumentManager::prepareForTermination()
{
    const QList<QPointer<TabDocument>> tabs(m_documents.cbegin(), m_documents.cend());
    for (auto it = tabs.crbegin(); it != tabs.crend(); ++it) {
        if (*it && !resolveUnsavedChanges(*it))
            return false;
    }
    m_session->clearRecoveryFiles();
    m_session->persistSessionState();
    return true;
}
