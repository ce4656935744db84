// SPDX-License-Identifier: MIT
// The virtual scanner panel without a browser: the state it reports, its buttons, bad requests, and
// its end with the device library's instance.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/panel_client.h"
#include "tests/support/support.h"

#if !defined(_WIN32)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using ::testing::HasSubstr;
using json = nlohmann::json;

std::mutex notified_mutex;
std::condition_variable notified_changed;
std::vector<int> notified_states;

void notified(std::int32_t, const char*, std::int32_t state)
{
    std::lock_guard<std::mutex> guard(notified_mutex);
    notified_states.push_back(state);
    notified_changed.notify_all();
}

class Panel : public kova_test::KovaTest {
protected:
    void SetUp() override
    {
        KovaTest::SetUp();
        {
            std::lock_guard<std::mutex> guard(notified_mutex);
            notified_states.clear();
        }
        port_ = vqsim_start_panel("127.0.0.1:0");
        ASSERT_GT(port_, 0);
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(10, 0);
    }
    void TearDown() override
    {
        client_.reset();
        vqsim_stop_panel();
        KovaTest::TearDown();
    }

    json state()
    {
        auto answer = client_->Get("/state");
        EXPECT_TRUE(answer);
        if (!answer) return json::object();
        EXPECT_EQ(answer->status, 200);
        return json::parse(answer->body);
    }
    std::string token() { return kova_test::panel_token(*client_); }
    httplib::Headers with_token() { return {{"X-Panel-Token", token()}}; }
    int post(const std::string& query) { return kova_test::panel_action(*client_, query); }
    // The journal's texts for a scanner, in order.
    std::vector<std::string> journal(const std::string& sensor)
    {
        std::vector<std::string> texts;
        std::uint64_t last = 0;
        const json now = state();
        for (const json& entry : now["journal"]) {
            EXPECT_GT(entry["sequence"].get<std::uint64_t>(), last);
            last = entry["sequence"].get<std::uint64_t>();
            if (entry["sensor_id"] == sensor) texts.push_back(entry["text"].get<std::string>());
        }
        return texts;
    }
    void wait_for_notifications(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(notified_mutex);
        notified_changed.wait(lock, [&] { return notified_states.size() >= count; });
    }

