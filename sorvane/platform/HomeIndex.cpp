#include "HomeIndex.h"

#include "HomeIndexWatcher.h"
#include "HomeIndexWorker.h"

#include <QThread>

HomeIndex::HomeIndex(const QString &root, std::unique_ptr<HomeIndexWatcher> watcher, QObject *parent)
    : HomeIndexSource(parent)
    , m_thread(new QThread(this))
    , m_worker(new HomeIndexWorker(root, watcher ? std::move(watcher) : std::make_unique<HomeIndexWatcher>()))
{
    m_thread->setObjectName(QStringLiteral("home index"));
    m_worker->moveToThread(m_thread);
    connect(m_worker, &HomeIndexWorker::gatheringFinished, this, [this] {
        m_gathered = true;
        Q_EMIT gatheringFinished();
    });
    connect(m_worker, &HomeIndexWorker::updated, this, &HomeIndexSource::updated);
}

HomeIndex::~HomeIndex()
{
    if (m_thread->isRunning()) {
        m_worker->requestStop();
        QMetaObject::invokeMethod(m_worker, &HomeIndexWorker::shutdown, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
    }
    delete m_worker;
}

void HomeIndex::start()
{
    if (m_started)
        return;
    m_started = true;
    m_thread->start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_worker, &HomeIndexWorker::start, Qt::QueuedConnection);
}

void HomeIndex::refresh()
{
    if (m_gathered && !m_worker->isWatching())
        m_worker->requestRewalk();
}

QList<HomeIndexItem> HomeIndex::snapshot(qsizetype limit) const
{
    const auto entries = m_worker->published();
    const qsizetype count = std::min<qsizetype>(limit, qsizetype(entries->size()));
    QList<HomeIndexItem> items;
    items.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const HomeIndexWorker::Entry &entry = (*entries)[size_t(i)];
        items.append({entry.path, QDateTime::fromMSecsSinceEpoch(entry.modifiedNs / 1000000, Qt::UTC)});
    }
    return items;
}

bool HomeIndex::isWatching() const
{
    return m_worker->isWatching();
}

int HomeIndex::watchCount() const
{
    return m_worker->watchCount();
}
