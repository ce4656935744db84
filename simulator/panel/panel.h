// SPDX-License-Identifier: MIT
// The virtual scanner panel: a page on the loopback address that shows what applications do to the
// stand-in's scanners, live, and lets a developer unplug, sleep or fault them.
#pragma once

#include <string>

namespace vqsim {

// Serves the panel on "127.0.0.1:PORT" (PORT 0: any free port). Returns the port, or -1 after one
// line on standard error (another address, a port in use, a stand-in built without the panel).
// A panel already running is kept, and its port returned.
int start_panel(const std::string& address);
// Ends the panel's thread and every request in flight; nothing listens afterwards.
void stop_panel();

// The state the page shows, as JSON: the scanners and the journal of notable calls and events.
std::string panel_state();

} // namespace vqsim
