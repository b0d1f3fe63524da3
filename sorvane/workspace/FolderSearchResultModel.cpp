#include "FolderSearchResultModel.h"

#include "HomePath.h"

#include <QFileInfo>

FolderSearchResultModel::FolderSearchResultModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void FolderSearchResultModel::setFiles(const QList<WorkspaceSearchFileSummary> &files)
{
    beginResetModel();
    m_files = files;
    m_rows.clear();
    for (int f = 0; f < m_files.size(); ++f) {
        m_rows.append({f, -1});
        for (int s = 0; s < m_files.at(f).snippets.size(); ++s)
            m_rows.append({f, s});
    }
    endResetModel();
}

int FolderSearchResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant FolderSearchResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row row = m_rows.at(index.row());
    const WorkspaceSearchFileSummary &file = m_files.at(row.file);
    const bool isFileRow = row.snippet < 0;
    switch (role) {
    case Qt::DisplayRole:
        return isFileRow ? file.url.fileName() : file.snippets.at(row.snippet).lineText.trimmed();
    case Qt::ToolTipRole:
        return isFileRow ? file.url.toLocalFile() : file.snippets.at(row.snippet).lineText;
    case KindRole:
        return QVariant::fromValue(isFileRow ? Kind::file : Kind::line);
    case UrlRole:
        return file.url;
    case LineRole:
        return isFileRow ? 1 : file.snippets.at(row.snippet).lineNumber;
    case FolderRole:
        return isFileRow ? HomePath::abbreviated(QFileInfo(file.url.toLocalFile()).path()) : QString();
    case CountRole:
        return isFileRow ? QString::number(file.matchCount) + (file.countCapped ? QStringLiteral("+") : QString())
                         : QString();
    case LastInFileRole:
        return row.snippet == file.snippets.size() - 1;
    default:
        return {};
    }
}
