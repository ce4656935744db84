// SPDX-License-Identifier: MIT
// The uniformity tables: every entry against the computation written plainly, the repair and
// divisor edges, the range lines, the failed reads and allocations, and the free function.
#include "tests/support/support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
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
namespace tft = Celdra::TFTManager;

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

// Every entry of both tables, reported as a count and the first difference.
void expect_same(const tables& expected, const tables& actual)
{
    std::size_t wrong = 0, first = 0;
    for (std::size_t j = n; j-- > 0;)
        if (expected.gain[j] != actual.gain[j] || expected.offset[j] != actual.offset[j]) ++wrong, first = j;
    EXPECT_EQ(wrong, 0u) << "first at " << first << ": gain " << expected.gain[first] << " / " << actual.gain[first]
                         << ", offset " << expected.offset[first] << " / " << actual.offset[first];
}

using kernel = uni::uniformity_kernel;
const std::pair<kernel, const char*> kernels[] = {
    {kernel::avx512, "avx512"}, {kernel::avx2, "avx2"}, {kernel::portable, "portable"}};

// The calibration images as the device library gives them.
void library_images(std::uint32_t handle, image& white, image& black)
{
    for (auto [which, samples] : {std::pair{tft::SLAP_IMAGE_WHITE, &white}, std::pair{tft::SLAP_IMAGE_BLACK, &black}}) {
        tft::TFT_ImageClass read;
        ASSERT_EQ(tft::TFTManagerClass::get_instance()->read_fpn_data(handle, which, read), 0);
        auto* data = reinterpret_cast<std::uint16_t*>(read.get_image_data_pointer());
        samples->assign(data, data + n);
        std::free(data);
    }
}

} // namespace

#ifdef KOVA_TEST_MALLOC
// Table-sized allocations of the whole process (images and tables alike): the k-th one from
// arming can be made to fail, and the ones still held are counted.
static constexpr std::size_t table_bytes = n * sizeof(std::uint16_t);
static std::atomic<int> fail_countdown{0};
static std::atomic<void*> held[64];

static void* system_malloc(std::size_t size);
static void system_free(void* block);

// Sets of blocks without allocating: remember puts a block into a free slot, forget takes it out
// and tells whether it was there.
template <std::size_t size>
static void remember(std::atomic<void*> (&slots)[size], void* block)
{
    for (auto& slot : slots) {
        void* empty = nullptr;
        if (slot.compare_exchange_strong(empty, block)) return;
    }
}
template <std::size_t size>
static bool forget(std::atomic<void*> (&slots)[size], void* block)
{
    for (auto& slot : slots) {
        void* expected = block;
        if (block != nullptr && slot.compare_exchange_strong(expected, nullptr)) return true;
    }
    return false;
}

static void* watched_malloc(std::size_t size)
{
    if (size != table_bytes) return system_malloc(size);
    if (fail_countdown.load() > 0 && fail_countdown.fetch_sub(1) == 1) return nullptr;
    void* block = system_malloc(size);
    remember(held, block);
    return block;
}

static void watched_free(void* block)
{
    forget(held, block);
    system_free(block);
}

#if defined(_WIN32)
// Table-sized blocks the stand-in allocated that this program (the core) then freed: the device
// library hands its calibration images over to be released with free, so both modules must share
// the Universal CRT's one heap.
static std::atomic<void*> stand_in_blocks[8];
static std::atomic<int> stand_in_blocks_freed_here{0};

static void* stand_in_malloc(std::size_t size)
{
    void* block = watched_malloc(size);
    if (block != nullptr && size == table_bytes) remember(stand_in_blocks, block);
    return block;
}

static void program_free(void* block)
{
    if (forget(stand_in_blocks, block)) ++stand_in_blocks_freed_here;
    watched_free(block);
}
#endif

#if defined(_WIN32)
#define NOMINMAX
#include <windows.h>
// Every module calls the Universal CRT's malloc and free through its import address table: pointing
// those entries of this program (the core is linked into it) and of the stand-in here watches them
// as interposition does elsewhere.
static void* (*crt_malloc)(std::size_t) = nullptr;
static void (*crt_free)(void*) = nullptr;
static void* system_malloc(std::size_t size) { return crt_malloc(size); }
static void system_free(void* block) { crt_free(block); }

