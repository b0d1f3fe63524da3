#include "RecoveryStore.h"

#include "DocumentSessionState.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringDecoder>

namespace {

// The id a snapshot file is named after, when its name is UUID + the suffix.
std::optional<QUuid> snapshotId(const QString &fileName, QLatin1String suffix)
{
    if (!fileName.endsWith(suffix))
        return std::nullopt;
    return DocumentSessionState::parseUuid(fileName.chopped(suffix.size()));
}

} // namespace

RecoveryStore::RecoveryStore(QString supportFolder, PersistenceLog log)
    : m_folder(supportFolder.isEmpty() ? QString() : supportFolder + QLatin1Char('/') + QLatin1String(folderName)),
      m_log(std::move(log))
{
}

RecoveryStore::RecoveryStore() : RecoveryStore(AppPaths::supportFolder()) {}

QString RecoveryStore::folderPath() const
{
    return m_folder;
}

void RecoveryStore::logWarning(const QString &message, const QString &reason) const
{
    if (m_log)
        m_log(DiagnosticLogBuffer::Level::Warn, QLatin1String(logCategory), message,
              LoggedError{QStringLiteral("FileError"), reason});
}

void RecoveryStore::writeSnapshots(const QList<RecoverySnapshot> &snapshots)
{
    if (m_folder.isEmpty())
        return;
    if (snapshots.isEmpty()) {
        clear();
        return;
    }
    if (!AppPaths::ensureFolder(m_folder)) {
        logWarning(QStringLiteral("could not create recovery directory"),
                   QStringLiteral("could not create the folder %1").arg(m_folder));
        return;
    }
    QDir folder(m_folder);
    QSet<QUuid> current;
    for (const RecoverySnapshot &snapshot : snapshots) {
        current.insert(snapshot.id);
        const QString name = DocumentSessionState::uuidText(snapshot.id);
        QString reason;
        if (!AtomicFile::write(folder.filePath(name + QStringLiteral(".md")), snapshot.text.toUtf8(), &reason))
            logWarning(QStringLiteral("crash-recovery snapshot write failed for doc ") + name, reason);
        const QJsonObject metadata{{QStringLiteral("title"), snapshot.title},
                                   {QStringLiteral("originalPath"), snapshot.originalPath}};
        if (!AtomicFile::write(folder.filePath(name + QStringLiteral(".json")),
                               QJsonDocument(metadata).toJson(QJsonDocument::Compact), &reason))
            logWarning(QStringLiteral("crash-recovery metadata write failed for doc ") + name, reason);
    }
    // Snapshots of tabs saved or closed since the last tick would bring back text the
    // user no longer wants; only the tabs still modified keep theirs.
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        auto id = snapshotId(name, QLatin1String(".md"));
        if (!id)
            id = snapshotId(name, QLatin1String(".json"));
        if (id && !current.contains(*id))
            folder.remove(name);
    }
}

QList<RecoveredSnapshot> RecoveryStore::readSnapshots() const
{
    QList<RecoveredSnapshot> result;
    if (m_folder.isEmpty())
        return result;
    const QDir folder(m_folder);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        const std::optional<QUuid> id = snapshotId(name, QLatin1String(".md"));
        if (!id)
            continue;
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(file.readAll());
        if (decoder.hasError())
            continue;
        result.append({*id, text, QFileInfo(file).lastModified().toUTC()});
    }
    return result;
}

void RecoveryStore::clear()
{
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
}
