#pragma once

#include "DiagnosticLogBuffer.h"

#include "platform/Result.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <qcorotask.h>

#include <functional>
#include <optional>

class DiagnosticThrottle;
class QNetworkAccessManager;

// The uploader's errors, as the settings window and the log show them.
struct DiagnosticError {
    // Transport is not the service's answer: the HTTP client failed (refused, timed
    // out, TLS) and its own text is the description.
    enum class Kind { Server, NotSignedIn, Unavailable, MalformedResponse, PayloadTooLarge, Busy, ServerUnknown, Transport };

    Kind kind = Kind::ServerUnknown;
    QString message; // Server: the server's message; Transport: the client's text

    static DiagnosticError server(const QString &message) { return {Kind::Server, message}; }
    static DiagnosticError transport(const QString &description) { return {Kind::Transport, description}; }
    static DiagnosticError of(Kind kind) { return {kind, QString()}; }

    // The user-facing text; none for ServerUnknown.
    std::optional<QString> description() const;
    // The error as the diagnostic log records it.
    LoggedError toLoggedError() const;

    bool operator==(const DiagnosticError &other) const = default;
};

// Sends diagnostic reports to the identity service: the log ring zipped as
// "diagnostic.json" plus a metadata record, in one multipart POST with the signed-in
// user's session token. Manual reports come from the settings window and answer a
// short code; automatic ones follow a crash recovery or a failed export, at most
// hourly per reason and only while the service's health probe answers. Lives on the
// GUI thread; its coroutines never overlap two reports. Also keeps the count of
// recent save failures that reports carry.
class DiagnosticUploader : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool inFlight READ inFlight NOTIFY inFlightChanged)
public:
    // The signed-in session's token, or nothing while signed out.
    using SessionProvider = std::function<std::optional<QString>()>;

    // What a report says about this installation.
    struct Client {
        QString version;
        QString osVersion;
        bool pandocAvailable = false;
        static Client current();
    };

    // Empty members take the process's own: the identity origin, the shared throttle
    // and log, Client::current() at each report.
    struct Environment {
        QUrl origin;
        DiagnosticThrottle *throttle = nullptr;
        DiagnosticLogBuffer *log = nullptr;
        std::function<Client()> client;
    };

    DiagnosticUploader();
    explicit DiagnosticUploader(Environment environment, QObject *parent = nullptr);
    ~DiagnosticUploader() override;

    static DiagnosticUploader &shared();

    // Set at start-up by the account integration; none until then (signed out).
    void setSessionProvider(SessionProvider provider);
    bool hasSession() const;
    // The token a report is sent with, renewed first when it is about to expire;
    // without one the session provider's token goes.
    using FreshSessionProvider = std::function<QCoro::Task<std::optional<QString>>()>;
    void setFreshSessionProvider(FreshSessionProvider provider);

    bool inFlight() const { return m_inFlight; }

    // A manual report: the server's short code, or why not (busy, notSignedIn, the
    // upload's errors).
    QCoro::Task<Result<QString, DiagnosticError>> uploadManual(int openDocumentCount);
    // An automatic report for `reason` ("crash_recovery", "export_failed"); silent,
    // never fails, callers need not wait for it.
    QCoro::Task<void> uploadAuto(QString reason, int openDocumentCount);

    // Adds one to "sorvane.recentSaveFailures" (at most 1000) and logs a warning.
    static void noteSaveFailure();
    // A server error body's "error", else its "message"; none for anything else.
    static std::optional<QString> errorMessage(const QByteArray &body);
    // "sorvane.diagnosticsEnabled"; absent counts as on.
    static bool isDiagnosticsEnabled();

    // Sees every automatic report request (reason, open documents) before its
    // conditions are checked; empty stops it.
    static void setAutoReportObserver(std::function<void(const QString &reason, int openDocumentCount)> observer);

    static constexpr int maxRecentSaveFailures = 1000;
    static constexpr int healthTimeoutMs = 3000;
    static constexpr int uploadTimeoutMs = 30000;

Q_SIGNALS:
    void inFlightChanged(bool inFlight);

private:
    QCoro::Task<Result<QString, DiagnosticError>> post(QString token, QJsonObject metadata);
    QCoro::Task<bool> isHealthEndpointReachable();
    QJsonObject metadata(const QString &kind, const std::optional<QString> &reason, int openDocumentCount) const;
    std::optional<QString> sessionToken() const;
    QCoro::Task<std::optional<QString>> freshSessionToken() const;
    Client client() const;
    void setInFlight(bool inFlight);
    QUrl endpoint(const QString &path) const;
    QNetworkAccessManager &network();
    DiagnosticThrottle &throttle() const;
    DiagnosticLogBuffer &log() const;

    Environment m_environment;
    SessionProvider m_sessionProvider;
    FreshSessionProvider m_freshSessionProvider;
    QNetworkAccessManager *m_network = nullptr;
    bool m_inFlight = false;
};
