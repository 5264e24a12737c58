// obs-websocket 5: the handshake, the answers to requests and batches, and the steps that
// follow an answer. The shared handlers get each result in the plug-in's form, so the model
// and the events come out as they do for the plug-in.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "client/answers.h"
#include "client/auth_hash.h"
#include "client/json_read.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/obsws/obsws_translate.h"
#include "client/obsws/obsws_wire.h"
#include "client/updates.h"
#include "support/portable_lock.h"

using obsws::Made;
using obsws::Pending;
using obsws::Step;

namespace {

double Number(const json_t* object, const char* key)
{
    json_t* value = ReadMember(object, key);
    return json_is_number(value) ? json_number_value(value) : 0.0;
}

void RaiseError(OBSRemoteClient& client, const std::string& text)
{
    const char* args[] = {text.c_str()};
    client.Raise(ClientEvent::Error, 1, args);
}

json_t* SceneNameData(const std::string& scene)
{
    json_t* data = json_object();
    json_object_set_new(data, "sceneName", json_string(scene.c_str()));
    return data;
}

} // namespace

obsws::SceneListBuild::~SceneListBuild()
{
    for (json_t* sources : Sources) {
        json_decref(sources);
    }
}

void ObsWsWire::Opened(OBSRemoteClient&)
{
    std::lock_guard<std::mutex> guard(Lock);
    NextId = 1;
    Outstanding.clear();
    HelloSeen = IdentifySent = Identified = Exiting = false;
    HelloSalt.clear();
    HelloChallenge.clear();
    PasswordBeforeHello.reset();
    HaveSpecialInputs = SpecialInputsAsked = false;
    MicInput.clear();
    DesktopInput.clear();
    AfterSpecialInputs.clear();
    Polling = PollOutstanding = false;
    LastBytes = LastDurationMs = 0;
}

void ObsWsWire::Received(OBSRemoteClient& client, json_t* message)
{
    json_t* op = ReadMember(message, "op");
    json_t* data = ReadMember(message, "d");
    if (!json_is_integer(op) || !json_is_object(data)) {
        return;
    }
    {
        // Once OBS has said it is quitting, what follows is its teardown.
        std::lock_guard<std::mutex> guard(Lock);
        if (Exiting) {
            return;
        }
    }
    switch (json_integer_value(op)) {
    case 0:
        OnHello(client, data);
        break;
    case 2:
        OnIdentified(client);
        break;
    case 5:
        OnEvent(client, data);
        break;
    case 7:
        OnResponse(client, data);
        break;
    case 9:
        OnBatchResponse(client, data);
        break;
    default:
        break;
    }
}

// The Hello plays the parts of the plug-in's version and password-demand answers, in that
// order. Without a password, with a password the script gave before the Hello, or with a
// secret kept from an Authenticate made for the same password (the salt is unchanged),
// Identify goes out at once. The challenge is recorded together with the Hello having been
// seen, so that an Authenticate on another thread never answers an older one.
void ObsWsWire::OnHello(OBSRemoteClient& client, json_t* data)
{
    json_t* authentication = ReadMember(data, "authentication");
    bool required = authentication != nullptr && !json_is_null(authentication);
    const char* salt = ReadString(authentication, "salt");
    const char* challenge = ReadString(authentication, "challenge");
    if (required && (salt == nullptr || challenge == nullptr)) {
        return; // a demand that cannot be answered
    }
    std::optional<std::string> password;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (HelloSeen) {
            return;
        }
        HelloSeen = true;
        HelloSalt = required ? salt : "";
        HelloChallenge = required ? challenge : "";
        password.swap(PasswordBeforeHello);
    }
    client.NoteReady();
    if (!client.MoveState(Connected, Ready)) {
        return; // a Disconnect is under way
    }
    {
        Made version(json_object());
        json_object_set_new(version.Value, "version",
                            json_real(obsws::VersionNumber(ReadString(data, "obsWebSocketVersion"))));
        OnVersionResponse(client, version.Value);
    }

    client.HaveAuthInfo.store(true);
    std::string auth;
    bool identify = !required;
    if (required) {
        client.AuthSalt.Set(salt);
        client.AuthChallenge.Set(challenge);
        client.IsAuthenticated.store(false);
        CWinLock guard(&client.Session.SendLock);
        if (password) {
            client.AuthSecret.Set(Base64Sha256(*password, salt));
            client.AuthSecretSalt.Set(salt);
            client.AuthSecretAccepted = false;
        }
        // Only a secret OBS has accepted before, or the script's own new one: a wrong kept
        // one would end the connection.
        if ((password || client.AuthSecretAccepted) && !client.AuthSecret.Empty() && client.AuthSecretSalt.Get() == salt) {
            auth = Base64Sha256(client.AuthSecret.Get(), challenge);
            identify = true;
        }
    } else {
        client.AuthSalt.Clear();
        client.AuthChallenge.Clear();
        client.IsAuthenticated.store(true);
    }
    if (identify) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            // An Authenticate since the Hello may have answered it already.
            identify = !IdentifySent;
            IdentifySent = true;
        }
        if (identify) {
            SendIdentify(client, auth);
        }
    }
    const char* args[] = {required ? "1" : "0"};
    client.Raise(ClientEvent::AuthRequiredRsp, 1, args);
}

