// Arbitrary bytes through the receive path: reassembly of deliveries, the parse, dispatch,
// the handlers and the scene model, then a walk of the model as scripts would make it.
//
// Input layout, chosen so that plain message texts make a useful corpus: '\n' ends a
// message (its last delivery), 0x1E ends a delivery that more pieces follow.
#include <cstddef>
#include <cstdint>
#include <string>

#include "client/dispatch.h"
#include "client/obs_remote_client.h"
#include "client/receive_assembler.h"
#include "support/portable_lock.h"
#include "tests/support/null_host.h"

namespace {

constexpr size_t FuzzMessageCap = 64 * 1024;

void Deliver(OBSRemoteClient& client, ReceiveAssembler& assembler, const uint8_t* data, size_t size, bool final)
{
    if (assembler.Append(reinterpret_cast<const char*>(data), size, final) != ReceiveAssembler::Result::Complete) {
        return;
    }
    json_t* message = json_loads(assembler.Message().c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
    if (message == nullptr) {
        return;
    }
    DispatchMessage(client, message);
    json_decref(message);
}

void WalkModel(OBSRemoteClient& client)
{
    SceneModel& model = client.Model;
    CWinLock scenes(&model.ScenesLock);
    model.CurrentScene();
    for (uint32_t i = 0; i < model.SceneCount(); ++i) {
        SceneInfo* scene = model.SceneAt(i);
        if (model.SceneBySerial(scene->Serial) != scene) {
            __builtin_trap();
        }
        CWinLock sources(&scene->SourcesLock);
        for (uint32_t j = 0; j < SceneModel::SourceCount(scene); ++j) {
            SourceInfo* source = SceneModel::SourceAt(scene, j);
            CWinLock held;
            if (source->Scene != scene || source->Stale || model.SourceBySerial(source->Serial, held) != source) {
                __builtin_trap();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static NullHost host;
    static int identity = 0;
    host.Key = "key";
    host.User = "Ann & Bob";
    host.Site = nullptr;

    OBSRemoteClient client;
    client.Link.Host.store(&host);
    client.Link.Identity.store(&identity);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(i + 1);
    }
    std::string buffer;
    ReceiveAssembler assembler(buffer, FuzzMessageCap);

    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == 0x1E) {
            Deliver(client, assembler, data + start, i - start, data[i] == '\n');
            start = i + 1;
        }
    }
    Deliver(client, assembler, data + start, size - start, true);
    WalkModel(client);
    return 0;
}
