#include "DocumentSessionState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since 1970.
constexpr qint64 referenceEpochMs = 978307200000LL;

const QString kId = QStringLiteral("id");
const QString kFilePath = QStringLiteral("filePath");
const QString kBookmark = QStringLiteral("securityScopedBookmark");
const QString kText = QStringLiteral("text");
const QString kLastSavedText = QStringLiteral("lastSavedText");
const QString kIsModified = QStringLiteral("isModified");
const QString kDate = QStringLiteral("lastKnownModificationDate");
const QString kLineEnding = QStringLiteral("lineEnding");
const QString kBom = QStringLiteral("hasByteOrderMark");
const QString kSelected = QStringLiteral("selectedDocumentID");
const QString kDocuments = QStringLiteral("documents");

QString lineEndingText(SessionLineEnding ending)
{
    switch (ending) {
    case SessionLineEnding::CrLf:
        return QStringLiteral("crlf");
    case SessionLineEnding::Cr:
        return QStringLiteral("cr");
    case SessionLineEnding::Lf:
        break;
    }
    return QStringLiteral("lf");
}

// Reads keys off one object and remembers the first reason it could not.
class StrictReader
{
public:
    StrictReader(const QJsonObject &object, QString *error) : m_object(object), m_error(error) {}

    bool ok() const { return m_ok; }

    // A present key of the wrong type fails; absent or null gives nothing.
    std::optional<QJsonValue> optional(const QString &key, QJsonValue::Type type)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (value.type() != type) {
            fail(QStringLiteral("\"%1\" has the wrong type").arg(key));
            return std::nullopt;
        }
        return value;
    }

    QJsonValue required(const QString &key, QJsonValue::Type type)
    {
        if (!m_object.contains(key)) {
            fail(QStringLiteral("required key \"%1\" is missing").arg(key));
            return {};
        }
        const std::optional<QJsonValue> value = optional(key, type);
        if (!value) {
            fail(QStringLiteral("required key \"%1\" is null").arg(key));
            return {};
        }
        return *value;
    }

    std::optional<QUuid> uuid(const QString &key, bool isRequired)
    {
        const std::optional<QJsonValue> value =
            isRequired ? std::optional<QJsonValue>(required(key, QJsonValue::String)) : optional(key, QJsonValue::String);
        if (!m_ok || !value)
            return std::nullopt;
        const std::optional<QUuid> id = DocumentSessionState::parseUuid(value->toString());
        if (!id)
            fail(QStringLiteral("\"%1\" is not a UUID").arg(key));
        return id;
    }

    void fail(const QString &reason)
    {
        if (m_ok && m_error)
            *m_error = reason;
        m_ok = false;
    }

private:
    QJsonObject m_object;
    QString *m_error;
    bool m_ok = true;
};

} // namespace

double DocumentSessionState::referenceSeconds(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch() - referenceEpochMs) / 1000.0;
}

std::optional<QDateTime> DocumentSessionState::fromReferenceSeconds(double seconds)
{
    // The bounds are checked in floating point, before any integer sees the number, so a
    // hostile file cannot make the conversion or the sum overflow.
    static const double earliest = double(QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch());
    static const double latest =
        double(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc()).toMSecsSinceEpoch());
    const double msSince1970 = seconds * 1000.0 + double(referenceEpochMs);
    if (!std::isfinite(msSince1970) || msSince1970 < earliest || msSince1970 > latest)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(msSince1970)), QTimeZone::utc());
}

QString DocumentSessionState::uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> DocumentSessionState::parseUuid(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(text);
}

QJsonObject SessionDocumentState::toJson() const
{
    QJsonObject object;
    object.insert(kId, DocumentSessionState::uuidText(id));
    if (filePath)
        object.insert(kFilePath, *filePath);
    if (!securityScopedBookmark.isEmpty())
        object.insert(kBookmark, QString::fromLatin1(securityScopedBookmark.toBase64()));
    object.insert(kText, text);
    object.insert(kLastSavedText, lastSavedText);
    object.insert(kIsModified, isModified);
    if (lastKnownModificationDate)
        object.insert(kDate, DocumentSessionState::referenceSeconds(*lastKnownModificationDate));
    if (lineEnding != SessionLineEnding::Lf)
        object.insert(kLineEnding, lineEndingText(lineEnding));
    if (hasByteOrderMark)
        object.insert(kBom, true);
    return object;
}

std::optional<SessionDocumentState> SessionDocumentState::fromJson(const QJsonObject &object, QString *error)
{
    StrictReader reader(object, error);
    SessionDocumentState state;
    state.id = reader.uuid(kId, true).value_or(QUuid());
    if (const auto path = reader.optional(kFilePath, QJsonValue::String))
        state.filePath = path->toString();
    if (const auto bookmark = reader.optional(kBookmark, QJsonValue::String)) {
        const auto decoded = QByteArray::fromBase64Encoding(bookmark->toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (decoded)
            state.securityScopedBookmark = decoded.decoded;
        else
            reader.fail(QStringLiteral("\"%1\" is not Base64").arg(kBookmark));
    }
    state.text = reader.required(kText, QJsonValue::String).toString();
    state.lastSavedText = reader.required(kLastSavedText, QJsonValue::String).toString();
    state.isModified = reader.required(kIsModified, QJsonValue::Bool).toBool();
    // A number that is no date reads as no date; the tab itself is still worth restoring.
    if (const auto date = reader.optional(kDate, QJsonValue::Double))
        state.lastKnownModificationDate = DocumentSessionState::fromReferenceSeconds(date->toDouble());
    if (const auto ending = reader.optional(kLineEnding, QJsonValue::String)) {
        const QString name = ending->toString();
        if (name == QLatin1String("crlf"))
            state.lineEnding = SessionLineEnding::CrLf;
        else if (name == QLatin1String("cr"))
            state.lineEnding = SessionLineEnding::Cr;
        else if (name != QLatin1String("lf"))
            reader.fail(QStringLiteral("\"%1\" has an unknown value").arg(kLineEnding));
    }
    if (const auto bom = reader.optional(kBom, QJsonValue::Bool))
        state.hasByteOrderMark = bom->toBool();
    if (!reader.ok())
        return std::nullopt;
    return state;
}

QJsonObject DocumentSessionState::toJson() const
{
    QJsonObject object;
    if (selectedDocumentID)
        object.insert(kSelected, uuidText(*selectedDocumentID));
    QJsonArray list;
    for (const SessionDocumentState &document : documents)
        list.append(document.toJson());
    object.insert(kDocuments, list);
    return object;
}

QByteArray DocumentSessionState::encode() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<DocumentSessionState> DocumentSessionState::fromJson(const QJsonObject &object, QString *error)
{
    StrictReader reader(object, error);
    DocumentSessionState state;
    state.selectedDocumentID = reader.uuid(kSelected, false);
    const QJsonArray list = reader.required(kDocuments, QJsonValue::Array).toArray();
    if (!reader.ok())
        return std::nullopt;
    for (qsizetype i = 0; i < list.size(); ++i) {
        QString reason;
        std::optional<SessionDocumentState> document;
        if (list.at(i).isObject())
            document = SessionDocumentState::fromJson(list.at(i).toObject(), &reason);
        else
            reason = QStringLiteral("not an object");
        if (!document) {
            if (error)
                *error = QStringLiteral("documents[%1]: %2").arg(i).arg(reason);
            return std::nullopt;
        }
        state.documents.append(*document);
    }
    return state;
}

std::optional<DocumentSessionState> DocumentSessionState::decode(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("the top level is not an object");
        return std::nullopt;
    }
    return fromJson(document.object(), error);
}
