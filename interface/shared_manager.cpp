#include "interface/shared_manager.h"

#include <cstdlib>
#include <new>

#include "manager/vantorquadrelv3_manager.h"
#include "platform/platform.h"

namespace nvr::vantorquadrelv3 {

namespace {
std::shared_ptr<vantorquadrelv3_manager> manager_instance;
platform::OnceFlag manager_once;

void create_manager()
{
    try {
        manager_instance = std::make_shared<vantorquadrelv3_manager>();
    } catch (...) {
        // Nothing stored (no memory, or no mutex to be had): the callers answer Out of Resource.
    }
}
} // namespace

std::shared_ptr<vantorquadrelv3_manager> get_shared_manager()
{
    if (!platform::run_once(manager_once, create_manager)) std::abort(); // the once-flag itself failed
    return manager_instance;
}

} // namespace nvr::vantorquadrelv3
