// SPDX-License-Identifier: MIT
// Non-blocking loopback sockets for the stand-in's panel, on Windows (Winsock).
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace nvr::vantorquadrelv3::platform {

namespace {
// Windows Sockets are started once for the process and left running until it ends.
bool sockets_started()
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool non_blocking(SOCKET socket)
{
    u_long yes = 1;
    return ::ioctlsocket(socket, FIONBIO, &yes) == 0;
}

long long would_block_or_failed()
{
    const int error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? socket_would_block : socket_failed;
}
} // namespace

Socket socket_listen_loopback(int port, int* bound_port)
{
    if (!sockets_started()) return no_socket;
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return no_socket;
    // Nobody else may bind the port while the panel has it.
    BOOL yes = TRUE;
    ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int length = sizeof address;
    if (!non_blocking(listener) || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(listener);
        return no_socket;
    }
    *bound_port = ntohs(address.sin_port);
    return static_cast<Socket>(listener);
}

Socket socket_accept(Socket listener)
{
    const SOCKET connection = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (connection == INVALID_SOCKET) return no_socket;
    if (!non_blocking(connection)) {
        ::closesocket(connection);
        return no_socket;
    }
    return static_cast<Socket>(connection);
}

long long socket_read(Socket socket, char* buffer, std::size_t size)
{
    const int got = ::recv(static_cast<SOCKET>(socket), buffer, size > 65536 ? 65536 : static_cast<int>(size), 0);
    return got >= 0 ? got : would_block_or_failed();
}

long long socket_write(Socket socket, const char* data, std::size_t size)
{
    const int put = ::send(static_cast<SOCKET>(socket), data, size > 65536 ? 65536 : static_cast<int>(size), 0);
    return put >= 0 ? put : would_block_or_failed();
}

void socket_close(Socket socket)
{
    ::closesocket(static_cast<SOCKET>(socket));
}

void socket_wait(std::vector<SocketWait>& sockets, int timeout_ms)
{
    std::vector<WSAPOLLFD> polled(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i)
        polled[i] = WSAPOLLFD{static_cast<SOCKET>(sockets[i].socket),
                              static_cast<SHORT>(sockets[i].for_writing ? POLLOUT : POLLRDNORM), 0};
    const int ready = polled.empty() ? 0 : ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeout_ms);
    if (polled.empty()) ::Sleep(static_cast<DWORD>(timeout_ms));
    for (std::size_t i = 0; i < sockets.size(); ++i) sockets[i].ready = ready > 0 && polled[i].revents != 0;
}

} // namespace nvr::vantorquadrelv3::platform
