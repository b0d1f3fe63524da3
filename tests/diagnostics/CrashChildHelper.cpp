// Installs crash capture as start-up does, leaves a recovery snapshot of a modified
// tab, logs a few lines and then dies in the way named by its one argument. The
// parent reads what reached "sorvane.log" and how the process ended.
#include "diagnostics/CrashCapture.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "platform/AppPaths.h"
#include "shell/ShellDiagnostics.h"
#include "shell/SorvaneApplication.h"

#include <QFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace crashchild {

// An exception that says nothing about itself.
struct Unexplained {
};

// Through a volatile address, so the compiler cannot see the null and turn the
// store into a trap instruction of its own.
volatile std::intptr_t nowhere = 0;
volatile bool keepRecursing = true;

void nullWrite()
{
    *reinterpret_cast<volatile int *>(nowhere) = 1;
}

int recurse(int depth)
{
    volatile char frame[512];
    frame[0] = char(depth);
    if (keepRecursing)
        return recurse(depth + 1) + frame[0];
    return frame[0];
}

void crashOnTrigger(const DiagnosticLogEntry &entry)
{
    if (entry.msg == QLatin1String("crash here"))
        nullWrite();
}

std::atomic<bool> stalled {false};

// Keeps whatever the log holds at that point (its lock, its writer) for good.
void stallOnTrigger(const DiagnosticLogEntry &entry)
{
    if (entry.msg != QLatin1String("stall here"))
        return;
    stalled = true;
    for (;;)
        ::pause();
}

void throwOnTrigger(const DiagnosticLogEntry &entry)
{
    if (entry.msg == QLatin1String("throw here"))
        throw std::logic_error("thrown by the writer");
}

void busError()
{
    // Touching a mapped page past the end of its file.
    const QByteArray path = QFile::encodeName(AppPaths::logsFolder() + QStringLiteral("/empty"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    void *mapped = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return;
    *static_cast<volatile char *>(mapped) = 1;
}

void brokenPipe()
{
    int ends[2];
    if (::pipe(ends) != 0)
        return;
    ::close(ends[0]);
    const ssize_t written = ::write(ends[1], "x", 1);
    (void)written;
}

} // namespace crashchild

using namespace crashchild;

int main(int argc, char **argv)
{
    // Crashing is the point: no core files on the test machine.
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    SorvaneApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QByteArray mode = argv[1];

    ShellDiagnostics diagnostics;
    diagnostics.installCrashCapture();
    diagnostics.installCrashCapture(); // a second call changes nothing

    DocumentManager manager;
    manager.newDocument();
    manager.selectedDocument()->userEditedText(QStringLiteral("draft from the crashed run\n"));
    manager.sessionKeeper().saveRecoveryFiles();

    DiagnosticLogBuffer &log = DiagnosticLogBuffer::shared();
    for (int i = 1; i <= 3; ++i)
        log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("before crash %1").arg(i));
    log.flush();
    // Still queued when the crash comes, most likely: its record must follow it.
    log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("queued just before"));

    const auto crashInLog = [&](DiagnosticLogBuffer::TestHookPoint point) {
        DiagnosticLogBuffer::setTestHook(point, crashOnTrigger);
        log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("crash here"));
        // The writer's thread may be the one to die: wait for it.
        for (;;)
            ::pause();
    };

    // An exception while another thread holds the log's machinery.
    const auto throwWhileStalled = [&](DiagnosticLogBuffer::TestHookPoint point, bool fromAnotherThread) {
        DiagnosticLogBuffer::setTestHook(point, stallOnTrigger);
        const auto stall = [&log] {
            log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("stall here"));
        };
        if (fromAnotherThread)
            std::thread(stall).detach();
        else
            stall();
        while (!stalled)
            std::this_thread::yield();
        throw std::runtime_error("while the log is held");
    };

    if (mode == "null-write") {
        nullWrite();
    } else if (mode == "abort") {
        std::abort();
    } else if (mode == "illegal-instruction") {
        __builtin_trap();
    } else if (mode == "divide-by-zero") {
        // Both volatile: GCC folds 1 / x into a comparison.
        volatile int one = 1;
        volatile int zero = 0;
        volatile int quotient = one / zero;
        (void)quotient;
    } else if (mode == "bus-error") {
        busError();
    } else if (mode == "trap") {
        std::raise(SIGTRAP);
    } else if (mode == "broken-pipe") {
        brokenPipe();
    } else if (mode == "uncaught-exception") {
        throw std::runtime_error("disk on fire");
    } else if (mode == "event-handler-exception") {
        QTimer::singleShot(0, &app, [] { throw Unexplained(); });
        return QCoreApplication::exec();
    } else if (mode == "worker-exception") {
        std::thread([] { throw std::out_of_range("index 7 of 3"); }).join();
    } else if (mode == "worker-null-write") {
        std::thread(nullWrite).join();
    } else if (mode == "stack-overflow") {
        return recurse(0);
    } else if (mode == "worker-stack-overflow") {
        std::thread([] {
            CrashCapture::prepareThread();
            recurse(0);
        }).join();
    } else if (mode == "writer-thread") {
        crashInLog(DiagnosticLogBuffer::TestHookPoint::WriterThread);
    } else if (mode == "ring-locked") {
        crashInLog(DiagnosticLogBuffer::TestHookPoint::RingLocked);
    } else if (mode == "queue-locked") {
        crashInLog(DiagnosticLogBuffer::TestHookPoint::QueueLocked);
    } else if (mode == "exception-ring-held") {
        throwWhileStalled(DiagnosticLogBuffer::TestHookPoint::RingLocked, true);
    } else if (mode == "exception-writer-stuck") {
        throwWhileStalled(DiagnosticLogBuffer::TestHookPoint::WriterThread, false);
    } else if (mode == "exception-writer-thread") {
        DiagnosticLogBuffer::setTestHook(DiagnosticLogBuffer::TestHookPoint::WriterThread, throwOnTrigger);
        log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), QStringLiteral("throw here"));
        for (;;)
            ::pause();
    } else {
        return 2;
    }
    std::puts("survived");
    return 0;
}
