// SPDX-License-Identifier: MIT
// Lamps and buzzer: exact request lists, change detection, the user-interface callback, and a
// model of the lamp rules run against the library over long random sequences of records.
#include <algorithm>
#include <array>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "tests/support/support.h"

namespace {

using nvr::vantorquadrelv3::get_shared_manager;
using Pairs = std::vector<std::pair<int, int>>;

std::uint32_t& word(DevUIRecord& r, int i)
{
    return i < 10 ? r.zone_word[i] : i == 10 ? r.lamp3_word : i == 11 ? r.lamp5_word : r.side_lamp_word;
}

DevUIRecord make_record(std::initializer_list<std::pair<int, std::uint32_t>> words)
{
    DevUIRecord record{};
    for (const auto& [index, value] : words) word(record, index) = value;
    return record;
}

// The 13 words as text: compared, and shown when a comparison fails.
std::string describe(DevUIRecord record)
{
    std::ostringstream text;
    for (int i = 0; i < 13; ++i) text << word(record, i) << ' ';
    return text.str();
}

// What the stand-in received last.
struct Request {
    int found = -1;
    unsigned handle = 0;
    Pairs pairs;
    std::tuple<int, unsigned short, int> setting{-1, 0, 0}; // buzzer mode, duration, repeat
};

Request last_request()
{
    unsigned char bytes[128];
    unsigned count = 0;
    Request r;
    r.found = vqsim_last_ihm_request(&r.handle, bytes, 64, &count, &std::get<0>(r.setting), &std::get<1>(r.setting),
                                     &std::get<2>(r.setting));
    for (unsigned i = 0; i < count && i < 64; ++i) r.pairs.emplace_back(bytes[2 * i], bytes[2 * i + 1]);
    return r;
}

class UserInterface : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        get_shared_manager()->ui_state.fill(0); // the state outlives a test when the binary runs whole
        handle_ = open_default();
        ASSERT_EQ(KovaVantorSetUICallBack(handle_, [](void* calls) { ++*static_cast<int*>(calls); }, &calls_), KOVA_OK);
        log_mark_ = log_bytes().size();
    }
    Pairs send(DevUIRecord record)
    {
        EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
        Request request = last_request();
        EXPECT_EQ(request.found, 0);
        return request.pairs;
    }
    DevUIRecord remembered()
    {
        DevUIRecord record;
        std::fill_n(reinterpret_cast<unsigned char*>(&record), sizeof record, 0xAB);
        EXPECT_EQ(KovaVantorGetDevUI(handle_, &record), KOVA_OK);
        return record;
    }
    std::string new_log_texts() const { return kova_test::strip_prefixes(log_bytes().substr(log_mark_)); }
    bool logged(const std::string& line) const { return new_log_texts().find(line + "\r\r\n") != std::string::npos; }
    unsigned long long library_calls() const { return vqsim_call_count("set_ihm_request"); }

    std::uint32_t handle_ = 0;
    int calls_ = 0;
    std::size_t log_mark_ = 0;
};

} // namespace

TEST_F(UserInterface, OnlyChangesAreSentAndSignalled)
{
    EXPECT_EQ(send(DevUIRecord{}), Pairs{}) << "nothing changed, but the request is still made";
    EXPECT_EQ(library_calls(), 1u);
    EXPECT_EQ(calls_, 0);

    DevUIRecord record = make_record({{10, 1}, {1, 3}});
    EXPECT_EQ(send(record), (Pairs{{3, 1}, {4, 1}, {6, 1}}));
    EXPECT_EQ(calls_, 1);
    EXPECT_EQ(last_request().handle, handle_);

    EXPECT_EQ(send(record), Pairs{}) << "the same record twice";
    EXPECT_EQ(library_calls(), 3u);
    EXPECT_EQ(calls_, 1);

    // The state and the registration outlive terminate and a new initialise.
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    handle_ = open_default();
    EXPECT_EQ(send(record), Pairs{});
    EXPECT_EQ(calls_, 1);
}

TEST_F(UserInterface, AFailedRequestStillUpdatesTheState)
{
    vqsim_fail("set_ihm_request", 1, 1);
    DevUIRecord record = make_record({{11, 9}});
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
    EXPECT_EQ(calls_, 1);
    EXPECT_EQ(new_log_texts(), "") << "the device library's answer is not logged";
    EXPECT_EQ(remembered().lamp5_word, 9u);
}