    int port_ = -1;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(Panel, ReportsLampsBuzzerAndTheJournalInOrder)
{
    std::uint32_t handle = open_default();
    DevUIRecord record;
    std::memset(&record, 0, sizeof record);
    record.zone_word[0] = 1; // zone A: first lamp (2) on
    record.zone_word[3] = 2; // zone D: second lamp (7) on
    ASSERT_EQ(KovaVantorSetDevUI(handle, &record), KOVA_OK);
    ASSERT_EQ(KovaVantorSetBuzzer(handle, 1), KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    ASSERT_EQ(KovaStopVideo(handle), KOVA_OK);

    json scanner = state()["scanners"][0];
    EXPECT_EQ(scanner["sensor_id"], kova_test::default_sensor);
    EXPECT_EQ(scanner["serial_number"], kova_test::default_serial);
    EXPECT_EQ(scanner["open"], true);
    EXPECT_EQ(scanner["capturing"], false);
    std::vector<int> lamps = scanner["lamps"];
    for (int lamp = 0; lamp < 12; ++lamp) EXPECT_EQ(lamps[lamp], vqsim_lamp_state(kova_test::default_sensor, lamp));
    EXPECT_EQ(lamps[2], 1);
    EXPECT_EQ(lamps[7], 1);
    EXPECT_EQ(lamps[0], 0);
    EXPECT_EQ(scanner["buzzer_count"], 1);
    EXPECT_THAT(journal(kova_test::default_sensor),
                ::testing::ElementsAre("opened", HasSubstr("buzzer: pulses"), "capture started", "capture stopped"));

    ASSERT_EQ(KovaCloseDevice_N(handle), KOVA_OK);
    EXPECT_EQ(state()["scanners"][0]["open"], false);
    EXPECT_EQ(journal(kova_test::default_sensor).back(), "closed");
}

TEST_F(Panel, ButtonsFireWhatAScenarioFires)
{
    ASSERT_EQ(initialize(3, 0, notified), KOVA_OK);
    std::uint32_t handle = 0;
    ASSERT_EQ(KovaOpenDevice(kova_test::default_sensor, &handle), KOVA_OK);
    vqsim_set_frame_interval_us(1000);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);

    EXPECT_EQ(post("sensor=QV3-0001&do=status&status=21"), 204);
    EXPECT_EQ(KovaGetStatus(handle), KOVA_DEVICE_UNAVAILABLE);
    EXPECT_EQ(post("sensor=QV3-0001&do=sleep"), 204);
    EXPECT_EQ(post("sensor=QV3-0001&do=wake"), 204);
    EXPECT_EQ(post("sensor=QV3-0001&do=log&text=%3Cb%3Ehello%3C%2Fb%3E"), 204);
    EXPECT_EQ(post("sensor=QV3-0001&do=unplug"), 204);
    wait_for_notifications(3);
    json scanner = state()["scanners"][0];
    EXPECT_EQ(scanner["attached"], false);
    EXPECT_EQ(post("sensor=QV3-0001&do=plug"), 204);
    wait_for_notifications(4);
    {
        std::lock_guard<std::mutex> guard(notified_mutex);
        EXPECT_THAT(notified_states, ::testing::ElementsAre(0, 1, 0, 1)); // asleep, awake, unplugged, plugged
    }
    EXPECT_THAT(journal(kova_test::default_sensor),
                ::testing::IsSupersetOf({HasSubstr("capture status 21"), HasSubstr("asleep (power event 2"),
                                         HasSubstr("awake (power event 3"), HasSubstr("unplugged (plug event 1"),
                                         HasSubstr("plugged in (plug event 0")}));
    EXPECT_THAT(state()["journal"].dump(), HasSubstr("log: <b>hello</b>"));
    EXPECT_EQ(state()["scanners"].size(), 1u); // the scanner back, not its old handle beside it
    EXPECT_EQ(state()["scanners"][0]["attached"], true);
    EXPECT_EQ(KovaCloseDevice_N(handle), KOVA_UNPLUGGED);
}

TEST_F(Panel, ServesThePageFramesAndEscapedTexts)
{
    std::uint32_t handle = open_default();
    vqsim_set_frame_interval_us(1000);
    ASSERT_EQ(vqsim_set_serial_number(kova_test::default_sensor, "QV3-\xff<script>\"x\""), 0);
    auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_THAT(page->body, HasSubstr("<script src=\"/panel.js\""));
    EXPECT_THAT(page->get_header_value("Content-Security-Policy"), HasSubstr("default-src 'self'"));
    for (const char* path : {"/panel.js", "/panel.css"}) {
        auto part = client_->Get(path);
        ASSERT_TRUE(part);
        EXPECT_EQ(part->status, 200) << path;
    }
    // Not valid UTF-8, yet the state is valid JSON and keeps the rest of the text.
    EXPECT_THAT(state()["scanners"][0]["serial_number"].get<std::string>(), HasSubstr("<script>\"x\""));

    kova_test::FrameSink frames;
    ASSERT_EQ(KovaRegisterQuadV3CaptureCallback(handle, kova_test::FrameSink::deliver, &frames), KOVA_OK);
    ASSERT_EQ(KovaVantorStartVideo(handle), KOVA_OK);
    while (state()["scanners"][0]["sample"] == 0) std::this_thread::yield();
    auto frame = client_->Get("/frame?sensor=QV3-0001");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->status, 200);
    EXPECT_EQ(frame->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(frame->body.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    EXPECT_EQ(KovaStopVideo(handle), KOVA_OK);
    auto none = client_->Get("/frame?sensor=QV3-9999");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 404);
}

TEST_F(Panel, BadRequestsGetAClearErrorAndThePanelGoesOn)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    struct Case {
        const char* method;
        std::string path;
        int status;
    };
    const Case cases[] = {{"GET", "/nothing-here", 404},
                          {"GET", "/" + std::string(100, 'a'), 414},
                          {"GET", "/" + std::string(10000, 'a'), 414},
                          {"PUT", "/state", 405},
                          {"DELETE", "/", 405},
                          {"POST", "/action?do=unplug", 400},
                          {"POST", "/action?sensor=QV3-0001&do=explode", 400},
                          {"POST", "/action?sensor=QV3-0001&do=status&status=256", 400},
                          {"POST", "/action?sensor=QV3-0001&do=status&status=1x", 400},
                          {"POST", "/action?sensor=QV3-9999&do=sleep", 400},
                          {"POST", "/action?sensor=QV3-0001&do=plug", 400}};
    for (const Case& c : cases) {
        httplib::Request request;
        request.method = c.method;
        request.path = c.path;
        request.headers = with_token();
        auto answer = client_->send(request);
        ASSERT_TRUE(answer) << c.method << " " << c.path;
        EXPECT_EQ(answer->status, c.status) << c.method << " " << c.path;
        EXPECT_FALSE(answer->body.empty());
    }
    httplib::Headers huge{{"X-Filler", std::string(20000, 'x')}};
    auto answer = client_->Get("/state", huge);
    EXPECT_TRUE(!answer || answer->status >= 400);
    httplib::Headers many;
    for (int i = 0; i < 100; ++i) many.emplace("X-Header-" + std::to_string(i), "1");
    answer = client_->Get("/state", many);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 431);
    answer = client_->Post("/action?sensor=QV3-0001&do=log&text=x", with_token(), std::string(10000, 'x'), "text/plain");
    EXPECT_TRUE(!answer || answer->status == 413);
    // Still serving, and the stand-in still answers.
    EXPECT_EQ(state()["initialized"], true);
    EXPECT_EQ(vqsim_is_open(kova_test::default_sensor), 0);
}

