#include "Bookmark.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace {

bool identify(const QString &path, quint64 &device, quint64 &inode)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = static_cast<quint64>(info.st_dev);
    inode = static_cast<quint64>(info.st_ino);
    return true;
}

} // namespace

std::optional<QByteArray> Bookmark::create(const QString &path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return std::nullopt;
    quint64 device = 0;
    quint64 inode = 0;
    if (!identify(path, device, inode))
        return std::nullopt;
    const QJsonObject object{
        {QStringLiteral("path"), QDir::cleanPath(path)},
        // As text: JSON numbers cannot carry every 64-bit value.
        {QStringLiteral("device"), QString::number(device)},
        {QStringLiteral("inode"), QString::number(inode)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Bookmark::Resolution> Bookmark::resolve(const QByteArray &data)
{
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    const QString path = object.value(QStringLiteral("path")).toString();
    bool deviceOk = false;
    bool inodeOk = false;
    const quint64 device = object.value(QStringLiteral("device")).toString().toULongLong(&deviceOk);
    const quint64 inode = object.value(QStringLiteral("inode")).toString().toULongLong(&inodeOk);
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !deviceOk || !inodeOk)
        return std::nullopt;
    quint64 currentDevice = 0;
    quint64 currentInode = 0;
    const bool exists = identify(path, currentDevice, currentInode);
    return Resolution{path, !exists || currentDevice != device || currentInode != inode};
}
