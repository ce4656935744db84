// SPDX-License-Identifier: MIT
// Synthetic images of a simulated QUADRELV3.
//
// A sensor is a per-sample dark level (offset) and response (gain), fixed by its id. The black
// calibration image is the dark level, the white one the dark level plus the response to a flat
// white, and a live frame the dark level plus the response to a slap of four fingers. So the
// gain and offset tables computed from the calibration images flatten live frames.
//
// A few samples per sensor are defective: their dark level sits near 255..285 and the black
// calibration readout gives it back 255 low, far below the black mean. The system repairs such
// samples by adding 255, which restores the true dark level that live frames carry.
#include "simulator/core/image_synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <vector>

namespace vqsim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int sample_max = 0x3FF;
constexpr int gain_bits = 12; // gains in 1/4096
constexpr int gain_round = 1 << (gain_bits - 1);
// The white calibration level above the dark level at unit gain, and the slap's light background.
// Highest white: 285 (defect) + 1.15 x 620 = 998, below 0x3FF with room for noise.
constexpr int white_level = 620;
constexpr int background_level = 577;
constexpr int darkest_ridge = 470; // subtracted from the background on a firmly pressed ridge crest
constexpr int dark_level = 200;    // the mean must lie above 150 for the black repair to be reachable
constexpr unsigned defect_count = 48;

