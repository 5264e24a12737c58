// POSIX form of the start-up guard. Fatal signals are caught with sigaction; the handler
// does nothing but jump back to the recovery point on the guarded thread, so the report
// itself is made outside signal context. Signals of other threads, and every signal once
// the guard is gone, go to the handlers that were in place before.
#include "shell/crash_guard.h"

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <exception>

namespace {

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int GuardedSignalCount = static_cast<int>(sizeof GuardedSignals / sizeof GuardedSignals[0]);

// The extension has one start-up, so there is one guard frame, kept in static storage: the
// signal handler and the code after the jump both reach it without anything on the stack
// that a jump could clobber.
struct GuardFrame {
    sigjmp_buf RecoveryPoint;
    pthread_t Thread;
    GuardedRoutine Routine;
    void* Context;
    CrashReporter Reporter;
    struct sigaction Previous[GuardedSignalCount];
    CrashExceptionInfo Crash;
};

GuardFrame g_Frame;
std::atomic<bool> g_InUse{false};
// True only while the recovery point is valid.
std::atomic<bool> g_Armed{false};

int IndexOf(int signal)
{
    for (int index = 0; index < GuardedSignalCount; ++index) {
        if (GuardedSignals[index] == signal) {
            return index;
        }
    }
    return -1;
}

void PassOn(int signal, siginfo_t* info, void* context)
{
    int index = IndexOf(signal);
    if (index < 0) {
        return;
    }
    const struct sigaction& previous = g_Frame.Previous[index];
    if (previous.sa_handler == SIG_IGN) {
        return;
    }
    if (previous.sa_handler != SIG_DFL) {
        if ((previous.sa_flags & SA_SIGINFO) != 0) {
            previous.sa_sigaction(signal, info, context);
        } else {
            previous.sa_handler(signal);
        }
        return;
    }
    // The default action: put it back; the signal, blocked while this handler runs, then
    // takes effect as soon as the handler returns.
    sigaction(signal, &previous, nullptr);
    raise(signal);
}

void OnGuardedSignal(int signal, siginfo_t* info, void* context)
{
    if (g_Armed.load() && pthread_equal(g_Frame.Thread, pthread_self())) {
        g_Armed.store(false);
        g_Frame.Crash.Signal = signal;
        g_Frame.Crash.Code = info != nullptr ? info->si_code : 0;
        // Only a fault found by the system carries an address; a sent signal does not.
        bool fault = info != nullptr && info->si_code > 0 && signal != SIGABRT;
        g_Frame.Crash.Address = fault ? info->si_addr : nullptr;
        g_Frame.Crash.What = nullptr;
        siglongjmp(g_Frame.RecoveryPoint, 1);
    }
    PassOn(signal, info, context);
}

void InstallHandlers()
{
    struct sigaction action = {};
    action.sa_sigaction = &OnGuardedSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int index = 0; index < GuardedSignalCount; ++index) {
        sigaction(GuardedSignals[index], &action, &g_Frame.Previous[index]);
    }
}

void RestoreHandlers()
{
    for (int index = 0; index < GuardedSignalCount; ++index) {
        sigaction(GuardedSignals[index], &g_Frame.Previous[index], nullptr);
    }
}

[[noreturn]] void Crash(CrashReporter reporter, CrashExceptionInfo* info)
{
    if (reporter != nullptr) {
        reporter(info);
    }
    EndProcessAfterCrash();
}

bool CallRoutine(GuardedRoutine routine, void* context, CrashReporter reporter, bool ownsHandlers)
{
    try {
        return routine(context);
    } catch (const std::exception& exception) {
        if (ownsHandlers) {
            g_Armed.store(false);
            RestoreHandlers();
        }
        CrashExceptionInfo info = {0, 0, nullptr, exception.what()};
        Crash(reporter, &info);
    } catch (...) {
        if (ownsHandlers) {
            g_Armed.store(false);
            RestoreHandlers();
        }
        CrashExceptionInfo info = {0, 0, nullptr, nullptr};
        Crash(reporter, &info);
    }
}

// Everything it needs lives in g_Frame, so nothing held across sigsetjmp can be lost.
__attribute__((noinline)) bool RunFromRecoveryPoint()
{
    if (sigsetjmp(g_Frame.RecoveryPoint, 1) != 0) {
        RestoreHandlers();
        Crash(g_Frame.Reporter, &g_Frame.Crash);
    }
    g_Armed.store(true);
    bool result = CallRoutine(g_Frame.Routine, g_Frame.Context, g_Frame.Reporter, true);
    g_Armed.store(false);
    return result;
}

} // namespace

bool RunUnderCrashGuard(GuardedRoutine routine, void* context, CrashReporter reporter)
{
    bool idle = false;
    if (!g_InUse.compare_exchange_strong(idle, true)) {
        // A guard is already up: only C++ exceptions can be caught without disturbing it.
        return CallRoutine(routine, context, reporter, false);
    }
    g_Frame.Thread = pthread_self();
    g_Frame.Routine = routine;
    g_Frame.Context = context;
    g_Frame.Reporter = reporter;
    g_Frame.Crash = CrashExceptionInfo{0, 0, nullptr, nullptr};
    InstallHandlers();
    bool result = RunFromRecoveryPoint();
    RestoreHandlers();
    g_InUse.store(false);
    return result;
}

void EndProcessAfterCrash() { _exit(CrashExitCode); }