// Each row starts from zero, sends `before`, then `after`, which must send exactly `sent` and signal once.
TEST_F(UserInterface, ExactRequestLists)
{
    const struct {
        DevUIRecord before, after;
        Pairs sent;
        const char* why;
    } rows[] = {
        {{}, make_record({{0, 1}, {4, 1}}), {{2, 1}, {0, 0}}, "keys 6 and 7 agree: repeats removed"},
        {{}, make_record({{0, 1}, {4, 2}}), {{2, 1}, {0, 0}, {2, 0}, {0, 1}}, "two states of one lamp, key order"},
        {make_record({{3, 1}}), {}, {{7, 0}, {9, 0}}, "zone D switches 7 off first"},
        {make_record({{8, 1}, {9, 1}}), make_record({{9, 1}}), {{4, 0}, {6, 0}, {11, 1}, {1, 0}}, "lamp 11 before lamp 1"},
        {make_record({{12, 4}}), make_record({{12, 5}, {10, 1}}), {{3, 1}, {11, 0}, {1, 1}}, "selector 5"},
        {make_record({{12, 4}}), make_record({{12, 1}}), {{1, 1}, {11, 1}}, "word 12 on switches both lamps"},
        {make_record({{5, 7}}), make_record({{5, 0xFFFFFFFFu}}), {}, "codes above 3 are stored, send nothing"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        get_shared_manager()->ui_state.fill(0);
        send(row.before);
        calls_ = 0;
        EXPECT_EQ(send(row.after), row.sent);
        EXPECT_EQ(calls_, 1);
    }
}

TEST_F(UserInterface, SelectorIsWrittenBackAsZero)
{
    DevUIRecord record = make_record({{12, 5}, {10, 1}});
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
    EXPECT_EQ(describe(record), describe(make_record({{10, 1}}))) << "only word 12 is written";
    EXPECT_EQ(remembered().side_lamp_word, 0u);
}

TEST_F(UserInterface, BuzzerPatterns)
{
    get_shared_manager()->ui_state[4] = 2;
    const std::tuple<int, unsigned short, int> settings[] = {{2, 100, -1}, {1, 100, 200}, {1, 100, 100}};
    for (unsigned pattern = 0; pattern < 3; ++pattern) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(KovaVantorSetBuzzer(handle_ + 7, pattern), KOVA_OK);
        Request request = last_request();
        EXPECT_EQ(request.handle, handle_ + 7) << "the handle is passed on unchecked";
        EXPECT_EQ(request.pairs, Pairs{});
        EXPECT_EQ(request.setting, settings[pattern]);
    }
    EXPECT_EQ(calls_, 0);
    EXPECT_EQ(remembered().zone_word[4], 2u);
    EXPECT_EQ(new_log_texts(), "") << "an unknown handle is not logged either";

    EXPECT_EQ(KovaVantorSetBuzzer(handle_, 3), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorSetBuzzer(handle_, 0xFFFFFFFFu), KOVA_BAD_PARAMETER);
    EXPECT_EQ(library_calls(), 3u);
    EXPECT_TRUE(logged("set_buzzer:    Error=9109: Error 9109"));
}

