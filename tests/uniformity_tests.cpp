// The uniformity tables: every entry against the computation written plainly, the repair and
// divisor edges, the range lines, the failed reads and allocations, and the free function.
#include "tests/support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <vector>

#include "devicelib/TFTManager.h"
#include "manager/uniformity.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KOVA_TEST_MALLOC 1
#endif

namespace {

using namespace kova_test;
namespace uni = nvr::vantorquadrelv3;

constexpr std::size_t n = uni::uniformity_entries;
constexpr unsigned stride_bytes = 3200, height = 1500;

using image = std::vector<std::uint16_t>;

struct tables {
    image gain, offset;
};

// The plain computation on copies of the images (it repairs black in place).
tables straight(const image& white, image black)
{
    tables t{image(n), image(n)};
    image work(n);
    uni::straight_uniformity_tables(white.data(), black.data(), work.data(), t.gain.data(), t.offset.data());
    return t;
}

// Every kernel this processor can run, the portable one at least.
std::vector<uni::uniformity_kernel> kernels()
{
    std::vector<uni::uniformity_kernel> result;
    for (auto kernel : {uni::uniformity_kernel::avx512, uni::uniformity_kernel::avx2, uni::uniformity_kernel::portable})
        if (uni::uniformity_kernel_supported(kernel)) result.push_back(kernel);
    return result;
}

const char* name(uni::uniformity_kernel kernel)
{
    switch (kernel) {
    case uni::uniformity_kernel::avx512: return "avx512";
    case uni::uniformity_kernel::avx2: return "avx2";
    case uni::uniformity_kernel::portable: return "portable";
    default: return "best";
    }
}

tables shipped(const image& white, const image& black, uni::uniformity_kernel kernel)
{
    tables t{image(n), image(n)};
    uni::compute_uniformity_tables(uni::scan_calibration(white.data(), black.data(), kernel), white.data(),
                                   black.data(), t.gain.data(), t.offset.data(), kernel);
    return t;
}

// Every entry of both tables, reported as a count and the first difference.
void expect_same(const tables& expected, const tables& actual, const char* what)
{
    std::size_t wrong = 0, first = n;
    for (std::size_t j = 0; j < n; ++j) {
        if (expected.gain[j] != actual.gain[j] || expected.offset[j] != actual.offset[j]) {
            if (wrong++ == 0) first = j;
        }
    }
    EXPECT_EQ(wrong, 0u) << what << ": first at " << first << ": gain " << expected.gain[first] << " / "
                         << actual.gain[first] << ", offset " << expected.offset[first] << " / "
                         << actual.offset[first];
}

tables expect_shipped_equals_straight(const image& white, const image& black)
{
    tables expected = straight(white, black);
    for (auto kernel : kernels()) expect_same(expected, shipped(white, black, kernel), name(kernel));
    return expected;
}

image random_image(std::mt19937& random, unsigned low, unsigned high)
{
    std::uniform_int_distribution<unsigned> sample(low, high);
    image result(n);
    for (auto& value : result) value = static_cast<std::uint16_t>(sample(random));
    return result;
}

bool holds(const image& values, std::uint16_t value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

TEST(UniformityCompute, RandomImagesOverTheWholeSampleRangeMatchEveryEntry)
{
    // Samples far above 0x3FF, half the black image repaired, a quarter of the differences
    // wrapped, gains and offsets at their limits.
    std::mt19937 random(20240601);
    image white = random_image(random, 0, 65535), black = random_image(random, 0, 32767);
    tables expected = expect_shipped_equals_straight(white, black);
    EXPECT_TRUE(holds(expected.gain, 65535));
    EXPECT_TRUE(holds(expected.offset, 0));
    EXPECT_TRUE(holds(expected.offset, 65535));
}

TEST(UniformityCompute, RandomTenBitImagesWithDefectsMatchEveryEntry)
{
    std::mt19937 random(7);
    for (int round = 0; round < 3; ++round) {
        image black = random_image(random, 60, 140), white = random_image(random, 700, 1000);
        // Dark defects to repair, white below black, differences under 5.
        std::uniform_int_distribution<std::size_t> position(0, n - 1);
        for (int k = 0; k < 5000; ++k) black[position(random)] = static_cast<std::uint16_t>(k % 40);
        for (int k = 0; k < 5000; ++k) white[position(random)] = static_cast<std::uint16_t>(k % 200);
        for (int k = 0; k < 5000; ++k) {
            std::size_t j = position(random);
            white[j] = static_cast<std::uint16_t>(black[j] + k % 6);
        }
        expect_shipped_equals_straight(white, black);
    }
}

TEST(UniformityCompute, NegativeMeanDifferenceGivesZeroGains)
{
    std::mt19937 random(99);
    image white = random_image(random, 100, 300), black = random_image(random, 500, 700);
    tables expected = expect_shipped_equals_straight(white, black);
    EXPECT_TRUE(std::all_of(expected.gain.begin(), expected.gain.end(), [](std::uint16_t g) { return g == 0; }));
}

TEST(UniformityCompute, RepairWrapsInSixteenBits)
{
    // A black image near the top of the range: 255 added to a low sample wraps past 65535.
    image black(n, 65535), white(n, 1000);
    for (std::size_t j = 0; j < n; j += 997) black[j] = 65300;
    expect_shipped_equals_straight(white, black);
}

TEST(UniformityCompute, BlackExactly150BelowTheMeanIsKeptAndOneMoreIsRepaired)
{
    // Pairs around 200 keep the black mean at exactly 200.
    image black(n, 200), white(n, 1000);
    black[10] = 50;
    black[11] = 350;
    black[20] = 49;
    black[21] = 351;
    image repaired = black, work(n);
    tables expected{image(n), image(n)};
    uni::straight_uniformity_tables(white.data(), repaired.data(), work.data(), expected.gain.data(),
                                    expected.offset.data());
    EXPECT_EQ(repaired[10], 50);
    EXPECT_EQ(repaired[20], 49 + 255);
    for (auto kernel : kernels()) expect_same(expected, shipped(white, black, kernel), name(kernel));
}

TEST(UniformityCompute, DivisorIsClampedTo5And1023AndNegativeDifferencesWrapToTheTop)
{
    image black(n, 100), white(n, 600);
    white[1] = 100;  // 0
    white[2] = 105;  // 5
    white[3] = 99;   // -1
    white[4] = 1123; // 1023
    white[5] = 2000; // above 1023
    white[6] = 0;    // -100
    for (auto kernel : kernels()) {
        tables t = shipped(white, black, kernel);
        EXPECT_EQ(t.gain[1], t.gain[2]);
        EXPECT_EQ(t.gain[3], t.gain[4]);
        EXPECT_EQ(t.gain[5], t.gain[4]);
        EXPECT_EQ(t.gain[6], t.gain[4]);
        EXPECT_GT(t.gain[2], t.gain[4]);
    }
    expect_shipped_equals_straight(white, black);
}

TEST(UniformityCompute, FlatImagesGiveUnitGainAndZeroOffset)
{
    image black(n, 100), white(n, 600);
    tables t = expect_shipped_equals_straight(white, black);
    EXPECT_EQ(t.gain[0], 1024);
    EXPECT_EQ(t.offset[0], 32768);
    EXPECT_EQ(t.gain[n - 1], 1024);
    EXPECT_EQ(t.offset[n - 1], 32768);
}

TEST(UniformityCompute, ProductAndDifferenceAreRoundedSeparately)
{
    // White mean 1, m 1: at a white sample of 10, 1 - 10 * (1 / 10.0) rounds to 0 when the
    // product is rounded first, and to just below 0 when fused.
    image black(n, 0), white(n, 1);
    white[100] = 10;
    for (std::size_t j = 200; j < 209; ++j) white[j] = 0;
    tables t = expect_shipped_equals_straight(white, black);
    EXPECT_EQ(t.offset[100], 32768);
}

TEST(UniformityCompute, ScanFindsSamplesAboveTheLimitInEitherImage)
{
    for (auto kernel : kernels()) {
        image white(n, 1023), black(n, 0);
        EXPECT_FALSE(uni::scan_calibration(white.data(), black.data(), kernel).above_limit);
        black[n - 1] = 1024;
        EXPECT_TRUE(uni::scan_calibration(white.data(), black.data(), kernel).above_limit);
        black[n - 1] = 0;
        white[0] = 0x8000;
        EXPECT_TRUE(uni::scan_calibration(white.data(), black.data(), kernel).above_limit);
    }
}

#ifdef KOVA_TEST_MALLOC
// Table-sized allocations of the whole process (images and tables alike): the k-th one from
// arming can be made to fail, and the ones still held are counted.
constexpr std::size_t table_bytes = n * sizeof(std::uint16_t);
std::atomic<int> fail_countdown{0};
std::atomic<void*> held[64];
#endif

} // namespace

#ifdef KOVA_TEST_MALLOC
extern "C" void* __libc_malloc(std::size_t);
extern "C" void __libc_free(void*);

extern "C" void* malloc(std::size_t size)
{
    if (size == table_bytes) {
        if (fail_countdown.load() > 0 && fail_countdown.fetch_sub(1) == 1) return nullptr;
        void* block = __libc_malloc(size);
        for (auto& slot : held) {
            void* empty = nullptr;
            if (slot.compare_exchange_strong(empty, block)) break;
        }
        return block;
    }
    return __libc_malloc(size);
}

extern "C" void free(void* block)
{
    if (block != nullptr) {
        for (auto& slot : held) {
            void* expected = block;
            if (slot.compare_exchange_strong(expected, nullptr)) break;
        }
    }
    __libc_free(block);
}

#endif

namespace {
// Table-sized blocks still held (always 0 where malloc cannot be watched).
int blocks_held()
{
#ifdef KOVA_TEST_MALLOC
    return static_cast<int>(
        std::count_if(std::begin(held), std::end(held), [](auto& slot) { return slot.load() != nullptr; }));
#else
    return 0;
#endif
}
} // namespace

namespace {

class Uniformity : public KovaTest {
protected:
    // Reads the tables into sentinel-initialised pointers; the sentinels must survive a failure.
    KovaStatus read(std::uint16_t** gain = nullptr, std::uint16_t** offset = nullptr)
    {
        return KovaVantorQuadrelReadUniformityBuffers(handle_, gain ? gain : &gain_, offset ? offset : &offset_);
    }
    void set_images(const image& black, const image& white, unsigned image_height = height)
    {
        ASSERT_EQ(vqsim_set_calibration(default_sensor, black.data(), white.data(), stride_bytes, image_height), 0);
    }
    void expect_untouched() const
    {
        EXPECT_EQ(gain_, sentinel);
        EXPECT_EQ(offset_, sentinel);
    }
    std::size_t count(const std::string& text) const
    {
        std::string texts = log_texts();
        std::size_t found = 0;
        for (std::size_t at = texts.find(text); at != std::string::npos; at = texts.find(text, at + 1)) ++found;
        return found;
    }
    void TearDown() override
    {
        if (gain_ != sentinel || offset_ != sentinel) {
            KovaInitialize_N(nullptr, 3, 0);
            if (gain_ == sentinel) gain_ = nullptr;
            if (offset_ == sentinel) offset_ = nullptr;
            KovaQuadV3FreeUniformityBuffers(0, &gain_, &offset_);
        }
        KovaTest::TearDown();
    }

