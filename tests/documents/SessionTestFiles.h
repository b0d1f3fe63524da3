#pragma once

#include "DocumentTestFiles.h"

#include "documents/DocumentSessionState.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <optional>

// Where the session file and the recovery snapshots of this test process live.
namespace SessionTestFiles {

inline QString supportPath(const QString &name)
{
    return AppPaths::supportFolder() + QLatin1Char('/') + name;
}

inline QString sessionFile()
{
    return supportPath(QStringLiteral("SessionState.json"));
}

inline QString recoveryFolder()
{
    return supportPath(QStringLiteral("Recovery"));
}

inline std::optional<DocumentSessionState> storedSession()
{
    QFile file(sessionFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DocumentSessionState::decode(file.readAll());
}

// The session file and every recovery file, one after the other.
inline QByteArray everythingWritten()
{
    QByteArray all = DocumentTestFiles::read(sessionFile());
    const QStringList names = QDir(recoveryFolder()).entryList(QDir::Files);
    for (const QString &name : names)
        all += DocumentTestFiles::read(recoveryFolder() + QLatin1Char('/') + name);
    return all;
}

} // namespace SessionTestFiles
