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

#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/receive_assembler.h"
#include "client/scene_model.h"
#include "support/portable_lock.h"

namespace {

// How long a stop waits for the connection to take its close frame; a peer that has stopped
// reading is cut off after this.
constexpr lws_usec_t CloseLimit = 100 * LWS_US_PER_MS;
// How often the wire protocol's Tick runs while the connection is open (it polls statistics
// every few seconds, so a tenth of a second is precise enough and wakes the worker seldom).
constexpr lws_usec_t WireTickInterval = 100 * LWS_US_PER_MS;
// Sockets a session's context may hold (see RunSession).
constexpr unsigned SessionFdLimit = 16;

struct SessionRun;

// A one-shot timer of the session; the timer callback finds its SessionRun through it.
struct SessionTimer {
    lws_sorted_usec_list_t Sul; // first member: the callback gets its address
    SessionRun* Run;
};

// What the session's callback needs; it lives exactly as long as the context, whose user
// pointer it is.
struct SessionRun {
    explicit SessionRun(OBSRemoteClient& client) : Client(client), Assembler(client.Session.ReceiveBuffer) {}

    OBSRemoteClient& Client;
    lws_context* Context = nullptr;
    lws* Pending = nullptr;     // the connection being made, until it is established or gone
    lws* Wsi = nullptr;         // the established connection
    bool Open = false;          // Wsi may be written to
    bool Starting = true;       // still trying the addresses in turn (StartConnection)
    bool TcpConnected = false;  // the current attempt got as far as sending its handshake
    bool AttemptFailed = false; // the current attempt ended
    bool Closing = false;       // a stop was seen: the close handshake is under way
    bool Destroying = false;    // the context is being destroyed: leave the client alone
    bool Ended = false;         // the service loop is to end, for the reason in Why
    bool CloseWritten = false;  // our close frame went out on Wsi
    unsigned Delivered = 0;     // complete messages received in the current service pass
    SessionEnd Why = SessionEnd::Stopped;
    SessionTimer HandshakeTimer{};
    SessionTimer CloseTimer{};
    SessionTimer WireTimer{};
    ReceiveAssembler Assembler;
    std::vector<unsigned char> WriteBuffer;
};

// Every way a running session can end comes here; the first reason counts. A timer's
// callback runs inside the library's wait, which would otherwise go on waiting for the next
// socket event; the wake makes the loop see the end at once.
void EndSession(SessionRun& run, SessionEnd why)
{
    if (!run.Ended) {
        run.Ended = true;
        run.Why = why;
        if (run.Context != nullptr) {
            lws_cancel_service(run.Context);
        }
    }
}

SessionRun* RunOfTimer(lws_sorted_usec_list_t* sul) { return reinterpret_cast<SessionTimer*>(sul)->Run; }

void Schedule(SessionRun& run, SessionTimer& timer, sul_cb_t callback, lws_usec_t after)
{
    timer.Run = &run;
    lws_sul_schedule(run.Context, 0, &timer.Sul, callback, after);
}

void Cancel(SessionRun& run, SessionTimer& timer, sul_cb_t callback)
{
    lws_sul_schedule(run.Context, 0, &timer.Sul, callback, LWS_SET_TIMER_USEC_CANCEL);
}

// The plug-in answers a handshake in well under a second; one that has not completed in
// the client's limit will not.
void OnHandshakeLimit(lws_sorted_usec_list_t* sul)
{
    SessionRun& run = *RunOfTimer(sul);
    if (run.Open) {
        return;
    }
    if (run.Starting) {
        run.AttemptFailed = true;
    }
    EndSession(run, SessionEnd::HandshakeTimedOut);
}

void OnCloseLimit(lws_sorted_usec_list_t* sul) { EndSession(*RunOfTimer(sul), SessionEnd::Stopped); }

void OnWireTick(lws_sorted_usec_list_t* sul)
{
    SessionRun& run = *RunOfTimer(sul);
    if (!run.Open || run.Closing || run.Ended || run.Destroying) {
        return;
    }
    run.Client.Wire().Tick(run.Client);
    Schedule(run, run.WireTimer, OnWireTick, WireTickInterval);
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
    if (run.CloseWritten) {
        return; // what the peer sent before it saw our close: the session is over for it
    }
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
    ++run.Delivered;
    // The message is zero-terminated by its buffer; anything after the first complete JSON
    // value is ignored, and a text that is not JSON is dropped without a word.
    json_t* message = json_loads(run.Assembler.Message().c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
    if (message == nullptr) {
        return;
    }
    run.Client.Wire().Received(run.Client, message);
    json_decref(message);
}

// A handler of "Connected" may disconnect at once (on this thread): then the opening
// requests are not sent and "Ready" is not raised.
void OpenSession(SessionRun& run, lws* wsi)
{
    OBSRemoteClient& client = run.Client;
    Cancel(run, run.HandshakeTimer, OnHandshakeLimit);
    run.Pending = nullptr;
    run.Wsi = wsi;
    run.Open = true;
    client.Session.Connection = wsi;
    if (!client.MoveState(Connecting, Connected) || !client.IsConnected()) {
        return;
    }
    client.Wire().Opened(client);
    if (client.Wire().Ticks()) {
        Schedule(run, run.WireTimer, OnWireTick, WireTickInterval);
    }
    lws_callback_on_writable(wsi);
}

// The close frame with status 1000 goes out as the session's last write. The session ends
// when the peer answers it with its own close frame or closes the connection, or at the
// close limit: a socket closed while the peer may still send is reset, and a peer on
// Windows then drops what it had not read yet, our close frame among it. The answer takes a
// round trip; a peer that does not answer costs CloseLimit.
void WriteClose(SessionRun& run)
{
    unsigned char frame[LWS_PRE + 2];
    frame[LWS_PRE] = static_cast<unsigned char>(LWS_CLOSE_STATUS_NORMAL >> 8);
    frame[LWS_PRE + 1] = static_cast<unsigned char>(LWS_CLOSE_STATUS_NORMAL & 0xff);
    // The library's close opcode (4), which its public enum leaves out for lws_close_reason.
    if (lws_write(run.Wsi, frame + LWS_PRE, 2, static_cast<lws_write_protocol>(4)) < 0) {
        EndSession(run, SessionEnd::Stopped);
        return;
    }
    run.CloseWritten = true;
}

// When the close limit cut a silent peer off, what it sent meanwhile is read and dropped
// before the socket closes, for the same reason.
void DropUnread(SessionRun& run)
{
    if (!run.CloseWritten || run.Wsi == nullptr) {
        return;
    }
    const lws_sockfd_type fd = lws_get_socket_fd(run.Wsi);
    char scrap[4096];
    // The socket does not block; a peer that keeps sending is not waited for.
    for (int round = 0; round < 64 && recv(fd, scrap, sizeof(scrap), 0) > 0; ++round) {
    }
}

// Whether more of the peer's data already waits: inside the library (a decompressed message
// still being handed out, or bytes it buffered), or in the socket (or the peer closed). Then
// the next pass reads at once. The socket does not block.
bool UnreadWaiting(SessionRun& run)
{
    if (lws_service_adjust_timeout(run.Context, 1, 0) == 0) {
        return true;
    }
    char next;
    return recv(lws_get_socket_fd(run.Wsi), &next, 1, MSG_PEEK) >= 0;
}

// After a pass that delivered messages: during a flood the worker leaves the socket
// unread a little while, so that its next pass reads many messages in one go.
void PaceReading(SessionRun& run)
{
    if (!run.Open || run.Closing || run.Ended || run.Wsi == nullptr) {
        return;
    }
    ReadPacing& pacing = run.Client.Session.Pacing;
    const int64_t pause = pacing.PauseAfterPass(lws_now_usecs());
    if (pause == 0 || UnreadWaiting(run)) {
        return;
    }
    pacing.Pause(pause);
    pacing.Resumed(lws_now_usecs());
}

// A stop ends a session without a connection at once; an open connection is sent a close
// with status 1000 first, so the plug-in sees a clean close. The close is written on the
// connection's next writeable event.
void BeginClose(SessionRun& run)
{
    run.Closing = true;
    if (!run.Open || run.Wsi == nullptr) {
        EndSession(run, SessionEnd::Stopped);
        return;
    }
    Schedule(run, run.CloseTimer, OnCloseLimit, CloseLimit);
    lws_callback_on_writable(run.Wsi);
}

// The pending connection or the established one is gone, however the library ended it.
void ConnectionGone(SessionRun& run)
{
    bool wasOpen = run.Open;
    run.Open = false;
    if (run.Starting) {
        run.AttemptFailed = true;
        return;
    }
    EndSession(run, run.Closing ? SessionEnd::Stopped : wasOpen ? SessionEnd::PeerClosed : SessionEnd::HandshakeFailed);
}

int SessionCallback(lws* wsi, enum lws_callback_reasons reason, void*, void* in, size_t length)
{
    SessionRun* run = RunOf(wsi);
    if (run == nullptr || run->Destroying) {
        return 0;
    }
    OBSRemoteClient& client = run->Client;
    // While addresses are tried, the one connection there is is the attempt.
    bool ours = run->Starting || wsi == run->Wsi || wsi == run->Pending;
    switch (reason) {
    case LWS_CALLBACK_CLIENT_APPEND_HANDSHAKE_HEADER:
        run->TcpConnected = true;
        break;
    case LWS_CALLBACK_CLIENT_CONNECTION_ERROR:
    case LWS_CALLBACK_CLOSED:
    case LWS_CALLBACK_CLIENT_CLOSED:
        if (ours) {
            ConnectionGone(*run);
        }
        break;
    case LWS_CALLBACK_WSI_DESTROY:
        if (ours) {
            ConnectionGone(*run);
            if (wsi == run->Wsi) {
                run->Wsi = nullptr;
            }
            if (wsi == run->Pending) {
                run->Pending = nullptr;
            }
        }
        break;
    case LWS_CALLBACK_CLIENT_ESTABLISHED:
        OpenSession(*run, wsi);
        break;
    case LWS_CALLBACK_CLIENT_RECEIVE:
        Receive(*run, wsi, in, length);
        break;
    case LWS_CALLBACK_WS_PEER_INITIATED_CLOSE:
        if (run->CloseWritten && wsi == run->Wsi) {
            // The answer to our close: the peer sends nothing after it.
            EndSession(*run, SessionEnd::Stopped);
            return -1;
        }
        // The close frame's payload: a two-byte code in network order, then the reason.
        if (length >= 2 && in != nullptr) {
            const unsigned char* payload = static_cast<const unsigned char*>(in);
            uint16_t code = static_cast<uint16_t>((payload[0] << 8) | payload[1]);
            client.Wire().PeerClosing(client, code, reinterpret_cast<const char*>(payload + 2), length - 2);
        }
        break;
    case LWS_CALLBACK_CLIENT_WRITEABLE:
        if (!run->Open || wsi != run->Wsi) {
            break;
        }
        if (run->Closing) {
            if (!run->CloseWritten) {
                WriteClose(*run);
            }
            break;
        }
        WriteNext(*run);
        break;
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED:
        // A request was queued from another thread, or a stop is asked for (the service
        // loop sees that once this pass returns).
        if (run->Open && !run->Closing && HaveQueued(client)) {
            lws_callback_on_writable(run->Wsi);
        }
        break;
    default:
        break;
    }
    return 0;
}

// One entry per wire protocol, named by its sub-protocol: the library binds the connection to
// the entry whose name the peer accepted.
const lws_protocols SessionProtocols[] = {
    {"obsapi", SessionCallback, 0, 4096, 0, nullptr, 0},
    {"obswebsocket.json", SessionCallback, 0, 4096, 0, nullptr, 0},
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
    const uint16_t port = EffectivePort(settings);
    const std::string hostHeader = HostHeader(settings.Host);
    for (const std::string& address : PeerAddresses(settings.Host, port)) {
        run.TcpConnected = false;
        run.AttemptFailed = false;

        lws_client_connect_info info;
        std::memset(&info, 0, sizeof(info));
        info.context = run.Context;
        info.address = address.c_str();
        info.port = port;
        info.ssl_connection = 0;
        info.path = SessionPath;
        info.host = hostHeader.c_str();
        info.origin = nullptr;
        info.protocol = client.Wire().SubProtocol();
        info.ietf_version_or_minus_one = -1;
        lws* wsi = lws_client_connect_via_info(&info);
        if (wsi == nullptr) {
            continue;
        }
        if (!run.AttemptFailed) {
            run.Pending = wsi;
        }
        while (!run.TcpConnected && !run.AttemptFailed && !StopAsked(client)) {
            if (lws_service(run.Context, 0) < 0) {
                run.AttemptFailed = true;
            }
        }
        if (run.TcpConnected || StopAsked(client)) {
            return true;
        }
        if (run.Ended) {
            return false; // out of time
        }
    }
    return false;
}

} // namespace

void WakeSessionLocked(OBSRemoteClient& client)
{
    if (client.Session.WakeContext != nullptr) {
        lws_cancel_service(client.Session.WakeContext);
        client.Session.Pacing.Wake();
    }
}

void WakeSession(OBSRemoteClient& client)
{
    CWinLock guard(&client.Session.SendLock);
    WakeSessionLocked(client);
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

// The worker sleeps in the library's wait until a socket event, one of the session's
// timers, or a wake (a queued request, a stop) arrives; nothing polls.
void RunSession(OBSRemoteClient& client)
{
    SilenceLibraryLog();
    // The session speaks the protocol its settings name, until the next session starts.
    client.Protocol.store(client.Session.Settings.Protocol);
    client.ChooseWire();
    {
        CWinLock guard(&client.Session.SendLock);
        client.Session.SendQueue.clear();
    }
    if (StopAsked(client)) {
        client.SessionEnded(SessionEnd::Stopped);
        return;
    }

    client.Session.Pacing.Restart();
    SessionRun* run = new SessionRun(client);
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof(info));
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.protocols = SessionProtocols;
    info.extensions = SessionExtensions;
    info.gid = -1;
    info.uid = -1;
    info.user = run;
    // One connection at a time, the attempt before it closing, and the library's wake pipe.
    // Without a limit the library sizes its tables by the process's file limit, and making
    // and destroying them costs more than the rest of a Disconnect.
    info.fd_limit_per_thread = SessionFdLimit;
    lws_context* context = lws_create_context(&info);
    if (context == nullptr) {
        delete run;
        client.Print("Creating libwebsocket context failed\n");
        client.SessionEnded(SessionEnd::StartFailed);
        return;
    }
    run->Context = context;
    client.Session.Context = context;
    {
        CWinLock guard(&client.Session.SendLock);
        client.Session.WakeContext = context;
    }
    Schedule(*run, run->HandshakeTimer, OnHandshakeLimit,
             static_cast<lws_usec_t>(client.HandshakeLimitMs) * LWS_US_PER_MS);

    if (!StartConnection(*run)) {
        {
            CWinLock guard(&client.Session.SendLock);
            client.Session.WakeContext = nullptr;
        }
        Cancel(*run, run->HandshakeTimer, OnHandshakeLimit);
        client.Print("libwebsocket connect failed\n");
        client.SessionEnded(SessionEnd::StartFailed);
        return;
    }
    run->Starting = false;
    if (run->AttemptFailed) {
        EndSession(*run, SessionEnd::HandshakeFailed);
    }
    if (!StopAsked(client)) {
        client.Print("Waiting for connect...\n");
    }

    while (!run->Ended) {
        if (StopAsked(client) && !run->Closing) {
            BeginClose(*run);
            continue;
        }
        run->Delivered = 0;
        if (lws_service(context, 0) < 0) {
            EndSession(*run, SessionEnd::ServiceFailed);
        }
        if (run->Delivered != 0 && !StopAsked(client)) {
            PaceReading(*run);
        }
    }

    SessionEnd why = run->Why;
    DropUnread(*run);
    DestroySessionContext(client);
    client.SessionEnded(why);
}

namespace {
// The client whose worker runs on this thread, if any.
thread_local const OBSRemoteClient* WorkerOfThisThread = nullptr;
} // namespace

bool OBSRemoteClient::OnWorkerThread() const { return WorkerOfThisThread == this; }

uint32_t HVE_THREADCALL WorkerThreadMain(void* threadObject)
{
    CPlatformThread* thread = static_cast<CPlatformThread*>(threadObject);
    CWinLock guard(&thread->ThreadLock);
    OBSRemoteClient& client = *static_cast<OBSRemoteClient*>(thread->ThreadParameter);
    WorkerOfThisThread = &client;
    thread->Started.store(true);
    thread->IsRunning.store(true);
    RunSessions(client);
    WorkerOfThisThread = nullptr;
    thread->IsRunning.store(false);
    return 0;
}

void StartWorker(OBSRemoteClient& client, const ConnectionSettings& settings)
{
    client.Session.Settings = settings;
    client.Worker.Start(WorkerThreadMain, &client, true);
}

