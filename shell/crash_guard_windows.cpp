// Windows form of the start-up guard: a vectored exception handler, added for the time the
// routine runs, reports an exception of the guarded thread and ends the process from where
// the exception was raised. Breakpoints and single steps continue the search, as do C++
// exceptions (the guard's own catch takes those once nothing in the host has caught them)
// and informational exceptions such as debug output or thread naming.
#include "shell/crash_guard.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <exception>

namespace {

constexpr DWORD MsvcCxxExceptionCode = 0xE06D7363;
constexpr DWORD GccCxxExceptionCode = 0x20474343;
constexpr DWORD SeverityMask = 0xC0000000;
constexpr DWORD SeverityError = 0xC0000000;

std::atomic<DWORD> g_GuardedThread{0};
std::atomic<CrashReporter> g_Reporter{nullptr};
std::atomic<bool> g_InUse{false};

LONG CALLBACK OnGuardedException(EXCEPTION_POINTERS* pointers)
{
    if (g_GuardedThread.load() != GetCurrentThreadId()) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP || code == MsvcCxxExceptionCode ||
        code == GccCxxExceptionCode || (code & SeverityMask) != SeverityError) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    g_GuardedThread.store(0);
    CrashReporter reporter = g_Reporter.load();
    if (reporter != nullptr) {
        reporter(pointers);
    }
    EndProcessAfterCrash();
}

// C++ exceptions reach the guard through unwinding; their report carries a record made up
// for them, since no system exception information exists for them here.
[[noreturn]] void ReportCxxException(CrashReporter reporter)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = MsvcCxxExceptionCode;
    EXCEPTION_POINTERS pointers = {&record, nullptr};
    if (reporter != nullptr) {
        reporter(&pointers);
    }
    EndProcessAfterCrash();
}

bool CallRoutine(GuardedRoutine routine, void* context, CrashReporter reporter)
{
    try {
        return routine(context);
    } catch (...) {
        g_GuardedThread.store(0);
        ReportCxxException(reporter);
    }
}

} // namespace

bool RunUnderCrashGuard(GuardedRoutine routine, void* context, CrashReporter reporter)
{
    bool idle = false;
    if (!g_InUse.compare_exchange_strong(idle, true)) {
        return CallRoutine(routine, context, reporter);
    }
    g_Reporter.store(reporter);
    g_GuardedThread.store(GetCurrentThreadId());
    PVOID handler = AddVectoredExceptionHandler(1, &OnGuardedException);
    bool result = CallRoutine(routine, context, reporter);
    g_GuardedThread.store(0);
    if (handler != nullptr) {
        RemoveVectoredExceptionHandler(handler);
    }
    g_InUse.store(false);
    return result;
}

void EndProcessAfterCrash()
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(CrashExitCode));
    ExitProcess(static_cast<UINT>(CrashExitCode));
}
