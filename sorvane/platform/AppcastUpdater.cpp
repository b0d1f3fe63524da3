#include "AppcastUpdater.h"

#include "AppPaths.h"
#include "DesktopShare.h"
#include "PlatformLog.h"
#include "UpdateFetch.h"
#include "UpdateSignature.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <qcorosignal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Outcome = AppcastUpdater::CycleResult::Outcome;

AppcastUpdater::CycleResult failed(const QString &error)
{
    return {Outcome::Failed, error, QString()};
}

// The name the update gets in Downloads: the last part of its address, never hidden
// and never a path.
QString downloadName(const AppcastItem &item)
{
    QString name = item.enclosureUrl.fileName(QUrl::FullyDecoded);
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    name = name.left(200).trimmed();
    if (name.isEmpty())
        name = QStringLiteral("sorvane-%1").arg(item.shortVersion);
    return name;
}

// "name (n).ext": the number goes before the extension, both parts of ".tar.gz" kept.
QString numberedName(const QString &name, int number)
{
    if (number == 0)
        return name;
    qsizetype dot = -1;
    static const QLatin1String doubled[] = {QLatin1String(".tar.gz"), QLatin1String(".tar.xz"),
                                            QLatin1String(".tar.bz2"), QLatin1String(".tar.zst")};
    for (QLatin1String suffix : doubled) {
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive))
            dot = name.size() - suffix.size();
    }
    if (dot < 0) {
        dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0)
            dot = name.size();
    }
    return name.left(dot) + QStringLiteral(" (%1)").arg(number) + name.mid(dot);
}

QString downloadsFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    AppPaths::ensureFolder(folder);
    return folder;
}

