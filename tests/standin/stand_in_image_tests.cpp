// SPDX-License-Identifier: MIT
// The stand-in's images: calibration images as the device library hands them over, and live
// frames taken through the library's capture path and corrected with the library's own tables.
#include "tests/support/support.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "devicelib/TFTManager.h"

namespace {

using namespace kova_test;
namespace tft = Celdra::TFTManager;

constexpr int width = 1600, height = 1500;
constexpr std::size_t samples = std::size_t{width} * height;

using Image = std::vector<std::uint16_t>;
using Plane = std::vector<double>;

struct Calibration {
    Image black, white;
};

// One calibration image through read_fpn_data, its geometry checked and its buffer released.
Image read_fpn(std::uint32_t handle, tft::TftParameter which)
{
    auto library = tft::TFTManagerClass::get_instance();
    tft::TFT_ImageClass image;
    EXPECT_EQ(library->read_fpn_data(handle, which, image), tft::TFT_ERR_OK);
    auto* data = reinterpret_cast<std::uint16_t*>(image.get_image_data_pointer());
    if (data == nullptr) return {};
    EXPECT_EQ(image.get_image_height(), unsigned{height});
    EXPECT_EQ(image.get_image_stride(), unsigned{width} * 2);
    Image samples_read(data, data + samples);
    std::free(data);
    return samples_read;
}

Calibration read_calibration(std::uint32_t handle)
{
    return {read_fpn(handle, tft::SLAP_IMAGE_BLACK), read_fpn(handle, tft::SLAP_IMAGE_WHITE)};
}

double mean(const Image& image)
{
    double sum = 0;
    for (std::uint16_t v : image) sum += v;
    return sum / static_cast<double>(image.size());
}

struct Region {
    int left, top, size;
};

// Mean and standard deviation of a square region.
template <class Samples>
std::pair<double, double> statistics(const Samples& plane, Region r)
{
    double sum = 0, squares = 0, n = double(r.size) * r.size;
    for (int y = r.top; y < r.top + r.size; ++y)
        for (int x = r.left; x < r.left + r.size; ++x) {
            double v = plane[std::size_t(y) * width + x];
            sum += v;
            squares += v * v;
        }
    double m = sum / n;
    return {m, std::sqrt(std::max(0.0, squares / n - m * m))};
}

// Copies the next frame delivered after next() is called; frames arrive on the stand-in's thread.
class FrameGrabber {
public:
    static void on_frame(unsigned char* pixels, void* context)
    {
        auto* self = static_cast<FrameGrabber*>(context);
        std::lock_guard<std::mutex> guard(self->mutex_);
        if (!self->wanted_) return;
        for (std::size_t i = 0; i < samples; ++i) // little-endian samples
            self->frame_[i] = static_cast<std::uint16_t>(pixels[2 * i] | pixels[2 * i + 1] << 8);
        self->wanted_ = false;
        self->arrived_.notify_all();
    }

    // No timeout: a capture that never delivers is caught by the test's own time limit.
    Image next()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wanted_ = true;
        arrived_.wait(lock, [this] { return !wanted_; });
        return frame_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    bool wanted_ = false;
    Image frame_ = Image(samples);
};

// The system's tables for one scanner, released through the library.
class Tables {
public:
    explicit Tables(std::uint32_t handle)
    {
        EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle, &gain_, &offset_), KOVA_OK);
    }
    ~Tables() { KovaQuadV3FreeUniformityBuffers(0, &gain_, &offset_); }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;

    // Applied as an application does: p x gain / 1024 + (offset - 32768) / 64.
    Plane correct(const Image& frame) const
    {
        Plane result(samples);
        if (gain_ == nullptr || offset_ == nullptr) return result;
        for (std::size_t i = 0; i < samples; ++i)
            result[i] = frame[i] * (gain_[i] / 1024.0) + (offset_[i] - 32768.0) / 64.0;
        return result;
    }

private:
    std::uint16_t* gain_ = nullptr;
    std::uint16_t* offset_ = nullptr;
};

class StandInImages : public KovaTest {
protected:
    void TearDown() override
    {
        if (capturing_) {
            EXPECT_EQ(KovaStopVideo(handle_), KOVA_OK);
        }
        KovaTest::TearDown();
    }

    void start_capture()
    {
        vqsim_set_frame_interval_us(0);
        ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle_, &FrameGrabber::on_frame, &grabber_), KOVA_OK);
        ASSERT_EQ(KovaVantorStartVideo(handle_), KOVA_OK);
        capturing_ = true;
    }

    std::uint32_t handle_ = 0;
    bool capturing_ = false;
    FrameGrabber grabber_;
};

const Region corners[4] = {{16, 16, 128}, {width - 144, 16, 128}, {16, height - 144, 128}, {width - 144, height - 144, 128}};

TEST_F(StandInImages, CalibrationImagesAreTenBitWithDefectsThatTheBlackRepairRestores)
{
    handle_ = open_default();
    Calibration c = read_calibration(handle_);
    ASSERT_EQ(c.black.size(), samples);
    ASSERT_EQ(c.white.size(), samples);
    EXPECT_LE(*std::max_element(c.black.begin(), c.black.end()), 0x3FF);
    EXPECT_LE(*std::max_element(c.white.begin(), c.white.end()), 0x3FF);

    // A few dozen black samples lie more than 150 below the black mean. Repaired (+255), every
    // position has white above black by a usable margin, so no divisor is clamped.
    const double black_mean = mean(c.black);
    std::size_t defects = 0, clamped = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        int black = c.black[i];
        if (black_mean - black > 150.0) {
            ++defects;
            black += 255;
        }
        int difference = c.white[i] - black;
        clamped += difference < 5 || difference > 1023;
    }
    EXPECT_GE(defects, 10u);
    EXPECT_LE(defects, 200u);
    EXPECT_EQ(clamped, 0u);
}

