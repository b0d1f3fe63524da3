#include "CancelToken.h"

CancelToken CancelToken::create()
{
    CancelToken token;
    token.m_state = std::make_shared<CancelTokenState>();
    return token;
}

void CancelToken::cancel() const
{
    if (m_state && !m_state->cancelled.exchange(true))
        Q_EMIT m_state->wasCancelled();
}

void CancelToken::throwIfCancelled() const
{
    if (isCancelled())
        throw CancellationError();
}
