#pragma once

#include "AgentFavorite.h"
#include "AgentFileNode.h"

#include <QAbstractItemModel>
#include <QList>

#include <optional>
#include <vector>

class AgentWorkspaceService;

// The sidebar's list as one item model: the pins under "PINNED", the file count, then
// the tree (or a line saying it is scanning or empty), then the truncation notice.
// Rows point into the service's published tree: no object per file, so publishing a
// tree of 6000 files costs one reset and a flat index built in one pass.
class AgentWorkspaceModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum class RowKind { PinnedHeader, Pin, PinnedGap, CountHeader, Placeholder, Node, Notice };
    enum Role {
        KindRole = Qt::UserRole + 1,
        PathRole,
        IsFolderRole,
        IsAgentDocRole,
        // The row is the selected document's file.
        IsOpenRole,
        // A file row that is pinned.
        IsFavoriteRole,
    };

    explicit AgentWorkspaceModel(AgentWorkspaceService &service, QObject *parent = nullptr);

    // The selected document's file (a cleaned path); empty for none. Its rows are highlighted.
    void setOpenPath(const QString &path);
    QString openPath() const { return m_openPath; }

    RowKind kind(const QModelIndex &index) const;
    // The tree entry of a Node row, else null. Valid until the next reset.
    const AgentFileNode *node(const QModelIndex &index) const;
    std::optional<AgentFavorite> favorite(const QModelIndex &index) const;
    // The tree row of a path; invalid when the tree has none.
    QModelIndex indexForPath(const QString &path) const;
    // Top-level row of a section row kind (not Pin or Node); invalid when not shown.
    QModelIndex sectionIndex(RowKind kind) const;
    QModelIndex pinIndex(int position) const;
    // Every folder of the tree, in one pass.
    QList<QModelIndex> folderIndexes() const;

    static QString countTitle(int fileCount);
    static QString truncationNotice(int fileCount);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Entry {
        const AgentFileNode *node;
        int parent;
        // Among its siblings (for top-level nodes: within the tree, not the model).
        int row;
        int firstChild;
    };

    void rebuild();
    void syncFavorites();
    void syncFileCount();
    void syncScanning();
    void syncTruncated();
    void emitNodeChanged(const QString &path, const QList<int> &roles);

    int pinBlockSize() const;
    int treeOffset() const { return pinBlockSize() + 1; }
    int treeBlockSize() const;
    int topRowCount() const;
    QModelIndex nodeIndex(int entry) const;
    static quintptr makeId(RowKind kind, quintptr payload);

    AgentWorkspaceService &m_service;
    // Copies of the service's published values as this model last announced them.
    QList<AgentFileNode> m_tree;
    QList<AgentFavorite> m_favorites;
    int m_fileCount = 0;
    bool m_scanning = false;
    bool m_truncated = false;
    QString m_openPath;
    std::vector<Entry> m_entries;
};
