#include "CrashCapture.h"

#include "DiagnosticLogBuffer.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

#include <execinfo.h>
#include <pthread.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace {

// In the order they are installed.
constexpr int handledSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGTRAP};
constexpr int maxFrames = 64;
// How long a dying thread waits for the writer to finish the lines queued before
// its record. A writer that is free needs microseconds; one that is stuck never comes.
constexpr int writerPatienceMs = 2000;
const char *const category = "CrashCapture";

std::atomic<bool> installed {false};
std::atomic<DiagnosticLogBuffer *> logBuffer {nullptr};
// strsignal may allocate or read locale data, so the texts are taken at install.
char descriptions[NSIG][64];
// The thread writing the one crash record, 0 while none is.
std::atomic<pid_t> recordingThread {0};
void *frames[maxFrames];
char line[16384];

// Appends to a fixed buffer without allocating; whatever does not fit is dropped,
// leaving room for the line's closing characters.
class LineBuilder
{
public:
    static constexpr size_t closingRoom = 8;

    void raw(const char *text) { raw(text, std::strlen(text)); }
    void raw(const char *text, size_t size)
    {
        const size_t room = sizeof line - closingRoom - m_used;
        const size_t taken = std::min(size, room);
        std::memcpy(line + m_used, text, taken);
        m_used += taken;
    }
    // As the inside of a JSON string.
    void escaped(const char *text)
    {
        for (; *text; ++text) {
            const unsigned char c = static_cast<unsigned char>(*text);
            if (c == '"' || c == '\\') {
                const char pair[2] = {'\\', char(c)};
                raw(pair, 2);
            } else if (c < 0x20) {
                static const char digits[] = "0123456789abcdef";
                const char unicode[6] = {'\\', 'u', '0', '0', digits[c >> 4], digits[c & 15]};
                raw(unicode, 6);
            } else {
                raw(text, 1);
            }
        }
    }
    void decimal(unsigned long long value, int width = 1)
    {
        char digits[24];
        int count = 0;
        do {
            digits[sizeof digits - 1 - count++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0 || count < width);
        raw(digits + sizeof digits - count, size_t(count));
    }
    void hex(uintptr_t value)
    {
        static const char digitsOf[] = "0123456789abcdef";
        char digits[2 * sizeof value];
        int count = 0;
        do {
            digits[sizeof digits - 1 - count++] = digitsOf[value & 15];
            value >>= 4;
        } while (value > 0);
        raw("0x");
        raw(digits + sizeof digits - count, size_t(count));
    }
    bool hasRoomFor(size_t size) const { return sizeof line - closingRoom - m_used >= size; }
    // The closing characters always fit.
    void close(const char *text)
    {
        const size_t size = std::strlen(text);
        std::memcpy(line + m_used, text, size);
        m_used += size;
    }
    size_t size() const { return m_used; }

private:
    size_t m_used = 0;
};

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(long long days, long long &year, unsigned &month, unsigned &day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153; // March is 0
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// The log's time stamp, "2026-12-11T10:06:40.123Z", from the clock alone.
void appendTimestamp(LineBuilder &out)
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    long long days = now.tv_sec / 86400;
    long long seconds = now.tv_sec % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    out.decimal(static_cast<unsigned long long>(year), 4);
    out.raw("-");
    out.decimal(month, 2);
    out.raw("-");
    out.decimal(day, 2);
    out.raw("T");
    out.decimal(static_cast<unsigned long long>(seconds / 3600), 2);
    out.raw(":");
    out.decimal(static_cast<unsigned long long>(seconds / 60 % 60), 2);
    out.raw(":");
    out.decimal(static_cast<unsigned long long>(seconds % 60), 2);
    out.raw(".");
    out.decimal(static_cast<unsigned long long>(now.tv_nsec / 1000000), 3);
    out.raw("Z");
}

void restoreDefaultAction(int signo)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signo, &action, nullptr);
}

// Ends the process by signo with its default action, as if nothing had caught it.
[[noreturn]] void dieBy(int signo)
{
    restoreDefaultAction(signo);
    ::raise(signo);
    // Blocked while its handler runs: let it through now rather than on return.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::_exit(128 + signo);
}

// True when this thread is the one to write the record. Another thread already
// writing it ends the process soon; a fault inside our own recording is not recorded.
bool claimRecord()
{
    pid_t expected = 0;
    return recordingThread.compare_exchange_strong(expected, ::gettid());
}

void waitForOtherRecorder()
{
    if (recordingThread.load() == ::gettid())
        return;
    const timespec pause {2 * writerPatienceMs / 1000 + 1, 0};
    ::nanosleep(&pause, nullptr);
}