std::uint64_t mix(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// splitmix64: the same numbers on every platform, unlike the standard distributions.
struct Random {
    std::uint64_t state;
    std::uint64_t next() { return mix(state += 0x9E3779B97F4A7C15ull); }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double between(double low, double high) { return low + (high - low) * uniform(); }
    double signed_unit() { return between(-1.0, 1.0); }
};

// Per-sample noise in [-1, 1), from a hash of the sample index.
double sample_noise(std::uint64_t salt, std::size_t index)
{
    return static_cast<double>(mix(salt + index) >> 11) * 0x1.0p-52 - 1.0;
}

std::uint64_t hash_id(const std::string& id)
{
    std::uint64_t h = 0xCBF29CE484222325ull; // FNV-1a
    for (unsigned char c : id) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

double smoothstep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

std::uint16_t clamp_sample(int value)
{
    return static_cast<std::uint16_t>(std::clamp(value, 0, sample_max));
}

// One axis of a separable smooth field: per-column (or per-row) terms.
struct AxisTerms {
    std::vector<double> gain, offset, bump;
};

AxisTerms axis_terms(Random& random, std::uint32_t size, double bump_centre, double bump_width)
{
    AxisTerms terms;
    terms.gain.resize(size);
    terms.offset.resize(size);
    terms.bump.resize(size);
    const double half = size / 2.0;
    const double gain_tilt = random.between(-0.03, 0.03), offset_tilt = random.between(-12, 12);
    const std::uint32_t block = 100; // columns or rows served by one driver chip
    std::vector<double> block_gain(size / block + 1), block_offset(size / block + 1);
    for (std::size_t b = 0; b < block_gain.size(); ++b) {
        block_gain[b] = 0.012 * random.signed_unit();
        block_offset[b] = 3.0 * random.signed_unit();
    }
    for (std::uint32_t i = 0; i < size; ++i) {
        double n = (i - half) / half;
        double stripe_gain = 0.02 * random.signed_unit(), stripe_offset = 4.0 * random.signed_unit();
        terms.gain[i] = -0.07 * n * n + gain_tilt * n + block_gain[i / block] + stripe_gain; // vignetting
        terms.offset[i] = offset_tilt * n + block_offset[i / block] + stripe_offset;
        double b = (i - bump_centre) / bump_width;
        terms.bump[i] = std::exp(-0.5 * b * b);
    }
    return terms;
}

} // namespace

struct SensorPattern {
    std::uint64_t seed;
    std::vector<std::uint16_t> offset;  // dark level of each sample
    std::vector<std::uint16_t> gain;    // response to light, in 1/4096
    std::vector<std::uint32_t> defects; // samples whose black calibration reading comes back 255 low
    std::vector<std::uint16_t> calibration[2]; // the black and the white image, rendered once
    std::vector<std::uint16_t> background;     // offset + gain x the light background of live frames
};

namespace {

void render_calibration_once(const SensorPattern& pattern, bool white, std::uint16_t* out)
{
    const std::uint64_t salt = mix(pattern.seed ^ (white ? 0x7768697465ull : 0x626C61636Bull));
    const int level = white ? white_level : 0;
    for (std::size_t i = 0; i < image_samples; ++i) {
        int noise = static_cast<int>(mix(salt + i) % 3) - 1;
        int light = (pattern.gain[i] * level + gain_round) >> gain_bits;
        out[i] = clamp_sample(pattern.offset[i] + light + noise);
    }
    if (!white)
        for (std::uint32_t i : pattern.defects) out[i] = clamp_sample(pattern.offset[i] - 255);
}

std::shared_ptr<const SensorPattern> build_pattern(std::uint64_t seed)
{
    auto pattern = std::make_shared<SensorPattern>();
    pattern->seed = seed;
    Random random{seed};
    const double bump_x = random.between(300, 1300), bump_y = random.between(300, 1200);
    const double bump_size = random.between(250, 500), bump_gain = random.between(-0.05, 0.05);
    AxisTerms columns = axis_terms(random, image_width, bump_x, bump_size);
    AxisTerms rows = axis_terms(random, image_height, bump_y, bump_size);

    pattern->offset.resize(image_samples);
    pattern->gain.resize(image_samples);
    const std::uint64_t salt = mix(seed ^ 0x70697865ull);
    for (std::uint32_t y = 0; y < image_height; ++y)
        for (std::uint32_t x = 0; x < image_width; ++x) {
            std::size_t i = std::size_t{y} * image_width + x;
            std::uint64_t h = mix(salt + i);
            double pixel_gain = 0.015 * (static_cast<double>(h & 0xFFFF) / 32768.0 - 1.0);
            double pixel_offset = 4.0 * (static_cast<double>((h >> 16) & 0xFFFF) / 32768.0 - 1.0);
            double gain = 1.0 + columns.gain[x] + rows.gain[y] + bump_gain * columns.bump[x] * rows.bump[y] + pixel_gain;
            gain = std::clamp(gain, 0.6, 1.15);
            double offset = dark_level + columns.offset[x] + rows.offset[y] + pixel_offset;
            pattern->gain[i] = static_cast<std::uint16_t>(std::lround(gain * (1 << gain_bits)));
            pattern->offset[i] = static_cast<std::uint16_t>(std::lround(std::clamp(offset, 155.0, 245.0)));
        }
    while (pattern->defects.size() < defect_count) {
        auto i = static_cast<std::uint32_t>(random.next() % image_samples);
        if (pattern->offset[i] >= 255) continue; // already defective
        pattern->offset[i] = static_cast<std::uint16_t>(255 + 4 + random.next() % 27);
        pattern->defects.push_back(i);
    }
    // Every read hands over a copy: the images are made here, once per sensor; and so is the
    // background every capture of the sensor starts from.
    for (bool white : {false, true}) {
        pattern->calibration[white].resize(image_samples);
        render_calibration_once(*pattern, white, pattern->calibration[white].data());
    }
    pattern->background.resize(image_samples);
    for (std::size_t i = 0; i < image_samples; ++i)
        pattern->background[i] = static_cast<std::uint16_t>(
            pattern->offset[i] + ((pattern->gain[i] * background_level + gain_round) >> gain_bits));
    return pattern;
}

} // namespace

std::shared_ptr<const SensorPattern> sensor_pattern(const std::string& sensor_id)
{
    // The most recently used patterns, newest first: a pattern is 24 MB, and a process may name
    // scanners without end (scenarios, fuzzing). One in use elsewhere lives on in its holders.
    constexpr std::size_t kept = 8;
    struct Cache {
        std::mutex mutex;
        std::list<std::pair<std::string, std::shared_ptr<const SensorPattern>>> patterns;
    };
    static Cache* const cache = new Cache; // never destroyed: engine threads may outlive static destruction
    std::lock_guard<std::mutex> guard(cache->mutex);
    auto& patterns = cache->patterns;
    auto found = std::find_if(patterns.begin(), patterns.end(), [&](const auto& entry) { return entry.first == sensor_id; });
    if (found != patterns.end()) {
        patterns.splice(patterns.begin(), patterns, found);
    } else {
        patterns.emplace_front(sensor_id, build_pattern(hash_id(sensor_id)));
        if (patterns.size() > kept) patterns.pop_back();
    }
    return patterns.front().second;
}

void render_calibration(const SensorPattern& pattern, Celdra::TFTManager::TftParameter which, std::uint16_t* out)
{
    const std::vector<std::uint16_t>& image = pattern.calibration[which == Celdra::TFTManager::SLAP_IMAGE_WHITE];
    std::memcpy(out, image.data(), image_samples * sizeof(std::uint16_t));
}

namespace {

constexpr unsigned finger_count = 4;
constexpr unsigned distance_steps = 1024; // quantised normalised distance from a finger's centre
constexpr double distance_scale = 512.0;  // steps per unit: the finger's outline at full contact is 512
constexpr std::uint16_t outside_place = finger_count * distance_steps;
constexpr int max_pressure = 170;
constexpr std::size_t noise_size = 1 << 16;
constexpr double cycle_seconds = 4.0;

// A fingertip in its own frame: u across, v along the finger towards the palm, both in pixels.
struct Finger {
    double cx, cy;           // centre in the image
    double half_width;       // along u
    double top, bottom;      // along -v and +v: the tip is rounder than the side towards the palm
    double tilt;             // radians, the tip leaning towards +x when positive
    double core_u, core_v;   // the pattern's core
    double stem_angle;       // ridges wrap around a stem from the core, this far from +v (radians)
    double stem_length;      // short: a whorl; long, leaving the finger: a loop
    double base_v;           // the straight ridges towards the palm
    double delay;            // seconds behind the first finger to come down and lift
    std::uint64_t seed;
};

// A right-hand slap: index, middle, ring, little, fanned out, the middle one furthest up.
constexpr std::array<Finger, finger_count> fingers{{
    {330, 770, 138, 228, 330, -0.20, 8, -40, -0.55, 420, 150, 0.10, 11},
    {665, 630, 146, 245, 345, -0.06, -4, -60, 0.35, 34, 140, 0.0, 23},
    {990, 690, 138, 232, 330, 0.08, 6, -45, 0.60, 420, 145, 0.05, 37},
    {1292, 890, 116, 192, 268, 0.24, -4, -30, 0.50, 420, 115, 0.15, 41},
}};

struct Box {
    int x0, y0, x1, y1;
};

// One finger's geometry with what every sample needs worked out once.
class FingerShape {
public:
    explicit FingerShape(const Finger& f)
        : f_(f), cos_(std::cos(f.tilt)), sin_(std::sin(f.tilt)),
          stem_u_(f.core_u + f.stem_length * std::sin(f.stem_angle)),
          stem_v_(f.core_v + f.stem_length * std::cos(f.stem_angle))
    {
        Random random{f.seed};
        warp_u_ = random.between(0, 2 * pi);
        warp_v_ = random.between(0, 2 * pi);
    }

    // Image position of a point given in the finger's frame, and the reverse.
    void to_image(double u, double v, double& x, double& y) const
    {
        x = f_.cx + u * cos_ - v * sin_;
        y = f_.cy + u * sin_ + v * cos_;
    }
    void to_local(double x, double y, double& u, double& v) const
    {
        double dx = x - f_.cx, dy = y - f_.cy;
        u = dx * cos_ + dy * sin_;
        v = -dx * sin_ + dy * cos_;
    }

    // 0 at the centre, 1 on the outline of full contact; a superellipse looks more like a fingertip.
    double distance(double u, double v) const
    {
        constexpr double power = 2.3;
        double a = std::abs(u) / f_.half_width, b = std::abs(v) / (v < 0 ? f_.top : f_.bottom);
        if (a >= 1.0 || b >= 1.0) return 1.0;
        double sum = std::pow(a, power) + std::pow(b, power);
        return sum >= 1.0 ? 1.0 : std::pow(sum, 1.0 / power); // outside the outline nothing is needed
    }

    // Distance to the union of the core's stem and the base line: a distance field has unit slope,
    // so its cosine has an even ridge period; where the two systems meet a delta forms. The smooth
    // minimum rounds the crease there.
    double phase(double u, double v) const
    {
        constexpr double period = 9.5; // pixels at 500 dpi
        constexpr double softness = 9.0;
        double wu = u + 5.0 * std::sin(v / 55.0 + warp_u_), wv = v + 5.0 * std::sin(u / 65.0 + warp_v_);
        double around_core = segment_distance(wu, wv, f_.core_u, f_.core_v, stem_u_, stem_v_);
        double base = std::abs(wv - f_.base_v);
        double low = std::min(around_core, base), gap = std::abs(around_core - base);
        return 2.0 * pi * (low - softness * std::log1p(std::exp(-gap / softness))) / period;
    }

    Box bounding_box() const
    {
        double xs[4], ys[4];
        const double us[4] = {-f_.half_width, f_.half_width, -f_.half_width, f_.half_width};
        const double vs[4] = {-f_.top, -f_.top, f_.bottom, f_.bottom};
        for (int k = 0; k < 4; ++k) to_image(us[k], vs[k], xs[k], ys[k]);
        auto [xl, xh] = std::minmax_element(xs, xs + 4);
        auto [yl, yh] = std::minmax_element(ys, ys + 4);
        auto clip = [](double value, std::uint32_t size) {
            return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(size)));
        };
        return {clip(std::floor(*xl) - 2, image_width), clip(std::floor(*yl) - 2, image_height),
                clip(std::ceil(*xh) + 2, image_width), clip(std::ceil(*yh) + 2, image_height)};
    }

    const Finger& finger() const { return f_; }

private:
    static double segment_distance(double px, double py, double ax, double ay, double bx, double by)
    {
        double ex = bx - ax, ey = by - ay, length2 = ex * ex + ey * ey;
        double t = length2 > 0 ? std::clamp(((px - ax) * ex + (py - ay) * ey) / length2, 0.0, 1.0) : 0.0;
        return std::hypot(px - ax - t * ex, py - ay - t * ey);
    }

    Finger f_;
    double cos_, sin_, stem_u_, stem_v_, warp_u_ = 0, warp_v_ = 0;
};

