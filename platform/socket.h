// SPDX-License-Identifier: MIT
// Loopback TCP sockets for the stand-in's panel: non-blocking, waited on all at once, so that one
// thread serves every client and nothing ever blocks on a slow one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nvr::vantorquadrelv3::platform {

using Socket = std::intptr_t;
constexpr Socket no_socket = -1;

// Listens on 127.0.0.1:port (0: any free port) alone: no other socket may share the port. Sets
// *bound_port; no_socket when the port cannot be had.
Socket socket_listen_loopback(int port, int* bound_port);
// A waiting connection, non-blocking; no_socket when none waits.
Socket socket_accept(Socket listener);

constexpr long long socket_would_block = -1;
constexpr long long socket_failed = -2;
// Bytes read (0: the peer has closed), or socket_would_block, or socket_failed.
long long socket_read(Socket socket, char* buffer, std::size_t size);
// Bytes written, or socket_would_block, or socket_failed.
long long socket_write(Socket socket, const char* data, std::size_t size);
void socket_close(Socket socket);

struct SocketWait {
    Socket socket;
    bool for_writing; // else for reading (or a connection to accept)
    bool ready;       // set by socket_wait: readable, writable, closed or failed
};
// Waits until one of the sockets is ready or timeout_ms has passed.
void socket_wait(std::vector<SocketWait>& sockets, int timeout_ms);

} // namespace nvr::vantorquadrelv3::platform