static int redirect_import(const char* module_name, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<unsigned char*>(::GetModuleHandleA(module_name));
    if (base == nullptr) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int redirected = 0;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name != 0; ++dll) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0) continue;
            DWORD protection = 0;
            ::VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            ++redirected;
        }
    }
    return redirected;
}

static const bool heap_watched = [] {
    HMODULE crt = ::GetModuleHandleA("ucrtbase.dll");
    crt_malloc = reinterpret_cast<void* (*)(std::size_t)>(reinterpret_cast<void*>(::GetProcAddress(crt, "malloc")));
    crt_free = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(::GetProcAddress(crt, "free")));
    int redirected = 0;
    redirected += redirect_import(nullptr, "malloc", reinterpret_cast<void*>(&watched_malloc));
    redirected += redirect_import(nullptr, "free", reinterpret_cast<void*>(&program_free));
    redirected += redirect_import("VQUAD.dll", "malloc", reinterpret_cast<void*>(&stand_in_malloc));
    redirected += redirect_import("VQUAD.dll", "free", reinterpret_cast<void*>(&watched_free));
    return crt_malloc != nullptr && crt_free != nullptr && redirected >= 4;
}();
#else
extern "C" void* __libc_malloc(std::size_t);
extern "C" void __libc_free(void*);
static void* system_malloc(std::size_t size) { return __libc_malloc(size); }
static void system_free(void* block) { __libc_free(block); }
static const bool heap_watched = true;

extern "C" void* malloc(std::size_t size) { return watched_malloc(size); }
extern "C" void free(void* block) { watched_free(block); }
#endif

static int blocks_held()
{
    return static_cast<int>(std::count_if(std::begin(held), std::end(held), [](auto& slot) { return slot.load(); }));
}
#else
static int blocks_held() { return 0; } // malloc cannot be watched here
#endif

namespace {

class Uniformity : public KovaTest {
protected:
    // Reads the tables into sentinel-initialised pointers; the sentinels must survive a failure.
    KovaStatus read(std::uint16_t** gain = nullptr, std::uint16_t** offset = nullptr)
    {
        return KovaVantorQuadrelReadUniformityBuffers(handle_, gain ? gain : &gain_, offset ? offset : &offset_);
    }
    void set_images(const image& black, const image& white, unsigned rows = height)
    {
        ASSERT_EQ(vqsim_set_calibration(default_sensor, black.data(), white.data(), stride_bytes, rows), 0);
    }
    void expect_untouched() const { EXPECT_TRUE(gain_ == sentinel && offset_ == sentinel); }
    void TearDown() override
    {
        for (std::uint16_t* table : {gain_, offset_})
            if (table != sentinel) std::free(table);
        KovaTest::TearDown();
    }

