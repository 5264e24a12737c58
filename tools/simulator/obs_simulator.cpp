#include "tools/simulator/obs_simulator.h"

#include <libwebsockets.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_socket.h"

namespace {

// The plug-in hands received data to its handler in pieces of at most this size.
constexpr size_t ReceivePiece = 4096;
constexpr lws_usec_t TickInterval = 50 * LWS_US_PER_MS;
// How long Stop waits for clients to acknowledge the closing handshake.
constexpr std::chrono::milliseconds CloseGrace{500};

void QuietLibraryLog(bool verbose)
{
    // libwebsockets' log level is process-wide; set it once so that simulators started
    // from several threads never race on it.
    static std::once_flag once;
    std::call_once(once, [verbose] {
        lws_set_log_level(verbose ? (LLL_ERR | LLL_WARN | LLL_NOTICE) : 0, nullptr);
    });
}

bool MachineHasIPv6Loopback()
{
    int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    SimCloseSocket(fd);
    return ok;
}

// One pass of the library's event loop; false once the loop can no longer serve.
// The library's Windows loop also answers -1 when a connection it closed during the pass
// (a write to a peer that had already gone) leaves a stale slot behind; the context is
// still sound then, and serving on keeps the listeners open for the next client.
bool ServiceOnce(lws_context* context)
{
#ifdef _WIN32
    lws_service(context, 0);
    return true;
#else
    return lws_service(context, 0) >= 0;
#endif
}

std::string RequestTypeOf(const std::string& text)
{
    SimJson request(json_loads(text.c_str(), JSON_DISABLE_EOF_CHECK, nullptr));
    json_t* type = json_object_get(request.get(), "request-type");
    return json_is_string(type) ? json_string_value(type) : std::string();
}

struct Connection {
    lws* Wsi = nullptr; // used on the service thread only
    SimPeerConnection Peer;
    std::deque<std::string> Outbox; // answers and updates, in the order they were made
    std::string Piece;              // received bytes not yet handed to the plug-in
    bool Closing = false;
};

} // namespace

struct OBSSimulator::Impl {
    explicit Impl(OBSSimulatorOptions options)
        : Options(std::move(options))
        , Peer(Options.UseAuth, Options.Password, Options.Scenes, Options.Salt)
    {
        std::memset(Protocols, 0, sizeof Protocols);
        Protocols[0].name = "http-only";
        Protocols[0].callback = &Impl::Callback;
        Protocols[0].per_session_data_size = sizeof(uint64_t);
        Protocols[1].name = "obsapi";
        Protocols[1].callback = &Impl::Callback;
        Protocols[1].per_session_data_size = sizeof(uint64_t);
        Protocols[1].rx_buffer_size = ReceivePiece;
        Ticker.Owner = this;
    }

    static int Callback(lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len);
    static void OnTick(lws_sorted_usec_list_t* sul);

    int OnFilter(lws* wsi);
    void OnEstablished(lws* wsi, uint64_t* user);
    void OnClosed(const uint64_t* user);
    void OnReceive(lws* wsi, const uint64_t* user, const char* in, size_t len);
    void HandlePiece(uint64_t id, std::string text);
    int OnWriteable(lws* wsi, const uint64_t* user);
    void OnWake();
    void RunService(lws_context* context);
#ifdef _WIN32
    void RegisterSocketsAfresh();
#endif

    // All of the following run with Lock held.
    void DeliverLocked(const std::vector<std::string>& updates);
    void WakeLocked();
    void RequestWritesLocked();
    void CheckStreamStatusLocked(std::chrono::steady_clock::time_point now);

    template <typename Change> auto Apply(Change change)
    {
        std::lock_guard<std::mutex> guard(Lock);
        std::vector<std::string> updates;
        auto result = change(updates);
        DeliverLocked(updates);
        return result;
    }

    const OBSSimulatorOptions Options;
    std::mutex Lifecycle; // serialises Start and Stop; taken before Lock
    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    SimPeer Peer;
    std::map<uint64_t, Connection> Connections;
    uint64_t NextConnection = 1;
    std::vector<SimReceived> ReceivedLog;
    std::vector<int> CloseStatuses;
    int HandshakesToFail = 0;
    bool CloseAllPending = false;
    std::chrono::steady_clock::time_point NextStatus{};

    lws_context* Context = nullptr;
    int ListenPort = 0;
    bool HasIPv6 = false;
    std::atomic<bool> StopRequested{false};
    std::thread Service;
#ifdef _WIN32
    std::set<lws*> Sockets; // every accepted connection, handshaking or not; service thread only
#endif

