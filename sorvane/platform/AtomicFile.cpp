#include "AtomicFile.h"

#include <QSaveFile>

namespace AtomicFile {

bool write(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    // Unbuffered, so a short write shows in write()'s result rather than vanishing
    // in the flush at commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 n = file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            if (error)
                *error = file.error() != QFileDevice::NoError ? file.errorString()
                                                              : QStringLiteral("The disk may be full.");
            file.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace AtomicFile
