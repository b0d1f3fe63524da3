#include "TabDocument.h"

#include "platform/AtomicFile.h"

#include "DocumentAccessError.h"
#include "platform/Bookmark.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
// A modified tab may be saved while the file's date is within this of the recorded one.
constexpr qint64 changeToleranceMs = 1000;
// How much of an existing file is read to learn its layout when the tab does not know it.
constexpr qint64 formatSniffBytes = 64 * 1024;

// The dominant line-ending style of the bytes; "\n" when there is none, and on ties.
TabDocument::LineEnding detectLineEnding(QByteArrayView bytes)
{
    qsizetype lf = 0;
    qsizetype crlf = 0;
    qsizetype cr = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            ++lf;
        } else if (c == '\r') {
            if (i + 1 < size && bytes[i + 1] == '\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        }
    }
    if (crlf > lf && crlf >= cr)
        return TabDocument::LineEnding::CRLF;
    if (cr > lf && cr > crlf)
        return TabDocument::LineEnding::CR;
    return TabDocument::LineEnding::LF;
}

// Up to `limit` bytes from fd, sized for `expected`; nothing on a read error.
std::optional<QByteArray> readAtMost(int fd, qint64 expected, qint64 limit)
{
    constexpr qint64 chunk = 1024 * 1024;
    QByteArray bytes;
    bytes.reserve(qMin(expected + 1, limit));
    qint64 used = 0;
    while (used < limit) {
        const qint64 want = qMin(chunk, limit - used);
        bytes.resize(used + want);
        const ssize_t got = ::read(fd, bytes.data() + used, static_cast<size_t>(want));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        used += got;
    }
    bytes.resize(used);
    return bytes;
}

QString diskPath(const QUrl &url)
{
    return url.toLocalFile();
}

} // namespace

struct TabDocument::Loaded {
    QString text;
    FileFormat format;
    QDateTime modificationDate;
    qint64 size = -1;
};

TabDocument::TabDocument(const QUuid &id, const QUrl &fileURL, const QByteArray &securityScopedBookmark,
                         const QString &text, const QString &lastSavedText, bool isModified,
                         const QDateTime &lastKnownModificationDate, QObject *parent)
    : QObject(parent)
    , m_id(id)
    , m_fileURL(fileURL)
    , m_text(text)
    , m_isModified(isModified)
    , m_securityScopedBookmark(securityScopedBookmark)
    , m_lastSavedText(lastSavedText)
    , m_lastKnownModificationDate(lastKnownModificationDate)
{
}

TabDocument::~TabDocument() = default;

QUrl TabDocument::normalizedURL(const QUrl &url)
{
    if (!url.isLocalFile())
        return url;
    const QString path = QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return QUrl::fromLocalFile(canonical);
    // Not there yet (a Save As target): resolve the folder, keep the name.
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty())
        return QUrl::fromLocalFile(QDir(folder).filePath(info.fileName()));
    return QUrl::fromLocalFile(path);
}

TabDocument::Opened TabDocument::open(const QUrl &url, const QByteArray &bookmarkData, const QUuid &id)
{
    const auto location = resolveURL(bookmarkData, normalizedURL(url));
    if (!location)
        return location.error();
    const auto &[resolved, bookmark] = *location;
    const auto read = readFile(resolved);
    if (!read)
        return read.error();
    const Loaded &loaded = *read;
    auto document = std::make_unique<TabDocument>(id, resolved, bookmark, loaded.text, loaded.text, false,
                                                  loaded.modificationDate);
    document->m_lastKnownFileSize = loaded.size;
    document->m_fileFormat = loaded.format;
    document->m_fileFormatKnown = true;
    return document;
}

QString TabDocument::title() const
{
    if (m_fileURL.isEmpty())
        return QStringLiteral("Untitled");
    return QFileInfo(diskPath(m_fileURL)).fileName();
}

