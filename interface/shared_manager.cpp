// SPDX-License-Identifier: MIT
// The process's one manager: created on first use and never handed back.
#include "interface/shared_manager.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "manager/vantorquadrelv3_manager.h"
#include "platform/platform.h"

namespace nvr::vantorquadrelv3 {

namespace {
// The manager's memory is never handed back: the device library's threads hold its address and may
// still call in while the process exits, after static destruction has destroyed the manager.
alignas(vantorquadrelv3_manager) unsigned char manager_storage[sizeof(vantorquadrelv3_manager)];
std::atomic<bool> released{false};
std::shared_ptr<vantorquadrelv3_manager> manager_instance;
platform::OnceFlag manager_once;

void release_manager(vantorquadrelv3_manager* manager) noexcept
{
    released.store(true);
    manager->~vantorquadrelv3_manager();
}

void create_manager()
{
    try {
        auto* manager = new (manager_storage) vantorquadrelv3_manager;
        // On a failed allocation the shared pointer releases the manager itself.
        manager_instance = std::shared_ptr<vantorquadrelv3_manager>(manager, release_manager);
    } catch (...) {
        // Nothing stored (no memory, or no mutex to be had): the callers answer Out of Resource.
    }
}
} // namespace

std::shared_ptr<vantorquadrelv3_manager> get_shared_manager()
{
    if (!platform::run_once(manager_once, create_manager)) std::abort(); // the once-flag itself failed
    if (released.load()) return nullptr; // the process is exiting
    return manager_instance;
}

bool manager_released() noexcept
{
    return released.load();
}

} // namespace nvr::vantorquadrelv3
