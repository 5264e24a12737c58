// The extension object: the host creates it through the factory exports, then calls
// Initialize once and Shutdown once, on its own thread.
#pragma once

#include <cstdint>

#include "shell/host_interface.h"

// The host's development-kit and GUI library versions this module is built for.
constexpr uint32_t HVEDKVersion = 53;
constexpr uint32_t KGUIVersion = 18;

// The host's base class for extensions. The host calls these by slot, so their order is
// fixed; there are no data fields and no virtual destructor.
class HVEInterface {
public:
    virtual uint32_t GetInterfaceVersion();
    virtual bool Initialize(HostInterface* host) = 0;
    virtual void Shutdown() = 0;
    virtual bool ConfirmUnload();

protected:
    HVEInterface() = default;
    ~HVEInterface() = default;
};

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