QString TabDocument::baseName() const
{
    if (m_fileURL.isEmpty())
        return QStringLiteral("Untitled");
    const QString name = QFileInfo(m_fileURL.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A leading dot starts a hidden name, not an extension.
    return dot > 0 ? name.left(dot) : name;
}

QUrl TabDocument::baseURL() const
{
    if (m_fileURL.isEmpty())
        return {};
    return m_fileURL.adjusted(QUrl::RemoveFilename);
}

void TabDocument::notifyStateChange()
{
    if (onStateChange)
        onStateChange();
}

void TabDocument::setFileURL(const QUrl &url)
{
    const bool changed = url != m_fileURL;
    m_fileURL = url;
    if (changed)
        Q_EMIT fileURLChanged();
    notifyStateChange();
}

void TabDocument::setText(const QString &text)
{
    const bool changed = text != m_text;
    m_text = text;
    if (changed)
        Q_EMIT textChanged();
    notifyStateChange();
}

void TabDocument::setIsModified(bool modified)
{
    const bool changed = modified != m_isModified;
    m_isModified = modified;
    if (changed)
        Q_EMIT isModifiedChanged();
    notifyStateChange();
}

void TabDocument::setSecurityScopedBookmark(const QByteArray &bookmark)
{
    m_securityScopedBookmark = bookmark;
    notifyStateChange();
}

void TabDocument::setLastSavedText(const QString &text)
{
    m_lastSavedText = text;
    notifyStateChange();
}

void TabDocument::setLastKnownModificationDate(const QDateTime &date)
{
    m_lastKnownModificationDate = date;
    notifyStateChange();
}

void TabDocument::setFileFormat(const FileFormat &format)
{
    m_fileFormat = format;
    m_fileFormatKnown = true;
}

void TabDocument::userEditedText(const QString &newText)
{
    if (newText == m_text)
        return;
    setText(newText);
    setIsModified(m_text != m_lastSavedText);
}

void TabDocument::userEditedRange(int position, int charsRemoved, const QString &inserted)
{
    const qsizetype size = m_text.size();
    if (position < 0 || position > size || charsRemoved < 0)
        return;
    const qsizetype removed = qMin<qsizetype>(charsRemoved, size - position);
    if (QStringView(m_text).mid(position, removed) == inserted)
        return;
    m_text.replace(position, removed, inserted);
    Q_EMIT textChanged();
    notifyStateChange();
    // Lengths differ for almost every keystroke; only equal lengths need the full comparison.
    setIsModified(m_text.size() != m_lastSavedText.size() || m_text != m_lastSavedText);
}

Result<std::pair<QUrl, QByteArray>, DocumentAccessError> TabDocument::resolveURL(const QByteArray &bookmark,
                                                                                 const QUrl &url)
{
    if (bookmark.isEmpty())
        return std::pair<QUrl, QByteArray>(normalizedURL(url), {});
    const auto resolution = Bookmark::resolve(bookmark);
    if (!resolution)
        return DocumentAccessError::invalidBookmark(url);
    const QUrl resolved = normalizedURL(QUrl::fromLocalFile(resolution->path));
    QByteArray kept = bookmark;
    if (resolution->stale) {
        if (const auto fresh = Bookmark::create(diskPath(resolved)))
            kept = *fresh;
    }
    return std::pair<QUrl, QByteArray>(resolved, kept);
}

Result<TabDocument::Loaded, DocumentAccessError> TabDocument::readFile(const QUrl &url)
{
    const QString path = diskPath(url);
    // Non-blocking, so that a FIFO nobody writes to cannot hang the window; only a
    // regular file is read at all: a device like /dev/zero never ends.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return DocumentAccessError::openFailed(url);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return DocumentAccessError::openFailed(url);
    }
    if (status.st_size > maxFileBytes) {
        ::close(fd);
        return DocumentAccessError::tooLarge(url, maxFileBytes);
    }
    // The file may grow between fstat and the read: never take more than the cap.
    const std::optional<QByteArray> bytes = readAtMost(fd, status.st_size, maxFileBytes + 1);
    ::close(fd);
    if (!bytes)
        return DocumentAccessError::openFailed(url);
    if (bytes->size() > maxFileBytes)
        return DocumentAccessError::tooLarge(url, maxFileBytes);

    Loaded loaded;
    QByteArrayView body(*bytes);
    if (body.startsWith(utf8ByteOrderMark)) {
        loaded.format.byteOrderMark = true;
        body = body.sliced(3);
    }
    // Strict: any invalid or truncated sequence refuses the file rather than
    // replacing bytes that a later save would then lose.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return DocumentAccessError::openFailed(url);
    loaded.format.lineEnding = detectLineEnding(body);
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    loaded.text = text;
    const QFileInfo info(path);
    loaded.modificationDate = info.lastModified();
    loaded.size = info.size();
    return loaded;
}

QDateTime TabDocument::modificationDate(const QUrl &url)
{
    const QFileInfo info(diskPath(url));
    if (!info.exists())
        return {};
    return info.lastModified();
}

TabDocument::Access TabDocument::save()
{
    if (m_fileURL.isEmpty())
        return {};
    const auto location = resolveURL(m_securityScopedBookmark, m_fileURL);
    if (!location)
        return location.error();
    return saveToResolved(location->first, location->second);
}

TabDocument::Access TabDocument::saveTo(const QUrl &target)
{
    const QUrl url = normalizedURL(target);
    if (!m_fileURL.isEmpty() && normalizedURL(m_fileURL) == url) {
        const auto location = resolveURL(m_securityScopedBookmark, url);
        if (!location)
            return location.error();
        return saveToResolved(location->first, location->second);
    }
    const FileFormat format = m_fileFormatKnown ? m_fileFormat : FileFormat{};
    if (const Access written = writeContents(url, format); !written)
        return written;
    finishSuccessfulSave(url, {}, format);
    return {};
}