TEST_F(UserInterface, RefusalsSendNothing)
{
    EXPECT_EQ(KovaVantorGetDevUI(handle_, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_EQ(KovaVantorSetDevUI(handle_, nullptr), KOVA_BAD_PARAMETER);
    EXPECT_TRUE(logged("get_device_ui:    Error=9109: Error 9109"));
    EXPECT_TRUE(logged("set_device_ui:    Error=9109: Error 9109"));

    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    DevUIRecord record = make_record({{0, 1}, {12, 4}});
    const std::string untouched = describe(record);
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(KovaVantorGetDevUI(handle_, &record), KOVA_NOT_INITIALIZED);
    EXPECT_EQ(describe(record), untouched);
    EXPECT_EQ(KovaVantorSetBuzzer(handle_, 0), KOVA_NOT_INITIALIZED);
    for (const char* name : {"set_device_ui", "get_device_ui", "set_buzzer"})
        EXPECT_TRUE(logged(std::string(name) + ":    Error=9101: Not Initialized")) << name;

    EXPECT_EQ(library_calls(), 0u);
    EXPECT_EQ(last_request().found, -1);
    EXPECT_EQ(calls_, 0);
    EXPECT_EQ(get_shared_manager()->ui_state, (std::array<std::uint32_t, 15>{}));
}

TEST_F(UserInterface, CallbackRunsOnTheCallingThreadAndMayCallBack)
{
    struct Reentrant {
        std::uint32_t handle = 0;
        int calls = 0;
        std::thread::id thread;
        std::vector<KovaStatus> statuses;
        DevUIRecord seen{};
        Pairs nested_pairs{{-1, -1}};
    } reentrant;
    reentrant.handle = handle_;
    // Calls back into the library: a method lock that was not re-entrant would make these wait and fail.
    ASSERT_EQ(KovaVantorSetUICallBack(handle_, [](void* context) {
        auto* self = static_cast<Reentrant*>(context);
        ++self->calls;
        self->thread = std::this_thread::get_id();
        self->statuses = {KovaVantorGetDevUI(self->handle, &self->seen), KovaVantorSetBuzzer(self->handle, 1)};
        DevUIRecord again = self->seen;
        self->statuses.push_back(KovaVantorSetDevUI(self->handle, &again));
        self->nested_pairs = last_request().pairs;
    }, &reentrant), KOVA_OK);
    DevUIRecord record = make_record({{0, 3}, {11, 1}});

    std::thread caller([&] { EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK); });
    std::thread::id caller_id = caller.get_id();
    caller.join();

    EXPECT_EQ(reentrant.calls, 1) << "the nested call changes nothing, so no second callback";
    EXPECT_EQ(reentrant.thread, caller_id);
    EXPECT_EQ(reentrant.statuses, (std::vector<KovaStatus>{KOVA_OK, KOVA_OK, KOVA_OK}));
    EXPECT_EQ(describe(reentrant.seen), describe(record)) << "the new state is in place before the callback";
    EXPECT_EQ(reentrant.nested_pairs, Pairs{});

    // A null registration switches the calls off.
    ASSERT_EQ(KovaVantorSetUICallBack(handle_, nullptr, &reentrant), KOVA_OK);
    EXPECT_EQ(send(make_record({{0, 1}})), (Pairs{{5, 0}, {2, 1}, {0, 0}}));
    EXPECT_EQ(reentrant.calls, 1);
}

namespace {

// The lamp rules written out on their own. Updates the slots (0-12 the words, 13 lamp 1, 14 lamp 11), writes
// a selector back as zero, and returns the pairs to send and whether anything changed.
std::pair<Pairs, bool> apply_model(std::array<std::uint32_t, 15>& slots, DevUIRecord& record)
{
    std::uint32_t w[15] = {};
    for (int i = 0; i < 13; ++i) w[i] = word(record, i);
    const bool derived = w[10] == 0 && w[11] == 0 && w[12] == 0, selector = w[12] == 4 || w[12] == 5;
    w[13] = derived ? w[8] != 0 : selector ? w[12] == 5 : slots[13];
    w[14] = derived ? w[8] == 0 && w[9] != 0 : selector ? w[12] == 4 : slots[14];
    if (selector) w[12] = word(record, 12) = 0;

    static const std::vector<int> lamps_of_slot[5] = {{3}, {5}, {1, 11}, {1}, {11}};
    static const std::pair<int, int> zones[4] = {{2, 0}, {4, 6}, {8, 10}, {9, 7}}; // A to D
    Pairs all, sent;
    bool changed = false;
    for (int slot : {10, 11, 12, 3, 2, 1, 0, 4, 5, 6, 7, 8, 9, 14, 13}) { // key order
        const std::uint32_t v = w[slot];
        if (slots[slot] == v) continue;
        slots[slot] = v, changed = true;
        if (slot >= 10) {
            for (int lamp : lamps_of_slot[slot - 10]) all.emplace_back(lamp, v != 0);
        } else if (v <= 3) {
            auto [first, second] = zones["ABCDABCDBC"[slot] - 'A'];
            if (v == 0 && first == 9) std::swap(first, second);
            all.insert(all.end(), {{first, int(v & 1)}, {second, int(v >> 1)}});
        }
    }
    for (const auto& pair : all)
        if (std::find(sent.begin(), sent.end(), pair) == sent.end()) sent.push_back(pair);
    return {sent, changed};
}

// Records that dwell on the interesting values: zone codes above 3, zero lamp words, the selectors.
DevUIRecord next_record(std::mt19937& rng, const DevUIRecord& input, const DevUIRecord& output)
{
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto value = [&](int index) -> std::uint32_t {
        static const std::uint32_t side[] = {0, 0, 0, 4, 4, 5, 5, 1, 2, 3, 6, 0xFFFFFFFFu};
        const int roll = pick(100);
        if (index >= 12) return side[pick(12)];
        if (index >= 10) return roll < 60 ? 0 : roll < 85 ? 1 : rng();
        if (index >= 8 && roll < 40) return 0; // words 8 and 9 also drive the side lamps
        return roll < 80 ? pick(4) : roll < 95 ? 4 + pick(6) : rng();
    };
    const int roll = pick(100);
    if (roll < 30) return roll < 20 ? input : output;
    DevUIRecord record = input;
    for (int n = roll < 65 ? 1 + pick(2) : 13, i = 0; i < n; ++i) {
        const int index = n < 13 ? pick(13) : i;
        word(record, index) = value(index);
    }
    if (roll >= 65 && pick(100) < 30) record.lamp3_word = record.lamp5_word = record.side_lamp_word = 0;
    return record;
}

} // namespace

TEST_F(UserInterface, LibraryFollowsTheModelOverRandomRecords)
{
    std::mt19937 rng(0x1A7B5u);
    std::array<std::uint32_t, 15> slots{};
    DevUIRecord input{}, output{};
    int callbacks = 0;

    for (int step = 0; step < 4000; ++step) {
        input = output = next_record(rng, input, output);
        DevUIRecord expected = input;
        const auto [sent, changed] = apply_model(slots, expected);
        SCOPED_TRACE(testing::Message() << "step " << step << ": " << describe(input));

        ASSERT_EQ(KovaVantorSetDevUI(handle_, &output), KOVA_OK);
        Request request = last_request();
        ASSERT_EQ(request.pairs, sent);
        ASSERT_EQ(request.setting, std::make_tuple(0, 0, -1));
        ASSERT_EQ(calls_, callbacks += changed);
        ASSERT_EQ(describe(output), describe(expected));
        ASSERT_EQ(describe(remembered()), describe(expected));
        ASSERT_EQ(get_shared_manager()->ui_state, slots);
    }
    EXPECT_GT(callbacks, 1000) << "the sequence should change the state often";
    EXPECT_LT(callbacks, 3500) << "and repeat itself often";
}
