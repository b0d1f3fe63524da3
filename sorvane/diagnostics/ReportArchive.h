#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The ZIP writer of diagnostic reports: members stored uncompressed, in order, with
// zero time stamps and no extra fields, comments or data descriptors. Any unzip
// tool reads it; there is no ZIP64, so input past the plain format's limits is
// refused before a byte is written.
class ReportArchive
{
public:
    struct Member {
        QString name;
        QByteArrayView data; // must outlive makeZip()
    };

    enum class Error {
        TooManyMembers,  // more than 65535
        NameTooLong,     // a name of more than 65535 UTF-8 bytes
        MemberTooLarge,  // a member of more than 0xFFFFFFFF bytes
        ArchiveTooLarge, // an offset past 0xFFFFFFFF
    };

    static Result<QByteArray, Error> makeZip(const QList<Member> &members);
    // The CRC-32 of ZIP (IEEE 802.3, reflected).
    static quint32 crc32(QByteArrayView data);
    static QString errorText(Error error);

    static constexpr quint64 maxMembers = 0xFFFF;
    static constexpr quint64 maxNameBytes = 0xFFFF;
    static constexpr quint64 maxSizeOrOffset = 0xFFFFFFFF;
};
