#include "shell/obsremote_service.h"

#include "shell/module_state.h"

namespace {

// The host identifies a client by the record it passes; only its low 32 bits are shown.
unsigned int ClientValue(const void* record)
{
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(record) & 0xFFFFFFFFu);
}

} // namespace

void OBSRemoteServiceHandler(void*, uint32_t message, void* record)
{
    HostInterface* host = g_Module.Host;
    if (host == nullptr) {
        return;
    }
    switch (static_cast<OBSRemoteServiceMessage>(message)) {
    case OBSRemoteServiceMessage::ClientAdded:
        host->ConsolePrintf("OBSRemoteService client added: %X", ClientValue(record));
        break;
    case OBSRemoteServiceMessage::ClientRemoved:
        host->ConsolePrintf("OBSRemoteService client removed: %X", ClientValue(record));
        break;
    case OBSRemoteServiceMessage::FooRequest: {
        // Another module's record: a missing one is ignored, a missing name prints as empty.
        FooRequest* request = static_cast<FooRequest*>(record);
        if (request == nullptr) {
            break;
        }
        const char* name = request->Name != nullptr ? request->Name : "";
        host->ConsolePrintf("Foo: %s. Age %d. Height: %fcm", name, static_cast<int>(request->Age),
                            static_cast<double>(request->Height));
        request->Handled = true;
        break;
    }
    default:
        break;
    }
}
