#include "AgentWorkspaceService.h"

#include "WorkspaceLog.h"
#include "diagnostics/Analytics.h"
#include "platform/AlertPresenter.h"
#include "platform/Bookmark.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QtConcurrent>

#include <sys/stat.h>

namespace {

QMutex gateMutex;
std::function<void(const QString &)> walkGate;

QString cleanedPath(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// Whether a file or folder is at the path, links followed, as the file manager's
// existence check answers.
bool existsAt(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

const QString AgentWorkspaceService::folderPanelMessage = QStringLiteral(
    "Choose your AI agent working directory. Sorvane will pin AGENTS.md and CLAUDE.md and list every markdown file inside.");

AgentWorkspaceService::AgentWorkspaceService(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    loadFavorites();
    loadSeenAgentDocs();
    restoreRoot();
}

AgentWorkspaceService::~AgentWorkspaceService()
{
    // A walk still running ends at its next entry; its result has nowhere to go.
    stopRunningWalk();
}

void AgentWorkspaceService::setWalkGateForTesting(std::function<void(const QString &root)> gate)
{
    QMutexLocker lock(&gateMutex);
    walkGate = std::move(gate);
}

QString AgentWorkspaceService::rootDisplayName() const
{
    if (m_rootPath.isEmpty())
        return QString();
    if (m_rootPath == QLatin1String("/"))
        return m_rootPath;
    return QFileInfo(m_rootPath).fileName();
}

void AgentWorkspaceService::loadFavorites()
{
    const QJsonValue stored = m_settings.storedValue(SettingsKeys::agentWorkspaceFavorites);
    if (stored.isUndefined())
        return;
    const auto decoded = QByteArray::fromBase64Encoding(stored.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    QJsonParseError error{};
    const QJsonDocument doc = decoded ? QJsonDocument::fromJson(*decoded, &error) : QJsonDocument();
    if (!stored.isString() || !decoded || !doc.isArray()) {
        qCWarning(lcWorkspace) << "persist: the stored pins are unreadable; starting without pins";
        return;
    }
    // One damaged pin costs only itself: the rest load in their stored order.
    const QJsonArray array = doc.array();
    int skipped = 0;
    for (const QJsonValue &each : array) {
        if (const std::optional<AgentFavorite> favorite = AgentFavorite::fromJson(each))
            m_favorites.append(*favorite);
        else
            ++skipped;
    }
    if (skipped > 0)
        qCWarning(lcWorkspace) << "persist: skipped" << skipped << "unreadable stored pin(s)";
}

void AgentWorkspaceService::loadSeenAgentDocs()
{
    const QJsonArray paths = m_settings.storedValue(SettingsKeys::agentWorkspaceSeenAgentDocs).toArray();
    for (const QJsonValue &path : paths) {
        if (path.isString())
            m_seenAgentDocPaths.insert(path.toString());
    }
}

void AgentWorkspaceService::restoreRoot()
{
    const QJsonValue stored = m_settings.storedValue(SettingsKeys::agentWorkspaceRootBookmark);
    if (stored.isUndefined())
        return;
    const auto data = QByteArray::fromBase64Encoding(stored.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const std::optional<Bookmark::Resolution> resolved =
        stored.isString() && data ? Bookmark::resolve(*data) : std::nullopt;
    // A folder that is gone does not resolve: start without a root, keep what is stored.
    if (!resolved || !QFileInfo(resolved->path).isDir()) {
        qCWarning(lcWorkspace) << "The AI workspace folder could not be restored; starting without one";
        return;
    }
    setRootPath(cleanedPath(resolved->path));
    m_rootBookmark = *data;
    if (resolved->stale) {
        // Another folder now stands at the path: remember that one from now on.
        if (const std::optional<QByteArray> renewed = Bookmark::create(m_rootPath))
            m_rootBookmark = *renewed;
        m_settings.setValue(SettingsKeys::agentWorkspaceRootBookmark, QString::fromLatin1(m_rootBookmark.toBase64()));
    }
    scan(false);
}

void AgentWorkspaceService::chooseDirectory()
{
    FolderPanelRequest request;
    request.title = QStringLiteral("Choose Folder");
    request.message = folderPanelMessage;
    request.acceptLabel = QStringLiteral("Use Folder");
    request.directory = m_rootPath;
    if (const std::optional<QString> chosen = AlertPresenter::shared().chooseFolder(request))
        setRoot(*chosen);
}

void AgentWorkspaceService::setRoot(const QString &path)
{
    setRootPath(cleanedPath(path));
    if (const std::optional<QByteArray> bookmark = Bookmark::create(m_rootPath)) {
        m_rootBookmark = *bookmark;
        m_settings.setValue(SettingsKeys::agentWorkspaceRootBookmark, QString::fromLatin1(bookmark->toBase64()));
    } else {
        // Keeping the old bookmark would bring the previous folder back at the next launch.
        m_rootBookmark.clear();
        m_settings.remove(SettingsKeys::agentWorkspaceRootBookmark);
        qCWarning(lcWorkspace) << "persist: could not remember the AI workspace folder; it is used until quit";
    }
    Analytics::track(QStringLiteral("agent_workspace_set"));
    scan(true);
}

void AgentWorkspaceService::clearRoot()
{
    // A walk of the old root is of no use any more; its result will be dropped.
    stopRunningWalk();
    setRootPath(QString());
    m_rootBookmark.clear();
    const bool treeWasEmpty = m_tree.isEmpty();
    m_tree.clear();
    const bool countChanged = m_fileCount != 0;
    const bool truncatedChanged = m_truncated;
    m_fileCount = 0;
    m_truncated = false;
    m_settings.remove(SettingsKeys::agentWorkspaceRootBookmark);
    if (!treeWasEmpty)
        Q_EMIT treeChanged();
    if (countChanged)
        Q_EMIT fileCountChanged();
    if (truncatedChanged)
        Q_EMIT this->truncatedChanged();
}

void AgentWorkspaceService::refresh()
{
    scan(false);
}

void AgentWorkspaceService::revealInFileManager()
{
    if (!m_rootPath.isEmpty())
        DesktopShare::showInFileManager(m_rootPath);
}

bool AgentWorkspaceService::isFavorite(const QString &path) const
{
    const QString key = QDir::cleanPath(path);
    return std::any_of(m_favorites.cbegin(), m_favorites.cend(),
                       [&](const AgentFavorite &favorite) { return favorite.path == key; });
}

void AgentWorkspaceService::toggleFavorite(const AgentFileNode &node)
{
    if (node.isDirectory)
        return;
    const QString key = QDir::cleanPath(node.path());
    const auto pinned = std::find_if(m_favorites.begin(), m_favorites.end(),
                                     [&](const AgentFavorite &favorite) { return favorite.path == key; });
    if (pinned != m_favorites.end()) {
        m_favorites.erase(pinned);
    } else {
        m_favorites.append(AgentFavorite{key, node.name, AgentWorkspaceWalk::isAgentDocName(node.name)});
        sortFavorites();
    }
    saveFavorites();
    Q_EMIT favoritesChanged();
}

void AgentWorkspaceService::removeFavorite(const AgentFavorite &favorite)
{
    const qsizetype removed =
        m_favorites.removeIf([&](const AgentFavorite &each) { return each.path == favorite.path; });
    if (removed == 0)
        return;
    saveFavorites();
    Q_EMIT favoritesChanged();
}

void AgentWorkspaceService::scan(bool autoPinAgentDocs)
{
    if (m_rootPath.isEmpty())
        return;
    stopRunningWalk();
    const quint64 generation = ++m_scanGeneration;
    auto stop = std::make_shared<std::atomic_bool>(false);
    m_walkStop = stop;
    setScanning(true);
    const QString root = m_rootPath;
    auto *watcher = new QFutureWatcher<AgentWorkspaceWalk::Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, root, autoPinAgentDocs] {
        watcher->deleteLater();
        applyScan(generation, root, autoPinAgentDocs, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([root, stop] {
        std::function<void(const QString &)> gate;
        {
            QMutexLocker lock(&gateMutex);
            gate = walkGate;
        }
        if (gate)
            gate(root);
        return AgentWorkspaceWalk::walk(root, stop.get());
    }));
}

void AgentWorkspaceService::applyScan(quint64 generation, const QString &root, bool autoPin, AgentWorkspaceWalk::Result result)
{
    // A newer scan is running: it will publish, and until then the service is scanning.
    if (generation != m_scanGeneration)
        return;
    m_walkStop.reset();
    // The root changed or was closed while this walk ran (a closed root stops the walk
    // without a newer scan): nothing of it belongs on screen.
    if (root != m_rootPath || result.stopped) {
        setScanning(false);
        return;
    }
    m_tree = std::move(result.nodes);
    const bool countChanged = m_fileCount != result.fileCount;
    const bool truncatedChanged = m_truncated != result.truncated;
    m_fileCount = result.fileCount;
    m_truncated = result.truncated;
    Q_EMIT treeChanged();
    if (countChanged)
        Q_EMIT fileCountChanged();
    if (truncatedChanged)
        Q_EMIT this->truncatedChanged();
    setScanning(false);
    reconcileAgentDocFavorites(result.agentDocPaths, autoPin);
    pruneMissingFavorites();
}

void AgentWorkspaceService::reconcileAgentDocFavorites(const QStringList &paths, bool autoPin)
{
    if (paths.isEmpty())
        return;
    bool changed = false;
    for (const QString &path : paths) {
        if (!m_seenAgentDocPaths.contains(path)) {
            m_seenAgentDocPaths.insert(path);
            changed = true;
        } else if (!autoPin) {
            continue;
        }
        if (!isFavorite(path)) {
            m_favorites.append(AgentFavorite{path, QFileInfo(path).fileName(), true});
            changed = true;
        }
    }
    if (!changed)
        return;
    sortFavorites();
    saveFavorites();
    QJsonArray seen;
    for (const QString &path : std::as_const(m_seenAgentDocPaths))
        seen.append(path);
    m_settings.setValue(SettingsKeys::agentWorkspaceSeenAgentDocs, seen);
    Q_EMIT favoritesChanged();
}

void AgentWorkspaceService::pruneMissingFavorites()
{
    const qsizetype removed = m_favorites.removeIf([](const AgentFavorite &favorite) { return !existsAt(favorite.path); });
    if (removed == 0)
        return;
    saveFavorites();
    Q_EMIT favoritesChanged();
}

void AgentWorkspaceService::sortFavorites()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_favorites.begin(), m_favorites.end(), [&](const AgentFavorite &a, const AgentFavorite &b) {
        if (a.isAgentDoc != b.isAgentDoc)
            return a.isAgentDoc;
        return collator.compare(a.name, b.name) < 0;
    });
}

void AgentWorkspaceService::saveFavorites()
{
    m_settings.setValue(SettingsKeys::agentWorkspaceFavorites,
                        QString::fromLatin1(AgentFavorite::encodeList(m_favorites).toBase64()));
}

void AgentWorkspaceService::stopRunningWalk()
{
    if (m_walkStop)
        m_walkStop->store(true);
}

void AgentWorkspaceService::setRootPath(const QString &path)
{
    if (m_rootPath == path)
        return;
    m_rootPath = path;
    Q_EMIT rootPathChanged();
}

void AgentWorkspaceService::setScanning(bool on)
{
    if (m_isScanning == on)
        return;
    m_isScanning = on;
    Q_EMIT isScanningChanged();
}
