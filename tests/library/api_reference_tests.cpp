// SPDX-License-Identifier: MIT
// The API reference holds true: every function of the header has its block, and each block's status
// list covers every code the function answers when any device-library call it makes fails, when
// the library is not initialised and when it is given null pointers.
#include "tests/support/support.h"

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "interface/status.h"

namespace {

using kova_test::default_sensor;
using kova_test::default_serial;

struct Documented {
    std::set<KovaStatus> codes;    // its @retval lines
    bool device_failures = false; // it refers to the device library's mapped codes
};

// Every function of the header that returns a status, with what its block documents.
std::map<std::string, Documented> read_reference()
{
    std::ifstream file(KOVA_PUBLIC_HEADER);
    std::stringstream text;
    text << file.rdbuf();
    const std::string header = text.str();
    std::map<std::string, Documented> functions;
    static const std::string marker = "KOVA_API KovaStatus ";
    for (std::size_t at = header.find(marker); at != std::string::npos; at = header.find(marker, at + 1)) {
        std::size_t name_end = header.find('(', at);
        Documented& entry = functions[header.substr(at + marker.size(), name_end - at - marker.size())];
        // The block is the comment that ends right before the declaration, blanks between.
        std::size_t last = header.find_last_not_of(" \t\r\n", at - 1);
        if (last == std::string::npos || last < 1 || header.compare(last - 1, 2, "*/") != 0) continue;
        std::size_t first = header.rfind("/**", last);
        if (first == std::string::npos) continue;
        const std::string block = header.substr(first, last + 1 - first);
        static const std::string retval = "@retval ";
        for (std::size_t r = block.find(retval); r != std::string::npos; r = block.find(retval, r + 1))
            entry.codes.insert(static_cast<KovaStatus>(std::stoul(block.substr(r + retval.size(), 8))));
        entry.device_failures = block.find("@ref kova_device_failures") != std::string::npos;
    }
    return functions;
}

// Every code a failed device-library call can become.
std::set<KovaStatus> mapped_codes()
{
    std::set<KovaStatus> codes;
    for (int status = 1; status <= 21; ++status)
        codes.insert(nvr::vantorquadrelv3::map_tft_status(static_cast<Celdra::TFTManager::TFT_Status>(status)));
    return codes;
}

// The operations of the device library's interface, by the stand-in's names for them.
const char* const operations[] = {
    "initialize", "uninitialize", "close_all_sensor", "get_sensor_list", "open_sensor", "close_sensor",
    "usbReboot", "usbReboot_blocking", "read_serial_number", "get_device_descriptor", "read_pia",
    "get_capture_param", "set_capture_params", "set_ihm_request", "start_asynchronous_capture",
    "stop_asynchronous_capture", "read_fpn_data_black", "read_fpn_data_white"};

enum class State { uninitialised, initialised, open, capturing };

struct Session {
    std::uint32_t handle = 0;
};

struct Case {
    const char* function;
    State state;
    std::function<KovaStatus(Session&)> call;
};

void ignore_frame(unsigned char*, void*) {}

KovaStatus list_n(std::uint32_t capacity, bool null_entries)
{
    std::uint32_t count = capacity;
    KovaDeviceEntry entries[2];
    return KovaGetDeviceList_N(&count, null_entries ? nullptr : entries);
}

KovaStatus list_ids(std::uint32_t capacity, bool null_ids)
{
    std::uint32_t count = capacity;
    char ids[2 * 255];
    return KovaGetDeviceList(&count, null_ids ? nullptr : ids);
}

KovaStatus read_tables(std::uint32_t handle)
{
    std::uint16_t* gain = nullptr;
    std::uint16_t* offset = nullptr;
    KovaStatus status = KovaVantorQuadrelReadUniformityBuffers(handle, &gain, &offset);
    KovaQuadV3FreeUniformityBuffers(handle, &gain, &offset);
    return status;
}

// Every function with the state it is tried in; a function appears once per case worth telling.
std::vector<Case> cases()
{
    KovaDeviceInfo info{};
    KovaCapabilities caps{};
    DevUIRecord record{};
    std::uint8_t flag = 0;
    std::uint32_t value = 0;
    std::uint16_t* table = nullptr;
    return {
        {"KovaInitialize_N", State::uninitialised, [](Session&) { return KovaInitialize_N(nullptr, 3, 0); }},
        {"KovaInitialize_N", State::open, [](Session&) { return KovaInitialize_N(nullptr, 3, 0); }},
        {"KovaTerminate", State::capturing, [](Session&) { return KovaTerminate(); }},
        {"KovaGetVersion", State::initialised, [](Session&) { return KovaGetVersion(); }},
        {"KovaGetVerInfo", State::initialised, [](Session&) { return KovaGetVerInfo(); }},
        {"KovaGetDeviceList_N", State::initialised, [](Session&) { return list_n(2, false); }},
        {"KovaGetDeviceList_N", State::initialised, [](Session&) { return list_n(0, false); }},
        {"KovaGetDeviceList_N", State::initialised, [](Session&) { return list_n(2, true); }},
        {"KovaGetDeviceList_N", State::initialised, [](Session&) {
             vqsim_remove_sensor(default_sensor);
             return list_n(2, false);
         }},
        {"KovaGetDeviceList", State::initialised, [](Session&) { return list_ids(2, false); }},
        {"KovaGetDeviceList", State::initialised, [](Session&) { return list_ids(0, false); }},
        {"KovaGetDeviceList", State::initialised, [](Session&) { return list_ids(2, true); }},
        {"KovaOpenDevice_N", State::initialised, [](Session& s) { return KovaOpenDevice_N(default_sensor, nullptr, &s.handle); }},
        {"KovaOpenDevice_N", State::open, [](Session& s) { return KovaOpenDevice_N(default_sensor, nullptr, &s.handle); }},
        {"KovaOpenDevice_N", State::initialised, [](Session& s) { return KovaOpenDevice_N("no such", nullptr, &s.handle); }},
        {"KovaOpenDevice_N", State::initialised, [](Session& s) { return KovaOpenDevice_N(nullptr, nullptr, &s.handle); }},
        {"KovaOpenDevice", State::initialised, [](Session& s) { return KovaOpenDevice(default_sensor, &s.handle); }},
        {"KovaOpenDevice", State::initialised, [](Session&) { return KovaOpenDevice(default_sensor, nullptr); }},
        {"KovaVantorQuadrelOpenDevice", State::initialised,
         [](Session& s) { return KovaVantorQuadrelOpenDevice(default_sensor, &s.handle); }},
        {"KovaVantorQuadrelOpenDevice", State::initialised,
         [](Session&) { return KovaVantorQuadrelOpenDevice(nullptr, nullptr); }},
        {"KovaCloseDevice_N", State::capturing, [](Session& s) { return KovaCloseDevice_N(s.handle); }},
        {"KovaCloseDevice_N", State::open, [](Session& s) { return KovaCloseDevice_N(s.handle + 1); }},
        {"KovaBusReset_N", State::open, [](Session& s) { return KovaBusReset_N(s.handle); }},
        {"KovaGetStatus", State::open, [](Session& s) {
             vqsim_power_event(default_serial, 3, 1); // a pending event: the wait returns at once
             return KovaGetStatus(s.handle);
         }},
        {"KovaGetStatus", State::open, [](Session& s) { return KovaGetStatus(s.handle + 1); }},
        {"KovaVantorStartVideo", State::open, [](Session& s) { return KovaVantorStartVideo(s.handle); }},
        {"KovaVantorStartVideo", State::capturing, [](Session& s) { return KovaVantorStartVideo(s.handle); }},
        {"KovaStopVideo", State::capturing, [](Session& s) { return KovaStopVideo(s.handle); }},
        {"KovaRegisterQuadV3CaptureCallback", State::open,
         [](Session& s) { return KovaRegisterQuadV3CaptureCallback(s.handle, ignore_frame, nullptr); }},
        {"KovaUnRegisterQuadV3CaptureCallback", State::open, [](Session&) { return KovaUnRegisterQuadV3CaptureCallback(); }},
        {"KovaVantorSetUICallBack", State::open, [](Session& s) { return KovaVantorSetUICallBack(s.handle, nullptr, nullptr); }},
        {"KovaVantorGetDeviceInfo", State::open, [info](Session& s) mutable { return KovaVantorGetDeviceInfo(s.handle, &info); }},
        {"KovaVantorGetDeviceInfo", State::open, [](Session& s) { return KovaVantorGetDeviceInfo(s.handle, nullptr); }},
        {"KovaVantorGetDeviceInfo", State::open, [info](Session& s) mutable {
             vqsim_set_serial_number(default_sensor, "no dash");
             return KovaVantorGetDeviceInfo(s.handle, &info);
         }},
        {"KovaVantorMGGetDeviceInfo", State::initialised,
         [info](Session&) mutable { return KovaVantorMGGetDeviceInfo(default_sensor, nullptr, &info); }},
        {"KovaVantorMGGetDeviceInfo", State::open,
         [info](Session&) mutable { return KovaVantorMGGetDeviceInfo(default_sensor, nullptr, &info); }},
        {"KovaVantorMGGetDeviceInfo", State::initialised,
         [](Session&) { return KovaVantorMGGetDeviceInfo(nullptr, nullptr, nullptr); }},
        {"KovaVantorGetCapabilities", State::open, [caps](Session& s) mutable { return KovaVantorGetCapabilities(s.handle, 4, &caps); }},
        {"KovaVantorGetCapabilities", State::open, [](Session& s) { return KovaVantorGetCapabilities(s.handle, 0, nullptr); }},
        {"KovaVantorQuadrelIsRollSupported", State::open, [flag](Session& s) mutable { return KovaVantorQuadrelIsRollSupported(s.handle, &flag); }},
        {"KovaVantorQuadrelIsRollSupported", State::open, [](Session& s) { return KovaVantorQuadrelIsRollSupported(s.handle, nullptr); }},
        {"KovaVantorQuadrelGetPortType", State::open, [value](Session& s) mutable { return KovaVantorQuadrelGetPortType(s.handle, &value); }},
        {"KovaVantorQuadrelGetPortType", State::open, [](Session& s) { return KovaVantorQuadrelGetPortType(s.handle, nullptr); }},
        {"KovaVantorQuadrelGetParameters", State::open, [value](Session& s) mutable { return KovaVantorQuadrelGetParameters(s.handle, 1, &value); }},
        {"KovaVantorQuadrelGetParameters", State::open, [value](Session& s) mutable { return KovaVantorQuadrelGetParameters(s.handle, 99, &value); }},
        {"KovaVantorQuadrelGetParameters", State::open, [](Session& s) { return KovaVantorQuadrelGetParameters(s.handle, 1, nullptr); }},
        {"KovaVantorQuadrelSetParameters", State::open, [](Session& s) { return KovaVantorQuadrelSetParameters(s.handle, 1, 20000); }},
        {"KovaVantorQuadrelSetParameters", State::open, [](Session& s) { return KovaVantorQuadrelSetParameters(s.handle, 1, 1); }},
        {"KovaVantorQuadrelReadFilters", State::open, [](Session&) { return KovaVantorQuadrelReadFilters(); }},
        {"KovaVantorGetDevUI", State::open, [record](Session& s) mutable { return KovaVantorGetDevUI(s.handle, &record); }},
        {"KovaVantorGetDevUI", State::open, [](Session& s) { return KovaVantorGetDevUI(s.handle, nullptr); }},
        {"KovaVantorSetDevUI", State::open, [](Session& s) {
             DevUIRecord lit{};
             lit.lamp3_word = 1;
             lit.side_lamp_word = 4;
             return KovaVantorSetDevUI(s.handle, &lit);
         }},
        {"KovaVantorSetDevUI", State::open, [](Session& s) { return KovaVantorSetDevUI(s.handle, nullptr); }},
        {"KovaVantorSetBuzzer", State::open, [](Session& s) { return KovaVantorSetBuzzer(s.handle, 1); }},
        {"KovaVantorSetBuzzer", State::open, [](Session& s) { return KovaVantorSetBuzzer(s.handle, 3); }},
        {"KovaVantorQuadrelReadUniformityBuffers", State::open, [](Session& s) { return read_tables(s.handle); }},
        {"KovaVantorQuadrelReadUniformityBuffers", State::open,
         [table](Session& s) mutable { return KovaVantorQuadrelReadUniformityBuffers(s.handle, &table, nullptr); }},
        {"KovaVantorQuadrelReadUniformityBuffers", State::open, [](Session& s) {
             vqsim_set_reported_calibration_geometry(default_sensor, 3200, 1499);
             return read_tables(s.handle);
         }},
        {"KovaQuadV3FreeUniformityBuffers", State::open,
         [table](Session& s) mutable { return KovaQuadV3FreeUniformityBuffers(s.handle, &table, nullptr); }},
        {"KovaGetAndroidStatus", State::open, [](Session& s) {
             vqsim_power_event(default_serial, 3, 1);
             return KovaGetAndroidStatus(s.handle, nullptr, 0, nullptr);
         }},
        {"KovaGetAndroidStatus", State::open, [](Session& s) { return KovaGetAndroidStatus(s.handle + 1, nullptr, 0, nullptr); }},
    };
}

class ApiReference : public kova_test::KovaTest {
protected:
    // A fresh session in the state asked for: each trial starts from nothing left by the last.
    Session enter(State state)
    {
        KovaUnRegisterQuadV3CaptureCallback();
        KovaTerminate();
        vqsim_reset();
        vqsim_add_sensor(default_sensor, default_serial);
        Session session;
        if (state == State::uninitialised) return session;
        EXPECT_EQ(KovaInitialize_N(nullptr, 3, 0), KOVA_OK);
        if (state == State::initialised) return session;
        EXPECT_EQ(KovaOpenDevice(default_sensor, &session.handle), KOVA_OK);
        if (state == State::open) return session;
        KovaRegisterQuadV3CaptureCallback(session.handle, ignore_frame, nullptr);
        EXPECT_EQ(KovaVantorStartVideo(session.handle), KOVA_OK);
        return session;
    }