// Sensor-independent part of a live frame, made once per process.
struct Scene {
    std::vector<std::uint16_t> place;  // finger x distance_steps + quantised distance, or outside_place
    std::vector<std::uint8_t> ridge;   // ridge height, 255 on a crest
    std::vector<std::uint16_t> span_begin, span_end; // per row: the columns a finger may cover
    std::vector<std::int8_t> noise;    // noise_size + image_width entries, so a row reads it straight
};

// Adds minutiae: a pair of opposite phase spirals ends one ridge and starts another; its phase is
// the angle the pair's segment subtends, which fades out far away, so each pair stays local.
void add_minutiae(const FingerShape& shape, const Box& box, const std::vector<float>& distance,
                  std::vector<float>& phase)
{
    const Finger& f = shape.finger();
    const int width = box.x1 - box.x0;
    constexpr double full = 40.0, gone = 75.0;
    Random random{mix(f.seed)};
    for (int n = 0; n < 24; ++n) {
        double mx, my;
        shape.to_image(random.between(-0.8, 0.8) * f.half_width, random.between(-0.8, 0.8) * f.top, mx, my);
        double angle = random.between(0, pi), half = random.between(5, 18);
        double ax = mx - half * std::cos(angle), ay = my - half * std::sin(angle);
        double bx = mx + half * std::cos(angle), by = my + half * std::sin(angle);
        int x0 = std::max(box.x0, static_cast<int>(mx - gone)), x1 = std::min(box.x1, static_cast<int>(mx + gone));
        int y0 = std::max(box.y0, static_cast<int>(my - gone)), y1 = std::min(box.y1, static_cast<int>(my + gone));
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                std::size_t j = std::size_t(y - box.y0) * width + (x - box.x0);
                double r = std::hypot(x - mx, y - my);
                if (r >= gone || distance[j] >= 1.0f) continue;
                double pax = x - ax, pay = y - ay, pbx = x - bx, pby = y - by;
                double subtended = std::atan2(pax * pby - pay * pbx, pax * pbx + pay * pby);
                phase[j] += static_cast<float>(subtended * (1.0 - smoothstep((r - full) / (gone - full))));
            }
    }
}

