// The few socket calls the simulator makes itself, beside libwebsockets, spelled for both
// platforms: Winsock on Windows, BSD sockets elsewhere.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

// Winsock must be started before the first socket call, which may come before any
// libwebsockets context has started it; the counts balance per process, so a second
// start is harmless.
inline const bool SimWinsockStarted = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();

inline int SimCloseSocket(int socket) { return closesocket(static_cast<SOCKET>(socket)); }
inline int SimPoll(pollfd* fds, unsigned long count, int timeoutMs) { return WSAPoll(fds, count, timeoutMs); }
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 // Winsock raises no signal on a broken connection
#endif
#ifndef SOCK_CLOEXEC
#define SOCK_CLOEXEC 0 // Winsock handles are not inherited by child programs unless asked
#endif
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

inline int SimCloseSocket(int socket) { return ::close(socket); }
inline int SimPoll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
#endif
