// The dynamic-loading calls the tests use, on Windows: LoadLibrary, GetProcAddress and
// FreeLibrary behind the POSIX names, so that a test loading the module reads the same on
// both platforms. Only the Windows test build has this folder on its include path.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x0
#define RTLD_GLOBAL 0x100
#define RTLD_NOLOAD 0x4

namespace hve_dlfcn {
inline char* LastError()
{
    static thread_local char text[128];
    return text;
}
inline void SetError(const char* what)
{
    std::snprintf(LastError(), 128, "%s failed: Windows error %lu", what, GetLastError());
}
} // namespace hve_dlfcn

inline void* dlopen(const char* path, int flags)
{
    hve_dlfcn::LastError()[0] = '\0';
    HMODULE module = nullptr;
    if (flags & RTLD_NOLOAD) {
        // Only a module already loaded is answered, and with its count raised as dlopen does.
        if (!GetModuleHandleExA(0, path, &module)) {
            module = nullptr;
        }
    } else {
        module = LoadLibraryA(path);
    }
    if (module == nullptr) {
        hve_dlfcn::SetError("LoadLibrary");
    }
    return reinterpret_cast<void*>(module);
}

inline void* dlsym(void* handle, const char* name)
{
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
    if (address == nullptr) {
        hve_dlfcn::SetError("GetProcAddress");
    }
    return reinterpret_cast<void*>(address);
}

inline int dlclose(void* handle)
{
    if (!FreeLibrary(static_cast<HMODULE>(handle))) {
        hve_dlfcn::SetError("FreeLibrary");
        return -1;
    }
    return 0;
}

inline char* dlerror()
{
    static thread_local char reported[128];
    char* last = hve_dlfcn::LastError();
    if (last[0] == '\0') {
        return nullptr;
    }
    std::snprintf(reported, sizeof reported, "%s", last);
    last[0] = '\0';
    return reported;
}
