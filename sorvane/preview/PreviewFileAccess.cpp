#include "PreviewFileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace {

// Enough for every signature below, and for an SVG's prolog and comments.
constexpr qint64 headSize = 4096;

quint32 littleEndian32(const QByteArray &bytes, int at)
{
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 | quint32(quint8(bytes[at + 2])) << 16
        | quint32(quint8(bytes[at + 3])) << 24;
}

// An XML document whose root element is <svg>: a byte order mark, white space,
// the declaration, comments and a doctype may come first.
bool isSVG(const QByteArray &head)
{
    qsizetype at = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto skipSpace = [&] {
        while (at < head.size() && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
            ++at;
    };
    for (;;) {
        skipSpace();
        const QByteArray rest = head.mid(at, 9);
        qsizetype end = -1;
        if (rest.startsWith("<?"))
            end = head.indexOf("?>", at + 2) + 2;
        else if (rest.startsWith("<!--"))
            end = head.indexOf("-->", at + 4) + 3;
        else if (rest.startsWith("<!DOCTYPE"))
            end = head.indexOf('>', at + 9) + 1;
        else
            break;
        if (end <= at)
            return false;
        at = end;
    }
    if (!head.mid(at, 4).startsWith("<svg") || at + 4 >= head.size())
        return false;
    const char next = head[at + 4];
    return next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '>' || next == '/';
}

} // namespace

QByteArray PreviewFileAccess::imageType(const QByteArray &head)
{
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return QByteArrayLiteral("image/png");
    if (head.startsWith("\xFF\xD8\xFF"))
        return QByteArrayLiteral("image/jpeg");
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return QByteArrayLiteral("image/gif");
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return QByteArrayLiteral("image/webp");
    if (head.size() >= 12 && head.mid(4, 4) == "ftyp") {
        // The major brand, or a compatible one further on in the box.
        const quint32 boxSize = quint32(quint8(head[0])) << 24 | quint32(quint8(head[1])) << 16
            | quint32(quint8(head[2])) << 8 | quint32(quint8(head[3]));
        const QByteArray box = head.mid(8, qMin<qsizetype>(qMax<quint32>(boxSize, 12) - 8, head.size() - 8));
        for (qsizetype at = 0; at + 4 <= box.size(); at += 4) {
            if (at == 4)
                continue; // the minor version
            const QByteArray brand = box.mid(at, 4);
            if (brand == "avif" || brand == "avis")
                return QByteArrayLiteral("image/avif");
        }
        return QByteArray();
    }
    // Two letters alone say little: the header size that follows must be one
    // of the bitmap header versions.
    if (head.size() >= 26 && head.startsWith("BM")) {
        static const QList<quint32> headerSizes = {12, 40, 52, 56, 64, 108, 124};
        if (headerSizes.contains(littleEndian32(head, 14)))
            return QByteArrayLiteral("image/bmp");
        return QByteArray();
    }
    // Icons and cursors: reserved zero, type 1 or 2, at least one image.
    if (head.size() >= 6 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) && head[3] == 0
        && (head[4] != 0 || head[5] != 0))
        return QByteArrayLiteral("image/x-icon");
    if (isSVG(head))
        return QByteArrayLiteral("image/svg+xml");
    return QByteArray();
}

std::optional<PreviewFileAccess::Served> PreviewFileAccess::resolve(const QString &folder, const QString &requestPath)
{
    if (!requestPath.startsWith(QLatin1Char('/')) || requestPath.contains(QChar(0)))
        return std::nullopt;
    // Symbolic links and ".." are followed first: what counts is where the file is.
    const QString canonical = QFileInfo(QDir::cleanPath(requestPath)).canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isFile())
        return std::nullopt;
    if (!folder.isEmpty() && canonical.startsWith(folder + QLatin1Char('/')))
        return Served{canonical, QMimeDatabase().mimeTypeForFile(canonical).name().toUtf8()};
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray type = imageType(file.read(headSize));
    if (type.isEmpty())
        return std::nullopt;
    return Served{canonical, type};
}
