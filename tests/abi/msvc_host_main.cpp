// Runs the MSVC-ABI host (msvc_host.cpp) against the real module:
//   drive <module>            the whole life of the module, with the simulator on port 4444
//   crash <module>            a host exception inside Initialize: reported, the process fails
//   cycles <module> <count>   load, connect, Ready, shut down, unload, over and over; faults
//                             on any thread are counted instead of ending the run
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/abi/msvc_host.h"
#include "tools/simulator/obs_simulator.h"

namespace {

constexpr int ModulePort = 4444;
constexpr const char* ExpectedReport = "CRASH-REPORT connection=0 code=E06D7363 text=Crash in initialize routine";

std::atomic<int> g_Faults{0};

LONG WINAPI CountFault(EXCEPTION_POINTERS* pointers)
{
    g_Faults.fetch_add(1);
    std::fprintf(stderr, "FAULT code=%08lX address=%p thread=%lu\n", pointers->ExceptionRecord->ExceptionCode,
                 pointers->ExceptionRecord->ExceptionAddress, GetCurrentThreadId());
    ExitThread(1);
}

// Runs this program again with `mode`, collecting its output; answers its exit code.
DWORD RunChild(const char* mode, const char* module, std::string& output)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" " + mode + " \"" + module + "\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return 0;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return 0;
    }
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return code;
}

int Crash(const char* module)
{
    std::string output;
    DWORD code = RunChild("initialize-throws", module, output);
    std::printf("%s--- exit code %lu\n", output.c_str(), code);
    if (code == 0 || output.find(ExpectedReport) == std::string::npos) {
        std::printf("FAILED: expected a failing exit code and \"%s\"\n", ExpectedReport);
        return 1;
    }
    std::printf("the exception was reported and the process failed\n");
    return 0;
}

int Cycles(const char* module, int count)
{
    SetUnhandledExceptionFilter(&CountFault);
    OBSSimulator simulator;
    if (!simulator.Start(ModulePort)) {
        std::printf("FAILED: port %d is in use\n", ModulePort);
        return 1;
    }
    int failures = 0;
    const DWORD start = GetTickCount();
    for (int i = 0; i < count; ++i) {
        failures += MsvcHostRun(module, MsvcHostMode::Drive, 1) != 0 ? 1 : 0;
    }
    const DWORD elapsed = GetTickCount() - start;
    simulator.Stop();
    std::printf("unload cycles: %d, faults: %d, failed cycles: %d, %.1f ms per cycle\n", count, g_Faults.load(),
                failures, count > 0 ? static_cast<double>(elapsed) / count : 0.0);
    return g_Faults.load() == 0 && failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s drive|crash|cycles <module> [count]\n", argv[0]);
        return 2;
    }
    const char* mode = argv[1];
    const char* module = argv[2];
    if (std::strcmp(mode, "drive") == 0) {
        OBSSimulator simulator;
        if (!simulator.Start(ModulePort)) {
            std::printf("FAILED: port %d is in use\n", ModulePort);
            return 1;
        }
        return MsvcHostRun(module, MsvcHostMode::Drive, 0);
    }
    if (std::strcmp(mode, "crash") == 0) {
        return Crash(module);
    }
    if (std::strcmp(mode, "initialize-throws") == 0) {
        MsvcHostRun(module, MsvcHostMode::ThrowInInitialize, 0);
        std::printf("INITIALIZE-RETURNED\n");
        return 0;
    }
    if (std::strcmp(mode, "cycles") == 0 && argc > 3) {
        return Cycles(module, std::atoi(argv[3]));
    }
    std::fprintf(stderr, "unknown mode %s\n", mode);
    return 2;
}