// Ridge heights and distances of one finger into the scene, where it is the nearest finger.
void draw_finger(unsigned k, Scene& scene)
{
    const FingerShape shape(fingers[k]);
    const Box box = shape.bounding_box();
    const int width = box.x1 - box.x0;
    const std::size_t size = std::size_t(width) * (box.y1 - box.y0);
    std::vector<float> distance(size), phase(size);
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) {
            std::size_t j = std::size_t(y - box.y0) * width + (x - box.x0);
            double u, v;
            shape.to_local(x, y, u, v);
            distance[j] = static_cast<float>(shape.distance(u, v));
            if (distance[j] < 1.0f) phase[j] = static_cast<float>(shape.phase(u, v));
        }
    add_minutiae(shape, box, distance, phase);
    const std::uint64_t salt = mix(fingers[k].seed + 1);
    Random random{salt};
    const double dry_x = random.between(0, 2 * pi), dry_y = random.between(0, 2 * pi);
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) {
            std::size_t j = std::size_t(y - box.y0) * width + (x - box.x0), i = std::size_t(y) * image_width + x;
            if (distance[j] >= 1.0f) continue; // never touches the platen
            auto step = static_cast<std::uint16_t>(distance[j] * distance_scale);
            if (scene.place[i] != outside_place && scene.place[i] % distance_steps <= step) continue;
            scene.place[i] = static_cast<std::uint16_t>(k * distance_steps + step);
            // Dry patches print fainter; the skin's texture roughens every ridge.
            double dry = 0.5 + 0.5 * std::sin(x / 37.0 + dry_x) * std::sin(y / 53.0 + dry_y);
            double height = (0.5 + 0.5 * std::cos(phase[j])) * (1.0 - 0.2 * dry * dry);
            height += 0.07 * sample_noise(salt, i);
            scene.ridge[i] = static_cast<std::uint8_t>(255 * std::clamp(height, 0.0, 1.0) + 0.5);
            scene.span_begin[y] = std::min(scene.span_begin[y], static_cast<std::uint16_t>(x));
            scene.span_end[y] = std::max(scene.span_end[y], static_cast<std::uint16_t>(x + 1));
        }
}

