// SPDX-License-Identifier: MIT
// The two frame sources: the synthesiser's scene, and recorded images in a loop.
#include "simulator/core/frame_source.h"

#include <cstring>

namespace vqsim {

namespace {

class Synthesised final : public FrameSource {
public:
    explicit Synthesised(std::shared_ptr<const SensorPattern> pattern) : renderer_(std::move(pattern)) {}
    void frame(std::uint64_t index, double seconds, std::uint16_t* out) override
    {
        renderer_.render(index, seconds, out);
    }

private:
    SceneRenderer renderer_;
};

class Recorded final : public FrameSource {
public:
    explicit Recorded(std::shared_ptr<const RecordedFrames> frames) : frames_(std::move(frames)) {}
    void frame(std::uint64_t index, double, std::uint16_t* out) override
    {
        std::memcpy(out, (*frames_)[index % frames_->size()].data(), image_samples * sizeof(std::uint16_t));
    }

private:
    std::shared_ptr<const RecordedFrames> frames_; // never empty: a scenario lists at least one
};

} // namespace

std::unique_ptr<FrameSource> synthesised_frames(std::shared_ptr<const SensorPattern> pattern)
{
    return std::make_unique<Synthesised>(std::move(pattern));
}

std::unique_ptr<FrameSource> recorded_frames(std::shared_ptr<const RecordedFrames> frames)
{
    return std::make_unique<Recorded>(std::move(frames));
}

} // namespace vqsim
