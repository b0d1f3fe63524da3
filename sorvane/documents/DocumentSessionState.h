#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// How a tab's file ends its lines, kept so a restored tab saves the bytes it was opened with.
enum class SessionLineEnding { Lf, CrLf, Cr };

// One tab as "SessionState.json" stores it.
struct SessionDocumentState {
    QUuid id;
    std::optional<QString> filePath;      // absent for an untitled tab
    QByteArray securityScopedBookmark;    // empty: none
    QString text;
    QString lastSavedText;
    bool isModified = false;
    std::optional<QDateTime> lastKnownModificationDate;
    SessionLineEnding lineEnding = SessionLineEnding::Lf;
    bool hasByteOrderMark = false;

    QJsonObject toJson() const;
    // Strict: a missing required key or a wrongly typed value gives nothing and a reason.
    static std::optional<SessionDocumentState> fromJson(const QJsonObject &object, QString *error = nullptr);

    bool operator==(const SessionDocumentState &) const = default;
};

// The open tabs and the selected one, as written to "SessionState.json" and read back
// at the next launch. Keys the reader does not know are ignored.
struct DocumentSessionState {
    std::optional<QUuid> selectedDocumentID;
    QList<SessionDocumentState> documents;

    QJsonObject toJson() const;
    // Compact JSON text.
    QByteArray encode() const;
    static std::optional<DocumentSessionState> fromJson(const QJsonObject &object, QString *error = nullptr);
    static std::optional<DocumentSessionState> decode(const QByteArray &json, QString *error = nullptr);

    bool operator==(const DocumentSessionState &) const = default;

    // Dates are seconds since 2001-01-01 00:00:00 UTC in the file.
    static double referenceSeconds(const QDateTime &date);
    // Nothing for a number that is no date: not finite, or outside the years 1 to 9999.
    static std::optional<QDateTime> fromReferenceSeconds(double seconds);
    // The UUID's standard upper-case hyphenated text, without braces.
    static QString uuidText(const QUuid &id);
    // Parses exactly that form (either case); nothing for anything else.
    static std::optional<QUuid> parseUuid(const QString &text);
};