// Writes the verified bytes beside their final place, then links them in under the
// first free name: an existing file is never replaced, not even one that appears
// while we look.
// The saved file's path, or nullopt with *error saying why.
std::optional<QString> saveWithoutOverwriting(const uchar *bytes, qint64 size, const QString &name, QString *error)
{
    const QString folder = downloadsFolder();
    QTemporaryFile part(folder + QStringLiteral("/.sorvane-update-XXXXXX"));
    if (!part.open() || part.write(reinterpret_cast<const char *>(bytes), size) != size || !part.flush()
        || ::fsync(part.handle()) != 0) {
        *error = QObject::tr("Could not write to %1: %2").arg(folder, part.errorString());
        return std::nullopt;
    }
    const QByteArray partPath = QFile::encodeName(part.fileName());
    for (int number = 0; number < 1000; ++number) {
        const QString target = folder + QLatin1Char('/') + numberedName(name, number);
        const QByteArray targetPath = QFile::encodeName(target);
        if (::link(partPath.constData(), targetPath.constData()) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        // File systems without hard links can still refuse to replace on rename.
        if (::renameat2(AT_FDCWD, partPath.constData(), AT_FDCWD, targetPath.constData(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        *error = QObject::tr("Could not save %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    *error = QObject::tr("Could not find a free name for %1 in %2.").arg(name, folder);
    return std::nullopt;
}

} // namespace

AppcastUpdater::Delegate::~Delegate() = default;
AppcastUpdater::UserDriver::~UserDriver() = default;

AppcastUpdater::AppcastUpdater(Configuration configuration, Delegate *delegate, UserDriver *driver, QObject *parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_delegate(delegate)
    , m_driver(driver)
    , m_network(new QNetworkAccessManager(this))
{
}

// Coroutines of a running cycle wait only on this object's children: once they are
// gone the coroutine is never resumed.
AppcastUpdater::~AppcastUpdater() = default;

void AppcastUpdater::checkForUpdates()
{
    if (m_inCycle)
        return;
    m_inCycle = true;
    Q_EMIT canCheckForUpdatesChanged(false);
    runCheck(++m_cycle);
}

QCoro::Task<void> AppcastUpdater::runCheck(quint64 cycle)
{
    auto *fetch = new UpdateFetch(m_network, m_configuration.feedUrl, maxFeedBytes, m_configuration.idleTimeout, this);
    fetch->start();
    if (!fetch->isFinished())
        co_await qCoro(fetch, &UpdateFetch::finished);
    fetch->deleteLater();
    if (!fetch->errorString().isEmpty()) {
        finishCycle(cycle, failed(fetch->errorString()));
        co_return;
    }
    const auto items = AppcastFeed::parse(fetch->body(), m_configuration.feedUrl);
    if (!items) {
        finishCycle(cycle, failed(items.error()));
        co_return;
    }
    const QSet<QString> channels = m_delegate ? m_delegate->allowedChannels() : QSet<QString>();
    const std::optional<AppcastItem> best =
        AppcastFeed::bestUpdate(*items, QVersionNumber::fromString(m_configuration.runningVersion), channels);
    if (!best) {
        finishCycle(cycle, {Outcome::UpToDate, QString(), QString()});
        co_return;
    }
    QPointer<AppcastUpdater> self(this);
    m_driver->offerUpdate(*best, m_configuration.runningVersion, [self, cycle, item = *best](bool install) {
        if (!self || self->m_cycle != cycle || !self->m_inCycle)
            return;
        if (install)
            self->runInstall(cycle, item);
        else
            self->finishCycle(cycle, {Outcome::Declined, QString(), QString()});
    });
}

QCoro::Task<void> AppcastUpdater::runInstall(quint64 cycle, AppcastItem item)
{
    // Nothing is fetched that could not be checked afterwards.
    const QString refused = UpdateFetch::refusalReason(item.enclosureUrl);
    if (!refused.isEmpty()) {
        finishCycle(cycle, failed(refused));
        co_return;
    }
    const std::optional<QByteArray> key = UpdateSignature::decodePublicKey(m_configuration.publicKey);
    if (!key) {
        finishCycle(cycle, failed(tr("The key that signs updates is not a valid Ed25519 public key.")));
        co_return;
    }
    const std::optional<QByteArray> signature = UpdateSignature::decodeSignature(item.signature);
    if (!signature) {
        finishCycle(cycle, failed(item.signature.isEmpty()
                                      ? tr("The update carries no signature.")
                                      : tr("The update's signature is not a valid Ed25519 signature.")));
        co_return;
    }
    if (item.length <= 0 || item.length > maxUpdateBytes) {
        finishCycle(cycle, failed(tr("The update feed gives no usable size for the update.")));
        co_return;
    }

    // The private folder keeps the unverified bytes away from other users; the file
    // removes itself on every way out.
    QTemporaryFile part(AppPaths::privateTempFolder() + QStringLiteral("/update-XXXXXX"));
    if (!part.open()) {
        finishCycle(cycle, failed(tr("Could not store the download: %1").arg(part.errorString())));
        co_return;
    }
    auto *fetch = new UpdateFetch(m_network, item.enclosureUrl, item.length, m_configuration.idleTimeout, this);
    fetch->setSink(&part);
    connect(fetch, &UpdateFetch::progress, this, [this](qint64 received, qint64 total) {
        m_driver->showDownloadProgress(received, total);
    });
    m_driver->showDownloadStarted(item, [fetch = QPointer<UpdateFetch>(fetch)] {
        if (fetch)
            fetch->cancel();
    });
    fetch->start();
    if (!fetch->isFinished())
        co_await qCoro(fetch, &UpdateFetch::finished);
    fetch->deleteLater();
    m_driver->showDownloadEnded();
    if (fetch->isCancelled()) {
        finishCycle(cycle, {Outcome::Cancelled, QString(), QString()});
        co_return;
    }
    if (!fetch->errorString().isEmpty()) {
        finishCycle(cycle, failed(tr("The update could not be downloaded: %1").arg(fetch->errorString())));
        co_return;
    }
    if (!part.flush() || part.size() != item.length) {
        finishCycle(cycle, failed(tr("The download has %1 bytes where the feed announced %2; it was deleted.")
                                      .arg(part.size())
                                      .arg(item.length)));
        co_return;
    }
    const uchar *bytes = part.map(0, part.size());
    if (!bytes) {
        finishCycle(cycle, failed(tr("Could not read the download: %1").arg(part.errorString())));
        co_return;
    }
    const bool verified = UpdateSignature::verify(
        *key, QByteArrayView(reinterpret_cast<const char *>(bytes), part.size()), *signature);
    if (!verified) {
        qCWarning(lcPlatform) << "update signature mismatch for" << item.enclosureUrl.toDisplayString();
        finishCycle(cycle, failed(tr("The update's signature does not match its file; the download was deleted.")));
        co_return;
    }
    QString error;
    const std::optional<QString> saved = saveWithoutOverwriting(bytes, part.size(), downloadName(item), &error);
    part.unmap(const_cast<uchar *>(bytes));
    part.remove();
    if (!saved) {
        finishCycle(cycle, failed(error));
        co_return;
    }
    DesktopShare::showInFileManager(*saved);
    m_driver->showUpdateSaved(item, *saved);
    finishCycle(cycle, {Outcome::Saved, QString(), *saved});
}

void AppcastUpdater::finishCycle(quint64 cycle, CycleResult result)
{
    if (cycle != m_cycle || !m_inCycle)
        return;
    if (result.outcome == Outcome::UpToDate)
        m_driver->showUpToDate(m_configuration.runningVersion);
    else if (result.outcome == Outcome::Failed)
        m_driver->showUpdateError(result.error);
    // The owner hears the end before a new check can start.
    if (m_delegate)
        m_delegate->updateCycleFinished(result);
    m_inCycle = false;
    Q_EMIT canCheckForUpdatesChanged(true);
}