std::shared_ptr<const Scene> build_scene()
{
    auto scene = std::make_shared<Scene>();
    scene->place.assign(image_samples, outside_place);
    scene->ridge.assign(image_samples, 0);
    scene->span_begin.assign(image_height, static_cast<std::uint16_t>(image_width));
    scene->span_end.assign(image_height, 0);
    for (unsigned k = 0; k < finger_count; ++k) draw_finger(k, *scene);
    for (std::uint32_t y = 0; y < image_height; ++y)
        if (scene->span_end[y] == 0) scene->span_begin[y] = 0;
    Random random{0x6E6F697365ull};
    scene->noise.resize(noise_size + image_width);
    for (std::int8_t& n : scene->noise) n = static_cast<std::int8_t>(int(random.next() % 4) + int(random.next() % 4) - 3);
    return scene;
}

std::shared_ptr<const Scene> shared_scene()
{
    static const auto* const scene = new std::shared_ptr<const Scene>(build_scene()); // see sensor_pattern
    return *scene;
}

// How far finger k has come down at this time of the cycle: 0 lifted, 1 full contact. The
// cycle starts with the hand resting, lifts it, leaves the platen empty and brings it back.
double contact(unsigned k, double seconds)
{
    double t = std::fmod(seconds, cycle_seconds) - fingers[k].delay;
    constexpr double lift = 1.6, lifted = 1.95, land = 2.7, landed = 3.2;
    if (t < lift) return 1.0;
    if (t < lifted) return 1.0 - smoothstep((t - lift) / (lifted - lift));
    if (t < land) return 0.0;
    if (t < landed) {
        double x = (t - land) / (landed - land);
        return 1.0 - (1.0 - x) * (1.0 - x);
    }
    return 1.0;
}

