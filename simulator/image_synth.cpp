// Placeholder images: a flat sensor. To be replaced by the real synthesis.
#include "simulator/image_synth.h"

#include <algorithm>
#include <vector>

namespace vqsim {

struct SensorPattern {
    std::vector<std::uint16_t> offset;
};

std::shared_ptr<const SensorPattern> sensor_pattern(const std::string&)
{
    auto pattern = std::make_shared<SensorPattern>();
    pattern->offset.assign(image_samples, 40);
    return pattern;
}

void render_calibration(const SensorPattern& pattern, Celdra::TFTManager::TftParameter which, std::uint16_t* out)
{
    for (std::size_t i = 0; i < image_samples; ++i)
        out[i] = static_cast<std::uint16_t>(pattern.offset[i] + (which == Celdra::TFTManager::SLAP_IMAGE_WHITE ? 800 : 0));
}

struct SceneRenderer::State {
    std::shared_ptr<const SensorPattern> pattern;
};

SceneRenderer::SceneRenderer(std::shared_ptr<const SensorPattern> pattern) : state_(new State{std::move(pattern)}) {}
SceneRenderer::~SceneRenderer() = default;

void SceneRenderer::render(std::uint64_t, double, std::uint16_t* out)
{
    std::fill(out, out + image_samples, static_cast<std::uint16_t>(600));
}

} // namespace vqsim