    struct Tick {
        lws_sorted_usec_list_t Sul; // first member: the timer callback gets its address
        Impl* Owner = nullptr;
    } Ticker{};
    lws_protocols Protocols[3];
};

int OBSSimulator::Impl::Callback(lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len)
{
    lws_context* context = lws_get_context(wsi);
    Impl* self = context != nullptr ? static_cast<Impl*>(lws_context_user(context)) : nullptr;
    if (self == nullptr)
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    auto* id = static_cast<uint64_t*>(user);
    switch (reason) {
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION:
        return self->OnFilter(wsi);
    case LWS_CALLBACK_ESTABLISHED:
        self->OnEstablished(wsi, id);
        return 0;
    case LWS_CALLBACK_CLOSED:
        self->OnClosed(id);
        return 0;
    case LWS_CALLBACK_RECEIVE:
        self->OnReceive(wsi, id, static_cast<const char*>(in), len);
        return 0;
    case LWS_CALLBACK_WS_PEER_INITIATED_CLOSE: {
        const unsigned char* status = static_cast<const unsigned char*>(in);
        std::lock_guard<std::mutex> guard(self->Lock);
        self->CloseStatuses.push_back(len >= 2 ? (status[0] << 8) | status[1] : 1005);
        return 0;
    }
    case LWS_CALLBACK_SERVER_WRITEABLE:
        return self->OnWriteable(wsi, id);
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED:
        self->OnWake();
        return 0;
#ifdef _WIN32
    case LWS_CALLBACK_WSI_CREATE:
        self->Sockets.insert(wsi);
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    case LWS_CALLBACK_WSI_DESTROY:
        self->Sockets.erase(wsi);
        self->RegisterSocketsAfresh();
        return lws_callback_http_dummy(wsi, reason, user, in, len);
#endif
    default:
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

int OBSSimulator::Impl::OnFilter(lws* wsi)
{
    // The plug-in compares the whole Sec-WebSocket-Protocol header with its protocol names:
    // "obsapi, chat" or no header at all finds nothing and the connection is dropped.
    char header[64];
    int length = lws_hdr_copy(wsi, header, sizeof header, WSI_TOKEN_PROTOCOL);
    bool exact = length == 6 && std::strcmp(header, "obsapi") == 0;
    std::lock_guard<std::mutex> guard(Lock);
    if (HandshakesToFail > 0) {
        --HandshakesToFail;
        return -1;
    }
    return exact ? 0 : -1;
}

void OBSSimulator::Impl::OnEstablished(lws* wsi, uint64_t* user)
{
    std::lock_guard<std::mutex> guard(Lock);
    uint64_t id = NextConnection++;
    *user = id;
    Connection& connection = Connections[id];
    connection.Wsi = wsi;
    connection.Peer = Peer.NewConnection();
    Changed.notify_all();
}

void OBSSimulator::Impl::OnClosed(const uint64_t* user)
{
    std::lock_guard<std::mutex> guard(Lock);
    Connections.erase(*user);
    Changed.notify_all();
}

void OBSSimulator::Impl::OnReceive(lws* wsi, const uint64_t* user, const char* in, size_t len)
{
    // The plug-in's library filled a 4096-byte buffer and handed it over when it was full
    // or the frame ended, whatever the socket reads were; rebuild exactly those pieces.
    std::vector<std::string> pieces;
    {
        std::lock_guard<std::mutex> guard(Lock);
        auto found = Connections.find(*user);
        if (found == Connections.end())
            return;
        std::string& piece = found->second.Piece;
        while (len > 0) {
            size_t take = std::min(len, ReceivePiece - piece.size());
            piece.append(in, take);
            in += take;
            len -= take;
            if (piece.size() == ReceivePiece) {
                pieces.push_back(piece);
                piece.clear();
            }
        }
        if (lws_remaining_packet_payload(wsi) == 0 && !piece.empty()) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    for (std::string& text : pieces)
        HandlePiece(*user, std::move(text));
}

void OBSSimulator::Impl::HandlePiece(uint64_t id, std::string text)
{
    SimReceived received;
    received.Connection = id;
    received.Text = std::move(text);
    received.RequestType = RequestTypeOf(received.Text);
    {
        std::lock_guard<std::mutex> guard(Lock);
        auto found = Connections.find(id);
        if (found == Connections.end())
            return;
        ReceivedLog.push_back(received);
        // The answer is queued before the updates the request causes: OBS acts on the
        // request after the plug-in has queued its answer.
        std::string answer;
        std::vector<std::string> updates;
        if (Peer.HandleRequest(found->second.Peer, received.Text, answer, updates))
            found->second.Outbox.push_back(std::move(answer));
        DeliverLocked(updates);
        CheckStreamStatusLocked(std::chrono::steady_clock::now());
        RequestWritesLocked();
        Changed.notify_all();
    }
    if (Options.OnReceived)
        Options.OnReceived(received);
}

int OBSSimulator::Impl::OnWriteable(lws* wsi, const uint64_t* user)
{
    std::string message;
    bool more = false;
    {
        std::lock_guard<std::mutex> guard(Lock);
        auto found = Connections.find(*user);
        if (found == Connections.end())
            return 0;
        Connection& connection = found->second;
        if (connection.Closing) {
            lws_close_reason(wsi, LWS_CLOSE_STATUS_GOINGAWAY, nullptr, 0);
            return -1;
        }
        if (connection.Outbox.empty())
            return 0;
        message = std::move(connection.Outbox.front());
        connection.Outbox.pop_front();
        more = !connection.Outbox.empty();
    }
    // One whole text frame, however long: the library keeps what the socket does not take
    // at once and sends it before it lets us write again.
    std::vector<unsigned char> buffer(LWS_PRE + message.size());
    std::memcpy(buffer.data() + LWS_PRE, message.data(), message.size());
    int written = lws_write(wsi, buffer.data() + LWS_PRE, message.size(), LWS_WRITE_TEXT);
    if (written < static_cast<int>(message.size()))
        return -1;
    if (more)
        lws_callback_on_writable(wsi);
    return 0;
}

void OBSSimulator::Impl::OnWake()
{
    std::lock_guard<std::mutex> guard(Lock);
    if (CloseAllPending) {
        CloseAllPending = false;
        for (auto& entry : Connections)
            entry.second.Closing = true;
    }
    RequestWritesLocked();
}

#ifdef _WIN32
// The library's Windows loop gives a closed connection's slot to its last connection but
// leaves that socket's network events on the event of its old slot, which is no longer
// waited on: the moved client would never be heard again. Turning reading off and on
// registers every remaining socket's events at its present slot. By the time a socket's
// destruction is announced, the move has been made.
void OBSSimulator::Impl::RegisterSocketsAfresh()
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Context == nullptr) // the context is going: its sockets are closing anyway
            return;
    }
    for (lws* wsi : Sockets) {
        lws_rx_flow_control(wsi, 0);
        lws_rx_flow_control(wsi, 1);
    }
}
#endif