// Darkness of a sample from its ridge height plus the pressure there: crests touch first, and only
// firm pressure widens the ridges.
std::array<std::uint16_t, 256 + max_pressure> darkness_table()
{
    std::array<std::uint16_t, 256 + max_pressure> table{};
    for (std::size_t s = 0; s < table.size(); ++s)
        table[s] = static_cast<std::uint16_t>(std::lround(darkest_ridge * smoothstep((double(s) - 255.0) / 70.0)));
    return table;
}

} // namespace

struct SceneRenderer::State {
    explicit State(std::shared_ptr<const SensorPattern> p) : pattern(std::move(p)) {}
    std::shared_ptr<const SensorPattern> pattern;
    std::shared_ptr<const Scene> scene = shared_scene();
    std::array<std::uint16_t, 256 + max_pressure> darkness = darkness_table();
    std::array<std::uint16_t, outside_place + 1> pressure{};
};

SceneRenderer::SceneRenderer(std::shared_ptr<const SensorPattern> pattern) : state_(std::make_unique<State>(std::move(pattern)))
{
}

SceneRenderer::~SceneRenderer() = default;

void SceneRenderer::render(std::uint64_t frame_index, double seconds, std::uint16_t* out)
{
    State& s = *state_;
    const Scene& scene = *s.scene;
    const SensorPattern& pattern = *s.pattern;
    if (!(seconds >= 0)) seconds = 0;
    for (unsigned k = 0; k < finger_count; ++k) {
        const double reach = contact(k, seconds);
        constexpr double edge = 0.12; // contact firms up over this much of the radius
        for (unsigned step = 0; step < distance_steps; ++step) {
            double d = (step + 0.5) / distance_scale;
            double firm = std::clamp((reach - d) / edge, 0.0, 1.0) * (1.0 - 0.2 * d * d);
            s.pressure[k * distance_steps + step] = static_cast<std::uint16_t>(std::lround(max_pressure * firm));
        }
    }
    s.pressure[outside_place] = 0;

    const std::uint64_t start = mix(pattern.seed + frame_index);
    for (std::uint32_t y = 0; y < image_height; ++y) {
        const std::size_t row = std::size_t{y} * image_width;
        const std::int8_t* noise = scene.noise.data() + ((start + y * 40503ull) & (noise_size - 1));
        const std::uint16_t* background = pattern.background.data() + row;
        const std::uint16_t* gain = pattern.gain.data() + row;
        const std::uint16_t* place = scene.place.data() + row;
        const std::uint8_t* ridge = scene.ridge.data() + row;
        const std::uint16_t* pressure = s.pressure.data();
        const std::uint16_t* darkness = s.darkness.data();
        std::uint16_t* line = out + row;
        const std::uint32_t begin = scene.span_begin[y], end = scene.span_end[y];
        auto plain = [&](std::uint32_t from, std::uint32_t to) {
            for (std::uint32_t x = from; x < to; ++x) line[x] = clamp_sample(background[x] + noise[x]);
        };
        plain(0, begin);
        for (std::uint32_t x = begin; x < end; ++x) {
            int dark = darkness[ridge[x] + pressure[place[x]]];
            line[x] = clamp_sample(background[x] - ((gain[x] * dark) >> gain_bits) + noise[x]);
        }
        plain(end, image_width);
    }
}

} // namespace vqsim
