// SPDX-License-Identifier: MIT
// Live capture of one open scanner, on a thread of its own.
#include "simulator/core/capture_engine.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "simulator/classes/image_writer.h"
#include "simulator/core/threads.h"

namespace vqsim {

namespace {
std::atomic<unsigned> frame_interval{66667}; // 15 frames per second
std::atomic<bool> previews{false};

// At most ten samples a second; a sample whose lock is held (the panel reading it) is skipped.
void offer_sample(FrameSample& sample, const std::uint16_t* frame)
{
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    if (now < sample.next_ns.load(std::memory_order_relaxed)) return;
    std::unique_lock<std::mutex> lock(sample.mutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    sample.next_ns.store(now + 100000000, std::memory_order_relaxed);
    sample.pixels.resize(std::size_t{FrameSample::width} * FrameSample::height);
    constexpr std::uint32_t step = image_width / FrameSample::width;
    for (std::uint32_t y = 0; y < FrameSample::height; ++y) {
        const std::uint16_t* row = frame + std::size_t{y} * step * image_width;
        std::uint8_t* out = sample.pixels.data() + std::size_t{y} * FrameSample::width;
        for (std::uint32_t x = 0; x < FrameSample::width; ++x) out[x] = static_cast<std::uint8_t>(row[x * step] >> 2);
    }
    ++sample.sequence;
}
// Frame buffers serve capture after capture: a fresh 4.8 MB block pays its page faults at every
// capture start. Each frame is rendered whole, so a buffer's old pixels never show.
class FramePool {
public:
    static FramePool& instance()
    {
        static FramePool* const pool = new FramePool; // never destroyed: engine threads may outlive it
        return *pool;
    }
    std::unique_ptr<std::uint16_t[]> take()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (free_.empty()) return std::unique_ptr<std::uint16_t[]>(new std::uint16_t[image_samples]);
        std::unique_ptr<std::uint16_t[]> frame = std::move(free_.back());
        free_.pop_back();
        return frame;
    }
    void give(std::unique_ptr<std::uint16_t[]> frame)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (free_.size() < 4) free_.push_back(std::move(frame));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<std::uint16_t[]>> free_;
};
} // namespace

void set_previews(bool on)
{
    previews.store(on);
}

void set_frame_interval_us(unsigned interval)
{
    frame_interval.store(interval);
}

unsigned frame_interval_us()
{
    return frame_interval.load();
}

struct CaptureEngine::State {
    std::uint32_t handle;
    std::shared_ptr<DeviceLink> device;
    Celdra::TFTManager::CaptureCallback callback;
    void* context;
    std::unique_ptr<FrameSource> source;
    std::function<void()> count_reached;
    std::unique_ptr<std::uint16_t[]> frame = FramePool::instance().take();
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::deque<Celdra::TFTManager::TFT_Status> injected;
    std::atomic<std::uint64_t> frames{0};

    State(std::uint32_t h, std::unique_ptr<FrameSource> from, std::shared_ptr<DeviceLink> link,
          std::function<void()> reached, Celdra::TFTManager::CaptureCallback cb, void* ctx)
        : handle(h), device(std::move(link)), callback(cb), context(ctx), source(std::move(from)),
          count_reached(std::move(reached))
    {
    }
    ~State() { FramePool::instance().give(std::move(frame)); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void run()
    {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        auto next = start;
        Celdra::TFTManager::TFT_ImageClass image;
        Celdra::TFTManager::ImageWriter::assign(image, reinterpret_cast<std::uint8_t*>(frame.get()), image_width,
                                                image_height, image_stride_bytes);
        for (std::uint64_t index = 0;; ++index) {
            Celdra::TFTManager::TFT_Status status = Celdra::TFTManager::TFT_ERR_OK;
            {
                std::unique_lock<std::mutex> lock(mutex);
                next += std::chrono::microseconds(frame_interval_us());
                wake.wait_until(lock, next, [this] { return stopping; });
                if (stopping) return;
                if (!injected.empty()) {
                    status = injected.front();
                    injected.pop_front();
                }
            }
            // Asleep, the scanner sends nothing; broken, it reports so instead of each image.
            if (device->asleep.load(std::memory_order_relaxed) && status == Celdra::TFTManager::TFT_ERR_OK) continue;
            if (device->broken.load(std::memory_order_relaxed) && status == Celdra::TFTManager::TFT_ERR_OK)
                status = Celdra::TFTManager::TFT_ERR_BROKEN_SCANNER;
            double seconds = std::chrono::duration<double>(clock::now() - start).count();
            source->frame(index, seconds, frame.get());
            if (previews.load(std::memory_order_relaxed)) offer_sample(device->sample, frame.get());
            Celdra::TFTManager::TFT_ImageInfoStructure info{static_cast<std::uint32_t>(index), image_width,
                                                            image_height, image_stride_bytes, 4, {}};
            frames.fetch_add(1);
            callback(image, &info, status, context);
            if (device->frames.fetch_add(1) + 1 >= device->wake_at.load()) count_reached();
            if (clock::now() > next + std::chrono::milliseconds(100)) next = clock::now(); // fell behind: no burst
        }
    }
};

CaptureEngine::CaptureEngine(std::uint32_t handle, std::unique_ptr<FrameSource> source,
                             std::shared_ptr<DeviceLink> device, std::function<void()> count_reached,
                             Celdra::TFTManager::CaptureCallback callback, void* context)
    : state_(std::make_shared<State>(handle, std::move(source), std::move(device), std::move(count_reached),
                                     callback, context))
{
    std::shared_ptr<State> state = state_;
    thread_ = own_thread([state] { state->run(); });
    thread_id_ = thread_.get_id();
}

CaptureEngine::~CaptureEngine()
{
    stop();
    std::lock_guard<std::mutex> guard(join_mutex_);
    if (thread_.joinable()) thread_.detach(); // only on its own thread; the state outlives it
}

void CaptureEngine::stop()
{
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    // The engine's own thread cannot wait for itself; it ends when the callback returns.
    if (std::this_thread::get_id() == thread_id_) return;
    std::lock_guard<std::mutex> guard(join_mutex_);
    if (thread_.joinable()) thread_.join();
}

bool CaptureEngine::running() const
{
    std::lock_guard<std::mutex> guard(state_->mutex);
    return !state_->stopping;
}

void CaptureEngine::inject(Celdra::TFTManager::TFT_Status status)
{
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->injected.push_back(status);
}

std::uint64_t CaptureEngine::frames_sent() const
{
    return state_->frames.load();
}

} // namespace vqsim