// Accepted: the same four questions the plug-in's client asks after Authenticate.
void ObsWsWire::OnIdentified(OBSRemoteClient& client)
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Identified || !IdentifySent) {
            return;
        }
        Identified = true;
    }
    client.MarkAuthenticated();
    AskOpeningState(client);
}

void ObsWsWire::AskOpeningState(OBSRemoteClient& client) { client.RequestRefresh(); }

// 4009: the password was wrong. The kept secret is dropped, so that a later connection does
// not offer it again; OBS then ends the connection.
void ObsWsWire::PeerClosing(OBSRemoteClient& client, uint16_t code, const char* reason, size_t length)
{
    std::string text(reason != nullptr ? reason : "", reason != nullptr ? strnlen(reason, length) : 0);
    if (code == 4009) {
        client.DiscardAuthSecret();
        client.Raise(ClientEvent::AuthFailed);
        RaiseError(client, text.empty() ? "Authentication failed." : text);
    } else if (code >= 4000 && code < 5000) {
        RaiseError(client, text.empty() ? "Closed by OBS with code " + std::to_string(code) : text);
    }
}

void ObsWsWire::Tick(OBSRemoteClient& client)
{
    if (!client.IsConnected()) {
        return; // a Disconnect is under way
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        auto now = std::chrono::steady_clock::now();
        if (!Polling || !Identified || Exiting || PollOutstanding || now < NextPoll) {
            return;
        }
        PollOutstanding = true;
        NextPoll = now + obsws::StreamPollInterval;
    }
    json_t* requests = json_array();
    for (const char* type : {"GetStreamStatus", "GetStats"}) {
        json_t* request = json_object();
        json_object_set_new(request, "requestType", json_string(type));
        json_array_append_new(requests, request);
    }
    Pending pending;
    pending.What = Step::StreamPoll;
    if (!Batch(client, "GetStreamStatus", requests, std::move(pending))) {
        std::lock_guard<std::mutex> guard(Lock);
        PollOutstanding = false;
    }
}

