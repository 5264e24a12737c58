// The guard of the extension's start-up: a crash inside it goes to the host's "System"
// service as request 1002 and ends the process with a failure code; breakpoints pass on;
// the signal handlers in place before are back afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "shell/crash_guard.h"
#include "shell/extension.h"
#include "tests/support/recording_host.h"

namespace {

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

enum class Fault { None, Throw, ThrowInt, RaiseSegv, MemoryFault, Abort, Breakpoint };

// A host whose chosen operation fails in the chosen way. Its crash reports also go to
// stderr, where a death test can see them.
class FaultyHost : public RecordingHost {
public:
    FaultyHost(Fault fault, const char* where) : Kind(fault), Where(where) {}

    SettingsSetId FindExtensionSettings(const char* name) override
    {
        Strike("FindExtensionSettings");
        return RecordingHost::FindExtensionSettings(name);
    }
    bool AddCommand(const char* name, CommandHandler handler, bool option1, bool option2) override
    {
        Strike("AddCommand");
        return RecordingHost::AddCommand(name, handler, option1, option2);
    }
    void SetSettingText(SettingsSetId& set, const char* key, const char* text) override
    {
        Strike("SetSettingText");
        RecordingHost::SetSettingText(set, key, text);
    }
    void ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record) override
    {
        const CrashReport* report = static_cast<const CrashReport*>(record);
        const CrashExceptionInfo* info =
            report != nullptr ? static_cast<const CrashExceptionInfo*>(report->ExceptionInformation) : nullptr;
        std::fprintf(stderr, "CRASH-REPORT connection=%u request=%u signal=%d what=%s text=%s\n", connection,
                     request, info != nullptr ? info->Signal : -1,
                     info != nullptr && info->What != nullptr ? info->What : "-",
                     report != nullptr && report->Description != nullptr ? report->Description : "-");
        RecordingHost::ServiceRequest(client, connection, request, record);
    }

    std::atomic<bool> Struck{false};

private:
    void Strike(const char* operation)
    {
        if (std::strcmp(operation, Where) != 0 || Struck.exchange(true)) {
            return;
        }
        switch (Kind) {
        case Fault::None:
            break;
        case Fault::Throw:
            throw std::runtime_error("host failed");
        case Fault::ThrowInt:
            throw 42;
        case Fault::RaiseSegv:
            raise(SIGSEGV);
            break;
        case Fault::MemoryFault: {
            // A real fault at an address the sanitizers consider ordinary memory.
            void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            *static_cast<volatile int*>(page) = 1;
            break;
        }
        case Fault::Abort:
            std::abort();
        case Fault::Breakpoint:
            raise(SIGTRAP);
            break;
        }
    }

    Fault Kind;
    const char* Where;
};

bool FailureExit(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == CrashExitCode; }

void InitializeWith(Fault fault, const char* where)
{
    FaultyHost host(fault, where);
    HVEOBSRemote extension;
    extension.Initialize(&host);
    std::fprintf(stderr, "INITIALIZE-RETURNED\n");
    std::exit(0);
}

class CrashGuardDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(CrashGuardDeathTest, ExceptionBeforeConnectingReportsOverConnectionZeroAndFails)
{
    EXPECT_EXIT(InitializeWith(Fault::Throw, "FindExtensionSettings"), FailureExit,
                "CRASH-REPORT connection=0 request=1002 signal=0 what=host failed "
                "text=Crash in initialize routine");
    EXPECT_EXIT(InitializeWith(Fault::ThrowInt, "SetSettingText"), FailureExit,
                "CRASH-REPORT connection=0 request=1002 signal=0 what=- text=Crash in initialize routine");
}

TEST_F(CrashGuardDeathTest, FatalSignalsAreReportedOverTheSystemConnectionAndFail)
{
    // The recording host numbers its connections 1 to 5 in order; "System" is the fifth.
    EXPECT_EXIT(InitializeWith(Fault::RaiseSegv, "AddCommand"), FailureExit,
                "CRASH-REPORT connection=5 request=1002 signal=11 what=- text=Crash in initialize routine");
    EXPECT_EXIT(InitializeWith(Fault::MemoryFault, "AddCommand"), FailureExit,
                "CRASH-REPORT connection=5 request=1002 signal=11 what=- text=Crash in initialize routine");
    EXPECT_EXIT(InitializeWith(Fault::Abort, "FindExtensionSettings"), FailureExit,
                "CRASH-REPORT connection=0 request=1002 signal=6 what=- text=Crash in initialize routine");
}

TEST_F(CrashGuardDeathTest, WithoutAFaultInitializeReturnsAndReportsNothing)
{
    EXPECT_EXIT(InitializeWith(Fault::None, ""), ::testing::ExitedWithCode(0), "^INITIALIZE-RETURNED\n$");
}

std::atomic<int> g_Breakpoints{0};
void OnBreakpoint(int) { g_Breakpoints.fetch_add(1); }

TEST(CrashGuard, BreakpointsReachTheirOwnHandlerAndStartUpCompletes)
{
    struct sigaction mine = {};
    mine.sa_handler = &OnBreakpoint;
    sigemptyset(&mine.sa_mask);
    struct sigaction previous = {};
    ASSERT_EQ(sigaction(SIGTRAP, &mine, &previous), 0);
    g_Breakpoints.store(0);

    FaultyHost host(Fault::Breakpoint, "FindExtensionSettings");
    HVEOBSRemote extension;
    EXPECT_TRUE(extension.Initialize(&host));
    extension.Shutdown();
    sigaction(SIGTRAP, &previous, nullptr);

    EXPECT_TRUE(host.Struck.load());
    EXPECT_EQ(g_Breakpoints.load(), 1);
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
}

// Answers whether two actions are the same handler with the same flags.
bool SameAction(const struct sigaction& a, const struct sigaction& b)
{
    return a.sa_handler == b.sa_handler && (a.sa_flags & SA_SIGINFO) == (b.sa_flags & SA_SIGINFO);
}

// Looks at the signal handlers while start-up runs.
class WatchingHost : public RecordingHost {
public:
    SettingsSetId FindExtensionSettings(const char* name) override
    {
        for (size_t i = 0; i < sizeof GuardedSignals / sizeof GuardedSignals[0]; ++i) {
            sigaction(GuardedSignals[i], nullptr, &During[i]);
        }
        return RecordingHost::FindExtensionSettings(name);
    }
    struct sigaction During[5] = {};
};

void OnTestSignal(int) {}

TEST(CrashGuard, InstallsItsHandlersOnlyWhileStartUpRunsAndRestoresThePrevious)
{
    // One signal gets a handler of the test's own, so a restore to the default would show.
    struct sigaction mine = {};
    mine.sa_handler = &OnTestSignal;
    sigemptyset(&mine.sa_mask);
    struct sigaction original = {};
    ASSERT_EQ(sigaction(SIGBUS, &mine, &original), 0);

    struct sigaction before[5] = {};
    for (size_t i = 0; i < 5; ++i) {
        sigaction(GuardedSignals[i], nullptr, &before[i]);
    }
    WatchingHost host;
    HVEOBSRemote extension;
    EXPECT_TRUE(extension.Initialize(&host));
    extension.Shutdown();

    for (size_t i = 0; i < 5; ++i) {
        struct sigaction after = {};
        sigaction(GuardedSignals[i], nullptr, &after);
        EXPECT_FALSE(SameAction(host.During[i], before[i])) << "signal " << GuardedSignals[i];
        EXPECT_TRUE(SameAction(after, before[i])) << "signal " << GuardedSignals[i];
    }
    sigaction(SIGBUS, &original, nullptr);
}

} // namespace
