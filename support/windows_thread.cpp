#include "support/portable_thread.h"

namespace {

std::atomic<bool> g_ModuleDetaching{false};
std::atomic<bool> g_ProcessEnding{false};

} // namespace

void CWindowsThread::NoteModuleDetaching(bool processEnding)
{
    g_ProcessEnding.store(processEnding);
    g_ModuleDetaching.store(true);
}

CWindowsThread::CWindowsThread()
    : IsRunning(false), StopRequested(false), Started(false), ThreadParameter(nullptr), ThreadId(0),
      ThreadHandle(nullptr), Routine(nullptr), PinnedModule(nullptr)
{
}

CWindowsThread::~CWindowsThread()
{
    if (g_ProcessEnding.load()) {
        return;
    }
    if (IsRunning.load()) {
        if (g_ModuleDetaching.load()) {
            StopBody();
        } else {
            Stop();
        }
    }
    if (g_ModuleDetaching.load()) {
        // No waiting under the loader lock: the thread, if it still exists, holds its own
        // reference on the module and ends on its own.
        if (ThreadHandle != nullptr) {
            CloseHandle(ThreadHandle);
            ThreadHandle = nullptr;
        }
        return;
    }
    ReleaseHandle();
}

// The routine runs with the module pinned; the pin is dropped by the call that also ends
// the thread, so no instruction of the module runs after it.
DWORD WINAPI CWindowsThread::Trampoline(LPVOID threadObject)
{
    CWindowsThread* thread = static_cast<CWindowsThread*>(threadObject);
    HMODULE module = thread->PinnedModule;
    DWORD code = thread->Routine(thread);
    if (module != nullptr) {
        FreeLibraryAndExitThread(module, code);
    }
    return code;
}

// Waits for the system thread to end and closes its handle; a thread never waits for itself.
void CWindowsThread::ReleaseHandle()
{
    if (ThreadHandle != nullptr && GetThreadId(ThreadHandle) != GetCurrentThreadId()) {
        WaitForSingleObject(ThreadHandle, INFINITE);
        CloseHandle(ThreadHandle);
        ThreadHandle = nullptr;
    }
}

bool CWindowsThread::Start(ThreadRoutine routine, void* parameter, bool waitForStart)
{
    if (IsRunning.load()) {
        return true;
    }
    // A thread that has not returned is either about to set IsRunning (then its body runs
    // on, and waiting for it would wait for a body that ends only when asked to) or about to
    // return after clearing it (then a new body is wanted). Which one shows in a moment.
    while (ThreadHandle != nullptr && WaitForSingleObject(ThreadHandle, 0) == WAIT_TIMEOUT) {
        if (IsRunning.load()) {
            return true;
        }
        Sleep(0);
    }
    ReleaseHandle();
    ThreadParameter = parameter;
    StopRequested.store(false);
    Started.store(false);
    Routine = routine;

    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&CWindowsThread::Trampoline)),
                            &module)) {
        return false;
    }
    PinnedModule = module;
    DWORD id = 0;
    ThreadHandle = CreateThread(nullptr, 0, &CWindowsThread::Trampoline, this, 0, &id);
    ThreadId.store(id);
    if (ThreadHandle == nullptr) {
        FreeLibrary(module);
        return false;
    }
    if (waitForStart) {
        while (!Started.load()) {
            Sleep(0);
        }
    }
    return true;
}

// Asks the body to stop and waits until it has let go of ThreadLock.
void CWindowsThread::StopBody()
{
    StopRequested.store(true);
    ThreadLock.Enter();
    ThreadId.store(0);
    ThreadLock.Leave();
}

void CWindowsThread::Stop()
{
    StopBody();
    ReleaseHandle();
}

void CWindowsThread::Terminate()
{
    if (ThreadHandle != nullptr) {
        TerminateThread(ThreadHandle, 0);
    }
    IsRunning.store(false);
}
