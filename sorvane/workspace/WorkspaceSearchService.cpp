#include "WorkspaceSearchService.h"

#include "WorkspaceSearchWalk.h"

WorkspaceSearchService::WorkspaceSearchService(QObject *parent)
    : QObject(parent)
{
    // A stopped walk may still be reading its last file while the next one starts.
    m_pool.setMaxThreadCount(2);
}

WorkspaceSearchService::~WorkspaceSearchService()
{
    stopRunningSearch();
    m_pool.waitForDone();
}

void WorkspaceSearchService::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    m_query = query;
    Q_EMIT queryChanged();
}

void WorkspaceSearchService::setCaseSensitive(bool caseSensitive)
{
    if (caseSensitive == m_caseSensitive)
        return;
    m_caseSensitive = caseSensitive;
    Q_EMIT caseSensitiveChanged();
}

void WorkspaceSearchService::updateRoot(const QUrl &documentURL)
{
    if (!documentURL.isValid() || !documentURL.isLocalFile())
        return;
    const QUrl folder = documentURL.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
    if (folder == m_rootURL)
        return;
    m_rootURL = folder;
    Q_EMIT rootURLChanged();
}

void WorkspaceSearchService::performSearch()
{
    stopRunningSearch();
    if (m_query.isEmpty() || m_rootURL.isEmpty()) {
        publish({}, 0, false);
        return;
    }
    setIsSearching(true);

    auto stop = std::make_shared<std::atomic_bool>(false);
    m_stop = stop;
    const quint64 generation = ++m_generation;
    m_pool.start([this, stop, generation, root = m_rootURL.toLocalFile(), query = m_query,
                  caseSensitive = m_caseSensitive, beforeEntry = m_beforeEntry] {
        WorkspaceSearchWalk::Outcome outcome = WorkspaceSearchWalk::run(root, query, caseSensitive, *stop, beforeEntry);
        if (stop->load())
            return;
        // The destructor waits for this worker, so the service is still there; the
        // queued call dies with it.
        QMetaObject::invokeMethod(
            this,
            [this, stop, generation, outcome = std::move(outcome)]() mutable {
                if (stop->load() || generation != m_generation)
                    return;
                m_stop.reset();
                publish(std::move(outcome.files), outcome.total, outcome.capped);
            },
            Qt::QueuedConnection);
    });
}

bool WorkspaceSearchService::waitForWorkers(int msecs)
{
    return m_pool.waitForDone(msecs);
}

void WorkspaceSearchService::stopRunningSearch()
{
    if (m_stop) {
        m_stop->store(true);
        m_stop.reset();
    }
    ++m_generation;
}

void WorkspaceSearchService::setIsSearching(bool searching)
{
    if (searching == m_isSearching)
        return;
    m_isSearching = searching;
    Q_EMIT isSearchingChanged();
}

void WorkspaceSearchService::publish(QList<WorkspaceSearchFileSummary> files, int total, bool capped)
{
    const bool filesChange = !(files.isEmpty() && m_files.isEmpty());
    m_files = std::move(files);
    if (filesChange)
        Q_EMIT filesChanged();
    if (total != m_totalMatches) {
        m_totalMatches = total;
        Q_EMIT totalMatchesChanged();
    }
    if (capped != m_capped) {
        m_capped = capped;
        Q_EMIT cappedChanged();
    }
    setIsSearching(false);
}
