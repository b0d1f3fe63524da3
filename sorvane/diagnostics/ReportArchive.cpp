#include "ReportArchive.h"

#include <QtEndian>

#include <zlib.h>

namespace {

constexpr quint32 localHeaderSignature = 0x04034B50;
constexpr quint32 centralHeaderSignature = 0x02014B50;
constexpr quint32 endRecordSignature = 0x06054B50;
constexpr quint64 localHeaderSize = 30;
constexpr quint64 centralHeaderSize = 46;
constexpr quint64 endRecordSize = 22;
constexpr quint16 version20 = 20;
// Names are UTF-8; readers that honour this bit decode them as such instead of
// guessing a code page. ASCII names leave it clear.
constexpr quint16 utf8NameFlag = 0x0800;

struct Planned {
    QByteArray name;
    QByteArrayView data;
    quint32 crc = 0;
    quint32 offset = 0;
    quint16 flags = 0;
};

template <typename T>
void put(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

// The fields the local and the central header of a member share, in their order.
void putSharedHeaderFields(QByteArray &out, const Planned &entry)
{
    const auto size = quint32(entry.data.size());
    put<quint16>(out, entry.flags);
    put<quint16>(out, 0); // stored
    put<quint16>(out, 0); // time
    put<quint16>(out, 0); // date
    put<quint32>(out, entry.crc);
    put<quint32>(out, size);
    put<quint32>(out, size);
    put<quint16>(out, quint16(entry.name.size()));
    put<quint16>(out, 0); // extra field
}

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

Result<QByteArray, ReportArchive::Error> ReportArchive::makeZip(const QList<Member> &members)
{
    if (quint64(members.size()) > maxMembers)
        return Error::TooManyMembers;

    // Lay the archive out first, in 64-bit arithmetic, so that nothing is read or
    // allocated for input the format cannot hold.
    QList<Planned> planned;
    planned.reserve(members.size());
    quint64 offset = 0;
    quint64 centralSize = 0;
    for (const Member &member : members) {
        Planned entry;
        entry.name = member.name.toUtf8();
        entry.data = member.data;
        if (quint64(entry.name.size()) > maxNameBytes)
            return Error::NameTooLong;
        if (quint64(entry.data.size()) > maxSizeOrOffset)
            return Error::MemberTooLarge;
        if (offset > maxSizeOrOffset)
            return Error::ArchiveTooLarge;
        entry.offset = quint32(offset);
        entry.flags = isAscii(entry.name) ? 0 : utf8NameFlag;
        offset += localHeaderSize + quint64(entry.name.size()) + quint64(entry.data.size());
        centralSize += centralHeaderSize + quint64(entry.name.size());
        planned.append(std::move(entry));
    }
    const quint64 centralOffset = offset;
    if (centralOffset > maxSizeOrOffset || centralSize > maxSizeOrOffset)
        return Error::ArchiveTooLarge;

    QByteArray out;
    out.reserve(qsizetype(centralOffset + centralSize + endRecordSize));
    for (Planned &entry : planned) {
        entry.crc = crc32(entry.data);
        put<quint32>(out, localHeaderSignature);
        put<quint16>(out, version20);
        putSharedHeaderFields(out, entry);
        out.append(entry.name);
        out.append(entry.data);
    }
    for (const Planned &entry : planned) {
        put<quint32>(out, centralHeaderSignature);
        put<quint16>(out, version20); // made by
        put<quint16>(out, version20); // needed
        putSharedHeaderFields(out, entry);
        put<quint16>(out, 0); // comment
        put<quint16>(out, 0); // disk
        put<quint16>(out, 0); // internal attributes
        put<quint32>(out, 0); // external attributes
        put<quint32>(out, entry.offset);
        out.append(entry.name);
    }
    put<quint32>(out, endRecordSignature);
    put<quint16>(out, 0);
    put<quint16>(out, 0);
    put<quint16>(out, quint16(planned.size()));
    put<quint16>(out, quint16(planned.size()));
    put<quint32>(out, quint32(centralSize));
    put<quint32>(out, quint32(centralOffset));
    put<quint16>(out, 0);
    return out;
}

quint32 ReportArchive::crc32(QByteArrayView data)
{
    return quint32(::crc32_z(0, reinterpret_cast<const Bytef *>(data.data()), size_t(data.size())));
}

QString ReportArchive::errorText(Error error)
{
    switch (error) {
    case Error::TooManyMembers:
        return QStringLiteral("A ZIP archive holds at most 65535 members.");
    case Error::NameTooLong:
        return QStringLiteral("A ZIP member name is at most 65535 bytes long.");
    case Error::MemberTooLarge:
        return QStringLiteral("A ZIP member is at most 4 GiB large.");
    case Error::ArchiveTooLarge:
        return QStringLiteral("A ZIP archive ends its members within 4 GiB.");
    }
    return QString();
}
