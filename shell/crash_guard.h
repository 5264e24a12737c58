// The exception guard around the extension's start-up. A crash inside the guarded routine
// (a C++ exception or, on POSIX, a fatal signal of the guarded thread: SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT; on Windows any exception but a breakpoint or single step that
// no handler of the frames inside the routine, the host's among them, has taken) is
// handed to the reporter, and then the process ends with CrashExitCode. Breakpoints and
// single steps (SIGTRAP) pass on to whoever handles them. The handlers that were in place
// before are back when the routine returns.
#pragma once

#include <cstdint>

// A crash is a failure: the process must not end as if it had succeeded.
constexpr int CrashExitCode = 70;

#ifndef _WIN32
// What the POSIX guard knows of a crash; the reporter receives its address.
struct CrashExceptionInfo {
    int Signal;       // 0 for a C++ exception
    int Code;         // the signal's si_code
    void* Address;    // the faulting address, where the signal has one
    const char* What; // the C++ exception's text, or null
};
#endif

typedef bool (*GuardedRoutine)(void* context);
// Receives the platform's exception information (EXCEPTION_POINTERS on Windows,
// CrashExceptionInfo on POSIX). The process ends when it returns.
typedef void (*CrashReporter)(void* exceptionInformation);

bool RunUnderCrashGuard(GuardedRoutine routine, void* context, CrashReporter reporter);

// Ends the process at once with CrashExitCode: no static destructors, no exit handlers.
[[noreturn]] void EndProcessAfterCrash();
