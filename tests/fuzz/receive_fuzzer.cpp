// Arbitrary bytes through the receive path: reassembly of deliveries, the parse, dispatch,
// the handlers and the scene model, then a walk of the model as scripts would make it. Every
// message goes to two clients: one on the OBS Remote plug-in's protocol, one on obs-websocket
// 5 with its connection open (its first requests take the ids 1, 2, 3, ... as answers in the
// corpus expect).
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

void Deliver(OBSRemoteClient* const* clients, ReceiveAssembler& assembler, const uint8_t* data, size_t size, bool final)
{
    if (assembler.Append(reinterpret_cast<const char*>(data), size, final) != ReceiveAssembler::Result::Complete) {
        return;
    }
    json_t* message = json_loads(assembler.Message().c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
    if (message == nullptr) {
        return;
    }
    for (size_t i = 0; i < 2; ++i) {
        clients[i]->Wire().Received(*clients[i], message);
        if (clients[i]->Session.SendQueue.size() > 1000) {
            clients[i]->Session.SendQueue.clear();
        }
        clients[i]->Wire().Tick(*clients[i]);
    }
    json_decref(message);
}

void Attach(OBSRemoteClient& client, NullHost& host, int& identity)
{
    client.Link.Host.store(&host);
    client.Link.Identity.store(&identity);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(i + 1);
    }
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
    Attach(client, host, identity);
    OBSRemoteClient studio;
    Attach(studio, host, identity);
    studio.Protocol.store(WireKind::ObsWebSocket);
    studio.ChooseWire();
    studio.State.store(Connected);
    studio.Wire().Opened(studio);
    OBSRemoteClient* const clients[] = {&client, &studio};
    std::string buffer;
    ReceiveAssembler assembler(buffer, FuzzMessageCap);

    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == 0x1E) {
            Deliver(clients, assembler, data + start, i - start, data[i] == '\n');
            start = i + 1;
        }
    }
    Deliver(clients, assembler, data + start, size - start, true);
    WalkModel(client);
    WalkModel(studio);
    return 0;
}
