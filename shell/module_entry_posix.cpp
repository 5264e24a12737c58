// Module entry on POSIX: the system runs these when the module is loaded and unloaded.
#include <dlfcn.h>

#include <cstdlib>

#include "shell/extension.h"
#include "shell/module_path.h"

namespace {

// Any object of the module tells dladdr which file the module was loaded from.
const char ModuleAnchor = 0;

__attribute__((constructor)) void OnModuleLoad()
{
    Dl_info info = {};
    if (dladdr(&ModuleAnchor, &info) == 0 || info.dli_fname == nullptr) {
        RecordModulePath("", '/');
        return;
    }
    // The loader reports the path as it was asked for, possibly relative to a directory the
    // host may leave later; the resolved path stays right.
    char* resolved = realpath(info.dli_fname, nullptr);
    RecordModulePath(resolved != nullptr ? resolved : info.dli_fname, '/');
    std::free(resolved);
}

// Runs before the module's static objects are destroyed, as the extension object must go
// first.
__attribute__((destructor)) void OnModuleUnload() { DestroyExtensionObject(); }

} // namespace
