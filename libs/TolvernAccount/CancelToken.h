#pragma once

#include "CancelTokenState.h"
#include "CancellationError.h"

#include <memory>

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