    static inline std::uint16_t sentinel_storage = 0;
    static inline std::uint16_t* const sentinel = &sentinel_storage;
    std::uint32_t handle_ = 0;
    std::uint16_t* gain_ = sentinel;
    std::uint16_t* offset_ = sentinel;
};

TEST_F(Uniformity, BuiltInImagesGiveTheStraightTables)
{
    handle_ = open_default();
    ASSERT_EQ(read(), KOVA_OK);
    // The same images, read directly from the device library.
    auto library = Celdra::TFTManager::TFTManagerClass::get_instance();
    Celdra::TFTManager::TFT_ImageClass black_image, white_image;
    ASSERT_EQ(library->read_fpn_data(handle_, Celdra::TFTManager::SLAP_IMAGE_BLACK, black_image), 0);
    ASSERT_EQ(library->read_fpn_data(handle_, Celdra::TFTManager::SLAP_IMAGE_WHITE, white_image), 0);
    auto* black_samples = reinterpret_cast<std::uint16_t*>(black_image.get_image_data_pointer());
    auto* white_samples = reinterpret_cast<std::uint16_t*>(white_image.get_image_data_pointer());
    image black(black_samples, black_samples + n), white(white_samples, white_samples + n);
    std::free(black_samples);
    std::free(white_samples);

    tables expected = straight(white, black);
    expect_same(expected, tables{image(gain_, gain_ + n), image(offset_, offset_ + n)}, "exported");
    expect_shipped_equals_straight(white, black);
}

TEST_F(Uniformity, GivenImagesReachTheTablesAndASecondReadGivesAFreshPair)
{
    std::mt19937 random(3);
    image black = random_image(random, 0, 1023), white = random_image(random, 0, 1023);
    handle_ = open_default();
    set_images(black, white);
    ASSERT_EQ(read(), KOVA_OK);
    tables expected = straight(white, black);
    expect_same(expected, tables{image(gain_, gain_ + n), image(offset_, offset_ + n)}, "exported");

    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    EXPECT_NE(gain, gain_);
    EXPECT_TRUE(std::equal(gain, gain + n, gain_));
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);
    EXPECT_EQ(log_texts(), "");
}

TEST_F(Uniformity, OneRangeLinePerPositionWhereEitherImageExceedsTheLimit)
{
    image black(n, 100), white(n, 900);
    white[5] = 0x400;                        // white alone
    black[7] = 0xFFFF;                       // black alone
    white[n - 1] = black[n - 1] = 0x3FF + 2; // both: one line
    white[9] = black[9] = 0x3FF;             // at the limit: none
    handle_ = open_default();
    set_images(black, white);
    ASSERT_EQ(read(), KOVA_OK);
    EXPECT_EQ(log_texts(), "read_uniformity_buffers image value corrupted > 0x3FF \r\r\n"
                           "read_uniformity_buffers image value corrupted > 0x3FF \r\r\n"
                           "read_uniformity_buffers image value corrupted > 0x3FF \r\r\n");
    // Corrupted samples take part as they are.
    expect_same(straight(white, black), tables{image(gain_, gain_ + n), image(offset_, offset_ + n)}, "exported");
}

TEST_F(Uniformity, FailedBlackReadReturnsTheMappedCodeAndReadsNoWhite)
{
    handle_ = open_default();
    vqsim_fail("read_fpn_data_black", 11, 1);
    EXPECT_EQ(read(), KOVA_ASYNC_READ);
    expect_untouched();
    EXPECT_EQ(vqsim_call_count("read_fpn_data_white"), 0u);
    EXPECT_EQ(log_texts(), "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_BLACK:    Error=11\r\r\n");
}

TEST_F(Uniformity, FailedWhiteReadReturnsTheMappedCodeAndReleasesTheBlackImage)
{
    handle_ = open_default();
    // The stand-in keeps a sensor's fixed pattern once made: make it before counting blocks.
    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    KovaQuadV3FreeUniformityBuffers(0, &gain, &offset);
    vqsim_fail("read_fpn_data_white", 7, 1);
    int before = blocks_held();
    EXPECT_EQ(read(), KOVA_UNPLUGGED);
    expect_untouched();
    EXPECT_EQ(blocks_held(), before);
    EXPECT_EQ(log_texts(), "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_WHITE :    Error=7\r\r\n");
}

TEST_F(Uniformity, ImagesOfAnotherSizeAreRefusedAndReleased)
{
    image black(n, 100), white(n, 900);
    handle_ = open_default();
    set_images(black, white, height - 1);
    int before = blocks_held();
    EXPECT_EQ(read(), KOVA_INTERNAL);
    expect_untouched();
    EXPECT_EQ(blocks_held(), before);
    EXPECT_EQ(log_texts(), "read_uniformity_buffers:    Error=9000: Internal KOVA  \r\r\n");
}

#ifdef KOVA_TEST_MALLOC
TEST_F(Uniformity, EachFailedAllocationGives9001AndLeaksNothing)
{
    image black(n, 100), white(n, 900);
    handle_ = open_default();
    set_images(black, white);
    // Fail the first, second, ... table-sized allocation from the read on (the stand-in's images
    // come first), until the read gets through.
    KovaStatus status = KOVA_OUT_OF_RESOURCE;
    for (int failing = 1; status != KOVA_OK && failing < 10; ++failing) {
        int before = blocks_held();
        fail_countdown = failing;
        status = read();
        fail_countdown = 0;
        if (status == KOVA_OK) break;
        EXPECT_EQ(status, KOVA_OUT_OF_RESOURCE) << failing;
        expect_untouched();
        EXPECT_EQ(blocks_held(), before) << failing;
    }
    EXPECT_EQ(status, KOVA_OK);
    EXPECT_EQ(count("read_uniformity_buffers:    Error=9001: Out of Resource\r\r\n"), 3u);
}
#endif

TEST_F(Uniformity, NullTablePointersAreRefusedBeforeTheDeviceLibrary)
{
    handle_ = open_default();
    std::uint16_t* table = sentinel;
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle_, nullptr, &table), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle_, &table, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(table, sentinel);
    EXPECT_EQ(vqsim_call_count("read_fpn_data_black"), 0u);
    EXPECT_EQ(count("read_uniformity_buffers:    Error=9109: Error 9109\r\r\n"), 2u);
}

