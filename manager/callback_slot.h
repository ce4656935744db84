// SPDX-License-Identifier: MIT
// A callback and its context in one slot that the device library's threads read without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace nvr::vantorquadrelv3 {

// A callback and its context, written together and read together without a lock
// (a sequence lock): a reader never pairs a new callback with an old context or the reverse.
// Readers never block writers; a reader retries only while a store is in flight.
template <class Function>
class CallbackSlot {
public:
    struct Pair {
        Function callback;
        void* context;
    };

    void store(Function callback, void* context)
    {
        std::uint32_t even = sequence_.load(std::memory_order_relaxed);
        // Writers take the slot by moving the sequence from even to odd.
        for (;;) {
            even &= ~1u;
            if (sequence_.compare_exchange_weak(even, even + 1, std::memory_order_acq_rel,
                                                std::memory_order_relaxed))
                break;
        }
        // Release stores keep the odd sequence ahead of the new values for any reader that sees them.
        callback_.store(callback, std::memory_order_release);
        context_.store(context, std::memory_order_release);
        sequence_.store(even + 2, std::memory_order_release);
    }

    Pair load() const
    {
        for (;;) {
            std::uint32_t before = sequence_.load(std::memory_order_acquire);
            // Acquire loads keep the second sequence read after them.
            Pair pair{callback_.load(std::memory_order_acquire), context_.load(std::memory_order_acquire)};
            if ((before & 1u) == 0 && sequence_.load(std::memory_order_relaxed) == before) return pair;
        }
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<Function> callback_{nullptr};
    std::atomic<void*> context_{nullptr};
};

} // namespace nvr::vantorquadrelv3
