#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <typeinfo>

// The pure functions that let error telemetry group repeats without sending what
// could identify a user: short type names, scrubbed message templates, frame
// digests, fingerprints and the daily token. Thread-safe; they read no state.
class ErrorFirehoseNormalizer
{
public:
    // The demangled C++ type after its last "::" ("ns::Outer::Error" gives "Error").
    static QString typeName(const std::type_info &type);
    template<class E>
    static QString typeName(const E &error)
    {
        return typeName(typeid(error));
    }

    // The seven replacements (e-mail, time stamp, UUID, account id, path, hex, long
    // number) alone; breadcrumbs pass through these before they are kept.
    static QString scrub(const QString &text);
    static QString normalizeMessage(const QString &message, const std::optional<QString> &exceptionType);
    // 12 lowercase hex characters over the first three cleaned frames.
    static QString computeFrameDigest(const QStringList &frames);
    // 16 lowercase hex characters naming one signal.
    static QString fingerprint(const QString &appSlug, const QString &platform, const QString &severity,
                               const QString &category, const QString &messageTemplate,
                               const std::optional<QString> &frameDigest);
    // "yyyy-MM-dd" of a UTC date.
    static QString utcDateString(const QDate &utcDate);
    static QString utcDateString();
    static QString computeDailyToken(const QString &installId, const QDate &utcDate);
    static QString computeDailyToken(const QString &installId);

    // First `count` lowercase hex characters of SHA-256 over the UTF-8 of `text`.
    static QString sha256Prefix(const QString &text, int count);
};
