// The guard of the extension's start-up: a crash inside it goes to the host's "System"
// service as request 1002 and ends the process with a failure code; breakpoints pass on;
// on POSIX the signal handlers in place before are back afterwards.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <signal.h>
#include <sys/mman.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "shell/crash_guard.h"
#include "shell/extension.h"
#include "tests/support/recording_host.h"

namespace {

enum class Fault { Throw, ThrowInt, Abort, MemoryFault, RaiseSegv, DivideByZero, Breakpoint };

#ifdef _WIN32
// The exception code the guard hands over.
std::string ReportDetail(const void* information)
{
    const auto* info = static_cast<const EXCEPTION_POINTERS*>(information);
    char text[32];
    std::snprintf(text, sizeof(text), "code=%08lX",
                  info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : 0ul);
    return text;
}
#else
constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The signal and the C++ exception's text the guard hands over.
std::string ReportDetail(const void* information)
{
    const auto* info = static_cast<const CrashExceptionInfo*>(information);
    return "signal=" + std::to_string(info->Signal) + " what=" + (info->What != nullptr ? info->What : "-");
}
#endif

// A host that fails in the chosen way in the chosen operation, and on POSIX notes the signal
// handlers in force while start-up runs. Its crash reports also go to stderr, where a death
// test sees them.
struct FaultyHost : RecordingHost {
    FaultyHost(Fault fault, bool inAddCommand) : Kind(fault), InAddCommand(inAddCommand) {}

    SettingsSetId FindExtensionSettings(const char* name) override
    {
#ifndef _WIN32
        for (size_t i = 0; i < 5; ++i)
            sigaction(GuardedSignals[i], nullptr, &During[i]);
#endif
        if (!InAddCommand)
            Strike();
        return RecordingHost::FindExtensionSettings(name);
    }
    bool AddCommand(const char* name, CommandHandler handler, bool option1, bool option2) override
    {
        if (InAddCommand)
            Strike();
        return RecordingHost::AddCommand(name, handler, option1, option2);
    }
    void ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record) override
    {
        const CrashReport* report = static_cast<const CrashReport*>(record);
        std::fprintf(stderr, "CRASH-REPORT connection=%u request=%u %s text=%s\n", connection, request,
                     ReportDetail(report->ExceptionInformation).c_str(), report->Description);
        std::fflush(stderr);
        RecordingHost::ServiceRequest(client, connection, request, record);
    }

    void Strike() const
    {
        if (Kind == Fault::Throw)
            throw std::runtime_error("host failed");
        if (Kind == Fault::ThrowInt)
            throw 42;
        if (Kind == Fault::Abort)
            std::abort();
#ifdef _WIN32
        if (Kind == Fault::MemoryFault)
            *static_cast<volatile int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS)) = 1;
        if (Kind == Fault::DivideByZero || Kind == Fault::Breakpoint)
            RaiseException(Kind == Fault::Breakpoint ? EXCEPTION_BREAKPOINT : EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0,
                           nullptr);
#else
        if (Kind == Fault::RaiseSegv || Kind == Fault::Breakpoint)
            raise(Kind == Fault::RaiseSegv ? SIGSEGV : SIGTRAP);
        if (Kind == Fault::MemoryFault) // a real fault at an address the sanitizers take for ordinary memory
            *static_cast<volatile int*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) = 1;
#endif
    }

#ifndef _WIN32
    struct sigaction During[5] = {};
#endif
    Fault Kind;
    bool InAddCommand;
};

void InitializeWith(Fault fault, bool inAddCommand)
{
    FaultyHost host(fault, inAddCommand);
    HVEOBSRemote extension;
    extension.Initialize(&host);
    std::exit(0);
}