TEST_F(Uniformity, NotInitialisedReadWritesNothing)
{
    EXPECT_EQ(read(), KOVA_NOT_INITIALIZED);
    expect_untouched();
    EXPECT_EQ(vqsim_call_count("read_fpn_data_black"), 0u);
    EXPECT_EQ(log_texts(), "");
}

TEST_F(Uniformity, FreeNullsBothPointersAndASecondFreeIsHarmless)
{
    handle_ = open_default();
    std::uint16_t *gain = nullptr, *offset = nullptr;
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);
    EXPECT_EQ(gain, nullptr);
    EXPECT_EQ(offset, nullptr);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);
}

TEST_F(Uniformity, FreeWithOneNullPointerToPointerFreesTheOther)
{
    handle_ = open_default();
    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, nullptr, &offset), KOVA_OK);
    EXPECT_EQ(offset, nullptr);
    EXPECT_NE(gain, nullptr);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, nullptr), KOVA_OK);
    EXPECT_EQ(gain, nullptr);
}

TEST_F(Uniformity, FreeBeforeInitialiseKeepsTheTables)
{
    handle_ = open_default();
    ASSERT_EQ(read(), KOVA_OK);
    std::uint16_t *gain = gain_, *offset = offset_;
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain_, &offset_), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(gain_, gain);
    EXPECT_EQ(offset_, offset);
    // TearDown initialises again and frees them.
}

} // namespace
