// SPDX-License-Identifier: MIT
// The panel's sockets made the process's own, on POSIX systems.
#include "platform/socket.h"

#include <fcntl.h>
#include <sys/socket.h>

namespace nvr::vantorquadrelv3::platform {

bool socket_make_own(std::intptr_t native_socket, bool listener)
{
    const int socket = static_cast<int>(native_socket);
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    // SO_REUSEADDR without SO_REUSEPORT: a restart binds past lingering connections, and nobody
    // else may share the port.
    int yes = 1;
    return !listener || ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0;
}

} // namespace nvr::vantorquadrelv3::platform
