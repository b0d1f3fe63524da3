#pragma once

#include <QObject>

#include <atomic>
#include <exception>
#include <memory>

// Raised by an operation of the library whose cancel token was cancelled while it
// waited.
class CancellationError : public std::exception
{
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// The shared state of a cancel token.
class CancelTokenState : public QObject
{
    Q_OBJECT
public:
    std::atomic<bool> cancelled{false};
Q_SIGNALS:
    // Emitted once, on the thread that cancels.
    void wasCancelled();
};

// Lets a caller cancel an asynchronous operation it started. A default-made token
// is never cancelled; `CancelToken::create()` makes one that can be. Copies share
// one state; cancelling is safe from any thread.
class CancelToken
{
public:
    CancelToken() = default;
    static CancelToken create();

    void cancel() const;
    bool isCancelled() const { return m_state && m_state->cancelled.load(); }
    // Throws CancellationError when cancelled.
    void throwIfCancelled() const;
    // Null for a token that can never be cancelled.
    CancelTokenState *state() const { return m_state.get(); }

private:
    std::shared_ptr<CancelTokenState> m_state;
};
