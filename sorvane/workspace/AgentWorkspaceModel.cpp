#include "AgentWorkspaceModel.h"

#include "AgentWorkspaceService.h"
#include "AgentWorkspaceWalk.h"

#include <QSet>

namespace {

constexpr int kindBits = 3;

} // namespace

AgentWorkspaceModel::AgentWorkspaceModel(AgentWorkspaceService &service, QObject *parent)
    : QAbstractItemModel(parent)
    , m_service(service)
{
    connect(&service, &AgentWorkspaceService::treeChanged, this, [this] {
        beginResetModel();
        rebuild();
        endResetModel();
    });
    connect(&service, &AgentWorkspaceService::favoritesChanged, this, &AgentWorkspaceModel::syncFavorites);
    connect(&service, &AgentWorkspaceService::fileCountChanged, this, &AgentWorkspaceModel::syncFileCount);
    connect(&service, &AgentWorkspaceService::isScanningChanged, this, &AgentWorkspaceModel::syncScanning);
    connect(&service, &AgentWorkspaceService::truncatedChanged, this, &AgentWorkspaceModel::syncTruncated);
    rebuild();
}

quintptr AgentWorkspaceModel::makeId(RowKind kind, quintptr payload)
{
    return (payload << kindBits) | static_cast<quintptr>(kind);
}

void AgentWorkspaceModel::rebuild()
{
    m_tree = m_service.tree();
    m_favorites = m_service.favorites();
    m_fileCount = m_service.fileCount();
    m_scanning = m_service.isScanning();
    m_truncated = m_service.truncated();
    m_entries.clear();
    // Breadth first, so that the children of every folder sit side by side.
    const QList<AgentFileNode> &top = std::as_const(m_tree);
    for (int i = 0; i < top.size(); ++i)
        m_entries.push_back({&top.at(i), -1, i, -1});
    for (size_t at = 0; at < m_entries.size(); ++at) {
        const AgentFileNode *folder = m_entries[at].node;
        if (!folder->isDirectory)
            continue;
        m_entries[at].firstChild = static_cast<int>(m_entries.size());
        const QList<AgentFileNode> &children = folder->children;
        for (int i = 0; i < children.size(); ++i)
            m_entries.push_back({&children.at(i), static_cast<int>(at), i, -1});
    }
}

void AgentWorkspaceModel::syncFavorites()
{
    const QList<AgentFavorite> fresh = m_service.favorites();
    if (fresh == m_favorites)
        return;
    QSet<QString> before;
    for (const AgentFavorite &each : std::as_const(m_favorites))
        before.insert(each.path);
    QSet<QString> after;
    for (const AgentFavorite &each : fresh)
        after.insert(each.path);
    // The pinned block is replaced as a whole; the tree's rows below keep their
    // expansion and selection.
    if (const int oldBlock = pinBlockSize(); oldBlock > 0) {
        beginRemoveRows({}, 0, oldBlock - 1);
        m_favorites.clear();
        endRemoveRows();
    }
    if (!fresh.isEmpty()) {
        beginInsertRows({}, 0, static_cast<int>(fresh.size()) + 1);
        m_favorites = fresh;
        endInsertRows();
    }
    // The stars in the tree follow the pins.
    const QSet<QString> changed = (before - after) | (after - before);
    for (const QString &path : changed)
        emitNodeChanged(path, {IsFavoriteRole});
}

void AgentWorkspaceModel::syncFileCount()
{
    if (m_fileCount == m_service.fileCount())
        return;
    m_fileCount = m_service.fileCount();
    const QModelIndex header = sectionIndex(RowKind::CountHeader);
    Q_EMIT dataChanged(header, header);
}

void AgentWorkspaceModel::syncScanning()
{
    if (m_scanning == m_service.isScanning())
        return;
    m_scanning = m_service.isScanning();
    if (const QModelIndex placeholder = sectionIndex(RowKind::Placeholder); placeholder.isValid())
        Q_EMIT dataChanged(placeholder, placeholder);
}

void AgentWorkspaceModel::syncTruncated()
{
    if (m_truncated == m_service.truncated())
        return;
    const int row = treeOffset() + treeBlockSize();
    if (m_truncated) {
        beginRemoveRows({}, row, row);
        m_truncated = false;
        endRemoveRows();
    } else {
        beginInsertRows({}, row, row);
        m_truncated = true;
        endInsertRows();
    }
}

