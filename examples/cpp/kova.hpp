// SPDX-License-Identifier: MIT
// The C interface wrapped in RAII, header-only: a failed call throws kova::Error, and each object
// undoes what it did in the order the library needs (stop capture, stop the status thread, close,
// terminate), also when an exception leaves the scope.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"

namespace kova {

class Error : public std::runtime_error {
public:
    Error(const char* operation, KovaStatus code)
        : std::runtime_error(std::string(operation) + " answered " + std::to_string(code) + describe(code)),
          code_(code)
    {
    }
    KovaStatus code() const noexcept { return code_; }

private:
    static std::string describe(KovaStatus code)
    {
        const char* text = kova_status_text(code);
        return text != nullptr ? std::string(" (") + text + ")" : std::string();
    }
    KovaStatus code_;
};

inline KovaStatus check(const char* operation, KovaStatus code, KovaStatus also_fine = KOVA_OK)
{
    if (code != KOVA_OK && code != also_fine) throw Error(operation, code);
    return code;
}

// A field of a record: NUL-padded, with no terminator when full.
template <std::size_t N>
std::string field(const char (&bytes)[N])
{
    const void* end = std::memchr(bytes, '\0', N);
    return std::string(bytes, end != nullptr ? static_cast<const char*>(end) - bytes : N);
}

// The session: initialised for the object's lifetime. One at a time per process.
class Library {
public:
    explicit Library(unsigned log_level = 0) { check("KovaInitialize_N", KovaInitialize_N(nullptr, log_level, 0)); }
    ~Library() { KovaTerminate(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    std::vector<std::string> scanners() const
    {
        KovaDeviceEntry entries[16];
        std::uint32_t count = 16;
        KovaStatus status = KovaGetDeviceList_N(&count, entries);
        if (status == KOVA_DEVICE_UNAVAILABLE) return {};
        check("KovaGetDeviceList_N", status);
        std::vector<std::string> ids;
        for (std::uint32_t i = 0; i < count; ++i) ids.push_back(field(entries[i].sensor_id));
        return ids;
    }
};

// The gain and offset tables, released by the library when the object goes.
class UniformityTables {
public:
    explicit UniformityTables(std::uint32_t handle) : handle_(handle)
    {
        check("KovaVantorQuadrelReadUniformityBuffers", KovaVantorQuadrelReadUniformityBuffers(handle, &gain_, &offset_));
    }
    ~UniformityTables() { KovaQuadV3FreeUniformityBuffers(handle_, &gain_, &offset_); }
    UniformityTables(const UniformityTables&) = delete;
    UniformityTables& operator=(const UniformityTables&) = delete;

    const std::uint16_t* gain() const noexcept { return gain_; }
    const std::uint16_t* offset() const noexcept { return offset_; }
    static constexpr std::size_t entries = KOVA_UNIFORMITY_TABLE_ENTRIES;

private:
    std::uint32_t handle_;
    std::uint16_t* gain_ = nullptr;
    std::uint16_t* offset_ = nullptr;
};

// An open scanner, with a thread of its own on the blocking status wait. on_event gets every code
// but 0; it runs on that thread.
class Scanner {
public:
    Scanner(const std::string& sensor_id, std::function<void(KovaStatus)> on_event = nullptr)
        : on_event_(std::move(on_event))
    {
        dirty_ = check("KovaOpenDevice", KovaOpenDevice(sensor_id.c_str(), &handle_), KOVA_DIRTY_DEVICE) ==
                 KOVA_DIRTY_DEVICE;
        watcher_ = std::thread([this] { watch(); });
    }
    ~Scanner()
    {
        // The close wakes the status wait; the thread then sees the flag and ends.
        stopping_.store(true);
        KovaCloseDevice_N(handle_);
        watcher_.join();
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    std::uint32_t handle() const noexcept { return handle_; }
    bool dirty() const noexcept { return dirty_; }

    KovaDeviceInfo info() const
    {
        KovaDeviceInfo record;
        check("KovaVantorGetDeviceInfo", KovaVantorGetDeviceInfo(handle_, &record));
        return record;
    }
    void lamps(DevUIRecord record) { check("KovaVantorSetDevUI", KovaVantorSetDevUI(handle_, &record)); }

private:
    void watch()
    {
        while (!stopping_.load()) {
            KovaStatus status = KovaGetStatus(handle_);
            if (status == KOVA_NOT_INITIALIZED || stopping_.load()) return;
            if (status != KOVA_OK && on_event_) on_event_(status);
            if (status == KOVA_UNPLUGGED) return; // this handle is done with
        }
    }

    std::uint32_t handle_ = 0;
    bool dirty_ = false;
    std::function<void(KovaStatus)> on_event_;
    std::atomic<bool> stopping_{false};
    std::thread watcher_;
};

// Live capture while the object lives: on_frame gets each image's pixels, valid only during the
// call, on the device library's thread. Stopped (and the callback removed) before the object goes,
// so the function and what it refers to outlive every call.
class Capture {
public:
    using FrameFunction = std::function<void(const std::uint16_t* samples)>;
    Capture(Scanner& scanner, FrameFunction on_frame) : handle_(scanner.handle()), on_frame_(std::move(on_frame))
    {
        check("KovaRegisterQuadV3CaptureCallback", KovaRegisterQuadV3CaptureCallback(handle_, deliver, this));
        KovaStatus status = KovaVantorStartVideo(handle_);
        if (status != KOVA_OK) {
            KovaUnRegisterQuadV3CaptureCallback();
            throw Error("KovaVantorStartVideo", status);
        }
    }
    ~Capture()
    {
        KovaStopVideo(handle_);
        KovaUnRegisterQuadV3CaptureCallback();
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    static void deliver(unsigned char* pixels, void* context)
    {
        // Nothing may unwind into the device library's thread.
        try {
            // 16-bit little-endian samples, 10 significant bits, 1600 a row.
            static_cast<Capture*>(context)->on_frame_(reinterpret_cast<const std::uint16_t*>(pixels));
        } catch (...) {
        }
    }
    std::uint32_t handle_;
    FrameFunction on_frame_;
};

} // namespace kova