    static inline std::uint16_t sentinel_storage = 0;
    static inline std::uint16_t* const sentinel = &sentinel_storage;
    std::uint32_t handle_ = 0;
    std::uint16_t* gain_ = sentinel;
    std::uint16_t* offset_ = sentinel;
};

TEST_F(Uniformity, EveryKernelGivesThePlainTablesOnEveryEntry)
{
    handle_ = open_default();
    std::mt19937 random(20240601);
    auto random_image = [&](unsigned low, unsigned high) {
        std::uniform_int_distribution<unsigned> sample(low, high);
        image result(n);
        for (auto& value : result) value = static_cast<std::uint16_t>(sample(random));
        return result;
    };
    struct flavour {
        const char* name;
        std::function<void(image&, image&)> make;
        std::function<void(const tables&)> check;
    };
    const flavour flavours[] = {
        {"whole sample range: repairs, wrapped differences, both limits",
         [&](image& w, image& b) { w = random_image(0, 65535), b = random_image(0, 32767); },
         [](const tables& t) {
             auto [low, high] = std::minmax_element(t.offset.begin(), t.offset.end());
             EXPECT_TRUE(*std::max_element(t.gain.begin(), t.gain.end()) == 65535 && *low == 0 && *high == 65535);
         }},
        {"ten bits with dark defects, white below black and differences under 5",
         [&](image& w, image& b) {
             b = random_image(60, 140), w = random_image(700, 1000);
             std::uniform_int_distribution<std::size_t> at(0, n - 1);
             for (int k = 0; k < 5000; ++k) {
                 std::size_t d = at(random), l = at(random), j = at(random);
                 b[d] = k % 40, w[l] = k % 200, w[j] = static_cast<std::uint16_t>(b[j] + k % 6);
             }
         },
         nullptr},
        {"black above white",
         [&](image& w, image& b) { w = random_image(100, 300), b = random_image(500, 700); },
         [](const tables& t) { EXPECT_EQ(*std::max_element(t.gain.begin(), t.gain.end()), 0); }},
        // 65300 + 255 wraps to 19; only then is the mean difference positive and the gains unsaturated.
        {"repair wraps in 16 bits",
         [](image& w, image& b) {
             w.assign(n, 65535), b.assign(n, 65535);
             for (std::size_t j = 0; j < n; j += 997) b[j] = 65300;
         },
         [](const tables& t) { EXPECT_TRUE(t.gain[1] > 0 && t.gain[1] < 65535) << t.gain[1]; }},
        // Pairs around 200 keep the mean at 200: 50 is kept (difference 950), 49 repaired (696).
        {"150 below the mean is kept, 151 repaired",
         [](image& w, image& b) {
             w.assign(n, 1000), b.assign(n, 200);
             b[10] = 50, b[11] = 350, b[20] = 49, b[21] = 351;
         },
         [](const tables& t) { EXPECT_TRUE(t.gain[10] < t.gain[0] && t.gain[0] < t.gain[20]); }},
        // Differences 0, 5, -1, 1023, above 1023 and -100.
        {"divisor limited to 5..1023, negative differences wrap to the top",
         [](image& w, image& b) {
             w.assign(n, 600), b.assign(n, 100);
             w[1] = 100, w[2] = 105, w[3] = 99, w[4] = 1123, w[5] = 2000, w[6] = 0;
         },
         [](const tables& t) {
             for (int j : {3, 5, 6}) EXPECT_EQ(t.gain[j], t.gain[4]) << j;
             EXPECT_TRUE(t.gain[1] == t.gain[2] && t.gain[2] > t.gain[4]);
         }},
        {"flat", [](image& w, image& b) { w.assign(n, 600), b.assign(n, 100); },
         [](const tables& t) { EXPECT_TRUE(t.gain[0] == 1024 && t.offset[0] == 32768); }},
        // 1 - 10 * (1 / 10.0) is 0 when the product is rounded first, just below 0 when fused.
        {"product and difference rounded separately",
         [](image& w, image& b) { w.assign(n, 1), b.assign(n, 0), w[100] = 10, std::fill(&w[200], &w[209], 0); },
         [](const tables& t) { EXPECT_EQ(t.offset[100], 32768); }},
        {"built in", [&](image& w, image& b) { library_images(handle_, w, b); }, nullptr},
    };
    for (const auto& f : flavours) {
        SCOPED_TRACE(f.name);
        image white, black;
        f.make(white, black);
        const tables expected = straight(white, black);
        if (f.check) f.check(expected);
        const bool above_limit =
            std::max(*std::max_element(white.begin(), white.end()), *std::max_element(black.begin(), black.end())) >
            uni::calibration_sample_limit;
        for (auto [kernel, name] : kernels) {
            if (!uni::uniformity_kernel_supported(kernel)) continue;
            SCOPED_TRACE(name);
            const uni::calibration_scan scan = uni::scan_calibration(white.data(), black.data(), kernel);
            EXPECT_EQ(scan.above_limit, above_limit);
            tables t{image(n), image(n)};
            uni::compute_uniformity_tables(scan, white.data(), black.data(), t.gain.data(), t.offset.data(), kernel);
            expect_same(expected, t);
        }
    }
}

// The run-time dispatch finds the vector kernels of the processor the tests run on (as the build
// machine's /proc/cpuinfo lists them), so that the test above checks them rather than skipping them.
TEST(UniformityDispatch, FindsTheKernelsOfThisProcessor)
{
#ifdef KOVA_PROCESSOR_KERNELS
    const std::string listed = KOVA_PROCESSOR_KERNELS;
    EXPECT_EQ(uni::uniformity_kernel_supported(kernel::avx2), listed.find("avx2") != std::string::npos);
    EXPECT_EQ(uni::uniformity_kernel_supported(kernel::avx512), listed.find("avx512") != std::string::npos);
#endif
    EXPECT_TRUE(uni::uniformity_kernel_supported(kernel::portable));
}

TEST_F(Uniformity, ReadLogsOneRangeLinePerPositionAboveTheLimitAndExportsThePlainTables)
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
    expect_same(straight(white, black), {image(gain_, gain_ + n), image(offset_, offset_ + n)});

