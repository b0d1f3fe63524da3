#pragma once

#include "WorkspaceSearchFileSummary.h"

#include <QAbstractListModel>
#include <QList>

// The folder search results as one flat list: per file a file row, then a row for
// each of its first matching lines. Rows keep no copy of their own; they point into
// the summaries.
class FolderSearchResultModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1, // Kind
        UrlRole,                     // QUrl of the file
        LineRole,                    // 1-based line to open; 1 for a file row
        FolderRole,                  // file row: the parent folder, home as "~"
        CountRole,                   // file row: matching lines, "21+" when capped
        LastInFileRole,              // the last row of its file
    };
    enum class Kind { file, line };
    Q_ENUM(Kind)

    explicit FolderSearchResultModel(QObject *parent = nullptr);

    void setFiles(const QList<WorkspaceSearchFileSummary> &files);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // Display: the file name of a file row, the trimmed text of a line row.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        int file;
        int snippet; // -1 for the file row
    };
    QList<WorkspaceSearchFileSummary> m_files;
    QList<Row> m_rows;
};
