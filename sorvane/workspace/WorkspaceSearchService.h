#pragma once

#include "WorkspaceSearchFileSummary.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

// The folder search: a live substring search through the text files of one folder
// tree, the folder of the document in front. Holds the query and case option the
// search panel edits, runs one search at a time on a worker thread and publishes the
// matching files and the total on the GUI thread. Nothing is indexed: every search
// walks the folder and reads its files anew. Made once by WorkspaceSearchController.
class WorkspaceSearchService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(bool caseSensitive READ caseSensitive WRITE setCaseSensitive NOTIFY caseSensitiveChanged)
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY isSearchingChanged)
    Q_PROPERTY(QList<WorkspaceSearchFileSummary> files READ files NOTIFY filesChanged)
    Q_PROPERTY(int totalMatches READ totalMatches NOTIFY totalMatchesChanged)
    Q_PROPERTY(bool capped READ capped NOTIFY cappedChanged)
    Q_PROPERTY(QUrl rootURL READ rootURL NOTIFY rootURLChanged)

public:
    explicit WorkspaceSearchService(QObject *parent = nullptr);
    // Stops the running search and waits for its worker.
    ~WorkspaceSearchService() override;

    QString query() const { return m_query; }
    void setQuery(const QString &query);
    bool caseSensitive() const { return m_caseSensitive; }
    void setCaseSensitive(bool caseSensitive);
    bool isSearching() const { return m_isSearching; }
    // The last completed search, most matches first.
    QList<WorkspaceSearchFileSummary> files() const { return m_files; }
    int totalMatches() const { return m_totalMatches; }
    // A cap cut the last search short: there may be more matches than totalMatches.
    bool capped() const { return m_capped; }
    QUrl rootURL() const { return m_rootURL; }

    // The document's folder becomes the root; no URL (no document, an untitled one)
    // keeps the root. Starts no search; the results stay until the next one.
    void updateRoot(const QUrl &documentURL);
    // Stops the running search and starts one for the current query, case option and
    // root, or clears the results when the query is empty or there is no root.
    void performSearch();

    // Runs on the worker before each entry of a walk, so a test can hold a walk back.
    void setBeforeEntryForTesting(std::function<void()> hook) { m_beforeEntry = std::move(hook); }
    // Waits until no worker runs; false on timeout.
    bool waitForWorkers(int msecs = -1);

Q_SIGNALS:
    void queryChanged();
    void caseSensitiveChanged();
    void isSearchingChanged();
    void filesChanged();
    void totalMatchesChanged();
    void cappedChanged();
    void rootURLChanged();

private:
    void stopRunningSearch();
    void setIsSearching(bool searching);
    void publish(QList<WorkspaceSearchFileSummary> files, int total, bool capped);

    QString m_query;
    bool m_caseSensitive = false;
    bool m_isSearching = false;
    QList<WorkspaceSearchFileSummary> m_files;
    int m_totalMatches = 0;
    bool m_capped = false;
    QUrl m_rootURL;

    // The running search's stop flag and number; a result applies only while both say
    // it is still the newest search.
    std::shared_ptr<std::atomic_bool> m_stop;
    quint64 m_generation = 0;
    std::function<void()> m_beforeEntry;
    QThreadPool m_pool;
};
