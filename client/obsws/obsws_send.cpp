// Sending on obs-websocket 5: Identify, requests and batches, each recorded under its id
// before it is queued, so its answer always finds the record.
#include "client/obs_remote_client.h"
#include "client/obsws/obsws_wire.h"
#include "client/session.h"
#include "support/portable_lock.h"

using obsws::Pending;

namespace {

// The whole message, or nothing when it is not JSON text jansson can write.
std::string Dump(json_t* message)
{
    char* text = json_dumps(message, JSON_COMPACT);
    std::string dumped = text != nullptr ? text : "";
    free(text);
    json_decref(message);
    return dumped;
}

json_t* Envelope(int op, json_t* data)
{
    json_t* message = json_object();
    json_object_set_new(message, "op", json_integer(op));
    json_object_set_new(message, "d", data);
    return message;
}

void PrintRefusal(OBSRemoteClient& client, const char* operation, const char* refusal)
{
    std::string line = "HVEOBSRemote: ";
    line += operation;
    line += ": ";
    line += refusal;
    client.Print(line.c_str());
}

} // namespace

std::string ObsWsWire::TakeId(Pending pending)
{
    std::lock_guard<std::mutex> guard(Lock);
    std::string id = std::to_string(NextId++);
    Outstanding.emplace(id, std::move(pending));
    return id;
}

void ObsWsWire::Forget(const std::string& id)
{
    std::lock_guard<std::mutex> guard(Lock);
    Outstanding.erase(id);
}

bool ObsWsWire::Queue(OBSRemoteClient& client, const char* operation, const std::string& text)
{
    const char* refusal = nullptr;
    {
        CWinLock guard(&client.Session.SendLock);
        if (!client.IsConnected()) {
            refusal = "Not connected";
        } else if (text.empty() || text.size() > obsws::MaxRequestText) {
            refusal = "Request too long";
        } else {
            client.Session.SendQueue.push_back(text);
            WakeSessionLocked(client);
        }
    }
    if (refusal != nullptr) {
        PrintRefusal(client, operation, refusal);
        return false;
    }
    return true;
}

// Before Identified the server takes no request (it would close the connection): scripts
// get what the plug-in answers to a request before authentication.
bool ObsWsWire::MayRequest(OBSRemoteClient& client, const char* operation)
{
    if (!client.IsConnected()) {
        PrintRefusal(client, operation, "Not connected");
        return false;
    }
    bool identified = false;
    {
        std::lock_guard<std::mutex> guard(Lock);
        identified = Identified && !Exiting;
    }
    if (!identified) {
        const char* args[] = {"Not Authenticated"};
        client.Raise(ClientEvent::Error, 1, args);
        return false;
    }
    return true;
}

bool ObsWsWire::Request(OBSRemoteClient& client, const char* operation, const char* requestType, json_t* requestData,
                        Pending pending)
{
    if (!MayRequest(client, operation)) {
        json_decref(requestData);
        return false;
    }
    if (pending.Operation.empty()) {
        pending.Operation = operation;
    }
    std::string id = TakeId(std::move(pending));
    json_t* data = json_object();
    json_object_set_new(data, "requestType", json_string(requestType));
    json_object_set_new(data, "requestId", json_string(id.c_str()));
    if (requestData != nullptr) {
        json_object_set_new(data, "requestData", requestData);
    }
    if (!Queue(client, operation, Dump(Envelope(6, data)))) {
        Forget(id);
        return false;
    }
    return true;
}

bool ObsWsWire::Batch(OBSRemoteClient& client, const char* operation, json_t* requests, Pending pending,
                      bool haltOnFailure)
{
    if (!MayRequest(client, operation)) {
        json_decref(requests);
        return false;
    }
    if (pending.Operation.empty()) {
        pending.Operation = operation;
    }
    std::string id = TakeId(std::move(pending));
    json_t* data = json_object();
    json_object_set_new(data, "requestId", json_string(id.c_str()));
    json_object_set_new(data, "haltOnFailure", json_boolean(haltOnFailure));
    json_object_set_new(data, "requests", requests);
    if (!Queue(client, operation, Dump(Envelope(8, data)))) {
        Forget(id);
        return false;
    }
    return true;
}

void ObsWsWire::SendIdentify(OBSRemoteClient& client, const std::string& auth)
{
    json_t* data = json_object();
    json_object_set_new(data, "rpcVersion", json_integer(1));
    if (!auth.empty()) {
        json_object_set_new(data, "authentication", json_string(auth.c_str()));
    }
    json_object_set_new(data, "eventSubscriptions", json_integer(obsws::EventSubscriptions));
    Queue(client, "Authenticate", Dump(Envelope(1, data)));
}

void ObsWsWire::Unsupported(OBSRemoteClient& client, const char* operation, const std::string& text)
{
    PrintRefusal(client, operation, text.c_str());
    std::string error = std::string(operation) + ": " + text;
    const char* args[] = {error.c_str()};
    client.Raise(ClientEvent::Error, 1, args);
}
