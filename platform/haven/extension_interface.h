// The extension object as the host calls it: four virtual operations in this slot order,
// no virtual destructor. The host never deletes it; unloading the module does. The class
// keeps the name extensions give their base class, so run-time type checks (UBSan's vptr
// check among them) see the same type on both sides of the module boundary.
#pragma once

#include <cstdint>

#include "shell/host_interface.h"

class HVEInterface {
public:
    virtual uint32_t GetInterfaceVersion() = 0;
    virtual bool Initialize(HostInterface* host) = 0;
    virtual void Shutdown() = 0;
    virtual bool ConfirmUnload() = 0;

protected:
    HVEInterface() = default;
    ~HVEInterface() = default;
};

namespace haven {

// The development-kit version the host speaks; a module must export the same.
constexpr uint32_t HostHVEDKVersion = 53;

extern "C" {
typedef HVEInterface* (*CreateHVEInterfaceFunction)(uint32_t version);
}

} // namespace haven
