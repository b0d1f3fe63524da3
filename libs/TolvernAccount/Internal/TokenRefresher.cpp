#include "TokenRefresher.h"

#include <QPointer>

#include <QCoro/QCoroSignal>

TokenRefresher::TokenRefresher(QObject *parent)
    : QObject(parent)
{
}

TokenRefresher::~TokenRefresher() = default;

QCoro::Task<TvsResponse> TokenRefresher::refresh(QString token, Perform perform, OnRotated onRotated)
{
    for (;;) {
        if (m_consumedTokens.contains(token) && m_lastResult)
            co_return *m_lastResult;
        if (m_inFlight) {
            const std::shared_ptr<Flight> flight = m_inFlight;
            // Named tasks: GCC 12 destroys temporaries inside a co_await expression twice.
            auto waiting = waitUntilDone(flight);
            co_await std::move(waiting);
            if (flight->token == token)
                co_return outcome(*flight);
            // Another token's refresh: look again now that it has ended.
            continue;
        }
        auto flight = std::make_shared<Flight>();
        flight->token = token;
        m_inFlight = flight;
        // Runs on its own: it ends, and is recorded, even when no caller waits any more.
        run(flight, std::move(perform), std::move(onRotated));
        auto waiting = waitUntilDone(flight);
        co_await std::move(waiting);
        co_return outcome(*flight);
    }
}

QCoro::Task<> TokenRefresher::run(std::shared_ptr<Flight> flight, Perform perform, OnRotated onRotated)
{
    QPointer<TokenRefresher> self(this);
    try {
        auto performing = perform();
        Rotation rotation = co_await std::move(performing);
        if (onRotated)
            onRotated(flight->token, rotation.response);
        flight->result = std::move(rotation.response);
        flight->rejection = std::move(rotation.rejection);
    } catch (...) {
        flight->error = std::current_exception();
    }
    flight->done = true;
    if (!self)
        co_return;
    if (flight->result) {
        self->m_consumedTokens.insert(flight->token);
        self->m_lastResult = flight->result;
    }
    if (self->m_inFlight == flight)
        self->m_inFlight.reset();
    Q_EMIT self->refreshEnded();
}

QCoro::Task<> TokenRefresher::waitUntilDone(std::shared_ptr<Flight> flight)
{
    while (!flight->done) {
        auto ended = qCoro(this, &TokenRefresher::refreshEnded);
        co_await std::move(ended);
    }
}

TvsResponse TokenRefresher::outcome(const Flight &flight)
{
    if (flight.error)
        std::rethrow_exception(flight.error);
    if (flight.rejection)
        throw *flight.rejection;
    return *flight.result;
}