void AgentWorkspaceModel::setOpenPath(const QString &path)
{
    if (path == m_openPath)
        return;
    const QString previous = m_openPath;
    m_openPath = path;
    for (const QString &each : {previous, path}) {
        if (each.isEmpty())
            continue;
        emitNodeChanged(each, {IsOpenRole});
        for (int i = 0; i < m_favorites.size(); ++i) {
            if (m_favorites.at(i).path == each) {
                const QModelIndex pin = pinIndex(i);
                Q_EMIT dataChanged(pin, pin, {IsOpenRole});
            }
        }
    }
}

void AgentWorkspaceModel::emitNodeChanged(const QString &path, const QList<int> &roles)
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].node->id == path) {
            const QModelIndex at = nodeIndex(static_cast<int>(i));
            Q_EMIT dataChanged(at, at, roles);
        }
    }
}

int AgentWorkspaceModel::pinBlockSize() const
{
    return m_favorites.isEmpty() ? 0 : static_cast<int>(m_favorites.size()) + 2;
}

int AgentWorkspaceModel::treeBlockSize() const
{
    return m_tree.isEmpty() ? 1 : static_cast<int>(m_tree.size());
}

int AgentWorkspaceModel::topRowCount() const
{
    return treeOffset() + treeBlockSize() + (m_truncated ? 1 : 0);
}

QModelIndex AgentWorkspaceModel::nodeIndex(int entry) const
{
    const Entry &e = m_entries[static_cast<size_t>(entry)];
    const int row = e.parent < 0 ? treeOffset() + e.row : e.row;
    return createIndex(row, 0, makeId(RowKind::Node, static_cast<quintptr>(entry)));
}

QModelIndex AgentWorkspaceModel::sectionIndex(RowKind kind) const
{
    int row = -1;
    switch (kind) {
    case RowKind::PinnedHeader:
        row = m_favorites.isEmpty() ? -1 : 0;
        break;
    case RowKind::PinnedGap:
        row = m_favorites.isEmpty() ? -1 : pinBlockSize() - 1;
        break;
    case RowKind::CountHeader:
        row = pinBlockSize();
        break;
    case RowKind::Placeholder:
        row = m_tree.isEmpty() ? treeOffset() : -1;
        break;
    case RowKind::Notice:
        row = m_truncated ? treeOffset() + treeBlockSize() : -1;
        break;
    case RowKind::Pin:
    case RowKind::Node:
        break;
    }
    return row < 0 ? QModelIndex() : createIndex(row, 0, makeId(kind, 0));
}

QModelIndex AgentWorkspaceModel::pinIndex(int position) const
{
    if (position < 0 || position >= m_favorites.size())
        return {};
    return createIndex(position + 1, 0, makeId(RowKind::Pin, static_cast<quintptr>(position)));
}

QList<QModelIndex> AgentWorkspaceModel::folderIndexes() const
{
    QList<QModelIndex> folders;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].node->isDirectory)
            folders.append(nodeIndex(static_cast<int>(i)));
    }
    return folders;
}

QModelIndex AgentWorkspaceModel::indexForPath(const QString &path) const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].node->id == path)
            return nodeIndex(static_cast<int>(i));
    }
    return {};
}

AgentWorkspaceModel::RowKind AgentWorkspaceModel::kind(const QModelIndex &index) const
{
    return static_cast<RowKind>(index.internalId() & ((1u << kindBits) - 1));
}

const AgentFileNode *AgentWorkspaceModel::node(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || kind(index) != RowKind::Node)
        return nullptr;
    return m_entries[index.internalId() >> kindBits].node;
}

std::optional<AgentFavorite> AgentWorkspaceModel::favorite(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || kind(index) != RowKind::Pin)
        return std::nullopt;
    return m_favorites.value(static_cast<qsizetype>(index.internalId() >> kindBits));
}

QString AgentWorkspaceModel::countTitle(int fileCount)
{
    if (fileCount == 1)
        return QStringLiteral("1 MARKDOWN FILE");
    return QString::number(fileCount) + QStringLiteral(" MARKDOWN FILES");
}

