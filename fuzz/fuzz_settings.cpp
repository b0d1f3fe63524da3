// Any bytes as the settings file: loading never crashes, every typed reader returns a
// usable value for every key, and the next change never loses the file's bytes: a file
// that does not parse is found, byte for byte, in exactly one kept-aside copy.
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir *folder = nullptr;

void silent(QtMsgType, const QMessageLogContext &, const QString &) {}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(silent);
    // Every change is written with an fsync; memory-backed files keep the runs fast.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder = new QTemporaryDir(base + QStringLiteral("/sorvane-fuzz-settings-XXXXXX"));
    check(folder->isValid());
    std::atexit([] { delete folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = folder->filePath(QStringLiteral("settings.json"));
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    const bool parses = parseError.error == QJsonParseError::NoError && document.isObject();

    {
        Settings settings(path);
        QStringList keys = document.object().keys();
        keys << SettingsKeys::fontSize << SettingsKeys::recentSaveFailures << SettingsKeys::restoreSession
             << SettingsKeys::verboseDiagnosticsEnabledAt << SettingsKeys::appearanceMode;
        for (const QString &key : std::as_const(keys)) {
            settings.boolValue(key);
            check(std::isfinite(settings.doubleValue(key)));
            settings.intValue(key);
            settings.stringValue(key);
        }
        const double size = settings.fontSize();
        check(size >= SettingsLimits::minimumFontSize && size <= SettingsLimits::maximumFontSize);
        settings.appearanceMode();
        settings.showWorkspace();
        settings.setValue(QStringLiteral("fuzz.change"), 1);
    }

    const QStringList aside = QDir(folder->path()).entryList({QStringLiteral("settings.json.corrupt-*")}, QDir::Files);
    if (parses) {
        check(aside.isEmpty());
    } else {
        check(aside.size() == 1 && contents(folder->filePath(aside.constFirst())) == bytes);
    }
    check(Settings(path).intValue(QStringLiteral("fuzz.change")) == 1);

    for (const QString &name : QDir(folder->path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(folder->filePath(name));
    return 0;
}
