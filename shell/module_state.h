// Module-wide state of the shell: everything here lives as long as the module. The record
// is plain data, zero at load, so the module's entry can fill it before or after any
// static constructor has run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "haven/host_interface.h"

class HVEOBSRemote;

// The name under which the extension's settings are kept.
constexpr const char ExtensionName[] = "HVEOBSRemote";
constexpr const char ExtensionVersion[] = "20140906";

// Windows hands the module's path over in a buffer of 260 bytes; POSIX paths may be longer.
#ifdef _WIN32
constexpr size_t ModulePathCapacity = 260;
#else
constexpr size_t ModulePathCapacity = 4096;
#endif

struct ModuleState {
    HVEOBSRemote* ExtensionObject;  // made by the factory exports; none before
    void* CreateArgument;           // what CreateHVEInterfaceEx was given; never read
    void* ModuleHandle;             // the module's own handle, where the platform has one
    HostInterface* Host;            // stored by Initialize; never cleared
    void* Identity;                 // the initialised extension object: "client" in host calls

    char ModulePath[ModulePathCapacity];
    char ModuleFileName[ModulePathCapacity];
    char ModuleDirectory[ModulePathCapacity];

    ServiceConnection PulseConnection;
    ServiceConnection MemoryConnection;
    ServiceConnection HttpConnection;
    ServiceConnection TriggersConnection;
    ServiceConnection SystemConnection;
    ::ServiceHandle ServiceHandle; // the offered "OBSRemote Service"
};

extern ModuleState g_Module;