// Async-signal-safe: nothing here locks or allocates.
void onFatalSignal(int signo)
{
    if (!claimRecord()) {
        waitForOtherRecorder();
        dieBy(signo);
    }
    LineBuilder out;
    out.raw("{\"ts\":\"");
    appendTimestamp(out);
    out.raw("\",\"level\":\"error\",\"category\":\"");
    out.raw(category);
    out.raw("\",\"msg\":\"fatal signal ");
    out.decimal(static_cast<unsigned long long>(signo));
    out.raw(" (");
    out.escaped(signo > 0 && signo < NSIG ? descriptions[signo] : "");
    out.raw(")");
    const int count = ::backtrace(frames, maxFrames);
    for (int i = 0; i < count && out.hasRoomFor(24); ++i) {
        out.raw("\\n  ");
        out.hex(reinterpret_cast<uintptr_t>(frames[i]));
    }
    out.close("\"}\n");

    if (DiagnosticLogBuffer *buffer = logBuffer.load()) {
        buffer->waitForQueuedLines(writerPatienceMs);
        buffer->writeLineNow(line, out.size());
    }
    dieBy(signo);
}

QString demangled(const std::type_info &type)
{
    int status = 0;
    char *name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const QString text = status == 0 && name ? QString::fromUtf8(name) : QString::fromUtf8(type.name());
    std::free(name);
    return text;
}

QString stackText()
{
    void *addresses[maxFrames];
    const int count = ::backtrace(addresses, maxFrames);
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("\n  0x") + QString::number(reinterpret_cast<quintptr>(addresses[i]), 16);
    return text;
}

// Records the exception being handled; nothing without one.
void recordCurrentException()
{
    const std::type_info *type = abi::__cxa_current_exception_type();
    if (!type || !claimRecord())
        return;
    QString reason = QStringLiteral("<no reason>");
    try {
        throw;
    } catch (const std::exception &exception) {
        if (exception.what() && *exception.what())
            reason = QString::fromUtf8(exception.what());
    } catch (...) {
    }
    DiagnosticLogBuffer::shared().addFinal(DiagnosticLogBuffer::Level::Error, QString::fromLatin1(category),
                                           QStringLiteral("uncaught NSException name=") + demangled(*type)
                                               + QStringLiteral(" reason=") + reason + stackText(),
                                           writerPatienceMs);
    // The abort below is the end of this record, not a second crash.
    restoreDefaultAction(SIGABRT);
}

[[noreturn]] void onTerminate()
{
    try {
        recordCurrentException();
    } catch (...) {
        // Recording failed (out of memory, say): the process still ends as it must.
    }
    waitForOtherRecorder();
    std::abort();
}

// The calling thread's alternate signal stack, freed when the thread ends.
struct AlternateStack {
    void *memory = nullptr;
    size_t size = 0;

    ~AlternateStack()
    {
        if (!memory)
            return;
        stack_t off {};
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        ::munmap(memory, size);
    }
};
thread_local AlternateStack alternateStack;

} // namespace

void CrashCapture::install()
{
    if (installed.exchange(true))
        return;
    DiagnosticLogBuffer &buffer = DiagnosticLogBuffer::shared();
    buffer.keepLiveFileOpen(); // without it the handler opens the file by its path
    logBuffer.store(&buffer);
    for (const int signo : handledSignals) {
        const char *text = ::strsignal(signo);
        std::strncpy(descriptions[signo], text ? text : "", sizeof descriptions[signo] - 1);
    }
    // The first backtrace() loads the unwinder, which allocates: not in a handler.
    void *prime[1];
    ::backtrace(prime, 1);
    prepareThread();
    std::set_terminate(onTerminate);

    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (const int signo : handledSignals)
        ::sigaction(signo, &action, nullptr);
}

bool CrashCapture::isInstalled()
{
    return installed.load();
}

void CrashCapture::prepareThread()
{
    if (alternateStack.memory)
        return;
    stack_t current {};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return; // someone else gave this thread one
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    const long minimum = ::sysconf(_SC_SIGSTKSZ);
    size_t usable = std::max<size_t>(64 * 1024, minimum > 0 ? size_t(minimum) * 4 : 0);
    usable = (usable + page - 1) / page * page;
    void *memory = ::mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                          -1, 0);
    if (memory == MAP_FAILED)
        return;
    // A guard page below: a handler that overflowed would fault, not scribble.
    ::mprotect(memory, page, PROT_NONE);
    stack_t stack {};
    stack.ss_sp = static_cast<char *>(memory) + page;
    stack.ss_size = usable;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(memory, usable + page);
        return;
    }
    alternateStack.memory = memory;
    alternateStack.size = usable + page;
}