TEST(CrashGuardDeathTest, ExceptionsAndFatalSignalsAreReportedAndEndTheProcessWithAFailure)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The recording host numbers its connections 1 to 5 in order, "System" the fifth; a crash
    // before they are made is reported over connection 0.
    for (const auto& [fault, inAddCommand, report] : std::vector<std::tuple<Fault, bool, std::string>>{
#ifdef _WIN32
             {Fault::Throw, false, "connection=0 request=1002 code=E06D7363"},
             {Fault::MemoryFault, true, "connection=5 request=1002 code=C0000005"},
             {Fault::DivideByZero, true, "connection=5 request=1002 code=C0000094"}}) {
#else
             {Fault::Throw, false, "connection=0 request=1002 signal=0 what=host failed"},
             {Fault::ThrowInt, false, "connection=0 request=1002 signal=0 what=-"},
             {Fault::Abort, false, "connection=0 request=1002 signal=6 what=-"},
             {Fault::RaiseSegv, true, "connection=5 request=1002 signal=11 what=-"},
             {Fault::MemoryFault, true, "connection=5 request=1002 signal=11 what=-"}}) {
#endif
        EXPECT_EXIT(InitializeWith(fault, inAddCommand), testing::ExitedWithCode(CrashExitCode),
                    "CRASH-REPORT " + report + " text=Crash in initialize routine");
    }
}

std::atomic<int> g_Breakpoints{0};

#ifdef _WIN32
LONG CALLBACK OnBreakpoint(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT)
        return EXCEPTION_CONTINUE_SEARCH;
    g_Breakpoints.fetch_add(1);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Added last, so the guard's own handler sees the breakpoint first and must pass it on.
struct BreakpointCatcher {
    BreakpointCatcher() { EXPECT_NE(Handler, nullptr); }
    ~BreakpointCatcher() { RemoveVectoredExceptionHandler(Handler); }
    void ExpectHandlersRestored(const FaultyHost&) const {}

    PVOID Handler = AddVectoredExceptionHandler(0, &OnBreakpoint);
};
#else
void OnBreakpoint(int) { g_Breakpoints.fetch_add(1); }

// Answers whether two actions are the same handler with the same flags.
bool SameAction(const struct sigaction& a, const struct sigaction& b)
{
    return a.sa_handler == b.sa_handler && (a.sa_flags & SA_SIGINFO) == (b.sa_flags & SA_SIGINFO);
}

// SIGTRAP and one guarded signal get handlers of the test's own, so a restore to the default
// would show.
struct BreakpointCatcher {
    BreakpointCatcher()
    {
        struct sigaction mine = {};
        sigemptyset(&mine.sa_mask);
        mine.sa_handler = &OnBreakpoint;
        EXPECT_EQ(sigaction(SIGTRAP, &mine, &OriginalTrap), 0);
        EXPECT_EQ(sigaction(SIGBUS, &mine, &OriginalBus), 0);
        for (size_t i = 0; i < 5; ++i)
            sigaction(GuardedSignals[i], nullptr, &Before[i]);
    }
    ~BreakpointCatcher()
    {
        sigaction(SIGTRAP, &OriginalTrap, nullptr);
        sigaction(SIGBUS, &OriginalBus, nullptr);
    }
    void ExpectHandlersRestored(const FaultyHost& host) const
    {
        for (size_t i = 0; i < 5; ++i) {
            struct sigaction after = {};
            sigaction(GuardedSignals[i], nullptr, &after);
            EXPECT_FALSE(SameAction(host.During[i], Before[i])) << "signal " << GuardedSignals[i];
            EXPECT_TRUE(SameAction(after, Before[i])) << "signal " << GuardedSignals[i];
        }
    }

    struct sigaction OriginalTrap = {}, OriginalBus = {}, Before[5] = {};
};
#endif

TEST(CrashGuard, BreakpointsPassOnAndThePreviousHandlersAreBackAfterStartUp)
{
    const BreakpointCatcher catcher;
    FaultyHost host(Fault::Breakpoint, false);
    HVEOBSRemote extension;
    EXPECT_TRUE(extension.Initialize(&host));
    extension.Shutdown();
    EXPECT_EQ(g_Breakpoints.load(), 1) << "the breakpoint reached the test's own handler";
    EXPECT_EQ(host.Requests().size(), 0u) << "and was not reported as a crash";
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
    catcher.ExpectHandlersRestored(host);
}

} // namespace