void OBSSimulator::Impl::OnTick(lws_sorted_usec_list_t* sul)
{
    Impl* self = reinterpret_cast<Tick*>(sul)->Owner;
    {
        std::lock_guard<std::mutex> guard(self->Lock);
        self->CheckStreamStatusLocked(std::chrono::steady_clock::now());
        self->RequestWritesLocked();
    }
    lws_sul_schedule(self->Context, 0, &self->Ticker.Sul, &Impl::OnTick, TickInterval);
}

void OBSSimulator::Impl::CheckStreamStatusLocked(std::chrono::steady_clock::time_point now)
{
    using TimePoint = std::chrono::steady_clock::time_point;
    if (!Peer.Status().Streaming) {
        NextStatus = TimePoint{};
    } else if (NextStatus == TimePoint{}) {
        NextStatus = now + Options.StatusInterval;
    } else if (now >= NextStatus) {
        NextStatus = now + Options.StatusInterval;
        std::vector<std::string> updates;
        Peer.StreamStatus(now, updates);
        DeliverLocked(updates);
    }
}

void OBSSimulator::Impl::DeliverLocked(const std::vector<std::string>& updates)
{
    if (updates.empty())
        return;
    for (auto& entry : Connections)
        if (Peer.ReceivesUpdates(entry.second.Peer))
            for (const std::string& update : updates)
                entry.second.Outbox.push_back(update);
    WakeLocked();
}

void OBSSimulator::Impl::WakeLocked()
{
    if (Context != nullptr)
        lws_cancel_service(Context);
}

void OBSSimulator::Impl::RequestWritesLocked()
{
    for (auto& entry : Connections)
        if (entry.second.Closing || !entry.second.Outbox.empty())
            lws_callback_on_writable(entry.second.Wsi);
}