bool ObsWsWire::TakeOutstanding(const char* id, bool batch, Pending& pending)
{
    if (id == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(Lock);
    auto found = Outstanding.find(id);
    if (found == Outstanding.end() || obsws::IsBatchStep(found->second.What) != batch) {
        return false;
    }
    pending = std::move(found->second);
    Outstanding.erase(found);
    return true;
}

void ObsWsWire::OnResponse(OBSRemoteClient& client, json_t* data)
{
    Pending pending;
    if (TakeOutstanding(ReadString(data, "requestId"), false, pending)) {
        Answer(client, pending, data);
    }
}

void ObsWsWire::Answer(OBSRemoteClient& client, Pending& pending, json_t* data)
{
    bool ok = ReadFlag(ReadMember(data, "requestStatus"), "result");
    json_t* result = ReadMember(data, "responseData");
    // Refreshes that follow OBS's own changes fail only when the scene went away meanwhile;
    // scripts did not ask for them, so they hear nothing of it.
    bool quiet = pending.What == Step::Repopulate || pending.What == Step::Reorder ||
                 pending.What == Step::ItemChanged || pending.What == Step::CurrentItems;
    if (!ok && pending.What == Step::SpecialInputs) {
        // Volume operations that waited for the inputs are dropped; the next one asks again.
        std::lock_guard<std::mutex> guard(Lock);
        SpecialInputsAsked = false;
        AfterSpecialInputs.clear();
    }
    if (!ok && pending.What != Step::SceneListItems) {
        if (!quiet) {
            RaiseError(client, obsws::FailureText(data));
        }
        return;
    }
    switch (pending.What) {
    case Step::Version: {
        Made version(json_object());
        json_object_set_new(version.Value, "version",
                            json_real(obsws::VersionNumber(ReadString(result, "obsWebSocketVersion"))));
        OnVersionResponse(client, version.Value);
        break;
    }
    case Step::CurrentScene: {
        const char* name = ReadString(result, "currentProgramSceneName");
        if (name != nullptr) {
            Pending next;
            next.What = Step::CurrentItems;
            next.Operation = pending.Operation;
            AskItems(client, name, std::move(next));
        }
        break;
    }
    case Step::CurrentItems: {
        Made answer(json_object());
        json_object_set_new(answer.Value, "name", json_string(pending.Scene.c_str()));
        json_object_set_new(answer.Value, "sources", obsws::SourcesFromItems(ReadMember(result, "sceneItems")));
        OnCurrentSceneResponse(client, answer.Value);
        break;
    }
    case Step::SceneList: {
        const char* current = ReadString(result, "currentProgramSceneName");
        if (current == nullptr) {
            break;
        }
        auto build = std::make_shared<obsws::SceneListBuild>();
        build->Current = current;
        json_t* scenes = ReadMember(result, "scenes");
        for (size_t n = ArraySize(scenes); n > 0; --n) { // OBS lists the bottom scene first
            const char* name = ReadString(ArrayElement(scenes, n - 1), "sceneName");
            if (name != nullptr) {
                build->Names.push_back(name);
                build->Sources.push_back(nullptr);
            }
        }
        build->Remaining = build->Names.size();
        if (build->Remaining == 0) {
            pending.Build = build;
            OnSceneListItems(client, pending, nullptr);
            break;
        }
        for (size_t i = 0; i < build->Names.size(); ++i) {
            Pending next;
            next.What = Step::SceneListItems;
            next.Operation = pending.Operation;
            next.Build = build;
            next.Index = i;
            AskItems(client, build->Names[i], std::move(next));
        }
        break;
    }
    case Step::SceneListItems:
        OnSceneListItems(client, pending, ok ? ReadMember(result, "sceneItems") : nullptr);
        break;
    case Step::StreamingStatus: {
        bool active = ReadFlag(result, "outputActive");
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (active && !Polling) {
                Polling = true;
                NextPoll = std::chrono::steady_clock::now();
                LastBytes = LastDurationMs = 0;
            }
        }
        Made answer(json_object());
        json_object_set_new(answer.Value, "streaming", json_boolean(active));
        json_object_set_new(answer.Value, "preview-only", json_false());
        OnStreamingStatusResponse(client, answer.Value);
        break;
    }
    case Step::SpecialInputs: {
        std::vector<std::function<void(OBSRemoteClient&)>> waiting;
        {
            std::lock_guard<std::mutex> guard(Lock);
            const char* mic = ReadString(result, "mic1");
            const char* desktop = ReadString(result, "desktop1");
            MicInput = mic != nullptr ? mic : "";
            DesktopInput = desktop != nullptr ? desktop : "";
            HaveSpecialInputs = true;
            waiting.swap(AfterSpecialInputs);
        }
        for (auto& action : waiting) {
            action(client);
        }
        break;
    }
    case Step::RenderItemId: {
        json_t* request = SceneNameData(pending.Scene);
        json_object_set_new(request, "sceneItemId", json_integer(ReadInteger(result, "sceneItemId")));
        json_object_set_new(request, "sceneItemEnabled", json_boolean(pending.Render));
        Request(client, pending.Operation.c_str(), "SetSceneItemEnabled", request, Pending{});
        break;
    }
    case Step::OrderItems:
        OrderItems(client, pending, ReadMember(result, "sceneItems"));
        break;
    case Step::Repopulate:
        if (IsCurrentScene(client, pending.Scene.c_str())) {
            Made update(json_object());
            json_object_set_new(update.Value, "sources", obsws::SourcesFromItems(ReadMember(result, "sceneItems")));
            OnRepopulateSources(client, update.Value);
        }
        break;
    case Step::Reorder:
        if (IsCurrentScene(client, pending.Scene.c_str())) {
            Made sources(obsws::SourcesFromItems(ReadMember(result, "sceneItems")));
            Made update(json_object());
            json_t* names = json_array();
            for (size_t i = 0; i < ArraySize(sources.Value); ++i) {
                json_array_append(names, ReadMember(ArrayElement(sources.Value, i), "name"));
            }
            json_object_set_new(update.Value, "sources", names);
            OnSourceOrderChanged(client, update.Value);
        }
        break;
    case Step::ItemChanged:
        if (IsCurrentScene(client, pending.Scene.c_str())) {
            json_t* items = ReadMember(result, "sceneItems");
            for (size_t i = 0; i < ArraySize(items); ++i) {
                json_t* item = ArrayElement(items, i);
                json_t* id = ReadMember(item, "sceneItemId");
                if (!json_is_integer(id) || json_integer_value(id) != pending.ItemId) {
                    continue;
                }
                json_t* one = json_array();
                json_array_append(one, item);
                Made sources(obsws::SourcesFromItems(one));
                json_decref(one);
                json_t* source = ArrayElement(sources.Value, 0);
                if (source != nullptr) {
                    Made update(json_object());
                    json_object_set(update.Value, "source-name", ReadMember(source, "name"));
                    json_object_set(update.Value, "source", source);
                    OnSourceChanged(client, update.Value);
                }
                break;
            }
        }
        break;
    case Step::Plain:
    case Step::Volumes:
    case Step::StreamPoll:
    case Step::MoveItems:
        break;
    }
}

