#include "client/session.h"

#include <libwebsockets.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "client/dispatch.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/receive_assembler.h"
#include "client/scene_model.h"
#include "support/portable_lock.h"

namespace {

constexpr lws_usec_t ServiceInterval = 10 * LWS_US_PER_MS;

struct SessionRun;

// The library's service call waits for the next timer or socket event, whatever timeout it
// is given; a timer that fires every 10 ms keeps the worker looking at its stop flag.
struct TickTimer {
    lws_sorted_usec_list_t Sul; // first member: the timer callback finds its TickTimer by it
    SessionRun* Run;
};

// What the session's callback needs; it lives exactly as long as the context, whose user
// pointer it is.
struct SessionRun {
    explicit SessionRun(OBSRemoteClient& client) : Client(client), Assembler(client.Session.ReceiveBuffer) {}

    OBSRemoteClient& Client;
    lws_context* Context = nullptr;
    lws* Wsi = nullptr;         // the established connection
    bool Open = false;          // Wsi may be written to
    bool TcpConnected = false;  // the current attempt got as far as sending its handshake
    bool AttemptFailed = false; // the current attempt ended in a connection error
    bool Destroying = false;    // the context is being destroyed: leave the client alone
    bool ReachedReady = false;  // the session got as far as Ready
    TickTimer Tick{};
    ReceiveAssembler Assembler;
    std::vector<unsigned char> WriteBuffer;
};

void OnTick(lws_sorted_usec_list_t* sul)
{
    TickTimer* tick = reinterpret_cast<TickTimer*>(sul);
    lws_sul_schedule(tick->Run->Context, 0, &tick->Sul, OnTick, ServiceInterval);
}

SessionRun* RunOf(lws* wsi)
{
    lws_context* context = wsi != nullptr ? lws_get_context(wsi) : nullptr;
    return context != nullptr ? static_cast<SessionRun*>(lws_context_user(context)) : nullptr;
}

void WriteNext(SessionRun& run)
{
    std::string text;
    bool more = false;
    {
        CWinLock guard(&run.Client.Session.SendLock);
        std::deque<std::string>& queue = run.Client.Session.SendQueue;
        if (queue.empty()) {
            return;
        }
        text = std::move(queue.front());
        queue.pop_front();
        more = !queue.empty();
    }
    run.WriteBuffer.resize(LWS_PRE + text.size());
    std::memcpy(run.WriteBuffer.data() + LWS_PRE, text.data(), text.size());
    lws_write(run.Wsi, run.WriteBuffer.data() + LWS_PRE, text.size(), LWS_WRITE_TEXT);
    if (more) {
        lws_callback_on_writable(run.Wsi);
    }
}

bool HaveQueued(OBSRemoteClient& client)
{
    CWinLock guard(&client.Session.SendLock);
    return !client.Session.SendQueue.empty();
}

void Receive(SessionRun& run, lws* wsi, const void* in, size_t length)
{
    bool final = lws_is_final_fragment(wsi) && lws_remaining_packet_payload(wsi) == 0;
    switch (run.Assembler.Append(static_cast<const char*>(in), length, final)) {
    case ReceiveAssembler::Result::Incomplete:
        return;
    case ReceiveAssembler::Result::Dropped:
        run.Client.Print("Received message longer than 16 MiB dropped\n");
        return;
    case ReceiveAssembler::Result::Complete:
        break;
    }
    // The message is zero-terminated by its buffer; anything after the first complete JSON
    // value is ignored, and a text that is not JSON is dropped without a word.
    json_t* message = json_loads(run.Assembler.Message().c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
    if (message == nullptr) {
        return;
    }
    DispatchMessage(run.Client, message);
    json_decref(message);
}

void OpenSession(SessionRun& run, lws* wsi)
{
    OBSRemoteClient& client = run.Client;
    run.Wsi = wsi;
    run.Open = true;
    client.Session.Connection = wsi;
    client.SetState(Connected);
    // No Authenticate among these: the kept secret can only answer this connection's own
    // challenge, which comes with the GetAuthRequired answer (ReauthenticateIfPossible).
    client.GetVersion();
    client.GetAuthRequired();
    client.RequestRefresh();
    run.ReachedReady = true;
    client.SetState(Ready);
    lws_callback_on_writable(wsi);
}

int SessionCallback(lws* wsi, enum lws_callback_reasons reason, void*, void* in, size_t length)
{
    SessionRun* run = RunOf(wsi);
    if (run == nullptr || run->Destroying) {
        return 0;
    }
    OBSRemoteClient& client = run->Client;
    switch (reason) {
    case LWS_CALLBACK_CLIENT_APPEND_HANDSHAKE_HEADER:
        run->TcpConnected = true;
        break;
    case LWS_CALLBACK_CLIENT_CONNECTION_ERROR:
        run->AttemptFailed = true;
        run->Open = false;
        client.Session.ConnectionClosed.store(1);
        break;
    case LWS_CALLBACK_CLIENT_ESTABLISHED:
        OpenSession(*run, wsi);
        break;
    case LWS_CALLBACK_CLOSED:
    case LWS_CALLBACK_CLIENT_CLOSED:
        run->Open = false;
        client.Session.ConnectionClosed.store(1);
        break;
    case LWS_CALLBACK_WSI_DESTROY:
        if (wsi == run->Wsi) {
            run->Open = false;
            run->Wsi = nullptr;
        }
        break;
    case LWS_CALLBACK_CLIENT_RECEIVE:
        Receive(*run, wsi, in, length);
        break;
    case LWS_CALLBACK_CLIENT_WRITEABLE:
        if (run->Open && wsi == run->Wsi) {
            WriteNext(*run);
        }
        break;
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED:
        // A request was queued from another thread (or a stop is asked for).
        if (run->Open && HaveQueued(client)) {
            lws_callback_on_writable(run->Wsi);
        }
        break;
    default:
        break;
    }
    return 0;
}

const lws_protocols SessionProtocols[] = {
    {"obsapi", SessionCallback, 0, 4096, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// The plug-in knows only deflate-frame, which this library no longer has; it ignores the
// permessage-deflate offer, and a peer that takes it up gets compressed messages.
const lws_extension SessionExtensions[] = {
    {"permessage-deflate", lws_extension_callback_pm_deflate, "permessage-deflate; client_max_window_bits"},
    {nullptr, nullptr, nullptr},
};

// The library's own log never reaches the host's console.
void SilenceLibraryLog()
{
    static std::once_flag once;
    std::call_once(once, [] { lws_set_log_level(0, nullptr); });
}

// A name may stand for several addresses (IPv4 and IPv6, or several machines), and the
// plug-in may listen on only one of them: each is tried in turn, in the resolver's order.
// IPv4 and IPv6 literals resolve to themselves.
std::vector<std::string> ResolveAddresses(const std::string& name, uint16_t port)
{
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0) {
        return addresses;
    }
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        char host[NI_MAXHOST];
        if (getnameinfo(a->ai_addr, a->ai_addrlen, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) == 0 &&
            std::find(addresses.begin(), addresses.end(), host) == addresses.end()) {
            addresses.push_back(host);
        }
    }
    freeaddrinfo(found);
    return addresses;
}

// The plug-in's machine may map "localhost" to only one loopback address while the plug-in
// listens on the other; both are tried, the resolver's answers first.
std::vector<std::string> PeerAddresses(const std::string& name, uint16_t port)
{
    std::vector<std::string> addresses = ResolveAddresses(name, port);
    if (NamesEqualIgnoringCase(name.c_str(), "localhost")) {
        for (const char* loopback : {"127.0.0.1", "::1"}) {
            if (std::find(addresses.begin(), addresses.end(), loopback) == addresses.end()) {
                addresses.push_back(loopback);
            }
        }
    }
    return addresses;
}

// The handshake's Host header: an IPv6 literal goes in brackets, as in a URL.
std::string HostHeader(const std::string& host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

bool StopAsked(OBSRemoteClient& client) { return client.Worker.StopRequested.load(); }

// Starts the connection on each address until one gets its TCP connection made. A peer
// that refuses every address makes the start fail, as a blocking connect would.
bool StartConnection(SessionRun& run)
{
    OBSRemoteClient& client = run.Client;
    const ConnectionSettings& settings = client.Session.Settings;
    const std::string hostHeader = HostHeader(settings.Host);
    for (const std::string& address : PeerAddresses(settings.Host, settings.Port)) {
        run.TcpConnected = false;
        run.AttemptFailed = false;
        client.Session.ConnectionClosed.store(0);

        lws_client_connect_info info;
        std::memset(&info, 0, sizeof(info));
        info.context = run.Context;
        info.address = address.c_str();
        info.port = settings.Port;
        info.ssl_connection = 0;
        info.path = SessionPath;
        info.host = hostHeader.c_str();
        info.origin = nullptr;
        info.protocol = "obsapi";
        info.ietf_version_or_minus_one = -1;
        lws* wsi = lws_client_connect_via_info(&info);
        if (wsi == nullptr) {
            continue;
        }
        while (!run.TcpConnected && !run.AttemptFailed && !StopAsked(client)) {
            if (lws_service(run.Context, 0) < 0) {
                run.AttemptFailed = true;
            }
        }
        if (run.TcpConnected || StopAsked(client)) {
            return true;
        }
    }
    return false;
}

} // namespace

void WakeSession(OBSRemoteClient& client)
{
    CWinLock guard(&client.Session.SendLock);
    if (client.Session.WakeContext != nullptr) {
        lws_cancel_service(client.Session.WakeContext);
    }
}

void DestroySessionContext(OBSRemoteClient& client)
{
    lws_context* context = client.Session.Context;
    {
        CWinLock guard(&client.Session.SendLock);
        client.Session.WakeContext = nullptr;
        client.Session.SendQueue.clear();
    }
    if (context == nullptr) {
        return;
    }
    SessionRun* run = static_cast<SessionRun*>(lws_context_user(context));
    if (run != nullptr) {
        run->Destroying = true;
    }
    lws_context_destroy(context);
    delete run;
    client.Session.Context = nullptr;
}

SessionOutcome RunSession(OBSRemoteClient& client)
{
    SessionOutcome outcome;
    SilenceLibraryLog();
    client.Session.ConnectionClosed.store(0);
    {
        CWinLock guard(&client.Session.SendLock);
        client.Session.SendQueue.clear();
    }

    SessionRun* run = new SessionRun(client);
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof(info));
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.protocols = SessionProtocols;
    info.extensions = SessionExtensions;
    info.gid = -1;
    info.uid = -1;
    info.user = run;
    lws_context* context = lws_create_context(&info);
    if (context == nullptr) {
        delete run;
        client.Print("Creating libwebsocket context failed\n");
        return outcome;
    }
    run->Context = context;
    run->Tick.Run = run;
    client.Session.Context = context;
    {
        CWinLock guard(&client.Session.SendLock);
        client.Session.WakeContext = context;
    }
    lws_sul_schedule(context, 0, &run->Tick.Sul, OnTick, ServiceInterval);

    if (!StartConnection(*run)) {
        {
            CWinLock guard(&client.Session.SendLock);
            client.Session.WakeContext = nullptr;
        }
        client.Print("libwebsocket connect failed\n");
        return outcome;
    }
    if (!StopAsked(client)) {
        client.Print("Waiting for connect...\n");
    }

    while (client.Session.ConnectionClosed.load() == 0 && !StopAsked(client)) {
        if (lws_service(context, 0) < 0) {
            break;
        }
    }

    outcome.End = StopAsked(client) ? SessionEnd::Stopped : SessionEnd::Ended;
    outcome.ReachedReady = run->ReachedReady;
    DestroySessionContext(client);
    return outcome;
}

uint32_t HVE_THREADCALL WorkerThreadMain(void* threadObject)
{
    CPlatformThread* thread = static_cast<CPlatformThread*>(threadObject);
    CWinLock guard(&thread->ThreadLock);
    thread->Started.store(true);
    thread->IsRunning.store(true);
    OBSRemoteClient& client = *static_cast<OBSRemoteClient*>(thread->ThreadParameter);
    client.Session.WorkerThread.store(std::this_thread::get_id());
    RunSessions(client);
    client.Session.WorkerThread.store(std::thread::id());
    thread->IsRunning.store(false);
    return 0;
}

void StartWorker(OBSRemoteClient& client, const ConnectionSettings& settings)
{
    client.Session.Settings = settings;
    client.Worker.Start(WorkerThreadMain, &client, true);
}

bool IsWorkerThread(const OBSRemoteClient& client)
{
    return client.Session.WorkerThread.load() == std::this_thread::get_id();
}