TEST_F(Panel, ListensOnTheLoopbackOnlyAndEndsWithTheInstance)
{
    for (const char* address : {"0.0.0.0:0", "localhost:0", "127.0.0.1:70000", "127.0.0.1:", "127.0.0.1:8x"}) {
        vqsim_stop_panel();
        kova_test::StderrCapture captured;
        EXPECT_EQ(vqsim_start_panel(address), -1) << address;
        EXPECT_THAT(captured.text(), HasSubstr("the panel serves 127.0.0.1:PORT only"));
    }
    ASSERT_GT(vqsim_start_panel("127.0.0.1:0"), 0);
    const int port = vqsim_start_panel("127.0.0.1:0"); // kept
    httplib::Client client("127.0.0.1", port);
    ASSERT_EQ(initialize(), KOVA_OK);
    ASSERT_TRUE(client.Get("/state"));
    ASSERT_EQ(KovaTerminate(), KOVA_OK); // the device library's instance ends, and the panel with it
    EXPECT_FALSE(client.Get("/state"));
}

// Only the panel's own page can act: a request with another Host (DNS rebinding), a POST from another
// origin (a cross-site form or fetch), or one without the page's token is refused, and changes nothing.
TEST_F(Panel, OnlyItsOwnPageCanAct)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    const std::string port = std::to_string(port_);
    const auto get_state_as = [&](const std::string& host) {
        auto answer = client_->Get("/state", {{"Host", host}});
        return answer ? answer->status : -1;
    };
    EXPECT_EQ(get_state_as("127.0.0.1:" + port), 200);
    EXPECT_EQ(get_state_as("localhost:" + port), 200);
    EXPECT_EQ(get_state_as("attacker.example:" + port), 403);
    EXPECT_EQ(get_state_as("127.0.0.1"), 403);
    EXPECT_EQ(get_state_as("127.0.0.1:" + std::to_string(port_ + 1)), 403);

    const std::string own = token();
    ASSERT_EQ(own.size(), 32u);
    EXPECT_NE(own, std::string(32, '0'));
    const auto act_with = [&](httplib::Headers headers, const std::string& body = "",
                              const char* type = "text/plain") {
        auto answer = client_->Post("/action?sensor=QV3-0001&do=unplug", headers, body, type);
        return answer ? answer->status : -1;
    };
    EXPECT_EQ(act_with({}), 403);
    EXPECT_EQ(act_with({{"X-Panel-Token", std::string(32, 'a')}}), 403);
    EXPECT_EQ(act_with({{"X-Panel-Token", own}, {"Origin", "http://attacker.example"}}), 403);
    EXPECT_EQ(act_with({{"X-Panel-Token", own}, {"Origin", "null"}}), 403);
    EXPECT_EQ(act_with({{"Origin", "http://attacker.example"}}, "sensor=QV3-0001&do=unplug",
                       "application/x-www-form-urlencoded"),
              403);
    EXPECT_EQ(vqsim_is_open(kova_test::default_sensor), 0); // still attached: nothing was done
    EXPECT_TRUE(journal(kova_test::default_sensor).empty());
    // A log text that would forge lines in the library's log.
    EXPECT_EQ(post("sensor=QV3-0001&do=log&text=one%0Atwo"), 400);
    EXPECT_EQ(post("sensor=QV3-0001&do=log&text=%1B%5B2J"), 400);
    // The page's own request.
    EXPECT_EQ(act_with({{"X-Panel-Token", own}, {"Origin", "http://127.0.0.1:" + port}}), 204);
}