    // A second read gives a fresh pair.
    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    EXPECT_NE(gain, gain_);
    EXPECT_TRUE(std::equal(gain, gain + n, gain_));
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);
}

TEST_F(Uniformity, FailedReadsAndImagesOfAnotherSizeReturnTheirCodeAndReleaseWhatWasRead)
{
    handle_ = open_default();
    // The stand-in keeps a sensor's fixed pattern once made: make it before counting blocks.
    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    KovaQuadV3FreeUniformityBuffers(0, &gain, &offset);
    struct failure {
        std::function<void()> arrange;
        KovaStatus status;
        unsigned long long white_reads;
        const char* line;
    };
    const failure failures[] = {
        {[] { vqsim_fail("read_fpn_data_black", 11, 1); }, KOVA_ASYNC_READ, 0,
         "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_BLACK:    Error=11\r\r\n"},
        {[] { vqsim_fail("read_fpn_data_white", 7, 1); }, KOVA_UNPLUGGED, 1,
         "read_uniformity_buffers TFTManager read_fpn_data SLAP_IMAGE_WHITE :    Error=7\r\r\n"},
        {[&] { set_images(image(n, 100), image(n, 900), height - 1); }, KOVA_INTERNAL, 1,
         "read_uniformity_buffers:    Error=9000: Internal KOVA  \r\r\n"},
        // Reported as 2,149,883,648 bytes a row and 2 rows, whose 32-bit product wraps to the
        // tables' 4,800,000 bytes.
        {[&] {
             set_images(image(n, 100), image(n, 900));
             vqsim_set_reported_calibration_geometry(default_sensor, 2149883648u, 2);
         },
         KOVA_INTERNAL, 1, "read_uniformity_buffers:    Error=9000: Internal KOVA  \r\r\n"},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.line);
        f.arrange();
        const auto white_reads = vqsim_call_count("read_fpn_data_white");
        const int before = blocks_held();
        const std::size_t logged = log_texts().size();
        EXPECT_EQ(read(), f.status);
        expect_untouched();
        EXPECT_EQ(blocks_held(), before);
        EXPECT_EQ(vqsim_call_count("read_fpn_data_white") - white_reads, f.white_reads);
        EXPECT_EQ(log_texts().substr(logged), f.line);
    }
}

#ifdef KOVA_TEST_MALLOC
TEST_F(Uniformity, EachFailedAllocationGives9001AndLeaksNothing)
{
    ASSERT_TRUE(heap_watched);
    handle_ = open_default();
    set_images(image(n, 100), image(n, 900));
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
    // 9001 is returned, never written with a text.
    EXPECT_EQ(log_texts().find("Error=9001"), std::string::npos);
#if defined(_WIN32)
    // The calibration images the stand-in allocated were released by the library, on the one heap.
    EXPECT_GE(stand_in_blocks_freed_here.load(), 2);
#endif
}
#endif

TEST_F(Uniformity, NotInitialisedOrNullPointersAreRefusedBeforeTheDeviceLibrary)
{
    EXPECT_EQ(read(), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(log_texts(), "");
    handle_ = open_default();
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle_, nullptr, &offset_), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorQuadrelReadUniformityBuffers(handle_, &gain_, nullptr), KOVA_BAD_PARAMETER);
    expect_untouched();
    EXPECT_EQ(vqsim_call_count("read_fpn_data_black"), 0u);
    const std::string line = "read_uniformity_buffers:    Error=9109: Error 9109\r\r\n";
    EXPECT_EQ(log_texts(), line + line);
}

TEST_F(Uniformity, FreeReleasesEachGivenTableAndNullsItOnlyWhenInitialised)
{
    handle_ = open_default();
    std::uint16_t *gain = nullptr, *offset = nullptr;
    ASSERT_EQ(read(&gain, &offset), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, nullptr, &offset), KOVA_OK);
    EXPECT_EQ(offset, nullptr);
    EXPECT_NE(gain, nullptr);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, nullptr), KOVA_OK);
    EXPECT_EQ(gain, nullptr);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain, &offset), KOVA_OK);

    ASSERT_EQ(read(), KOVA_OK);
    std::uint16_t *kept_gain = gain_, *kept_offset = offset_;
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    EXPECT_EQ(KovaQuadV3FreeUniformityBuffers(0, &gain_, &offset_), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(gain_, kept_gain);
    EXPECT_EQ(offset_, kept_offset);
}

} // namespace
