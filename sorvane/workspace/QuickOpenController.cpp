#include "QuickOpenController.h"

#include "HomePath.h"
#include "platform/HomeIndexSource.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

QuickOpenController::QuickOpenController(HomeIndexSource *index, QObject *parent)
    : QObject(parent)
    , m_index(index)
    , m_home(QDir::homePath())
    , m_opener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    if (!m_index)
        return;
    connect(m_index, &HomeIndexSource::gatheringFinished, this, &QuickOpenController::processResults);
    connect(m_index, &HomeIndexSource::updated, this, &QuickOpenController::processResults);
    m_index->start();
    // An index that already gathered (a second controller) is read now.
    processResults();
}

void QuickOpenController::setSearchText(const QString &text)
{
    const bool changed = text != m_searchText;
    m_searchText = text;
    if (changed)
        Q_EMIT searchTextChanged();
    filterResults();
}

void QuickOpenController::setHomePath(const QString &home)
{
    m_home = home;
    filterResults();
}

void QuickOpenController::show()
{
    setSearchText(QString());
    setSelectedIndex(0);
    filterResults();
    if (m_index)
        m_index->refresh();
}

void QuickOpenController::moveSelection(int delta)
{
    if (m_results.isEmpty())
        return;
    setSelectedIndex(std::clamp(m_selectedIndex + delta, 0, int(m_results.size()) - 1));
}

void QuickOpenController::openSelected()
{
    if (m_selectedIndex >= m_results.size())
        return;
    openResult(m_selectedIndex);
}

void QuickOpenController::openResult(int row)
{
    if (row < 0 || row >= m_results.size())
        return;
    const QUrl url = m_results.at(row).url;
    Q_EMIT hideRequested();
    m_opener(url);
}

QString QuickOpenController::timeAgo(const QDateTime &date, const QDateTime &now)
{
    const qint64 age = date.secsTo(now);
    if (age < 60)
        return tr("just now");
    if (age < 3600)
        return tr("%1m ago").arg(age / 60);
    if (age < 86400)
        return tr("%1h ago").arg(age / 3600);
    if (age < 604800)
        return tr("%1d ago").arg(age / 86400);
    return QLocale().toString(date.toLocalTime().date(), QLocale::ShortFormat);
}

QString QuickOpenController::folderText(const QUrl &url) const
{
    return HomePath::abbreviated(QFileInfo(url.toLocalFile()).path(), m_home);
}

void QuickOpenController::processResults()
{
    if (!m_index)
        return;
    // The cap counts the index's positions: an unusable item still takes one.
    const QList<HomeIndexItem> items = m_index->snapshot(snapshotLimit);
    QList<QuickOpenResult> all;
    all.reserve(items.size());
    for (const HomeIndexItem &item : items) {
        if (item.path.isEmpty())
            continue;
        all.append({item.path, QUrl::fromLocalFile(item.path), item.modified});
    }
    m_allResults = std::move(all);
    filterResults();
}

void QuickOpenController::filterResults()
{
    setSelectedIndex(0);
    QList<QuickOpenResult> shown;
    if (m_searchText.isEmpty()) {
        shown = m_allResults.mid(0, shownLimit);
    } else {
        // Only the plain space separates terms; tabs stay inside one.
        const QStringList terms = m_searchText.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QuickOpenResult &result : std::as_const(m_allResults)) {
            const QString text =
                (result.url.fileName() + QLatin1Char(' ') + folderText(result.url)).toLower();
            const bool matches = std::all_of(terms.begin(), terms.end(),
                                             [&text](const QString &term) { return text.contains(term); });
            if (matches && shown.size() < shownLimit)
                shown.append(result);
        }
    }
    m_results = std::move(shown);
    Q_EMIT resultsChanged();
}

void QuickOpenController::setSelectedIndex(int index)
{
    if (index == m_selectedIndex)
        return;
    m_selectedIndex = index;
    Q_EMIT selectedIndexChanged();
}
