#include "TestEnvironment.h"
#include "documents/DocumentSessionState.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <QtTest>

#include <cmath>

namespace {

const QUuid firstId = QUuid::fromString(QStringLiteral("{3f2504e0-4f89-41d3-9a0c-0305e82c3301}"));
const QUuid secondId = QUuid::fromString(QStringLiteral("{a1b2c3d4-0000-4abc-8def-0123456789ab}"));

SessionDocumentState everyField()
{
    SessionDocumentState document;
    document.id = firstId;
    document.filePath = QStringLiteral("/home/user/Notes/ünïcode notes.md");
    document.securityScopedBookmark = QByteArray("\x00\x01\xfe\xff bookmark", 13);
    document.text = QStringLiteral("# Title\r\nunsaved \"quoted\" text 😀\r\n");
    document.lastSavedText = QStringLiteral("# Title\r\n");
    document.isModified = true;
    document.lastKnownModificationDate = QDateTime(QDate(2024, 5, 17), QTime(10, 20, 30, 125), QTimeZone::utc());
    document.lineEnding = SessionLineEnding::CrLf;
    document.hasByteOrderMark = true;
    return document;
}

SessionDocumentState requiredOnly()
{
    SessionDocumentState document;
    document.id = secondId;
    document.text = QStringLiteral("draft");
    document.lastSavedText = QString();
    return document;
}

QStringList keysOf(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

// A valid file written by hand, as another build would, to break one thing at a time.
QJsonObject validObjectWith(const QString &documentKey, const QJsonValue &value)
{
    QJsonObject document{{QStringLiteral("id"), QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301")},
                         {QStringLiteral("text"), QStringLiteral("a")},
                         {QStringLiteral("lastSavedText"), QStringLiteral("a")},
                         {QStringLiteral("isModified"), false}};
    if (value.isUndefined())
        document.remove(documentKey);
    else
        document.insert(documentKey, value);
    return QJsonObject{{QStringLiteral("documents"), QJsonArray{document}}};
}

QByteArray validFileWith(const QString &documentKey, const QJsonValue &value)
{
    return QJsonDocument(validObjectWith(documentKey, value)).toJson();
}

} // namespace

Q_DECLARE_METATYPE(DocumentSessionState)

class tst_DocumentSessionState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<DocumentSessionState>("state");
        QTest::newRow("every field") << DocumentSessionState{secondId, {everyField(), requiredOnly()}};
        QTest::newRow("required fields only") << DocumentSessionState{std::nullopt, {requiredOnly()}};
        QTest::newRow("no tabs") << DocumentSessionState{};
        SessionDocumentState oldMac = requiredOnly();
        oldMac.lineEnding = SessionLineEnding::Cr;
        oldMac.lastKnownModificationDate = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 1), QTimeZone::utc());
        QTest::newRow("cr, date before 2001") << DocumentSessionState{secondId, {oldMac}};
        SessionDocumentState huge = requiredOnly();
        huge.text = QString(8 * 1024 * 1024, QLatin1Char('x')) + QStringLiteral("\n\t\\\"end");
        huge.lastSavedText = huge.text;
        QTest::newRow("huge text") << DocumentSessionState{secondId, {huge}};
    }
    void roundTrip()
    {
        QFETCH(DocumentSessionState, state);
        QString error;
        const std::optional<DocumentSessionState> decoded = DocumentSessionState::decode(state.encode(), &error);
        QVERIFY2(decoded.has_value(), qPrintable(error));
        QVERIFY(*decoded == state);
    }

    // The file's exact form: key names, omitted optionals, UUID and date formats, compact.
    void jsonForm()
    {
        const DocumentSessionState state{secondId, {everyField(), requiredOnly()}};
        const QByteArray json = state.encode();
        QVERIFY(!json.contains('\n'));
        const QJsonObject root = QJsonDocument::fromJson(json).object();
        QCOMPARE(keysOf(root), (QStringList{"documents", "selectedDocumentID"}));
        QCOMPARE(root.value("selectedDocumentID").toString(), QStringLiteral("A1B2C3D4-0000-4ABC-8DEF-0123456789AB"));

        const QJsonObject full = root.value("documents").toArray().at(0).toObject();
        QCOMPARE(keysOf(full), (QStringList{"filePath", "hasByteOrderMark", "id", "isModified", "lastKnownModificationDate",
                                            "lastSavedText", "lineEnding", "securityScopedBookmark", "text"}));
        QCOMPARE(full.value("id").toString(), QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301"));
        QCOMPARE(full.value("securityScopedBookmark").toString(), QString::fromLatin1(everyField().securityScopedBookmark.toBase64()));
        // 2024-05-17 10:20:30.125 UTC is 737634030.125 s after 2001-01-01.
        QCOMPARE(full.value("lastKnownModificationDate").toDouble(), 737634030.125);
        QCOMPARE(full.value("lineEnding").toString(), QStringLiteral("crlf"));
        QCOMPARE(full.value("hasByteOrderMark"), QJsonValue(true));
        QCOMPARE(full.value("isModified"), QJsonValue(true));

        const QJsonObject minimal = root.value("documents").toArray().at(1).toObject();
        QCOMPARE(keysOf(minimal), (QStringList{"id", "isModified", "lastSavedText", "text"}));

        const QJsonObject empty = QJsonDocument::fromJson(DocumentSessionState{}.encode()).object();
        QCOMPARE(keysOf(empty), QStringList{"documents"});
        QVERIFY(empty.value("documents").isArray());
    }

    // What another build wrote: lower-case UUIDs, whole-second dates, nulls for absent
    // optionals and keys this build does not know.
    void readsForeignFile()
    {
        const QByteArray json = R"({"future":{"a":1},"selectedDocumentID":"a1b2c3d4-0000-4abc-8def-0123456789ab",
            "documents":[{"id":"a1b2c3d4-0000-4abc-8def-0123456789ab","text":"t","lastSavedText":"s",
            "isModified":true,"lastKnownModificationDate":0,"filePath":null,"tags":["x"]}]})";
        QString error;
        const std::optional<DocumentSessionState> state = DocumentSessionState::decode(json, &error);
        QVERIFY2(state.has_value(), qPrintable(error));
        QCOMPARE(state->selectedDocumentID, std::optional<QUuid>(secondId));
        QCOMPARE(state->documents.size(), 1);
        const SessionDocumentState &document = state->documents.first();
        QCOMPARE(document.id, secondId);
        QVERIFY(!document.filePath);
        QCOMPARE(document.text, QStringLiteral("t"));
        QCOMPARE(document.lastSavedText, QStringLiteral("s"));
        QVERIFY(document.isModified);
        QCOMPARE(document.lastKnownModificationDate->toUTC(),
                 QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()));
        QCOMPARE(document.lineEnding, SessionLineEnding::Lf);
        QVERIFY(!document.hasByteOrderMark);
    }

    // A date number no clock could hold reads as no date, and the tab is still restored.
    // Most rows overflowed 64-bit integers on the way to milliseconds.
    void dateOutOfRangeIsAbsent_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("milliseconds sum past int64") << 9223372000000000.0;
        QTest::newRow("milliseconds past int64") << 1e19;
        QTest::newRow("milliseconds before int64") << -9223372000000000.0;
        QTest::newRow("1e300") << 1e300;
        QTest::newRow("-1e300") << -1e300;
        QTest::newRow("after year 9999") << 252423993600.0;
        QTest::newRow("before year 1") << -63113904000.5;
        QTest::newRow("NaN") << qQNaN();
        QTest::newRow("infinity") << qInf();
        QTest::newRow("minus infinity") << -qInf();
    }
    void dateOutOfRangeIsAbsent()
    {
        QFETCH(double, seconds);
        QString error;
        const QJsonObject object = validObjectWith(QStringLiteral("lastKnownModificationDate"), seconds);
        const std::optional<DocumentSessionState> state = DocumentSessionState::fromJson(object, &error);
        QVERIFY2(state.has_value(), qPrintable(error));
        QCOMPARE(state->documents.size(), 1);
        QVERIFY(!state->documents.first().lastKnownModificationDate);
        QCOMPARE(state->documents.first().text, QStringLiteral("a"));
        if (std::isfinite(seconds)) { // JSON text cannot spell the others
            const std::optional<DocumentSessionState> decoded = DocumentSessionState::decode(
                QByteArray(R"({"documents":[{"id":"3F2504E0-4F89-41D3-9A0C-0305E82C3301","text":"a",)"
                           R"("lastSavedText":"a","isModified":false,"lastKnownModificationDate":)")
                + QByteArray::number(seconds, 'g', 17) + "}]}");
            QVERIFY(decoded.has_value());
            QVERIFY(!decoded->documents.first().lastKnownModificationDate);
        }
    }

    // The first and last moments that are still dates read back exactly.
    void dateBoundsAreKept_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("year 1") << -63113904000.0 << QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("year 9999") << 252423993599.5
                                   << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 500), QTimeZone::utc());
        QTest::newRow("before 2001") << -0.25 << QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59, 750), QTimeZone::utc());
    }
    void dateBoundsAreKept()
    {
        QFETCH(double, seconds);
        QFETCH(QDateTime, expected);
        const std::optional<DocumentSessionState> state =
            DocumentSessionState::fromJson(validObjectWith(QStringLiteral("lastKnownModificationDate"), seconds));
        QVERIFY(state.has_value());
        QCOMPARE(state->documents.first().lastKnownModificationDate, std::optional<QDateTime>(expected));
    }

    void undecodable_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray valid = DocumentSessionState{secondId, {everyField()}}.encode();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("SessionState");
        QTest::newRow("truncated") << valid.left(valid.size() / 2);
        QTest::newRow("top level array") << QByteArray("[]");
        QTest::newRow("documents missing") << QByteArray(R"({"selectedDocumentID":"A1B2C3D4-0000-4ABC-8DEF-0123456789AB"})");
        QTest::newRow("documents null") << QByteArray(R"({"documents":null})");
        QTest::newRow("documents an object") << QByteArray(R"({"documents":{}})");
        QTest::newRow("document a string") << QByteArray(R"({"documents":["x"]})");
        QTest::newRow("selection not a UUID") << QByteArray(R"({"documents":[],"selectedDocumentID":"first"})");
        QTest::newRow("id missing") << validFileWith("id", QJsonValue::Undefined);
        QTest::newRow("id a number") << validFileWith("id", 7);
        QTest::newRow("id in braces") << validFileWith("id", "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}");
        QTest::newRow("id not a UUID") << validFileWith("id", "3F2504E0");
        QTest::newRow("text missing") << validFileWith("text", QJsonValue::Undefined);
        QTest::newRow("text null") << validFileWith("text", QJsonValue::Null);
        QTest::newRow("lastSavedText missing") << validFileWith("lastSavedText", QJsonValue::Undefined);
        QTest::newRow("isModified missing") << validFileWith("isModified", QJsonValue::Undefined);
        QTest::newRow("isModified a string") << validFileWith("isModified", "true");
        QTest::newRow("isModified a number") << validFileWith("isModified", 1);
        QTest::newRow("filePath a number") << validFileWith("filePath", 3);
        QTest::newRow("bookmark not Base64") << validFileWith("securityScopedBookmark", "no*base64!");
        QTest::newRow("date a string") << validFileWith("lastKnownModificationDate", "2024-01-01");
        QTest::newRow("lineEnding unknown") << validFileWith("lineEnding", "nel");
        QTest::newRow("hasByteOrderMark a string") << validFileWith("hasByteOrderMark", "yes");
    }
    void undecodable()
    {
        QFETCH(QByteArray, json);
        QString error;
        QVERIFY(!DocumentSessionState::decode(json, &error));
        QVERIFY(!error.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_DocumentSessionState)
#include "tst_DocumentSessionState.moc"