TEST_F(StandInImages, CalibrationImagesFollowTheSensorId)
{
    handle_ = open_default();
    ASSERT_EQ(vqsim_add_sensor("QV3-0002", "QV3-5A1C0043"), 0);
    std::uint32_t other = 0;
    ASSERT_EQ(KovaOpenDevice("QV3-0002", &other), KOVA_OK);

    Calibration first = read_calibration(handle_), again = read_calibration(handle_);
    Calibration different = read_calibration(other);
    EXPECT_TRUE(first.black == again.black);
    EXPECT_TRUE(first.white == again.white);
    for (const auto& [mine, theirs] : {std::pair{&first.black, &different.black}, {&first.white, &different.white}}) {
        std::size_t same = 0;
        for (std::size_t i = 0; i < samples; ++i) same += (*mine)[i] == (*theirs)[i];
        EXPECT_LT(same, samples / 4) << "another sensor has its own fixed pattern";
    }
    EXPECT_EQ(KovaCloseDevice_N(other), KOVA_OK);
}

TEST_F(StandInImages, TheTablesTakeTheFixedPatternOutOfLiveFrames)
{
    handle_ = open_default();
    start_capture();
    Image frame = grabber_.next();
    EXPECT_LE(*std::max_element(frame.begin(), frame.end()), 0x3FF);
    Plane flat = Tables(handle_).correct(frame);

    // The background corners: the raw spread is the sensor's stripes and shading, the corrected one
    // only noise; and after correction the corners agree with each other.
    double raw_spread = 0, corrected_spread = 0, low = 1e9, high = -1e9, raw_low = 1e9, raw_high = -1e9;
    for (const Region& r : corners) {
        auto [raw_mean, raw_deviation] = statistics(frame, r);
        auto [flat_mean, flat_deviation] = statistics(flat, r);
        raw_spread += raw_deviation / 4;
        corrected_spread += flat_deviation / 4;
        low = std::min(low, flat_mean), high = std::max(high, flat_mean);
        raw_low = std::min(raw_low, raw_mean), raw_high = std::max(raw_high, raw_mean);
    }
    EXPECT_GT(raw_spread, 4.0) << "the raw frame carries a fixed pattern";
    EXPECT_LT(corrected_spread, 0.3 * raw_spread) << "raw " << raw_spread << ", corrected " << corrected_spread;
    EXPECT_LT(high - low, 0.25 * (raw_high - raw_low)) << "corrected corner means " << low << " to " << high;
}

// Dark and light in a corrected frame, with hysteresis between them, relative to the corrected
// black and white levels.
struct Levels {
    double dark, light;
};

// Ridge blocks: 32 x 32 blocks holding both dark and light samples that alternate along rows or
// columns about as often as fingerprint ridges do (a period of 5 to 16 samples).
struct RidgeCount {
    std::size_t mixed = 0, ridged = 0, dark_samples = 0;
};

RidgeCount count_ridges(const Plane& image, Levels levels)
{
    constexpr int block = 32;
    RidgeCount count;
    for (double v : image) count.dark_samples += v < levels.dark;
    auto transitions = [&](int x, int y, int dx, int dy) {
        int state = 0, changes = 0;
        for (int k = 0; k < block; ++k) {
            double v = image[std::size_t(y + k * dy) * width + (x + k * dx)];
            int now = v < levels.dark ? -1 : v > levels.light ? 1 : state;
            changes += state != 0 && now != state;
            state = now;
        }
        return changes;
    };
    for (int top = 0; top + block <= height; top += block)
        for (int left = 0; left + block <= width; left += block) {
            std::size_t dark = 0, light = 0;
            for (int y = top; y < top + block; ++y)
                for (int x = left; x < left + block; ++x) {
                    double v = image[std::size_t(y) * width + x];
                    dark += v < levels.dark;
                    light += v > levels.light;
                }
            if (dark < block * block / 5 || light < block * block / 5) continue;
            ++count.mixed;
            int rows = 0, columns = 0;
            for (int k = 0; k < block; ++k) {
                rows += transitions(left, top + k, 1, 0);
                columns += transitions(left + k, top, 0, 1);
            }
            double per_line = std::max(rows, columns) / double(block);
            count.ridged += per_line >= 2.0 * block / 16 && per_line <= 2.0 * block / 5;
        }
    return count;
}

TEST_F(StandInImages, RestingFingersShowRidgesAndTheHandLiftsAndComesBack)
{
    handle_ = open_default();
    Calibration c = read_calibration(handle_);
    const double black = mean(c.black), white = mean(c.white); // corrected black and white, near enough
    const Levels levels{black + 0.45 * (white - black), black + 0.65 * (white - black)};
    start_capture();
    const Tables tables(handle_);
    // Four resting fingertips darken several percent of the platen; landing ones less.
    const std::size_t resting = samples / 16;
    auto next_resting = [&] {
        for (;;) {
            Plane image = tables.correct(grabber_.next());
            RidgeCount count = count_ridges(image, levels);
            if (count.dark_samples >= resting) return count;
        }
    };
    RidgeCount first = next_resting();
    EXPECT_GE(first.ridged, 150u);
    EXPECT_GE(first.ridged, first.mixed * 4 / 5) << first.ridged << " of " << first.mixed << " mixed blocks";

    // The platen empties between slaps, and the hand comes back with its ridges.
    for (;;) {
        Plane image = tables.correct(grabber_.next());
        std::size_t dark = 0;
        for (double v : image) dark += v < levels.dark;
        if (dark < 100) break;
    }
    RidgeCount again = next_resting();
    EXPECT_GE(again.ridged, 150u);
}

} // namespace