void ObsWsWire::OnSceneListItems(OBSRemoteClient& client, Pending& pending, json_t* items)
{
    obsws::SceneListBuild& build = *pending.Build;
    if (pending.What == Step::SceneListItems) {
        if (pending.Index >= build.Sources.size() || build.Remaining == 0) {
            return;
        }
        build.Sources[pending.Index] = obsws::SourcesFromItems(items);
        if (--build.Remaining > 0) {
            return;
        }
    }
    Made answer(json_object());
    json_object_set_new(answer.Value, "current-scene", json_string(build.Current.c_str()));
    json_t* scenes = json_array();
    for (size_t i = 0; i < build.Names.size(); ++i) {
        json_t* scene = json_object();
        json_object_set_new(scene, "name", json_string(build.Names[i].c_str()));
        json_object_set_new(scene, "sources", build.Sources[i] != nullptr ? json_incref(build.Sources[i]) : json_array());
        json_array_append_new(scenes, scene);
    }
    json_object_set_new(answer.Value, "scenes", scenes);
    OnSceneListResponse(client, answer.Value);
}

void ObsWsWire::OnBatchResponse(OBSRemoteClient& client, json_t* data)
{
    Pending pending;
    if (!TakeOutstanding(ReadString(data, "requestId"), true, pending)) {
        return;
    }
    json_t* results = ReadMember(data, "results");
    if (pending.What == Step::StreamPoll) {
        OnStreamPoll(client, results);
        return;
    }
    if (pending.What == Step::MoveItems) {
        // A batch that halts on a failure answers up to the failed request.
        for (size_t i = 0; i < ArraySize(results); ++i) {
            json_t* one = ArrayElement(results, i);
            if (!ReadFlag(ReadMember(one, "requestStatus"), "result")) {
                RaiseError(client, obsws::FailureText(one));
                return;
            }
        }
        SendMoves(client, pending.Operation, pending.Scene, std::move(pending.Moves));
        return;
    }
    // Volumes: GetInputVolume and GetInputMute for the microphone, then for the desktop, of
    // those OBS has.
    for (size_t i = 0; i < ArraySize(results); ++i) {
        json_t* one = ArrayElement(results, i);
        if (!ReadFlag(ReadMember(one, "requestStatus"), "result")) {
            RaiseError(client, obsws::FailureText(one));
            return;
        }
    }
    size_t next = 0;
    double volumes[2] = {0.0, 0.0};
    bool muted[2] = {false, false};
    for (uint32_t channel = 0; channel < 2; ++channel) {
        if ((pending.VolumeSlots & (1u << channel)) == 0) {
            continue;
        }
        volumes[channel] = Number(ReadMember(ArrayElement(results, next), "responseData"), "inputVolumeMul");
        muted[channel] = ReadFlag(ReadMember(ArrayElement(results, next + 1), "responseData"), "inputMuted");
        next += 2;
    }
    Made answer(json_object());
    json_object_set_new(answer.Value, "mic-volume", json_real(volumes[0]));
    json_object_set_new(answer.Value, "mic-muted", json_boolean(muted[0]));
    json_object_set_new(answer.Value, "desktop-volume", json_real(volumes[1]));
    json_object_set_new(answer.Value, "desktop-muted", json_boolean(muted[1]));
    OnVolumesResponse(client, answer.Value);
}

