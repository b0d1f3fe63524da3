// Reads the MCP flag file over and over, as the outside server would, until the stop
// file appears; then reads once more and reports:
//   reads=<n> bad=<n> last=<true|false|bad> [first bad content]
// Prints "ready" after its first complete read.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {
// "true"/"false" for a complete flag with exactly its two members, else empty.
QByteArray readFlag(const QString &path, QByteArray *content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    *content = file.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*content, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    const QJsonObject flag = document.object();
    QStringList keys = flag.keys();
    keys.sort();
    if (keys != QStringList{QStringLiteral("updatedAt"), QStringLiteral("writeMode")}
        || !flag.value(QStringLiteral("writeMode")).isBool() || !flag.value(QStringLiteral("updatedAt")).isString())
        return {};
    return flag.value(QStringLiteral("writeMode")).toBool() ? "true" : "false";
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s flag-file stop-file\n", argv[0]);
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    const QString stop = QFile::decodeName(argv[2]);
    long reads = 0;
    long bad = 0;
    QByteArray firstBad;
    bool announced = false;
    for (;;) {
        const bool stopping = QFile::exists(stop);
        QByteArray content;
        const QByteArray flag = readFlag(path, &content);
        ++reads;
        if (flag.isEmpty()) {
            if (firstBad.isEmpty())
                firstBad = content.isEmpty() ? QByteArray("<unreadable>") : content;
            ++bad;
        } else if (!announced) {
            announced = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
        if (stopping) {
            std::printf("reads=%ld bad=%ld last=%s %s\n", reads, bad, flag.isEmpty() ? "bad" : flag.constData(),
                        firstBad.constData());
            return 0;
        }
    }
}
