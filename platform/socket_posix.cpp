// SPDX-License-Identifier: MIT
// Non-blocking loopback sockets for the stand-in's panel, on POSIX systems.
#include "platform/socket.h"

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nvr::vantorquadrelv3::platform {

Socket socket_listen_loopback(int port, int* bound_port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) return no_socket;
    // SO_REUSEADDR without SO_REUSEPORT: a restart may bind while old connections linger, and no
    // second process may share the port.
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 64) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return no_socket;
    }
    *bound_port = ntohs(address.sin_port);
    return listener;
}

Socket socket_accept(Socket listener)
{
    const int connection = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return connection < 0 ? no_socket : connection;
}

long long socket_read(Socket socket, char* buffer, std::size_t size)
{
    const ssize_t got = ::recv(static_cast<int>(socket), buffer, size, 0);
    if (got >= 0) return got;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? socket_would_block : socket_failed;
}

long long socket_write(Socket socket, const char* data, std::size_t size)
{
    // A peer gone meanwhile must not end the process with SIGPIPE.
    const ssize_t put = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
    if (put >= 0) return put;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? socket_would_block : socket_failed;
}

void socket_close(Socket socket)
{
    ::close(static_cast<int>(socket));
}

void socket_wait(std::vector<SocketWait>& sockets, int timeout_ms)
{
    std::vector<pollfd> polled(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i)
        polled[i] = pollfd{static_cast<int>(sockets[i].socket),
                           static_cast<short>(sockets[i].for_writing ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(polled.data(), polled.size(), timeout_ms);
    for (std::size_t i = 0; i < sockets.size(); ++i) sockets[i].ready = ready > 0 && polled[i].revents != 0;
}

} // namespace nvr::vantorquadrelv3::platform