    // The device-library operations the case's call makes, seen by the stand-in's call counts.
    std::vector<const char*> operations_of(const Case& trial)
    {
        Session session = enter(trial.state);
        std::vector<unsigned long long> before;
        for (const char* operation : operations) before.push_back(vqsim_call_count(operation));
        trial.call(session);
        std::vector<const char*> called;
        for (std::size_t i = 0; i < std::size(operations); ++i)
            if (vqsim_call_count(operations[i]) != before[i]) called.push_back(operations[i]);
        return called;
    }

    // What the case answers: as it stands, uninitialised, and with each of its operations failing
    // with every status of the device library (and one it does not know).
    std::set<KovaStatus> answers(const Case& trial)
    {
        std::set<KovaStatus> codes;
        Session session = enter(trial.state);
        codes.insert(trial.call(session));
        session = enter(State::uninitialised);
        codes.insert(trial.call(session));
        for (const char* operation : operations_of(trial)) {
            for (int status = 1; status <= 21; ++status) {
                session = enter(trial.state);
                vqsim_fail(operation, status, -1);
                codes.insert(trial.call(session));
                vqsim_fail(operation, 0, 0);
            }
        }
        return codes;
    }
};

TEST_F(ApiReference, EveryFunctionHasItsBlockAndEveryCodeItAnswersIsInIt)
{
    const std::map<std::string, Documented> reference = read_reference();
    const std::set<KovaStatus> mapped = mapped_codes();
    std::set<std::string> tried;
    for (const Case& trial : cases()) {
        SCOPED_TRACE(trial.function);
        auto found = reference.find(trial.function);
        ASSERT_NE(found, reference.end()) << "not declared in the header";
        tried.insert(trial.function);
        for (KovaStatus code : answers(trial)) {
            bool documented = found->second.codes.count(code) != 0 ||
                              (found->second.device_failures && mapped.count(code) != 0);
            EXPECT_TRUE(documented) << trial.function << " answers " << code << ", which its block does not list";
        }
    }
    // Every function that does something has its block and was tried; the ones kept for older
    // applications document their one answer.
    for (const auto& [function, documented] : reference) {
        EXPECT_FALSE(documented.codes.empty()) << function << " has no status list";
        if (documented.codes == std::set<KovaStatus>{KOVA_OK} && !documented.device_failures) continue;
        EXPECT_EQ(tried.count(function), 1u) << function << " is documented but not tried";
    }
}

} // namespace
