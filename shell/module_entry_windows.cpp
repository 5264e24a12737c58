// Module entry on Windows: process attach records where the module lives; process detach
// destroys the extension object before the static objects go, and tells the thread
// wrapper that no waiting may happen from here on. Every notification answers success.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "shell/extension.h"
#include "shell/module_path.h"
#include "shell/module_state.h"
#include "support/portable_thread.h"

namespace {

void OnProcessAttach(HINSTANCE instance)
{
    g_Module.ModuleHandle = instance;
    char path[260];
    DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    // A path that filled the whole buffer came back cut short (and maybe unterminated).
    if (length == 0 || length >= sizeof path) {
        RecordModulePath("", '\\');
        return;
    }
    path[length] = '\0';
    RecordModulePath(path, '\\');
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        OnProcessAttach(instance);
        break;
    case DLL_PROCESS_DETACH:
        // Reserved is set when the whole process ends rather than the module alone.
        CWindowsThread::NoteModuleDetaching(reserved != nullptr);
        DestroyExtensionObject();
        break;
    default:
        break;
    }
    return TRUE;
}
