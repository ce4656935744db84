// Lamps and buzzer: record translation, change detection, the user-interface callback, and a
// model of the lamp rules run against the library over long random sequences of records.
#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "interface/shared_manager.h"
#include "manager/vantorquadrelv3_manager.h"
#include "tests/support.h"

namespace {

using nvr::vantorquadrelv3::get_shared_manager;
using Pairs = std::vector<std::pair<int, int>>;

std::uint32_t& word(DevUIRecord& record, int index)
{
    if (index < 10) return record.zone_word[index];
    if (index == 10) return record.lamp3_word;
    if (index == 11) return record.lamp5_word;
    return record.side_lamp_word;
}

DevUIRecord make_record(std::initializer_list<std::pair<int, std::uint32_t>> words)
{
    DevUIRecord record{};
    for (const auto& [index, value] : words) word(record, index) = value;
    return record;
}

std::string describe(DevUIRecord record)
{
    std::ostringstream text;
    for (int i = 0; i < 13; ++i) text << (i ? " " : "") << word(record, i);
    return text.str();
}

bool same_record(DevUIRecord a, DevUIRecord b)
{
    for (int i = 0; i < 13; ++i)
        if (word(a, i) != word(b, i)) return false;
    return true;
}

// What the stand-in received last.
struct Request {
    int found = -1;
    unsigned handle = 0;
    Pairs pairs;
    int mode = -1;
    unsigned short u16 = 0;
    int arg = 0;
};

Request last_request()
{
    constexpr unsigned capacity = 64;
    unsigned char bytes[2 * capacity];
    unsigned count = 0;
    Request request;
    request.found = vqsim_last_ihm_request(&request.handle, bytes, capacity, &count, &request.mode, &request.u16,
                                           &request.arg);
    for (unsigned i = 0; i < count && i < capacity; ++i) request.pairs.emplace_back(bytes[2 * i], bytes[2 * i + 1]);
    return request;
}

struct Calls {
    int count = 0;
    std::thread::id thread;

    static void on_change(void* context)
    {
        auto* calls = static_cast<Calls*>(context);
        calls->thread = std::this_thread::get_id();
        ++calls->count;
    }
};

class UserInterface : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        // The remembered lamp state lives as long as the manager; start every test from zero even
        // when the whole binary runs in one process.
        get_shared_manager()->ui_state.fill(0);
        handle_ = open_default();
        ASSERT_EQ(KovaVantorSetUICallBack(handle_, Calls::on_change, &calls_), KOVA_OK);
        log_mark_ = log_bytes().size();
    }

    // Sends the record; returns the pairs the stand-in received (the status must be 0).
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
    // The log's texts since SetUp (a run of the whole binary in one process leaves set-up lines).
    std::string new_log_texts() const { return kova_test::strip_prefixes(log_bytes().substr(log_mark_)); }
    bool logged(const std::string& line) const
    {
        return new_log_texts().find(line + "\r\r\n") != std::string::npos;
    }
    unsigned long long library_calls() const { return vqsim_call_count("set_ihm_request"); }

    std::uint32_t handle_ = 0;
    Calls calls_;
    std::size_t log_mark_ = 0;
};

} // namespace

TEST_F(UserInterface, OnlyChangesAreSentAndSignalled)
{
    // From the initial state an all-zero record changes nothing, but the request is still made.
    EXPECT_EQ(send(DevUIRecord{}), Pairs{});
    EXPECT_EQ(library_calls(), 1u);
    EXPECT_EQ(calls_.count, 0);

    DevUIRecord record = make_record({{10, 1}, {1, 3}});
    EXPECT_EQ(send(record), (Pairs{{3, 1}, {4, 1}, {6, 1}}));
    EXPECT_EQ(calls_.count, 1);
    EXPECT_EQ(last_request().handle, handle_);
    EXPECT_EQ(vqsim_lamp_state(kova_test::default_sensor, 3), 1);
    EXPECT_EQ(vqsim_lamp_state(kova_test::default_sensor, 6), 1);

    EXPECT_EQ(send(record), Pairs{}) << "the same record twice";
    EXPECT_EQ(library_calls(), 3u);
    EXPECT_EQ(calls_.count, 1);

    // The state outlives terminate and a new initialise.
    ASSERT_EQ(KovaTerminate(), KOVA_OK);
    handle_ = open_default();
    EXPECT_EQ(send(record), Pairs{});
    EXPECT_EQ(calls_.count, 1) << "the registration survives too";
    EXPECT_TRUE(same_record(remembered(), record));
}

