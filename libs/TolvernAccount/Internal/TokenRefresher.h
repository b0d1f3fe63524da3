#pragma once

#include "TolvernError.h"
#include "TvsResponse.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

// The one place where refresh tokens are presented. Refresh tokens are single use, so
// at most one refresh request is on its way at any moment; callers of the token being
// refreshed share its outcome, and a token already rotated is answered from memory
// instead of being presented again.
//
// Lives on the client's thread and takes no lock: every field is re-read after each
// wait, while other callers run. A caller of another token than the running refresh
// is not handed that refresh's session (it may be another account's): it waits for
// the refresh to end and is then served afresh.
class TokenRefresher : public QObject
{
    Q_OBJECT
public:
    // What one refresh request gave: the new session and, when the reply also said this
    // client version is no longer supported, the error every caller gets once the
    // session has been recorded (the old refresh token is spent either way).
    struct Rotation {
        TvsResponse response;
        std::optional<TolvernError> rejection;
    };
    // Performs exactly one refresh request for the token.
    using Perform = std::function<QCoro::Task<Rotation>()>;
    // Told about each successful rotation (presented token, new session), before any
    // caller gets the result.
    using OnRotated = std::function<void(const QString &presentedToken, const TvsResponse &response)>;

    explicit TokenRefresher(QObject *parent = nullptr);
    ~TokenRefresher() override;

    // The session refreshed from `token`, or the error of the refresh that answered.
    // Waiting callers do not stop the refresh: it runs to its end and is recorded.
    QCoro::Task<TvsResponse> refresh(QString token, Perform perform, OnRotated onRotated = {});

Q_SIGNALS:
    // A refresh ended (success or failure); waiting callers look again.
    void refreshEnded();

private:
    struct Flight {
        QString token;
        bool done = false;
        std::optional<TvsResponse> result;
        std::optional<TolvernError> rejection;
        std::exception_ptr error;
    };
    QCoro::Task<> run(std::shared_ptr<Flight> flight, Perform perform, OnRotated onRotated);
    QCoro::Task<> waitUntilDone(std::shared_ptr<Flight> flight);
    static TvsResponse outcome(const Flight &flight);

    std::shared_ptr<Flight> m_inFlight;
    QSet<QString> m_consumedTokens;
    std::optional<TvsResponse> m_lastResult;
};
