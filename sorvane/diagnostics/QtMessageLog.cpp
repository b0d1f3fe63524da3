#include "QtMessageLog.h"

#include "DiagnosticLogBuffer.h"

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

std::atomic<QtMessageHandler> previousHandler{nullptr};
// Cleared when the application object goes (or at exit without one): messages from
// the teardown and from global destructors only reach the console, since the log's
// own statics may already be gone.
std::atomic<bool> forwarding{false};
// Set while this thread is inside the handler. Qt 6.4 already sends a message raised
// in a handler straight to stderr, but that is not a promise; with the writer-thread
// check it keeps whatever the log itself says on the console, out of the log.
thread_local bool handling = false;
std::atomic<bool> quietConsole{false};

DiagnosticLogBuffer::Level levelFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return DiagnosticLogBuffer::Level::Debug;
    case QtInfoMsg:
        return DiagnosticLogBuffer::Level::Info;
    case QtWarningMsg:
        return DiagnosticLogBuffer::Level::Warn;
    case QtCriticalMsg:
    case QtFatalMsg:
        break;
    }
    return DiagnosticLogBuffer::Level::Error;
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!handling && forwarding.load(std::memory_order_acquire) && !DiagnosticLogBuffer::isWriterThread()) {
        handling = true;
        const QString category = context.category ? QString::fromLatin1(context.category) : QStringLiteral("default");
        DiagnosticLogBuffer &log = DiagnosticLogBuffer::shared();
        log.add(levelFor(type), category, message);
        // Qt aborts as soon as the handlers return: the line must be on disk first.
        if (type == QtFatalMsg)
            log.flush();
        handling = false;
    }
    const bool chatter = type == QtDebugMsg || type == QtInfoMsg;
    if (chatter && quietConsole.load(std::memory_order_relaxed))
        return;
    if (const QtMessageHandler previous = previousHandler.load(std::memory_order_acquire))
        previous(type, context, message);
}

} // namespace

namespace QtMessageLog {

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const auto stop = [] { forwarding.store(false, std::memory_order_release); };
        qAddPostRoutine(stop);
        std::atexit(stop);
        forwarding.store(true, std::memory_order_release);
        previousHandler.store(qInstallMessageHandler(handleMessage), std::memory_order_release);
    });
}

void setQuietConsole(bool quiet)
{
    quietConsole.store(quiet, std::memory_order_relaxed);
}

} // namespace QtMessageLog