TEST_F(UserInterface, AFailedRequestStillUpdatesTheState)
{
    vqsim_fail("set_ihm_request", 1, 1);
    DevUIRecord record = make_record({{11, 9}});
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
    EXPECT_EQ(calls_.count, 1);
    EXPECT_EQ(new_log_texts(), "") << "the device library's answer is not logged";
    EXPECT_EQ(send(record), Pairs{});
    EXPECT_EQ(remembered().lamp5_word, 9u);
}

TEST_F(UserInterface, ZoneRequestsInKeyOrderWithRepeatsRemoved)
{
    EXPECT_EQ(send(make_record({{0, 1}, {4, 1}})), (Pairs{{2, 1}, {0, 0}})) << "keys 6 and 7 agree";
    EXPECT_EQ(send(DevUIRecord{}), (Pairs{{2, 0}, {0, 0}}));
    EXPECT_EQ(send(make_record({{0, 1}, {4, 2}})), (Pairs{{2, 1}, {0, 0}, {2, 0}, {0, 1}}))
        << "one lamp with two states keeps both";
    EXPECT_EQ(vqsim_lamp_state(kova_test::default_sensor, 2), 0) << "the stand-in applies the list in order";
    EXPECT_EQ(vqsim_lamp_state(kova_test::default_sensor, 0), 1);

    // Zone D switches 7 off before 9; the other zones switch their first lamp first.
    EXPECT_EQ(send(make_record({{3, 1}})), (Pairs{{9, 1}, {7, 0}, {2, 0}, {0, 0}}));
    EXPECT_EQ(send(make_record({{2, 3}, {6, 2}})), (Pairs{{7, 0}, {9, 0}, {8, 1}, {10, 1}, {8, 0}}));
    EXPECT_EQ(send(make_record({{2, 3}, {6, 2}, {1, 2}, {5, 1}})), (Pairs{{4, 0}, {6, 1}, {4, 1}, {6, 0}}));
}

TEST_F(UserInterface, SideLampsFollowZoneWordsWhenTheLampWordsAreZero)
{
    auto manager = get_shared_manager();
    EXPECT_EQ(send(make_record({{8, 1}})), (Pairs{{4, 1}, {6, 0}, {1, 1}}));
    EXPECT_EQ(manager->ui_state[13], 1u);
    EXPECT_EQ(manager->ui_state[14], 0u);

    // Word 8 wins over word 9; with word 8 cleared lamp 11 comes on (key 13 before key 14).
    EXPECT_EQ(send(make_record({{8, 1}, {9, 1}})), (Pairs{{8, 1}, {10, 0}}));
    EXPECT_EQ(send(make_record({{9, 1}})), (Pairs{{4, 0}, {6, 0}, {11, 1}, {1, 0}}));

    // A lamp word that is not zero leaves the derived slots alone.
    EXPECT_EQ(send(make_record({{10, 1}})), (Pairs{{3, 1}, {8, 0}, {10, 0}}));
    EXPECT_EQ(manager->ui_state[14], 1u);
    EXPECT_EQ(send(make_record({{12, 7}})), (Pairs{{3, 0}, {1, 1}, {11, 1}}));
}

TEST_F(UserInterface, SelectorValuesAreWrittenBackAsZero)
{
    DevUIRecord record = make_record({{12, 4}});
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
    EXPECT_EQ(record.side_lamp_word, 0u);
    EXPECT_EQ(last_request().pairs, (Pairs{{11, 1}}));
    EXPECT_EQ(calls_.count, 1);
    EXPECT_EQ(remembered().side_lamp_word, 0u);

    record = make_record({{12, 5}, {10, 1}});
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK);
    EXPECT_EQ(record.side_lamp_word, 0u);
    EXPECT_EQ(record.lamp3_word, 1u) << "only word 12 is written";
    EXPECT_EQ(last_request().pairs, (Pairs{{3, 1}, {11, 0}, {1, 1}}));

    // Word 12 on after the selector: key 2 switches both lamps on.
    EXPECT_EQ(send(make_record({{12, 1}})), (Pairs{{3, 0}, {1, 1}, {11, 1}}));
    EXPECT_EQ(remembered().side_lamp_word, 1u);
}

