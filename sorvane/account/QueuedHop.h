#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>

// Resumes the awaiting coroutine from the GUI thread's event queue, behind every
// piece of work queued before it. The state mappings the library's handlers queue
// must run before a sign-in or restore goes on, so that what follows reads the
// account they set.
class QueuedHop
{
public:
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const
    {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
    }
    void await_resume() const noexcept {}
};
