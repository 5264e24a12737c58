// The extension object as the host calls it: four virtual operations in this slot order,
// no data fields and no virtual destructor. The host never deletes it; unloading the module
// does. Extensions derive from this class under this name, so run-time type checks
// (UBSan's vptr check among them) see the same type on both sides of the module boundary.
#pragma once

#include <cstdint>

#include "haven/host_interface.h"

// The development-kit version the host speaks; a module exports the same.
constexpr uint32_t HVEDKVersion = 53;

class HVEInterface {
public:
    virtual uint32_t GetInterfaceVersion() { return HVEDKVersion; }
    virtual bool Initialize(HostInterface* host) = 0;
    virtual void Shutdown() = 0;
    virtual bool ConfirmUnload() { return true; }

protected:
    HVEInterface() = default;
    ~HVEInterface() = default;
};

// The factory export the host looks up in a module.
extern "C" {
typedef HVEInterface* (*CreateHVEInterfaceFunction)(uint32_t version);
}
