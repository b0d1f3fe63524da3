#pragma once

#include "DocumentAccessError.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <utility>

// One open document: its text, its file and its saved baseline. Owned by
// DocumentManager; views observe the properties, the editor reports user edits
// through userEditedText/userEditedRange. File access answers a DocumentAccessError
// when it fails.
//
// `text` always uses "\n" line breaks (the text widgets need that); the file's own
// line-ending style and byte-order mark are remembered and written back, so a file
// saved without edits keeps its bytes.
class TabDocument : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QUuid id READ id CONSTANT)
    Q_PROPERTY(QUrl fileURL READ fileURL WRITE setFileURL NOTIFY fileURLChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool isModified READ isModified WRITE setIsModified NOTIFY isModifiedChanged)

public:
    enum class LineEnding { LF, CRLF, CR };

    // What a read or write of the tab's file answers: nothing, or why it failed.
    using Access = Result<void, DocumentAccessError>;
    using Opened = Result<std::unique_ptr<TabDocument>, DocumentAccessError>;

    // How the text is laid out on disk.
    struct FileFormat {
        LineEnding lineEnding = LineEnding::LF;
        bool byteOrderMark = false;
    };

    // Sets every stored property; onStateChange stays unset and is not called.
    // The file format starts unknown: a save to the tab's own file then keeps the
    // style found in that file, any other write uses "\n" without a byte-order mark.
    TabDocument(const QUuid &id, const QUrl &fileURL, const QByteArray &securityScopedBookmark,
                const QString &text, const QString &lastSavedText, bool isModified,
                const QDateTime &lastKnownModificationDate, QObject *parent = nullptr);
    ~TabDocument() override;

    // The largest file a tab reads. A 64 MB text is about half a million lines; the
    // editor lays it out and saves it in seconds, while beyond that typing stalls and
    // every copy the tab keeps (text, saved text, session) doubles in memory.
    static constexpr qint64 maxFileBytes = qint64(64) * 1024 * 1024;

    // A clean tab for the file, or invalidBookmark, openFailed (also for anything but
    // a regular file: FIFOs, devices, sockets, folders) or tooLarge.
    static Opened open(const QUrl &url, const QByteArray &bookmarkData, const QUuid &id);

    // Absolute, cleaned, symbolic links resolved; a file that does not exist yet gets
    // its folder resolved and its name appended. Non-file URLs come back unchanged.
    static QUrl normalizedURL(const QUrl &url);

    QUuid id() const { return m_id; }
    QUrl fileURL() const { return m_fileURL; }
    QString text() const { return m_text; }
    bool isModified() const { return m_isModified; }
    QByteArray securityScopedBookmark() const { return m_securityScopedBookmark; }
    QString lastSavedText() const { return m_lastSavedText; }
    QDateTime lastKnownModificationDate() const { return m_lastKnownModificationDate; }
    // The file's on-disk layout; meaningful when fileFormatKnown().
    FileFormat fileFormat() const { return m_fileFormat; }
    bool fileFormatKnown() const { return m_fileFormatKnown; }

    // The file's name, or "Untitled".
    QString title() const;
    // The file's name without its last extension, or "Untitled": names suggested files.
    QString baseName() const;
    // The file's folder (with a trailing slash); empty without a file.
    QUrl baseURL() const;

    // Text that came from decrypting an encrypted file: never written in clear to
    // session or recovery files.
    bool isSensitive() const { return m_isSensitive; }
    void setIsSensitive(bool sensitive) { m_isSensitive = sensitive; }

    // Called after every assignment of a property other than id and itself.
    std::function<void()> onStateChange;

    // Plain assignments; the editor uses userEditedText/userEditedRange instead.
    void setFileURL(const QUrl &url);
    void setText(const QString &text);
    void setIsModified(bool modified);
    void setSecurityScopedBookmark(const QByteArray &bookmark);
    void setLastSavedText(const QString &text);
    void setLastKnownModificationDate(const QDateTime &date);
    void setFileFormat(const FileFormat &format);

    // The editor's whole new text after a user edit.
    void userEditedText(const QString &newText);
    // One user edit as a delta (UTF-16 positions): cheap for large documents.
    void userEditedRange(int position, int charsRemoved, const QString &inserted);

    // Writes text to fileURL; nothing without a file. A modified tab whose file changed
    // on disk (more than 1.0 s from the recorded date) fails with fileChangedOnDisk; a
    // clean tab whose file changed takes the disk content instead of writing.
    Access save();
    // Save As. Onto the tab's own file it behaves as save().
    Access saveTo(const QUrl &url);
    // Reloads the file; nothing without a file.
    Access revert();
    void discardUnsavedChanges();

Q_SIGNALS:
    void fileURLChanged();
    void textChanged();
    void isModifiedChanged();

private:
    struct Loaded;

    static Result<std::pair<QUrl, QByteArray>, DocumentAccessError> resolveURL(const QByteArray &bookmark,
                                                                              const QUrl &url);
    static Result<Loaded, DocumentAccessError> readFile(const QUrl &url);
    static QDateTime modificationDate(const QUrl &url);

    Access saveToResolved(const QUrl &url, const QByteArray &bookmark);
    Result<bool, DocumentAccessError> reloadIfChangedWhileClean(const QUrl &url, const QByteArray &bookmark);
    Access validateNoExternalChanges(const QUrl &url) const;
    Access writeContents(const QUrl &url, const FileFormat &format);
    void finishSuccessfulSave(const QUrl &url, const QByteArray &bookmark, const FileFormat &format);
    void takeLoaded(const QUrl &url, const QByteArray &bookmark, const Loaded &loaded);
    void notifyStateChange();

    const QUuid m_id;
    QUrl m_fileURL;
    QString m_text;
    bool m_isModified = false;
    QByteArray m_securityScopedBookmark;
    QString m_lastSavedText;
    QDateTime m_lastKnownModificationDate;
    qint64 m_lastKnownFileSize = -1;
    FileFormat m_fileFormat;
    bool m_fileFormatKnown = false;
    bool m_isSensitive = false;
};
