// SPDX-License-Identifier: MIT
// Sets a variable in this process's environment, as the C runtime of the platform spells it.
#pragma once

#include <cstdlib>
#include <string>

inline void set_environment(const char* name, const std::string& value)
{
#if defined(_WIN32)
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}
