// SPDX-License-Identifier: MIT
// Synthetic images of a simulated QUADRELV3: the sensor's fixed pattern (per-pixel gain and
// offset), the calibration images it shows, and live frames of a four-finger slap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "devicelib/TFTManager.h"
#include "simulator/scenario/scanner_facts.h"

namespace vqsim {

struct SensorPattern;

// The fixed pattern of one sensor, the same for every call with the same id.
std::shared_ptr<const SensorPattern> sensor_pattern(const std::string& sensor_id);

// The black or white calibration image (image_samples samples, none above 0x3FF), made once per
// sensor and copied out.
void render_calibration(const SensorPattern& pattern, Celdra::TFTManager::TftParameter which, std::uint16_t* out);

// Live frames: offset + gain x scene + a little noise. The scene repeats every 4 s: the hand rests
// (from 0 s), lifts, leaves the platen empty for about half a second and comes down again.
class SceneRenderer {
public:
    explicit SceneRenderer(std::shared_ptr<const SensorPattern> pattern);
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;
    // One frame at the given time since capture started.
    void render(std::uint64_t frame_index, double seconds, std::uint16_t* out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vqsim
