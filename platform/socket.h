// SPDX-License-Identifier: MIT
// What the stand-in's panel needs of each OS's sockets beyond what Boost.Asio does for it.
#pragma once

#include <cstdint>

namespace nvr::vantorquadrelv3::platform {

// Makes a socket the process's own: no child process inherits it. For a listener, before it binds,
// also no other socket may share its port (a restart may still bind while old connections linger).
// False when the OS refuses the port's claim.
bool socket_make_own(std::intptr_t native_socket, bool listener);

} // namespace nvr::vantorquadrelv3::platform
