// SPDX-License-Identifier: MIT
// The stand-in's own threads. A teardown reached from one of them (an application's callback that
// terminates) must not wait for the stand-in's threads: it may be one of them, or be what they wait for.
#pragma once

#include <thread>
#include <utility>

namespace vqsim {

inline thread_local bool on_own_thread = false;

// A thread of the stand-in's: marked as such, then runs work.
template <class Work>
std::thread own_thread(Work work)
{
    return std::thread([work = std::move(work)]() mutable {
        on_own_thread = true;
        work();
    });
}

} // namespace vqsim
