#pragma once

#include "AgentFavorite.h"
#include "AgentFileNode.h"
#include "AgentWorkspaceWalk.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class Settings;

// The AI workspace: one project folder the user picks, walked for Markdown files into
// a tree, with pinned files on top. Agent instruction files (AGENTS.md, CLAUDE.md in
// any case) are pinned the first time a walk finds them. The folder is remembered as
// a bookmark, the pins and the agent files already offered in the settings store.
// Made once at launch by the shell, which restores the folder and walks it; the
// sidebar shows its properties and calls its operations. Never opens documents.
// Nothing is watched: the tree changes only when a scan runs (folder chosen, launch,
// Refresh). A newer scan stops the older walk and only the newest result is applied.
class AgentWorkspaceService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString rootPath READ rootPath NOTIFY rootPathChanged)
    Q_PROPERTY(QString rootDisplayName READ rootDisplayName NOTIFY rootPathChanged)
    Q_PROPERTY(int fileCount READ fileCount NOTIFY fileCountChanged)
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool truncated READ truncated NOTIFY truncatedChanged)

public:
    // Loads the pins and the seen agent files from settings, restores the root and
    // scans it.
    explicit AgentWorkspaceService(Settings &settings, QObject *parent = nullptr);
    ~AgentWorkspaceService() override;

    // The chosen folder, cleaned; empty while none is chosen.
    QString rootPath() const { return m_rootPath; }
    bool hasRoot() const { return !m_rootPath.isEmpty(); }
    // The folder's last path component; empty without a root.
    QString rootDisplayName() const;
    // The top level of the last applied walk.
    const QList<AgentFileNode> &tree() const { return m_tree; }
    const QList<AgentFavorite> &favorites() const { return m_favorites; }
    int fileCount() const { return m_fileCount; }
    bool isScanning() const { return m_isScanning; }
    bool truncated() const { return m_truncated; }

    // The modal folder panel, starting in the root; a chosen folder becomes the root.
    // Returns once the panel has closed.
    void chooseDirectory();
    void setRoot(const QString &path);
    // Forgets the root and its stored bookmark; pins stay.
    void clearRoot();
    // Walks the root again without pinning agent files the user unpinned.
    void refresh();
    void revealInFileManager();

    bool isFavorite(const QString &path) const;
    // Folders are ignored; a pinned file is unpinned, an unpinned one pinned.
    void toggleFavorite(const AgentFileNode &node);
    // Removes every pin with the favourite's path.
    void removeFavorite(const AgentFavorite &favorite);

    static const QString folderPanelMessage;

    // Tests: runs on the worker before each walk, with the walk's root; lets a test
    // hold a walk back. Null for none.
    static void setWalkGateForTesting(std::function<void(const QString &root)> gate);

Q_SIGNALS:
    void rootPathChanged();
    // The tree was replaced; fileCount and truncated already hold the same walk's values.
    void treeChanged();
    void favoritesChanged();
    void fileCountChanged();
    void isScanningChanged();
    void truncatedChanged();

private:
    void loadFavorites();
    void loadSeenAgentDocs();
    void restoreRoot();
    void scan(bool autoPinAgentDocs);
    void applyScan(quint64 generation, const QString &root, bool autoPin, AgentWorkspaceWalk::Result result);
    void reconcileAgentDocFavorites(const QStringList &paths, bool autoPin);
    void pruneMissingFavorites();
    void sortFavorites();
    void saveFavorites();
    void stopRunningWalk();
    void setRootPath(const QString &path);
    void setScanning(bool on);

    Settings &m_settings;
    QString m_rootPath;
    QList<AgentFileNode> m_tree;
    QList<AgentFavorite> m_favorites;
    int m_fileCount = 0;
    bool m_isScanning = false;
    bool m_truncated = false;
    QByteArray m_rootBookmark;
    QSet<QString> m_seenAgentDocPaths;
    // The newest scan; an older one's result is dropped.
    quint64 m_scanGeneration = 0;
    std::shared_ptr<std::atomic_bool> m_walkStop;
};