TEST_F(UserInterface, ZoneCodesAboveThreeAreStoredButSendNothing)
{
    EXPECT_EQ(send(make_record({{5, 7}})), Pairs{});
    EXPECT_EQ(calls_.count, 1);
    EXPECT_EQ(remembered().zone_word[5], 7u);
    EXPECT_EQ(send(make_record({{5, 0xFFFFFFFFu}})), Pairs{});
    EXPECT_EQ(calls_.count, 2);
    EXPECT_EQ(send(make_record({{5, 0}})), (Pairs{{4, 0}, {6, 0}}));
}

TEST_F(UserInterface, BuzzerPatterns)
{
    get_shared_manager()->ui_state[4] = 2;
    const struct {
        unsigned pattern;
        int mode;
        unsigned short u16;
        int arg;
    } expected[] = {{0, 2, 100, -1}, {1, 1, 100, 200}, {2, 1, 100, 100}};
    for (const auto& want : expected) {
        SCOPED_TRACE(want.pattern);
        EXPECT_EQ(KovaVantorSetBuzzer(handle_ + 7, want.pattern), KOVA_OK);
        Request request = last_request();
        EXPECT_EQ(request.handle, handle_ + 7) << "the handle is passed on unchecked";
        EXPECT_EQ(request.pairs, Pairs{});
        EXPECT_EQ(request.mode, want.mode);
        EXPECT_EQ(request.u16, want.u16);
        EXPECT_EQ(request.arg, want.arg);
    }
    EXPECT_EQ(calls_.count, 0);
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
    DevUIRecord untouched = record;
    EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(same_record(record, untouched));
    EXPECT_EQ(KovaVantorGetDevUI(handle_, &record), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(same_record(record, untouched));
    EXPECT_EQ(KovaVantorSetBuzzer(handle_, 0), KOVA_NOT_INITIALIZED);
    EXPECT_TRUE(logged("set_device_ui:    Error=9101: Not Initialized"));
    EXPECT_TRUE(logged("get_device_ui:    Error=9101: Not Initialized"));
    EXPECT_TRUE(logged("set_buzzer:    Error=9101: Not Initialized"));

    EXPECT_EQ(library_calls(), 0u);
    EXPECT_EQ(last_request().found, -1);
    EXPECT_EQ(calls_.count, 0);
    EXPECT_EQ(get_shared_manager()->ui_state, (std::array<std::uint32_t, 15>{}));
}

namespace {

// Calls back into the library from inside the user-interface callback.
struct Reentrant {
    std::uint32_t handle = 0;
    std::thread::id thread;
    int calls = 0;
    KovaStatus get = 1, buzzer = 1, nested_set = 1;
    DevUIRecord seen{};
    Pairs nested_pairs{{-1, -1}};

    static void on_change(void* context)
    {
        auto* self = static_cast<Reentrant*>(context);
        ++self->calls;
        self->thread = std::this_thread::get_id();
        // A method lock that was not re-entrant would make these wait and give 9000.
        self->get = KovaVantorGetDevUI(self->handle, &self->seen);
        self->buzzer = KovaVantorSetBuzzer(self->handle, 1);
        DevUIRecord again = self->seen;
        self->nested_set = KovaVantorSetDevUI(self->handle, &again);
        self->nested_pairs = last_request().pairs;
    }
};

} // namespace

TEST_F(UserInterface, CallbackRunsOnTheCallingThreadAndMayCallBack)
{
    Reentrant reentrant;
    reentrant.handle = handle_;
    ASSERT_EQ(KovaVantorSetUICallBack(handle_, Reentrant::on_change, &reentrant), KOVA_OK);
    DevUIRecord record = make_record({{0, 3}, {11, 1}});

    std::thread caller([&] { EXPECT_EQ(KovaVantorSetDevUI(handle_, &record), KOVA_OK); });
    std::thread::id caller_id = caller.get_id();
    caller.join();

    EXPECT_EQ(reentrant.calls, 1) << "the nested call changes nothing, so no second callback";
    EXPECT_EQ(reentrant.thread, caller_id);
    EXPECT_EQ(reentrant.get, KOVA_OK);
    EXPECT_TRUE(same_record(reentrant.seen, record)) << "the new state is in place before the callback";
    EXPECT_EQ(reentrant.buzzer, KOVA_OK);
    EXPECT_EQ(reentrant.nested_set, KOVA_OK);
    EXPECT_EQ(reentrant.nested_pairs, Pairs{});

    // A null registration switches the calls off.
    ASSERT_EQ(KovaVantorSetUICallBack(handle_, nullptr, &reentrant), KOVA_OK);
    EXPECT_EQ(send(make_record({{0, 1}})), (Pairs{{5, 0}, {2, 1}, {0, 0}}));
    EXPECT_EQ(reentrant.calls, 1);
}

TEST_F(UserInterface, ConcurrentCallersEachGetTheirOwnCallback)
{
    thread_local bool inside_set = false;
    static std::atomic<int> foreign_calls{0};
    static std::atomic<int> total_calls{0};
    ASSERT_EQ(KovaVantorSetUICallBack(handle_, [](void*) {
        ++total_calls;
        if (!inside_set) ++foreign_calls;
    }, nullptr), KOVA_OK);

    const DevUIRecord records[2] = {make_record({{0, 1}, {10, 1}}), make_record({{0, 2}, {12, 5}})};
    auto run = [&](int which) {
        for (int i = 0; i < 300; ++i) {
            DevUIRecord record = records[which];
            inside_set = true;
            KovaStatus status = KovaVantorSetDevUI(handle_, &record);
            inside_set = false;
            ASSERT_EQ(status, KOVA_OK);
        }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();

    EXPECT_EQ(foreign_calls, 0);
    EXPECT_GE(total_calls, 1);
    DevUIRecord last = remembered();
    DevUIRecord second_stored = records[1];
    second_stored.side_lamp_word = 0;
    EXPECT_TRUE(same_record(last, records[0]) || same_record(last, second_stored)) << describe(last);
}

namespace {

// The lamp rules written out on their own, to check the library against.
class LampModel {
public:
    struct Outcome {
        Pairs sent;
        bool changed = false;
    };

    Outcome apply(DevUIRecord& record)
    {
        std::uint32_t w[13];
        for (int i = 0; i < 13; ++i) w[i] = word(record, i);

        // key -> value; std::map keeps the keys in ascending order
        std::map<int, std::uint32_t> keys{{0, w[10]}, {1, w[11]}, {2, w[12]}};
        for (int key = 3; key <= 12; ++key) keys[key] = w[zone_word_of_key[key - 3]];
        if (w[10] == 0 && w[11] == 0 && w[12] == 0) {
            keys[14] = w[8] != 0;
            keys[13] = w[8] == 0 && w[9] != 0;
        } else if (w[12] == 4 || w[12] == 5) {
            word(record, 12) = 0;
            keys[2] = 0;
            keys[13] = w[12] == 4;
            keys[14] = w[12] == 5;
        }

        Outcome outcome;
        Pairs all;
        for (const auto& [key, value] : keys) {
            int slot = key <= 2 ? 10 + key : key <= 12 ? zone_word_of_key[key - 3] : key == 13 ? 14 : 13;
            if (slots[slot] == value) continue;
            slots[slot] = value;
            outcome.changed = true;
            int bit = value != 0 ? 1 : 0;
            if (key == 0) all.push_back({3, bit});
            else if (key == 1) all.push_back({5, bit});
            else if (key == 2) all.insert(all.end(), {{1, bit}, {11, bit}});
            else if (key == 13) all.push_back({11, bit});
            else if (key == 14) all.push_back({1, bit});
            else {
                Pairs zone = zone_requests(zone_of_key[key - 3], value);
                all.insert(all.end(), zone.begin(), zone.end());
            }
        }
        for (const auto& pair : all)
            if (std::count(outcome.sent.begin(), outcome.sent.end(), pair) == 0) outcome.sent.push_back(pair);
        for (const auto& [lamp, state] : outcome.sent) lamps[static_cast<std::size_t>(lamp)] = state;
        return outcome;
    }

    std::array<std::uint32_t, 15> slots{};
    std::array<int, 12> lamps{};

private:
    static constexpr int zone_word_of_key[10] = {3, 2, 1, 0, 4, 5, 6, 7, 8, 9};
    static constexpr char zone_of_key[11] = "DCBAABCDBC";

    static Pairs zone_requests(char zone, std::uint32_t code)
    {
        static const std::map<char, std::pair<int, int>> zone_lamps{
            {'A', {2, 0}}, {'B', {4, 6}}, {'C', {8, 10}}, {'D', {9, 7}}};
        auto [first, second] = zone_lamps.at(zone);
        switch (code) {
        case 0: return zone == 'D' ? Pairs{{7, 0}, {9, 0}} : Pairs{{first, 0}, {second, 0}};
        case 1: return {{first, 1}, {second, 0}};
        case 2: return {{first, 0}, {second, 1}};
        case 3: return {{first, 1}, {second, 1}};
        default: return {};
        }
    }
};

// Records that dwell on the interesting values: zone codes above 3, zero lamp words, the selectors.
class RecordSource {
public:
    explicit RecordSource(std::uint32_t seed) : rng_(seed) {}

    DevUIRecord next(const DevUIRecord& previous_input, const DevUIRecord& previous_output)
    {
        int roll = pick(100);
        if (roll < 20) return previous_input;
        if (roll < 30) return previous_output;
        DevUIRecord record = previous_input;
        if (roll < 65) {
            for (int n = 1 + pick(2); n > 0; --n) {
                int index = pick(13);
                word(record, index) = index < 10 ? zone_code(index) : index < 12 ? lamp_word() : side_word();
            }
            return record;
        }
        for (int i = 0; i < 10; ++i) word(record, i) = zone_code(i);
        record.lamp3_word = lamp_word();
        record.lamp5_word = lamp_word();
        record.side_lamp_word = side_word();
        if (pick(100) < 30) record.lamp3_word = record.lamp5_word = record.side_lamp_word = 0;
        return record;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::uint32_t zone_code(int index)
    {
        int roll = pick(100);
        if (index >= 8 && roll < 40) return 0; // words 8 and 9 also drive the side lamps
        if (roll < 80) return static_cast<std::uint32_t>(pick(4));
        if (roll < 95) return static_cast<std::uint32_t>(4 + pick(6));
        return rng_();
    }
    std::uint32_t lamp_word()
    {
        int roll = pick(100);
        return roll < 60 ? 0 : roll < 85 ? 1 : rng_();
    }
    std::uint32_t side_word()
    {
        static const std::uint32_t others[] = {1, 2, 3, 6, 0xFFFFFFFFu};
        int roll = pick(100);
        if (roll < 35) return 0;
        if (roll < 60) return 4;
        if (roll < 85) return 5;
        return others[pick(5)];
    }

    std::mt19937 rng_;
};

} // namespace

TEST_F(UserInterface, LibraryFollowsTheModelOverRandomRecords)
{
    const std::uint32_t seed = 0x1A7B5u;
    RecordSource source(seed);
    LampModel model;
    auto manager = get_shared_manager();
    DevUIRecord input{}, output{};
    int callbacks = 0;

    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", step " << step);
        if (step % 23 == 7) {
            // The buzzer leaves the lamp state alone.
            ASSERT_EQ(KovaVantorSetBuzzer(handle_, static_cast<unsigned>(step % 3)), KOVA_OK);
            ASSERT_EQ(last_request().pairs, Pairs{});
            ASSERT_EQ(calls_.count, callbacks);
            continue;
        }
        input = source.next(input, output);
        output = input;
        DevUIRecord expected = input;
        LampModel::Outcome want = model.apply(expected);
        SCOPED_TRACE(describe(input));

        ASSERT_EQ(KovaVantorSetDevUI(handle_, &output), KOVA_OK);
        Request request = last_request();
        ASSERT_EQ(request.pairs, want.sent);
        ASSERT_EQ(request.mode, 0);
        ASSERT_EQ(request.u16, 0);
        ASSERT_EQ(request.arg, -1);
        callbacks += want.changed ? 1 : 0;
        ASSERT_EQ(calls_.count, callbacks);
        ASSERT_TRUE(same_record(output, expected)) << describe(output);

        DevUIRecord stored = remembered();
        for (int i = 0; i < 13; ++i) ASSERT_EQ(word(stored, i), model.slots[static_cast<std::size_t>(i)]) << i;
        ASSERT_EQ(manager->ui_state[13], model.slots[13]);
        ASSERT_EQ(manager->ui_state[14], model.slots[14]);
        for (int lamp = 0; lamp < 12; ++lamp)
            ASSERT_EQ(vqsim_lamp_state(kova_test::default_sensor, lamp), model.lamps[static_cast<std::size_t>(lamp)])
                << "lamp " << lamp;
    }
    EXPECT_GT(callbacks, 1000) << "the sequence should change the state often";
    EXPECT_LT(callbacks, 3500) << "and repeat itself often";
}
