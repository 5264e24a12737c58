// The Windows guard of the extension's start-up: an exception inside it goes to the host's
// "System" service as request 1002 with the exception information and ends the process
// with a failure code; breakpoints pass on to the handlers after it.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "shell/crash_guard.h"
#include "shell/extension.h"
#include "tests/support/recording_host.h"

namespace {

enum class Fault { None, Throw, AccessViolation, DivideByZero, Breakpoint };

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
    void ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record) override
    {
        const CrashReport* report = static_cast<const CrashReport*>(record);
        const EXCEPTION_POINTERS* info =
            report != nullptr ? static_cast<const EXCEPTION_POINTERS*>(report->ExceptionInformation) : nullptr;
        std::fprintf(stderr, "CRASH-REPORT connection=%u request=%u code=%08lX text=%s\n", connection, request,
                     info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : 0ul,
                     report != nullptr && report->Description != nullptr ? report->Description : "-");
        std::fflush(stderr);
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
        case Fault::AccessViolation: {
            void* page = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
            *static_cast<volatile int*>(page) = 1;
            break;
        }
        case Fault::DivideByZero:
            RaiseException(EXCEPTION_INT_DIVIDE_BY_ZERO, 0, 0, nullptr);
            break;
        case Fault::Breakpoint:
            RaiseException(EXCEPTION_BREAKPOINT, 0, 0, nullptr);
            break;
        }
    }

    Fault Kind;
    const char* Where;
};

void InitializeWith(Fault fault, const char* where)
{
    FaultyHost host(fault, where);
    HVEOBSRemote extension;
    extension.Initialize(&host);
    std::fprintf(stderr, "INITIALIZE-RETURNED\n");
    std::exit(0);
}

TEST(CrashGuardDeathTest, ExceptionsInsideStartUpAreReportedAndFail)
{
    // The recording host numbers its connections 1 to 5 in order; "System" is the fifth.
    EXPECT_EXIT(InitializeWith(Fault::Throw, "FindExtensionSettings"), ::testing::ExitedWithCode(CrashExitCode),
                "CRASH-REPORT connection=0 request=1002 code=E06D7363 text=Crash in initialize routine");
    EXPECT_EXIT(InitializeWith(Fault::AccessViolation, "AddCommand"), ::testing::ExitedWithCode(CrashExitCode),
                "CRASH-REPORT connection=5 request=1002 code=C0000005 text=Crash in initialize routine");
    EXPECT_EXIT(InitializeWith(Fault::DivideByZero, "AddCommand"), ::testing::ExitedWithCode(CrashExitCode),
                "CRASH-REPORT connection=5 request=1002 code=C0000094 text=Crash in initialize routine");
}

TEST(CrashGuardDeathTest, WithoutAFaultInitializeReturnsAndReportsNothing)
{
    EXPECT_EXIT(InitializeWith(Fault::None, ""), ::testing::ExitedWithCode(0), "^INITIALIZE-RETURNED\n$");
}

std::atomic<int> g_Breakpoints{0};
LONG CALLBACK OnBreakpoint(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    g_Breakpoints.fetch_add(1);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(CrashGuard, BreakpointsReachTheHandlersAfterItAndStartUpCompletes)
{
    // Added last, so the guard's own handler sees the breakpoint first and must pass it on.
    PVOID mine = AddVectoredExceptionHandler(0, &OnBreakpoint);
    ASSERT_NE(mine, nullptr);
    g_Breakpoints.store(0);

    FaultyHost host(Fault::Breakpoint, "FindExtensionSettings");
    HVEOBSRemote extension;
    EXPECT_TRUE(extension.Initialize(&host));
    extension.Shutdown();
    RemoveVectoredExceptionHandler(mine);

    EXPECT_TRUE(host.Struck.load());
    EXPECT_EQ(g_Breakpoints.load(), 1);
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
}

} // namespace
