// SPDX-License-Identifier: MIT
// The panel's sockets made the process's own, on Windows (Winsock).
#include "platform/socket.h"

#include <winsock2.h>

namespace nvr::vantorquadrelv3::platform {

bool socket_make_own(std::intptr_t native_socket, bool listener)
{
    const SOCKET socket = static_cast<SOCKET>(native_socket);
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    // Windows lets a second socket take over a port unless the first claims it exclusively.
    BOOL yes = TRUE;
    return !listener || ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                                     sizeof yes) == 0;
}

} // namespace nvr::vantorquadrelv3::platform
