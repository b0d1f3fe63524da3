#pragma once

#include "QuickOpenResult.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class HomeIndexSource;

// Quick Open's state: the search text, the (at most 30) rows it lets through from the
// index's 300 most recently changed Markdown files, and the highlighted row. Opening
// hands the file to the desktop's default application, not to the document manager.
// Made by the first "Quick Open..." command, which also starts the index.
class QuickOpenController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
public:
    using Opener = std::function<bool(const QUrl &)>;
    using Clock = std::function<QDateTime()>;

    static constexpr int snapshotLimit = 300;
    static constexpr int shownLimit = 30;

    // The index is held weakly and started here.
    explicit QuickOpenController(HomeIndexSource *index, QObject *parent = nullptr);

    QString searchText() const { return m_searchText; }
    // Stores the text and filters again.
    void setSearchText(const QString &text);
    const QList<QuickOpenResult> &results() const { return m_results; }
    int selectedIndex() const { return m_selectedIndex; }

    // Empties the field, highlights the first row and asks the index to catch up.
    void show();
    // Moves the highlight, kept within the rows; nothing without rows.
    void moveSelection(int delta);
    // Opens the highlighted row.
    void openSelected();
    // Opens the given row (a click), leaving the highlight where it is.
    void openResult(int row);

    // Relative age of a change date: "just now", "5m ago", "3h ago", "6d ago", then the
    // locale's short date.
    static QString timeAgo(const QDateTime &date, const QDateTime &now);
    QString timeAgo(const QDateTime &date) const { return timeAgo(date, m_clock()); }
    // The row's folder line: the containing folder, home written "~".
    QString folderText(const QUrl &url) const;

    // Defaults: QDesktopServices::openUrl, the current time, the user's home folder.
    void setOpener(Opener opener) { m_opener = std::move(opener); }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setHomePath(const QString &home);

Q_SIGNALS:
    void searchTextChanged();
    void resultsChanged();
    void selectedIndexChanged();
    // A file is being opened: the panel goes away.
    void hideRequested();

private:
    void processResults();
    void filterResults();
    void setSelectedIndex(int index);

    QPointer<HomeIndexSource> m_index;
    QString m_searchText;
    QList<QuickOpenResult> m_results;
    QList<QuickOpenResult> m_allResults;
    int m_selectedIndex = 0;
    QString m_home;
    Opener m_opener;
    Clock m_clock;
};
