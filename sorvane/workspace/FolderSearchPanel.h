#pragma once

#include "FloatingPanel.h"

#include <QUrl>

class FolderSearchResultModel;
class FolderSearchSymbol;
class GlyphButton;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QStackedWidget;
class WorkspaceSearchService;

// The floating folder search: a query field and a case toggle over the matching
// files, each with its first matching lines, and a footer with the search status and
// the folder searched. Every change of the query and Return search; the case toggle
// applies from the next one. Clicking a file or a line asks for it to be opened; the
// panel stays. Made once by WorkspaceSearchController over its service.
class FolderSearchPanel : public FloatingPanel
{
    Q_OBJECT
public:
    explicit FolderSearchPanel(WorkspaceSearchService *service, QWidget *parent = nullptr);

    QLineEdit *queryField() const { return m_query; }
    GlyphButton *caseToggle() const { return m_caseToggle; }
    QListView *resultList() const { return m_list; }
    FolderSearchResultModel *resultModel() const { return m_model; }
    // What shows while there are no results: a symbol and a line of text.
    bool showsEmptyState() const;
    FolderSearchSymbol *emptySymbol() const { return m_emptySymbol; }
    QLabel *emptyText() const { return m_emptyText; }
    QProgressBar *busyIndicator() const { return m_busy; }
    QLabel *statusText() const { return m_status; }
    // The searched folder's path; its whole text is the tool tip, the label may cut it.
    QLabel *rootText() const { return m_root; }

    static constexpr int panelWidth = 640;
    static constexpr int panelHeight = 500;

Q_SIGNALS:
    // A file row asks for line 1.
    void openRequested(const QUrl &url, int line);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The label colours are strengths of the text colour: set again when it changes.
    void applyColors();
    void refreshContent();
    void refreshFooter();
    void openRow(int row);

    WorkspaceSearchService *m_service;
    QLineEdit *m_query;
    GlyphButton *m_caseToggle;
    QStackedWidget *m_stack;
    FolderSearchSymbol *m_emptySymbol;
    QLabel *m_emptyText;
    QListView *m_list;
    FolderSearchResultModel *m_model;
    QProgressBar *m_busy;
    QLabel *m_status;
    QLabel *m_root;
};
