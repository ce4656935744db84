// SPDX-License-Identifier: MIT
// What a recorded session showed, kept as a scenario for the stand-in and written whole to
// VQREC_OUT through the scenario codec. Application calls and notifications update it under a lock; capture threads only hand
// it notes through a lock-free list. A thread of its own writes the file after each change, and it
// is written at once at uninitialize, at destroy_instance and at exit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "simulator/recorder/frame_path.h"
#include "simulator/scenario/scenario.h"

namespace vqrec {

using Celdra::TFTManager::ParameterPair;

class Session {
public:
    static Session& instance();

    void initialized();
    void listening(); // the application's notification callback is in place: event times count from here
    // A device-library call and its answer; failures the scanner's state does not explain become fault rules.
    // A call on a handle not open, or on an asleep scanner, fails by the scanner's state alone.
    void answered(const char* operation, TFT_Status status, const std::uint32_t* handle = nullptr);
    void listed(const std::vector<Celdra::TFTManager::TFTSensorClass>& sensors);
    void opened(const std::string& sensor_id, std::uint32_t handle, TFT_Status status);
    void closed(std::uint32_t handle);
    void serial_number(std::uint32_t handle, const std::string& serial_number);
    void descriptors(std::uint32_t handle, const std::string& first, const std::string& second,
                     const std::string& third);
    void pia(std::uint32_t handle, std::uint16_t block, const std::vector<std::uint8_t>& bytes);
    void parameter_read(std::uint32_t handle, const ParameterPair& parameter);
    void parameters_set(std::uint32_t handle, const std::vector<ParameterPair>& parameters);
    void rebooted(std::uint32_t handle);
    void calibration(std::uint32_t handle, const char* which, const std::uint8_t* data, std::uint32_t stride,
                     std::uint32_t height);
    // The track a capture of this handle counts its frames on; it lives as long as the process.
    Track* capture_starting(std::uint32_t handle);
    void capture_started(Track* track, bool running);
    void capture_stopped(std::uint32_t handle);
    void plug_event(const std::string& serial_number, bool attached);
    void power_event(const std::string& serial_number, bool asleep);
    void log_event(const std::string& text);
    // From a capture thread: never waits.
    void frame_noted(Track& track, std::uint64_t frame, const TFT_ImageClass& image, TFT_Status status);
    // Writes the file now, with everything noted so far.
    void write();
    void write_at_exit();

private:
    using clock = std::chrono::steady_clock;
    struct Note {
        Track* track;
        std::uint64_t frame;
        TFT_Status status;
        std::vector<std::uint8_t> image; // a kept image, whole
        Note* next = nullptr;
    };
    struct Unplug {
        std::size_t event;
        clock::time_point when;
    };

    Session();
    void run();
    void changed_locked();
    void drain_locked();
    void note_locked(Note& note);
    void event_locked(vqsim::TimelineEvent event, Track* track);
    template <class Update>
    void learned(std::uint32_t handle, Update update);
    std::string sensor_of_locked(std::uint32_t handle) const;
    std::string sensor_by_serial_locked(const std::string& serial_number) const;
    std::string device_event_locked(const std::string& serial_number);
    Track& track_locked(const std::string& sensor_id);
    vqsim::ScenarioScanner& scanner_locked(const std::string& sensor_id);
    std::string file_name(const std::string& sensor_id, const std::string& what) const;
    void write_snapshot(std::unique_lock<std::mutex>& lock, bool exiting = false);

    std::string out_, folder_, base_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool changed_ = false;
    std::uint64_t generation_ = 0;
    std::mutex file_mutex_;
    std::uint64_t written_ = 0;
    std::atomic<Note*> notes_{nullptr};

    std::vector<vqsim::ScenarioScanner> scanners_;
    std::vector<vqsim::FaultRule> faults_;
    std::vector<vqsim::TimelineEvent> timeline_;
    std::uint64_t dropped_ = 0; // events and rules past the stand-in's limits
    clock::time_point started_ = clock::now();
    bool listening_ = false;
    std::map<std::uint32_t, std::string> handles_;
    std::map<std::string, std::unique_ptr<Track>> tracks_;
    std::map<std::string, std::uint64_t> calls_, last_failure_;
    std::map<std::string, vqsim::ScenarioCalibration> calibrations_; // by sensor, until both images are in
    std::map<std::string, std::set<std::uint32_t>> parameters_set_;
    std::set<std::string> broken_now_, asleep_;
    std::map<std::string, Unplug> unplugged_;
};

} // namespace vqrec