void ObsWsWire::OnStreamPoll(OBSRemoteClient& client, json_t* results)
{
    json_t* status = ArrayElement(results, 0);
    json_t* stats = ArrayElement(results, 1);
    json_t* update = nullptr;
    {
        std::lock_guard<std::mutex> guard(Lock);
        PollOutstanding = false;
        if (!Polling || !ReadFlag(ReadMember(status, "requestStatus"), "result") ||
            !ReadFlag(ReadMember(stats, "requestStatus"), "result")) {
            return;
        }
        update = obsws::StreamStatusUpdate(ReadMember(status, "responseData"), ReadMember(stats, "responseData"),
                                           LastBytes, LastDurationMs);
    }
    Made made(update);
    OnStreamStatus(client, made.Value);
}

void ObsWsWire::AskItems(OBSRemoteClient& client, const std::string& scene, Pending pending)
{
    pending.Scene = scene;
    std::string operation = pending.Operation.empty() ? "GetSceneList" : pending.Operation;
    Request(client, operation.c_str(), "GetSceneItemList", SceneNameData(scene), std::move(pending));
}

void ObsWsWire::AskVolumes(OBSRemoteClient& client, const char* operation)
{
    std::string inputs[2];
    {
        std::lock_guard<std::mutex> guard(Lock);
        inputs[0] = MicInput;
        inputs[1] = DesktopInput;
    }
    Pending pending;
    pending.What = Step::Volumes;
    json_t* requests = json_array();
    for (uint32_t channel = 0; channel < 2; ++channel) {
        if (inputs[channel].empty()) {
            continue;
        }
        pending.VolumeSlots |= 1u << channel;
        for (const char* type : {"GetInputVolume", "GetInputMute"}) {
            json_t* request = json_object();
            json_t* data = json_object();
            json_object_set_new(data, "inputName", json_string(inputs[channel].c_str()));
            json_object_set_new(request, "requestType", json_string(type));
            json_object_set_new(request, "requestData", data);
            json_array_append_new(requests, request);
        }
    }
    Batch(client, operation, requests, std::move(pending));
}

void ObsWsWire::WithSpecialInputs(OBSRemoteClient& client, std::function<void(OBSRemoteClient&)> action)
{
    bool now = false;
    bool ask = false;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (HaveSpecialInputs) {
            now = true;
        } else {
            AfterSpecialInputs.push_back(std::move(action));
            ask = !SpecialInputsAsked;
            SpecialInputsAsked = true;
        }
    }
    if (now) {
        action(client);
        return;
    }
    if (ask) {
        Pending pending;
        pending.What = Step::SpecialInputs;
        if (!Request(client, "GetVolumes", "GetSpecialInputs", nullptr, std::move(pending))) {
            std::lock_guard<std::mutex> guard(Lock);
            SpecialInputsAsked = false;
            AfterSpecialInputs.clear();
        }
    }
}

