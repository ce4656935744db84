// SPDX-License-Identifier: MIT
// Where a capture's frames come from: synthesised from the sensor's pattern, or recorded images
// delivered in a loop.
#pragma once

#include <cstdint>
#include <memory>

#include "simulator/core/image_synth.h"
#include "simulator/scenario/scenario.h"

namespace vqsim {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Frame `index` of a capture, `seconds` after it started, as image_samples samples.
    virtual void frame(std::uint64_t index, double seconds, std::uint16_t* out) = 0;
};

std::unique_ptr<FrameSource> synthesised_frames(std::shared_ptr<const SensorPattern> pattern);
std::unique_ptr<FrameSource> recorded_frames(std::shared_ptr<const RecordedFrames> frames);

} // namespace vqsim
