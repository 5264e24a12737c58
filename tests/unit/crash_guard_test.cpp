// The guard of the extension's start-up: a crash inside it goes to the host's "System"
// service as request 1002 and ends the process with a failure code; breakpoints pass on;
// the signal handlers in place before are back afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>

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

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

enum class Fault { Throw, ThrowInt, RaiseSegv, MemoryFault, Abort, Breakpoint };

// A host that fails in the chosen way in the chosen operation, and notes the signal handlers
// in force while start-up runs. Its crash reports also go to stderr, where a death test sees them.
struct FaultyHost : RecordingHost {
    FaultyHost(Fault fault, bool inAddCommand) : Kind(fault), InAddCommand(inAddCommand) {}

    SettingsSetId FindExtensionSettings(const char* name) override
    {
        for (size_t i = 0; i < 5; ++i)
            sigaction(GuardedSignals[i], nullptr, &During[i]);
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
        const CrashExceptionInfo* info = static_cast<const CrashExceptionInfo*>(report->ExceptionInformation);
        std::fprintf(stderr, "CRASH-REPORT connection=%u request=%u signal=%d what=%s text=%s\n", connection, request,
                     info->Signal, info->What != nullptr ? info->What : "-", report->Description);
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
        if (Kind == Fault::RaiseSegv || Kind == Fault::Breakpoint)
            raise(Kind == Fault::RaiseSegv ? SIGSEGV : SIGTRAP);
        if (Kind == Fault::MemoryFault) // a real fault at an address the sanitizers take for ordinary memory
            *static_cast<volatile int*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) = 1;
    }

    struct sigaction During[5] = {};
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
             {Fault::Throw, false, "connection=0 request=1002 signal=0 what=host failed"},
             {Fault::ThrowInt, false, "connection=0 request=1002 signal=0 what=-"},
             {Fault::Abort, false, "connection=0 request=1002 signal=6 what=-"},
             {Fault::RaiseSegv, true, "connection=5 request=1002 signal=11 what=-"},
             {Fault::MemoryFault, true, "connection=5 request=1002 signal=11 what=-"}}) {
        EXPECT_EXIT(InitializeWith(fault, inAddCommand), testing::ExitedWithCode(CrashExitCode),
                    "CRASH-REPORT " + report + " text=Crash in initialize routine");
    }
}

std::atomic<int> g_Breakpoints{0};
void OnBreakpoint(int) { g_Breakpoints.fetch_add(1); }

// Answers whether two actions are the same handler with the same flags.
bool SameAction(const struct sigaction& a, const struct sigaction& b)
{
    return a.sa_handler == b.sa_handler && (a.sa_flags & SA_SIGINFO) == (b.sa_flags & SA_SIGINFO);
}

TEST(CrashGuard, BreakpointsPassOnAndThePreviousHandlersAreBackAfterStartUp)
{
    // SIGTRAP and one guarded signal get handlers of the test's own, so a restore to the
    // default would show.
    struct sigaction mine = {};
    sigemptyset(&mine.sa_mask);
    mine.sa_handler = &OnBreakpoint;
    struct sigaction originalTrap = {}, originalBus = {}, before[5] = {};
    ASSERT_EQ(sigaction(SIGTRAP, &mine, &originalTrap), 0);
    ASSERT_EQ(sigaction(SIGBUS, &mine, &originalBus), 0);
    for (size_t i = 0; i < 5; ++i)
        sigaction(GuardedSignals[i], nullptr, &before[i]);

    FaultyHost host(Fault::Breakpoint, false);
    HVEOBSRemote extension;
    EXPECT_TRUE(extension.Initialize(&host));
    extension.Shutdown();
    EXPECT_EQ(g_Breakpoints.load(), 1) << "the breakpoint reached the test's own handler";
    EXPECT_EQ(host.Requests().size(), 0u) << "and was not reported as a crash";
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
    for (size_t i = 0; i < 5; ++i) {
        struct sigaction after = {};
        sigaction(GuardedSignals[i], nullptr, &after);
        EXPECT_FALSE(SameAction(host.During[i], before[i])) << "signal " << GuardedSignals[i];
        EXPECT_TRUE(SameAction(after, before[i])) << "signal " << GuardedSignals[i];
    }
    sigaction(SIGTRAP, &originalTrap, nullptr);
    sigaction(SIGBUS, &originalBus, nullptr);
}

} // namespace
