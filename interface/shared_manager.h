/* SPDX-License-Identifier: MIT */
// The process's one manager, shared by every exported function.
#pragma once

#include <memory>

namespace nvr::vantorquadrelv3 {

class vantorquadrelv3_manager;

// The one manager, created on first use and kept until the library is unloaded.
// Empty only when creating it failed for lack of memory.
std::shared_ptr<vantorquadrelv3_manager> get_shared_manager();

// True once static destruction has begun to destroy the manager: what the device library still
// calls then is answered without touching it.
bool manager_released() noexcept;

} // namespace nvr::vantorquadrelv3
