// "OBSRemote Service": what the extension offers the host's other extensions. Clients are
// announced on the console; the one request, FooRequest, prints its record and marks it
// handled. The service gives no access to the OBS connection.
#pragma once

#include <cstddef>
#include <cstdint>

enum class OBSRemoteServiceMessage : uint32_t {
    ClientAdded = 1,
    ClientRemoved = 2,
    FooRequest = 1001,
};

// Shared with other modules of the host's process, so its layout is fixed.
struct FooRequest {
    const char* Name;
    int32_t Age;
    float Height; // centimetres
    bool Handled;
};

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(offsetof(FooRequest, Name) == 0, "FooRequest layout is shared with other modules");
static_assert(offsetof(FooRequest, Age) == 8, "FooRequest layout is shared with other modules");
static_assert(offsetof(FooRequest, Height) == 12, "FooRequest layout is shared with other modules");
static_assert(offsetof(FooRequest, Handled) == 16, "FooRequest layout is shared with other modules");
#endif

// Called by the host with the requesting client, the message id and the message's record.
void OBSRemoteServiceHandler(void* client, uint32_t message, void* record);