// The named items go to the top in the order given, the others keep their order below them.
// OBS counts indexes from the bottom; each item is moved only when it is not already in its
// place, bottom place first, so that every move leaves the places below it as they are. The
// moves only add up when OBS makes them in this order, hence batches rather than requests.
void ObsWsWire::OrderItems(OBSRemoteClient& client, const Pending& pending, json_t* items)
{
    struct Item {
        int64_t Id;
        std::string Name;
    };
    std::vector<Item> bottomFirst;
    for (size_t i = 0; i < ArraySize(items); ++i) {
        json_t* item = ArrayElement(items, i);
        json_t* id = ReadMember(item, "sceneItemId");
        const char* name = ReadString(item, "sourceName");
        if (json_is_integer(id) && name != nullptr) {
            bottomFirst.push_back({json_integer_value(id), name});
        }
    }
    std::vector<Item> topFirst(bottomFirst.rbegin(), bottomFirst.rend());
    std::vector<bool> used(topFirst.size(), false);
    std::vector<Item> wanted;
    for (const std::string& name : pending.Names) {
        for (size_t i = 0; i < topFirst.size(); ++i) {
            if (!used[i] && NamesEqualIgnoringCase(topFirst[i].Name.c_str(), name.c_str())) {
                used[i] = true;
                wanted.push_back(topFirst[i]);
                break;
            }
        }
    }
    for (size_t i = 0; i < topFirst.size(); ++i) {
        if (!used[i]) {
            wanted.push_back(topFirst[i]);
        }
    }
    std::vector<Item> wantedBottomFirst(wanted.rbegin(), wanted.rend());
    std::vector<Item> now = bottomFirst;
    std::vector<std::pair<int64_t, int64_t>> moves;
    for (size_t place = 0; place < now.size(); ++place) {
        if (now[place].Id == wantedBottomFirst[place].Id) {
            continue;
        }
        for (size_t from = place + 1; from < now.size(); ++from) {
            if (now[from].Id == wantedBottomFirst[place].Id) {
                Item moved = now[from];
                now.erase(now.begin() + static_cast<std::ptrdiff_t>(from));
                now.insert(now.begin() + static_cast<std::ptrdiff_t>(place), moved);
                break;
            }
        }
        moves.emplace_back(wantedBottomFirst[place].Id, static_cast<int64_t>(place));
    }
    SendMoves(client, pending.Operation, pending.Scene, std::move(moves));
}

// As many moves per batch as keep its text within MaxRequestText; the next batch goes once
// OBS answered this one, and a failed move ends the order.
void ObsWsWire::SendMoves(OBSRemoteClient& client, const std::string& operation, const std::string& scene,
                          std::vector<std::pair<int64_t, int64_t>> moves)
{
    if (moves.empty()) {
        return;
    }
    auto move = [&scene](int64_t id, int64_t index) {
        json_t* data = SceneNameData(scene);
        json_object_set_new(data, "sceneItemId", json_integer(id));
        json_object_set_new(data, "sceneItemIndex", json_integer(index));
        json_t* request = json_object();
        json_object_set_new(request, "requestType", json_string("SetSceneItemIndex"));
        json_object_set_new(request, "requestData", data);
        return request;
    };
    // The longest a move can be written, and room for the batch around the moves.
    constexpr size_t BatchFrame = 128;
    json_t* widest = move(INT64_MIN, INT64_MIN);
    char* text = json_dumps(widest, JSON_COMPACT);
    const size_t perMove = (text != nullptr ? strlen(text) : obsws::MaxRequestText) + 1;
    free(text);
    json_decref(widest);
    const size_t fit = perMove + BatchFrame <= obsws::MaxRequestText ? (obsws::MaxRequestText - BatchFrame) / perMove : 1;

    Pending pending;
    pending.What = Step::MoveItems;
    pending.Operation = operation;
    pending.Scene = scene;
    json_t* requests = json_array();
    const size_t now = std::min(fit, moves.size());
    for (size_t i = 0; i < now; ++i) {
        json_array_append_new(requests, move(moves[i].first, moves[i].second));
    }
    pending.Moves.assign(moves.begin() + static_cast<std::ptrdiff_t>(now), moves.end());
    Batch(client, operation.c_str(), requests, std::move(pending), true);
}
