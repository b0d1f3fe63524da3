#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's content all at once: the bytes go to a temp file in the same
// folder, which is renamed over the target only when every byte was written.
// QSaveFile alone is not enough: Qt 6.4 commits a file whose write came up short
// (a full disk or a size limit), which would truncate the user's document.
namespace AtomicFile {

// True on success; on failure the old file is untouched and *error (when given)
// holds the system's reason.
bool write(const QString &path, const QByteArray &data, QString *error = nullptr);

} // namespace AtomicFile