void OBSSimulator::Impl::RunService(lws_context* context)
{
    lws_sul_schedule(context, 0, &Ticker.Sul, &Impl::OnTick, TickInterval);
    while (!StopRequested.load() && ServiceOnce(context)) {
    }
    // Say goodbye the way OBS does when it unloads the plug-in, then give the clients a
    // moment to answer the close before the context goes.
    {
        std::lock_guard<std::mutex> guard(Lock);
        for (auto& entry : Connections)
            entry.second.Closing = true;
        RequestWritesLocked();
    }
    auto deadline = std::chrono::steady_clock::now() + CloseGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (Connections.empty())
                break;
        }
        if (!ServiceOnce(context))
            break;
    }
    lws_sul_cancel(&Ticker.Sul);
    {
        std::lock_guard<std::mutex> guard(Lock);
        Context = nullptr;
    }
    lws_context_destroy(context);
    std::lock_guard<std::mutex> guard(Lock);
    Connections.clear();
    Changed.notify_all();
}

OBSSimulator::OBSSimulator()
    : OBSSimulator(OBSSimulatorOptions())
{
}

OBSSimulator::OBSSimulator(OBSSimulatorOptions options)
    : Self(std::make_unique<Impl>(std::move(options)))
{
}

OBSSimulator::~OBSSimulator() { Stop(); }

bool OBSSimulator::Start(int port)
{
    std::lock_guard<std::mutex> lifecycle(Self->Lifecycle);
    if (port < 0 || port > 65535 || Self->Service.joinable())
        return false;
    QuietLibraryLog(Self->Options.Verbose);

    lws_context_creation_info info;
    std::memset(&info, 0, sizeof info);
    info.options = LWS_SERVER_OPTION_EXPLICIT_VHOSTS;
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.gid = -1;
    info.uid = -1;
    info.user = Self.get();
    lws_context* context = lws_create_context(&info);
    if (context == nullptr)
        return false;

    // Loopback only, on both address families, so that a client resolving "localhost" to
    // either finds the server.
    info.protocols = Self->Protocols;
    info.port = port;
    info.iface = "127.0.0.1";
    info.vhost_name = "obsremote-ipv4";
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    lws_vhost* ipv4 = lws_create_vhost(context, &info);
    int chosen = ipv4 != nullptr ? lws_get_vhost_listen_port(ipv4) : 0;
    if (ipv4 == nullptr || chosen <= 0) {
        lws_context_destroy(context);
        return false;
    }
    info.port = chosen;
    info.iface = "::1";
    info.vhost_name = "obsremote-ipv6";
    info.options = LWS_SERVER_OPTION_IPV6_V6ONLY_MODIFY | LWS_SERVER_OPTION_IPV6_V6ONLY_VALUE;
    lws_vhost* ipv6 = lws_create_vhost(context, &info);
    if (ipv6 == nullptr && MachineHasIPv6Loopback()) {
        // ::1 exists but the port is taken there: a client trying ::1 first would reach
        // someone else.
        lws_context_destroy(context);
        return false;
    }

    {
        std::lock_guard<std::mutex> guard(Self->Lock);
        Self->Context = context;
        Self->ListenPort = chosen;
        Self->HasIPv6 = ipv6 != nullptr;
        Self->CloseAllPending = false;
    }
    Self->StopRequested.store(false);
    Self->Service = std::thread([this, context] { Self->RunService(context); });
    return true;
}

void OBSSimulator::Stop()
{
    std::lock_guard<std::mutex> lifecycle(Self->Lifecycle);
    if (!Self->Service.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(Self->Lock);
        Self->StopRequested.store(true);
        Self->WakeLocked();
    }
    Self->Service.join();
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->ListenPort = 0;
    Self->HasIPv6 = false;
}

bool OBSSimulator::IsRunning() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Context != nullptr;
}

int OBSSimulator::Port() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->ListenPort;
}

bool OBSSimulator::ListensOnIPv6() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->HasIPv6;
}

bool OBSSimulator::SwitchScene(const std::string& name)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.SwitchScene(name, updates); });
}

bool OBSSimulator::SetSourceRender(const std::string& source, bool render)
{
    return Self->Apply(
        [&](std::vector<std::string>& updates) { return Self->Peer.SetSourceRender(source, render, updates); });
}

bool OBSSimulator::RenameSource(const std::string& from, const std::string& to)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.RenameSource(from, to, updates); });
}

bool OBSSimulator::ReorderSources(const std::vector<std::string>& names)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.ReorderSources(names, updates); });
}

