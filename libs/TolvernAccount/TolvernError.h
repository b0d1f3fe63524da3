#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <exception>
#include <optional>

// The account library's one error type. Every failure of the library reaches its
// callers as one of these cases, each with a fixed English text; two errors are
// equal when they are the same case with equal payloads.
class TolvernError : public std::exception
{
public:
    // Payload cases first, in the order callers see them documented.
    enum class Case {
        serverError,
        malformedResponse,
        authorizationFailed,
        keychainFailure,
        clientKilled,
        requiresUpgrade,
        dpopUnavailable,
        notSignedIn,
        sessionExpired,
        networkUnavailable,
        authorizationCancelled,
    };

    static TolvernError serverError(int status, std::optional<QString> code = std::nullopt);
    static TolvernError malformedResponse(std::optional<QString> field = std::nullopt);
    static TolvernError authorizationFailed(const QString &reason);
    static TolvernError keychainFailure(std::int32_t status);
    static TolvernError clientKilled(std::optional<QUrl> replacement = std::nullopt);
    static TolvernError requiresUpgrade(const QString &minVersion);
    static TolvernError dpopUnavailable(const QString &reason);
    static TolvernError notSignedIn();
    static TolvernError sessionExpired();
    static TolvernError networkUnavailable();
    static TolvernError authorizationCancelled();

    Case kind() const { return m_case; }

    // Payloads; each is meaningful only for its own case.
    int status() const { return m_status; }
    const std::optional<QString> &code() const { return m_text; }
    const std::optional<QString> &field() const { return m_text; }
    QString reason() const { return m_text.value_or(QString()); }
    QString minVersion() const { return m_text.value_or(QString()); }
    std::int32_t keychainStatus() const { return m_status; }
    const std::optional<QUrl> &replacement() const { return m_replacement; }

    // The user-facing text of the case.
    QString errorDescription() const;
    const char *what() const noexcept override { return m_what.constData(); }

    bool operator==(const TolvernError &other) const;
    bool operator!=(const TolvernError &other) const { return !(*this == other); }

private:
    explicit TolvernError(Case kind);
    static TolvernError make(Case kind, std::int32_t status = 0, std::optional<QString> text = std::nullopt,
                             std::optional<QUrl> replacement = std::nullopt);

    Case m_case;
    std::int32_t m_status = 0;
    std::optional<QString> m_text;
    std::optional<QUrl> m_replacement;
    QByteArray m_what;
};

// For QCOMPARE and log lines.
char *toString(const TolvernError &error);
