// The module's four entry points, the only names it shows. The host checks the two data
// exports before it calls a factory.
#include <cstdint>

#include "shell/extension.h"
#include "shell/module_state.h"

#ifdef _WIN32
#define HVE_EXPORT __declspec(dllexport)
#else
#define HVE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

HVE_EXPORT extern const uint32_t HVEDK_Version;
HVE_EXPORT extern const uint32_t KGUI_Version;
const uint32_t HVEDK_Version = HVEDKVersion;
const uint32_t KGUI_Version = KGUIVersion;

// Answers the extension object only for the development kit this module is built for, and
// only once.
HVE_EXPORT HVEInterface* CreateHVEInterface(uint32_t version)
{
    if (g_Module.ExtensionObject != nullptr || version != HVEDKVersion) {
        return nullptr;
    }
    return CreateExtensionObject();
}

// Checks no version. The argument is kept for the life of the module but never read.
HVE_EXPORT HVEInterface* CreateHVEInterfaceEx(void* argument)
{
    if (g_Module.ExtensionObject != nullptr) {
        return nullptr;
    }
    g_Module.CreateArgument = argument;
    return CreateExtensionObject();
}

} // extern "C"
