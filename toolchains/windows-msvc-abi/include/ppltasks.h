// SPDX-License-Identifier: MIT
/* Minimal stand-in for the concurrency runtime's <ppltasks.h>: only what the MSVC STL's <future>
   uses for std::async(std::launch::async): Concurrency::task<void>, create_task, wait(). Each task
   runs on its own std::thread (the real one uses the Windows thread pool). */
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
namespace Concurrency {
template <class _Ty>
class task;
template <>
class task<void> {
public:
    task() = default;
    explicit task(std::function<void()> _Fn) : _State(std::make_shared<_St>()) {
        _State->_Thr = std::thread(std::move(_Fn));
    }
    void wait() const {
        if (_State) std::call_once(_State->_Once, [this] { if (_State->_Thr.joinable()) _State->_Thr.join(); });
    }
private:
    struct _St {
        std::thread _Thr;
        std::once_flag _Once;
        ~_St() { if (_Thr.joinable()) _Thr.detach(); }
    };
    std::shared_ptr<_St> _State;
};
template <class _Fn>
task<void> create_task(_Fn &&_Func) { return task<void>(std::function<void()>(std::forward<_Fn>(_Func))); }
} // namespace Concurrency
namespace concurrency = Concurrency;
