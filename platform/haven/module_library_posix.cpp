#include <dlfcn.h>

#include "platform/haven/module_library.h"

namespace haven {

bool ModuleLibrary::Open(const std::string& path, std::string& error)
{
    Close();
    // A bare file name would be searched for on the library path; the host means a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    Handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    return true;
}

void* ModuleLibrary::Symbol(const char* name) const
{
    return Handle != nullptr ? dlsym(Handle, name) : nullptr;
}

void ModuleLibrary::Close()
{
    if (Handle != nullptr) {
        dlclose(Handle);
        Handle = nullptr;
    }
}

} // namespace haven
