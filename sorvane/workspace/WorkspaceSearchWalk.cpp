#include "WorkspaceSearchWalk.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Folders whose contents are never searched: version control and dependency trees.
bool isExcludedFolder(const QByteArray &name)
{
    static const QSet<QByteArray> excluded = {".git", "node_modules", ".build", "dist", "Pods", ".next", ".svelte-kit"};
    return excluded.contains(name);
}

bool isSearchableFile(const QByteArray &name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return false;
    const QByteArray extension = name.mid(dot + 1).toLower();
    return extension == "md" || extension == "markdown" || extension == "mdx" || extension == "txt";
}

// Line ends: LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

enum class Kind { folder, file, other };

struct Entry {
    QByteArray name;
    Kind kind;
};

// Symbolic links count as "other", as lstat sees them: a walk never follows one.
Kind kindOf(int dirFd, const dirent *entry)
{
    switch (entry->d_type) {
    case DT_DIR:
        return Kind::folder;
    case DT_REG:
        return Kind::file;
    case DT_UNKNOWN:
        break;
    default:
        return Kind::other;
    }
    struct stat status;
    if (::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return Kind::other;
    if (S_ISDIR(status.st_mode))
        return Kind::folder;
    return S_ISREG(status.st_mode) ? Kind::file : Kind::other;
}

// The visible entries of one folder in byte order of their names, so every walk of an
// unchanged tree meets its entries in the same order. False when it cannot be listed.
bool listFolder(const QByteArray &path, std::vector<Entry> &entries)
{
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return false;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        entries.push_back({QByteArray(entry->d_name), kindOf(fd, entry)});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return true;
}

QByteArray childPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

} // namespace

WorkspaceSearchWalk::Outcome WorkspaceSearchWalk::run(const QString &root, const QString &query, bool caseSensitive,
                                                      const std::atomic_bool &stop,
                                                      const std::function<void()> &beforeEntry)
{
    Outcome outcome;
    struct Frame {
        QByteArray path;
        std::vector<Entry> entries;
        size_t next = 0;
    };
    std::vector<Frame> stack(1);
    stack.front().path = QFile::encodeName(root);
    if (root.isEmpty() || !listFolder(stack.front().path, stack.front().entries))
        return outcome;

    int filesRead = 0;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.entries.size()) {
            stack.pop_back();
            continue;
        }
        if (beforeEntry)
            beforeEntry();
        if (stop.load(std::memory_order_relaxed))
            break;
        if (filesRead >= fileCap) {
            outcome.capped = true;
            break;
        }
        const Entry entry = std::move(frame.entries[frame.next++]);
        QByteArray path = childPath(frame.path, entry.name);
        if (entry.kind == Kind::folder) {
            if (isExcludedFolder(entry.name))
                continue;
            Frame child;
            child.path = std::move(path);
            if (listFolder(child.path, child.entries) && !child.entries.empty())
                stack.push_back(std::move(child)); // frame is not used past this point
            continue;
        }
        if (entry.kind != Kind::file || !isSearchableFile(entry.name))
            continue;
        ++filesRead;
        const std::optional<QString> text = readText(path);
        if (!text)
            continue;
        FileMatches matches = searchText(*text, query, caseSensitive, QUrl::fromLocalFile(QFile::decodeName(path)));
        if (matches.results.isEmpty())
            continue;
        WorkspaceSearchFileSummary summary;
        summary.url = matches.results.constFirst().url;
        summary.matchCount = int(matches.results.size());
        summary.countCapped = matches.capped;
        summary.snippets = matches.results.mid(0, snippetCount);
        outcome.total += summary.matchCount;
        outcome.capped = outcome.capped || matches.capped;
        outcome.files.append(std::move(summary));
    }

    std::stable_sort(outcome.files.begin(), outcome.files.end(),
                     [](const WorkspaceSearchFileSummary &a, const WorkspaceSearchFileSummary &b) {
                         return a.matchCount > b.matchCount;
                     });
    return outcome;
}

WorkspaceSearchWalk::FileMatches WorkspaceSearchWalk::searchText(QStringView text, QStringView query,
                                                                 bool caseSensitive, const QUrl &url)
{
    FileMatches matches;
    if (query.isEmpty())
        return matches;
    const Qt::CaseSensitivity sensitivity = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const qsizetype size = text.size();
    qsizetype start = 0;
    int lineNumber = 1;
    for (;;) {
        qsizetype end = start;
        while (end < size && !isLineBreak(text[end]))
            ++end;
        const QStringView line = text.sliced(start, end - start);
        const qsizetype at = line.size() >= query.size() ? line.indexOf(query, 0, sensitivity) : -1;
        if (at >= 0) {
            // One line past the cap only tells that the count is capped.
            if (matches.results.size() == lineCap) {
                matches.capped = true;
                break;
            }
            matches.results.append({url, lineNumber, line.toString(), at, query.size()});
        }
        if (end == size)
            break;
        const bool crlf = text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n';
        start = end + (crlf ? 2 : 1);
        ++lineNumber;
    }
    return matches;
}

std::optional<QString> WorkspaceSearchWalk::readText(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > maxFileBytes) {
        ::close(fd);
        return std::nullopt;
    }
    // One byte past the limit tells a file that grew since fstat; nothing further is read.
    QByteArray data(qsizetype(status.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    bool failed = false;
    for (;;) {
        if (filled == data.size()) {
            if (data.size() > maxFileBytes)
                break;
            data.resize(qMin<qsizetype>(data.size() * 2, maxFileBytes + 1));
        }
        const ssize_t count = ::read(fd, data.data() + filled, size_t(data.size() - filled));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (count == 0)
            break;
        filled += count;
    }
    ::close(fd);
    if (failed || filled > maxFileBytes)
        return std::nullopt;
    data.truncate(filled);

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