QString AgentWorkspaceModel::truncationNotice(int fileCount)
{
    return QStringLiteral("Showing the first ") + QString::number(fileCount)
        + QStringLiteral(" files. Narrow the folder to see everything.");
}

QModelIndex AgentWorkspaceModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid()) {
        if (row >= topRowCount())
            return {};
        const int pins = pinBlockSize();
        if (pins > 0 && row == 0)
            return sectionIndex(RowKind::PinnedHeader);
        if (pins > 0 && row < pins - 1)
            return pinIndex(row - 1);
        if (pins > 0 && row == pins - 1)
            return sectionIndex(RowKind::PinnedGap);
        if (row == pins)
            return sectionIndex(RowKind::CountHeader);
        const int inTree = row - treeOffset();
        if (inTree < treeBlockSize())
            return m_tree.isEmpty() ? sectionIndex(RowKind::Placeholder) : nodeIndex(inTree);
        return sectionIndex(RowKind::Notice);
    }
    const AgentFileNode *folder = node(parent);
    if (!folder || row >= folder->children.size())
        return {};
    const Entry &entry = m_entries[parent.internalId() >> kindBits];
    return nodeIndex(entry.firstChild + row);
}

QModelIndex AgentWorkspaceModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || kind(child) != RowKind::Node)
        return {};
    const Entry &entry = m_entries[child.internalId() >> kindBits];
    return entry.parent < 0 ? QModelIndex() : nodeIndex(entry.parent);
}

int AgentWorkspaceModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return topRowCount();
    const AgentFileNode *folder = node(parent);
    return folder ? static_cast<int>(folder->children.size()) : 0;
}

int AgentWorkspaceModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool AgentWorkspaceModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return topRowCount() > 0;
    const AgentFileNode *folder = node(parent);
    return folder && folder->isDirectory && !folder->children.isEmpty();
}

QVariant AgentWorkspaceModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const RowKind rowKind = kind(index);
    if (role == KindRole)
        return static_cast<int>(rowKind);
    switch (rowKind) {
    case RowKind::PinnedHeader:
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("PINNED")) : QVariant();
    case RowKind::CountHeader:
        return role == Qt::DisplayRole ? QVariant(countTitle(m_fileCount)) : QVariant();
    case RowKind::Placeholder:
        if (role != Qt::DisplayRole)
            return {};
        return m_scanning ? QStringLiteral("Scanning\u2026") : QStringLiteral("No markdown files in this folder.");
    case RowKind::Notice:
        return role == Qt::DisplayRole ? QVariant(truncationNotice(m_fileCount)) : QVariant();
    case RowKind::PinnedGap:
        return {};
    case RowKind::Pin: {
        const std::optional<AgentFavorite> pin = favorite(index);
        if (!pin)
            return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return pin->name;
        case PathRole:
            return pin->path;
        case IsAgentDocRole:
            return pin->isAgentDoc;
        case IsOpenRole:
            return !m_openPath.isEmpty() && pin->path == m_openPath;
        case IsFavoriteRole:
            return true;
        case IsFolderRole:
            return false;
        default:
            return {};
        }
    }
    case RowKind::Node: {
        const AgentFileNode *entry = node(index);
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return entry->name;
        case PathRole:
            return entry->id;
        case IsFolderRole:
            return entry->isDirectory;
        case IsAgentDocRole:
            return !entry->isDirectory && AgentWorkspaceWalk::isAgentDocName(entry->name);
        case IsOpenRole:
            return !m_openPath.isEmpty() && entry->id == m_openPath;
        case IsFavoriteRole:
            return !entry->isDirectory
                && std::any_of(m_favorites.cbegin(), m_favorites.cend(),
                               [entry](const AgentFavorite &pin) { return pin.path == entry->id; });
        default:
            return {};
        }
    }
    }
    return {};
}

Qt::ItemFlags AgentWorkspaceModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    switch (kind(index)) {
    case RowKind::Pin:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    case RowKind::Node:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable
            | (node(index)->isDirectory ? Qt::NoItemFlags : Qt::ItemNeverHasChildren);
    default:
        // Titles and notices: the arrow keys pass over them.
        return Qt::ItemNeverHasChildren;
    }
}
