#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/haven/module_library.h"

namespace haven {

bool ModuleLibrary::Open(const std::string& path, std::string& error)
{
    Close();
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Handle = module;
    return true;
}

void* ModuleLibrary::Symbol(const char* name) const
{
    if (Handle == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(Handle), name));
}

void ModuleLibrary::Close()
{
    if (Handle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(Handle));
        Handle = nullptr;
    }
}

} // namespace haven