#if !defined(_WIN32)
// The port is the panel's alone, and a port already taken is refused with one line.
TEST_F(Panel, BindsItsPortExclusively)
{
    const int other = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(other, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    EXPECT_NE(::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    vqsim_stop_panel();
    address.sin_port = 0;
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(other, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(other, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string taken = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    kova_test::StderrCapture captured;
    EXPECT_EQ(vqsim_start_panel(taken.c_str()), -1);
    EXPECT_EQ(captured.text(),
              "VQUAD stand-in: the panel cannot listen on " + taken + " (is the port taken?)\n");
    ::close(other);
}

// A raw connection to the panel, for what no well-behaved client sends.
int connect_to(int port)
{
    const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    EXPECT_EQ(::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return connection;
}

// Everything the panel sends until it closes the connection.
std::string read_to_end(int connection)
{
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
    return answer;
}

TEST_F(Panel, ActionWithoutABodyAndRequestsNoPageSends)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    const auto exchange = [&](const std::string& request) {
        const int connection = connect_to(port_);
        ::send(connection, request.data(), request.size(), MSG_NOSIGNAL);
        std::string answer = read_to_end(connection);
        ::close(connection);
        return answer;
    };
    // No Content-Length: no body, which an action does not need.
    EXPECT_THAT(exchange("POST /action?sensor=QV3-0001&do=sleep HTTP/1.1\r\n" + host + "X-Panel-Token: " + token() +
                         "\r\n\r\n"),
                ::testing::StartsWith("HTTP/1.1 204 "));
    const std::string refused[] = {"HELLO\r\n\r\n", "GET state HTTP/1.1\r\n" + host + "\r\n",
                                   "GET /state HTTP/1.1\r\n" + host + "no colon\r\n\r\n",
                                   "POST /action HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n",
                                   "POST /action HTTP/1.1\r\n" + host + "Content-Length: -1\r\n\r\n"};
    for (const std::string& request : refused)
        EXPECT_THAT(exchange(request), ::testing::AllOf(::testing::StartsWith("HTTP/1.1 400 "),
                                                        HasSubstr("\r\n\r\n400 bad request: ")))
            << request;
}

// Slow clients starve nobody, and the panel stops without waiting for them: here one keeps sending a
// header byte at a time for as long as the stop has not returned.
TEST_F(Panel, SlowClientsNeitherStarveOthersNorHoldUpItsEnd)
{
    ASSERT_EQ(initialize(), KOVA_OK);
    std::vector<int> slow;
    for (int i = 0; i < 50; ++i) {
        slow.push_back(connect_to(port_));
        ::send(slow.back(), "GET /state HTTP/1.1\r\nHo", 24, MSG_NOSIGNAL);
    }
    EXPECT_EQ(state()["initialized"], true);

    std::atomic<bool> stopped{false};
    std::thread trickle([&] {
        while (!stopped.load()) {
            ::send(slow.front(), "x", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    vqsim_stop_panel();
    stopped.store(true);
    trickle.join();
    for (int connection : slow) {
        EXPECT_EQ(read_to_end(connection), "") << "dropped where it stood";
        ::close(connection);
    }
}
#endif

} // namespace
