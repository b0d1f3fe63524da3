#pragma once

// Leaves one last error record in sorvane.log when the process dies of a fatal
// signal (SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGTRAP) or of an
// uncaught C++ exception, then lets it die as it would have: by that signal, or by
// SIGABRT for the exception. Start-up installs it once.
//
// The signal path runs in signal context on an alternate stack: no locks, no
// allocation, no ring and no regexes. It builds its JSON line by hand and writes it
// to the log file kept open by DiagnosticLogBuffer, after waiting a bounded time for
// the lines queued before it.
class CrashCapture
{
public:
    // The first call installs the terminate handler, an alternate signal stack for the
    // calling thread and the signal handlers; later calls do nothing.
    static void install();
    static bool isInstalled();

    // Gives the calling thread its own alternate signal stack (once per thread), so
    // that a stack overflow there is still recorded. Threads the application starts
    // call it first thing; it is freed when the thread ends.
    static void prepareThread();
};
