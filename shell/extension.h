// The extension object: the host creates it through the factory exports, then calls
// Initialize once and Shutdown once, on its own thread.
#pragma once

#include <cstdint>

#include "haven/extension_interface.h"

// The host's GUI library version this module is built for (the development-kit version,
// HVEDKVersion, comes with the extension interface).
constexpr uint32_t KGUIVersion = 18;

class HVEOBSRemote final : public HVEInterface {
public:
    // Registers everything the extension offers. A crash inside reports itself to the
    // host's "System" service and ends the process; it never returns to the host.
    bool Initialize(HostInterface* host) override;
    // Disconnects the client, then withdraws the registrations. Events stay registered.
    void Shutdown() override;
};

// The module's single extension object, kept in the module state.
HVEOBSRemote* CreateExtensionObject();
void DestroyExtensionObject();
