#include "ErrorFirehoseNormalizer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>

#include <cxxabi.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace {
struct Replacement {
    QRegularExpression pattern;
    QString placeholder;
};

// ICU's \d, \s and \b are Unicode-aware; Qt's PCRE2 needs the option for the same.
QRegularExpression unicodePattern(const QString &pattern)
{
    QRegularExpression expression(pattern, QRegularExpression::UseUnicodePropertiesOption);
    expression.optimize();
    return expression;
}

// Compiled once; QRegularExpression is safe to share between threads for matching.
const std::array<Replacement, 7> &replacements()
{
    static const std::array<Replacement, 7> table = {{
        {unicodePattern(QStringLiteral(R"([a-zA-Z0-9._%+\-]+@[a-zA-Z0-9.\-]+\.[a-zA-Z]{2,})")), QStringLiteral("<email>")},
        {unicodePattern(QStringLiteral(R"(\d{4}-\d{2}-\d{2}[T ]\d{2}:\d{2}:\d{2}(?:\.\d+)?(?:Z|[+-]\d{2}:?\d{2})?)")),
         QStringLiteral("<ts>")},
        {unicodePattern(QStringLiteral(
             R"([0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12})")),
         QStringLiteral("<uuid>")},
        {unicodePattern(QStringLiteral(R"(ta_[0-9a-zA-Z-]+)")), QStringLiteral("<ta_id>")},
        {unicodePattern(QStringLiteral(R"((?:[A-Za-z]:[\\\/]|\\\\|\/)[^\s,;\"'<>]+)")), QStringLiteral("<path>")},
        {unicodePattern(QStringLiteral(R"(\b[0-9a-fA-F]{8,}\b)")), QStringLiteral("<hex>")},
        {unicodePattern(QStringLiteral(R"(\b\d{4,}\b)")), QStringLiteral("<n>")},
    }};
    return table;
}

const QRegularExpression &whiteSpaceRun()
{
    static const QRegularExpression expression = unicodePattern(QStringLiteral(R"(\s+)"));
    return expression;
}

const QRegularExpression &frameArrow()
{
    static const QRegularExpression expression = unicodePattern(QStringLiteral(R"(\s*->.+)"));
    return expression;
}

const QRegularExpression &frameArguments()
{
    static const QRegularExpression expression = unicodePattern(QStringLiteral(R"(\(.*\))"));
    return expression;
}

// Spaces and tabs only: other white space is part of the text.
QString trimSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text.at(begin) == u' ' || text.at(begin) == u'\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}
} // namespace

QString ErrorFirehoseNormalizer::typeName(const std::type_info &type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                      std::free);
    QString name = status == 0 && demangled ? QString::fromUtf8(demangled.get()) : QString::fromLatin1(type.name());
    // Template arguments may hold "::" of their own; the type's own name is before them.
    const qsizetype angle = name.indexOf(u'<');
    const qsizetype searchEnd = angle >= 0 ? angle : name.size();
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"), searchEnd - 1);
    return colons >= 0 ? name.mid(colons + 2) : name;
}

QString ErrorFirehoseNormalizer::scrub(const QString &text)
{
    QString result = text;
    for (const Replacement &replacement : replacements())
        result.replace(replacement.pattern, replacement.placeholder);
    return result;
}

QString ErrorFirehoseNormalizer::normalizeMessage(const QString &message, const std::optional<QString> &exceptionType)
{
    const QString lowered = scrub(message).toLower();
    const QString joined = lowered.split(whiteSpaceRun(), Qt::SkipEmptyParts).join(u' ');
    if (joined.size() >= 8)
        return joined;
    if (!exceptionType || exceptionType->isEmpty())
        return joined.isEmpty() ? message.toLower() : joined;
    return trimSpacesAndTabs(joined + u' ' + *exceptionType);
}

QString ErrorFirehoseNormalizer::computeFrameDigest(const QStringList &frames)
{
    QStringList cleaned;
    for (const QString &frame : frames.mid(0, 3)) {
        QString text = frame;
        text.remove(frameArrow());
        text.remove(frameArguments());
        cleaned.append(trimSpacesAndTabs(text).toLower());
    }
    return sha256Prefix(cleaned.join(u'|'), 12);
}

QString ErrorFirehoseNormalizer::fingerprint(const QString &appSlug, const QString &platform, const QString &severity,
                                             const QString &category, const QString &messageTemplate,
                                             const std::optional<QString> &frameDigest)
{
    const QString text = appSlug + u'|' + platform + u'|' + severity + u'|' + category + u'|' + messageTemplate + u'|'
        + frameDigest.value_or(QString());
    return sha256Prefix(text, 16);
}

QString ErrorFirehoseNormalizer::utcDateString(const QDate &utcDate)
{
    return utcDate.toString(QStringLiteral("yyyy-MM-dd"));
}

QString ErrorFirehoseNormalizer::utcDateString()
{
    return utcDateString(QDateTime::currentDateTimeUtc().date());
}

QString ErrorFirehoseNormalizer::computeDailyToken(const QString &installId, const QDate &utcDate)
{
    return sha256Prefix(installId + u'|' + utcDateString(utcDate) + QStringLiteral("|kestal-crumbs-v3"), 16);
}

QString ErrorFirehoseNormalizer::computeDailyToken(const QString &installId)
{
    return computeDailyToken(installId, QDateTime::currentDateTimeUtc().date());
}

QString ErrorFirehoseNormalizer::sha256Prefix(const QString &text, int count)
{
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(count));
}
