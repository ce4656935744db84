// A stand-in built without a web server (no cpp-httplib for this target): no panel.
#include <cstdio>

#include "simulator/panel/panel.h"

namespace vqsim {

int start_panel(const std::string&)
{
    std::fprintf(stderr, "VQUAD stand-in: this build of the stand-in has no panel\n");
    std::fflush(stderr);
    return -1;
}

void stop_panel() {}

} // namespace vqsim