TabDocument::Access TabDocument::saveToResolved(const QUrl &url, const QByteArray &bookmark)
{
    const Result<bool, DocumentAccessError> reloaded = reloadIfChangedWhileClean(url, bookmark);
    if (!reloaded)
        return reloaded.error();
    if (*reloaded)
        return {};
    if (const Access unchanged = validateNoExternalChanges(url); !unchanged)
        return unchanged;
    FileFormat format = m_fileFormat;
    if (!m_fileFormatKnown) {
        // A tab rebuilt without reading its file: keep the layout the file has. Only
        // a regular file is looked into: opening a FIFO would wait for a writer.
        QFile existing(diskPath(url));
        if (QFileInfo(existing).isFile() && existing.open(QIODevice::ReadOnly)) {
            const QByteArray head = existing.read(formatSniffBytes);
            format.byteOrderMark = head.startsWith(utf8ByteOrderMark);
            format.lineEnding = detectLineEnding(head);
        }
    }
    if (const Access written = writeContents(url, format); !written)
        return written;
    finishSuccessfulSave(url, bookmark, format);
    return {};
}

Result<bool, DocumentAccessError> TabDocument::reloadIfChangedWhileClean(const QUrl &url, const QByteArray &bookmark)
{
    // A clean tab has nothing to lose: if another program wrote the file since we read
    // it, take its content rather than putting our older copy back.
    if (m_isModified || !m_lastKnownModificationDate.isValid())
        return false;
    const QFileInfo info(diskPath(url));
    if (!info.exists())
        return false;
    const bool dateChanged = info.lastModified() != m_lastKnownModificationDate;
    const bool sizeChanged = m_lastKnownFileSize >= 0 && info.size() != m_lastKnownFileSize;
    if (!dateChanged && !sizeChanged)
        return false;
    const auto read = readFile(url);
    if (!read)
        return read.error();
    takeLoaded(url, bookmark, *read);
    return true;
}

TabDocument::Access TabDocument::validateNoExternalChanges(const QUrl &url) const
{
    if (!m_isModified || !m_lastKnownModificationDate.isValid())
        return {};
    const QDateTime current = modificationDate(url);
    if (!current.isValid())
        return {};
    if (qAbs(m_lastKnownModificationDate.msecsTo(current)) > changeToleranceMs)
        return DocumentAccessError::fileChangedOnDisk(url);
    return {};
}

TabDocument::Access TabDocument::writeContents(const QUrl &url, const FileFormat &format)
{
    QString out = m_text;
    if (format.lineEnding == LineEnding::CRLF)
        out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    else if (format.lineEnding == LineEnding::CR)
        out.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    QByteArray bytes = out.toUtf8();
    out.clear();
    if (format.byteOrderMark)
        bytes.prepend(utf8ByteOrderMark);

    // Temp file in the same folder (with the target's permissions), renamed over the
    // target only when complete: the old file stays whole until then.
    QString reason;
    if (!AtomicFile::write(diskPath(url), bytes, &reason))
        return DocumentAccessError::writeFailed(url, reason);
    return {};
}

void TabDocument::finishSuccessfulSave(const QUrl &url, const QByteArray &bookmark, const FileFormat &format)
{
    const QFileInfo info(diskPath(url));
    m_lastKnownFileSize = info.exists() ? info.size() : -1;
    m_fileFormat = format;
    m_fileFormatKnown = true;
    setFileURL(url);
    const auto fresh = Bookmark::create(diskPath(url));
    setSecurityScopedBookmark(fresh ? *fresh : bookmark);
    setLastSavedText(m_text);
    setIsModified(false);
    setLastKnownModificationDate(modificationDate(url));
}

void TabDocument::takeLoaded(const QUrl &url, const QByteArray &bookmark, const Loaded &loaded)
{
    m_lastKnownFileSize = loaded.size;
    m_fileFormat = loaded.format;
    m_fileFormatKnown = true;
    setFileURL(url);
    setSecurityScopedBookmark(bookmark);
    setText(loaded.text);
    setLastSavedText(loaded.text);
    setIsModified(false);
    setLastKnownModificationDate(loaded.modificationDate);
}

TabDocument::Access TabDocument::revert()
{
    if (m_fileURL.isEmpty())
        return {};
    const auto location = resolveURL(m_securityScopedBookmark, m_fileURL);
    if (!location)
        return location.error();
    const auto read = readFile(location->first);
    if (!read)
        return read.error();
    takeLoaded(location->first, location->second, *read);
    return {};
}

void TabDocument::discardUnsavedChanges()
{
    setText(m_lastSavedText);
    setIsModified(false);
}
