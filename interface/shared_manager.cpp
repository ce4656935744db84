#include "interface/shared_manager.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>

#include "manager/vantorquadrelv3_manager.h"

namespace nvr::vantorquadrelv3 {

namespace {
std::shared_ptr<vantorquadrelv3_manager> manager_instance;
std::once_flag manager_once;

void create_manager()
{
    try {
        manager_instance = std::make_shared<vantorquadrelv3_manager>();
    } catch (const std::bad_alloc&) {
        // Nothing stored: the callers answer Out of Resource.
    }
}
} // namespace

std::shared_ptr<vantorquadrelv3_manager> get_shared_manager()
{
    try {
        std::call_once(manager_once, create_manager);
    } catch (...) {
        std::abort(); // the once-flag itself failed
    }
    return manager_instance;
}

} // namespace nvr::vantorquadrelv3