bool OBSSimulator::AddSource(const SimSource& source)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.AddSource(source, updates); });
}

bool OBSSimulator::RemoveSource(const std::string& source)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.RemoveSource(source, updates); });
}

bool OBSSimulator::AddScene(const std::string& name)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.AddScene(name, updates); });
}

void OBSSimulator::ReplaceScenes(const SimSceneSet& scenes)
{
    Self->Apply([&](std::vector<std::string>& updates) {
        Self->Peer.ReplaceScenes(scenes, updates);
        return true;
    });
}

void OBSSimulator::AnnounceScenesChanged()
{
    Self->Apply([&](std::vector<std::string>& updates) {
        Self->Peer.AnnounceScenesChanged(updates);
        return true;
    });
}

void OBSSimulator::SetVolume(SimChannel channel, float volume, bool final)
{
    Self->Apply([&](std::vector<std::string>& updates) {
        Self->Peer.SetVolume(channel, volume, final, updates);
        return true;
    });
}

void OBSSimulator::ToggleMute(SimChannel channel)
{
    Self->Apply([&](std::vector<std::string>& updates) {
        Self->Peer.ToggleMute(channel, updates);
        return true;
    });
}

bool OBSSimulator::StartStream(bool preview)
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.StartStream(preview, updates); });
}

bool OBSSimulator::StopStream()
{
    return Self->Apply([&](std::vector<std::string>& updates) { return Self->Peer.StopStream(updates); });
}

bool OBSSimulator::SendStreamStatus()
{
    return Self->Apply([&](std::vector<std::string>& updates) {
        return Self->Peer.StreamStatus(std::chrono::steady_clock::now(), updates);
    });
}

void OBSSimulator::SetStreamFigures(const SimStreamFigures& figures)
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->Peer.SetStreamFigures(figures);
}

void OBSSimulator::Broadcast(const std::string& text)
{
    Self->Apply([&](std::vector<std::string>& updates) {
        updates.push_back(text);
        return true;
    });
}

void OBSSimulator::SetAuth(bool useAuth, const std::string& password)
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->Peer.SetAuth(useAuth, password);
}

void OBSSimulator::ResetFailedAuthAttempts()
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->Peer.ResetFailedAttempts();
}

int OBSSimulator::FailedAuthAttempts() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Peer.FailedAuthAttempts();
}

std::string OBSSimulator::Salt() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Peer.Salt();
}

SimSceneSet OBSSimulator::Scenes() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Peer.Scenes();
}

SimStatus OBSSimulator::Status() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Peer.Status();
}

size_t OBSSimulator::ConnectionCount() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->Connections.size();
}

uint64_t OBSSimulator::ConnectionsAccepted() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->NextConnection - 1;
}

bool OBSSimulator::WaitForConnectionCount(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> guard(Self->Lock);
    return Self->Changed.wait_for(guard, timeout, [&] { return Self->Connections.size() == count; });
}

std::vector<int> OBSSimulator::PeerCloseStatuses() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->CloseStatuses;
}

void OBSSimulator::CloseAllConnections()
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->CloseAllPending = true;
    Self->WakeLocked();
}

void OBSSimulator::FailNextHandshakes(int count)
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->HandshakesToFail = count;
}

std::vector<SimReceived> OBSSimulator::Received() const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    return Self->ReceivedLog;
}

std::vector<std::string> OBSSimulator::ReceivedOn(uint64_t connection) const
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    std::vector<std::string> texts;
    for (const SimReceived& received : Self->ReceivedLog)
        if (received.Connection == connection)
            texts.push_back(received.Text);
    return texts;
}

void OBSSimulator::ClearReceived()
{
    std::lock_guard<std::mutex> guard(Self->Lock);
    Self->ReceivedLog.clear();
}

bool OBSSimulator::WaitForReceivedCount(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> guard(Self->Lock);
    return Self->Changed.wait_for(guard, timeout, [&] { return Self->ReceivedLog.size() >= count; });
}

std::optional<SimReceived> OBSSimulator::WaitForRequest(const std::string& requestType,
    std::chrono::milliseconds timeout, size_t from) const
{
    std::unique_lock<std::mutex> guard(Self->Lock);
    std::optional<SimReceived> found;
    Self->Changed.wait_for(guard, timeout, [&] {
        for (size_t i = from; i < Self->ReceivedLog.size(); ++i)
            if (Self->ReceivedLog[i].RequestType == requestType) {
                found = Self->ReceivedLog[i];
                return true;
            }
        return false;
    });
    return found;
}
