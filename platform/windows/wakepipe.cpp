#include "platform/wakepipe.h"

#include <QtGlobal>
#include <winsock2.h>
#include <ws2tcpip.h>

// QSocketNotifier watches sockets only on Windows, so the pipe is a pair of
// connected loopback sockets. Socket handles are small kernel handle values,
// which an int holds.

namespace {

void startWinsock()
{
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        qFatal("no sockets for worker results");
}

SOCKET newSocket()
{
    // Not inherited: a tool started meanwhile must not keep an end open.
    return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

bool makePair(SOCKET *reading, SOCKET *writing)
{
    const SOCKET listener = newSocket();
    if (listener == INVALID_SOCKET)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    const auto where = reinterpret_cast<sockaddr *>(&address);
    bool made = bind(listener, where, sizeof address) == 0 && listen(listener, 1) == 0
        && getsockname(listener, where, &length) == 0;
    *writing = made ? newSocket() : INVALID_SOCKET;
    made = *writing != INVALID_SOCKET && connect(*writing, where, sizeof address) == 0;
    *reading = made ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    closesocket(listener);
    if (*reading == INVALID_SOCKET) {
        if (*writing != INVALID_SOCKET)
            closesocket(*writing);
        return false;
    }
    // Another program may have connected to the port first: the accepted
    // socket must be the other end of this one.
    sockaddr_in writer{}, peer{};
    int writerLength = sizeof writer, peerLength = sizeof peer;
    const bool paired = getsockname(*writing, reinterpret_cast<sockaddr *>(&writer), &writerLength) == 0
        && getpeername(*reading, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0
        && writer.sin_port == peer.sin_port && writer.sin_addr.s_addr == peer.sin_addr.s_addr;
    SetHandleInformation(reinterpret_cast<HANDLE>(*reading), HANDLE_FLAG_INHERIT, 0);
    u_long nonBlocking = 1;
    const BOOL noDelay = TRUE;
    if (!paired || ioctlsocket(*reading, FIONBIO, &nonBlocking) != 0
        || ioctlsocket(*writing, FIONBIO, &nonBlocking) != 0
        || setsockopt(*writing, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
                      sizeof noDelay)
            != 0) {
        closesocket(*reading);
        closesocket(*writing);
        return false;
    }
    return true;
}

} // namespace

Platform::WakePipe::WakePipe()
{
    startWinsock();
    SOCKET reading = INVALID_SOCKET, writing = INVALID_SOCKET;
    bool made = false;
    for (int attempt = 0; attempt < 3 && !made; ++attempt)
        made = makePair(&reading, &writing);
    if (!made)
        qFatal("no socket pair for worker results");
    m_ends[0] = int(reading);
    m_ends[1] = int(writing);
}

Platform::WakePipe::~WakePipe()
{
    for (int end : m_ends)
        closesocket(SOCKET(end));
}

void Platform::WakePipe::wake()
{
    // A full buffer already holds a wake-up.
    const char byte = 1;
    send(SOCKET(m_ends[1]), &byte, 1, 0);
}

void Platform::WakePipe::drain()
{
    char bytes[256];
    while (recv(SOCKET(m_ends[0]), bytes, sizeof bytes, 0) > 0) {
    }
}
