// The panel's web server: the page, its state, frame pictures and the buttons' actions.
#include "simulator/panel/panel.h"

#include <httplib.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "simulator/panel/panel_page.h"
#include "simulator/scenario/scenario.h"
#include "simulator/device/simulation.h"

namespace vqsim {

namespace {

// The newest frame sample of a scanner as a PNG, or "" when it has none.
std::string frame_picture(const std::string& sensor_id)
{
    std::shared_ptr<DeviceLink> device;
    {
        Simulation& sim = Simulation::instance();
        std::lock_guard<std::mutex> guard(sim.mutex);
        for (const auto& scanner : sim.scanners)
            if (scanner->sensor_id == sensor_id) device = scanner->device;
        if (!device) sim.each_detached([&](const ScannerIdentity& identity) {
            if (identity.sensor_id == sensor_id) device = identity.device;
        });
    }
    if (!device) return {};
    std::vector<std::uint8_t> pixels;
    {
        // Copied out at once: the capture thread skips its samples while this is held.
        std::lock_guard<std::mutex> guard(device->sample.mutex);
        pixels = device->sample.pixels;
    }
    if (pixels.empty()) return {};
    std::string png_bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &png_bytes,
        [](png_structp p, png_bytep data, png_size_t size) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), size);
        },
        nullptr);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, FrameSample::width, FrameSample::height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < FrameSample::height; ++y) png_write_row(png, pixels.data() + y * FrameSample::width);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return png_bytes;
}

// What a button does: the same as a scenario's event. Returns "" or what is wrong.
std::string act(const httplib::Request& request)
{
    const std::string sensor = request.get_param_value("sensor");
    const std::string what = request.get_param_value("do");
    Simulation& sim = Simulation::instance();
    if (sensor.empty() || sensor.size() > 255) return "which scanner: sensor=ID";
    TimelineEvent event;
    event.sensor_id = sensor;
    if (what == "unplug") return sim.unplug(sensor, std::nullopt) ? "" : "no scanner " + sensor + " is attached";
    if (what == "plug") return sim.plug(sensor) ? "" : "no scanner " + sensor + " is unplugged";
    if (what == "sleep" || what == "wake") {
        event.kind = what == "sleep" ? TimelineEvent::Kind::sleep : TimelineEvent::Kind::wake;
    } else if (what == "status") {
        const std::string value = request.get_param_value("status");
        int status = 0;
        for (char c : value) status = c >= '0' && c <= '9' && status < 1000 ? status * 10 + (c - '0') : 1000;
        if (value.empty() || status < 1 || status > 255) return "status=1 to 255";
        event.kind = TimelineEvent::Kind::capture_status;
        event.status = status;
    } else if (what == "log") {
        event.kind = TimelineEvent::Kind::log;
        event.text = request.get_param_value("text");
        if (event.text.empty() || event.text.size() > 4096 || has_control_character(event.text))
            return "text=1 to 4096 bytes of printable text on one line";
    } else {
        return "do=unplug, plug, sleep, wake, status or log";
    }
    {
        std::lock_guard<std::mutex> guard(sim.mutex);
        if (event.kind != TimelineEvent::Kind::log && sim.find_attached(sensor) == nullptr)
            return "no scanner " + sensor + " is attached";
    }
    sim.fire(event);
    return "";
}

// Nobody else may bind the port while the panel has it (cpp-httplib's default, SO_REUSEPORT, lets a
// second process share it). SO_REUSEADDR alone still lets a restart bind while old connections linger.
#if defined(_WIN32)
void exclusive_address(socket_t socket)
{
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&yes), sizeof yes);
}
#else
void exclusive_address(socket_t socket)
{
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}
#endif

// A token for this run of the panel: 128 random bits, as hex.
std::string new_token()
{
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        token += part;
    }
    return token;
}

class Panel {
public:
    ~Panel() { stop(); } // at unload

    int start(const std::string& address)
    {
        std::lock_guard<std::mutex> guard(control_);
        if (server_) return port_;
        const std::size_t colon = address.rfind(':');
        const std::string host = colon == std::string::npos ? address : address.substr(0, colon);
        const std::string port_text = colon == std::string::npos ? "" : address.substr(colon + 1);
        int port = port_text.empty() || port_text.size() > 5 ? -1 : 0;
        for (char c : port_text) port = c >= '0' && c <= '9' && port >= 0 ? port * 10 + (c - '0') : -1;
        if (host != "127.0.0.1" || port < 0 || port > 65535)
            return refuse("the panel serves 127.0.0.1:PORT only (PORT 0 to 65535; 0: any free port), not \"" +
                          address + "\"");
        auto server = std::make_unique<httplib::Server>();
        token_ = new_token();
        configure(*server);
        const int bound = port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
        if (bound < 0) return refuse("the panel cannot listen on " + address + " (is the port taken?)");
        port_ = bound;
        server_ = std::move(server);
        frame_sampling.store(true);
        thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
        // A stop before the server runs would not reach it.
        for (int i = 0; i < 5000 && !server_->is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::fprintf(stderr, "VQUAD stand-in: panel at http://127.0.0.1:%d/\n", port_);
        std::fflush(stderr);
        return port_;
    }

    void stop()
    {
        std::lock_guard<std::mutex> guard(control_);
        if (!server_) return;
        frame_sampling.store(false);
        server_->stop();
        if (thread_.joinable()) thread_.join();
        server_.reset(); // its worker threads end with it, each after its request
        port_ = -1;
    }

private:
    static int refuse(const std::string& why)
    {
        std::fprintf(stderr, "VQUAD stand-in: %s\n", why.c_str());
        std::fflush(stderr);
        return -1;
    }

    // Requests come from the panel's own page only. A page elsewhere may still send requests to the
    // loopback address: its Host is not the panel's (DNS rebinding), its Origin is not the panel's
    // (a cross-site form or fetch), and it cannot read the token that the panel's page holds.
    bool own_host(const std::string& host) const
    {
        const std::string port = ":" + std::to_string(port_);
        return host == "127.0.0.1" + port || host == "localhost" + port;
    }

    void configure(httplib::Server& server)
    {
        // Small requests, answered or dropped quickly, so that stopping rarely waits long.
        server.set_payload_max_length(4096);
        server.set_read_timeout(2, 0);
        server.set_write_timeout(2, 0);
        server.set_keep_alive_timeout(1);
        server.set_keep_alive_max_count(20);
        server.set_socket_options(exclusive_address);
        server.new_task_queue = [] { return new httplib::ThreadPool(8); };
        server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            const auto refuse_with = [&](int status, const std::string& why) {
                response.status = status;
                response.set_content(std::to_string(status) + " " + why + "\n", "text/plain; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            };
            if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
                response.set_header("Allow", "GET, HEAD, POST");
                return refuse_with(405, "method not allowed");
            }
            if (request.path.size() > 64) return refuse_with(414, "URI too long");
            if (request.headers.size() > 64) return refuse_with(431, "request header fields too large");
            if (!own_host(request.get_header_value("Host")))
                return refuse_with(403, "forbidden: the panel answers to Host 127.0.0.1:" + std::to_string(port_) +
                                            " or localhost:" + std::to_string(port_) + " only");
            if (request.method == "POST") {
                if (request.has_header("Origin") &&
                    request.get_header_value("Origin") != "http://127.0.0.1:" + std::to_string(port_) &&
                    request.get_header_value("Origin") != "http://localhost:" + std::to_string(port_))
                    return refuse_with(403, "forbidden: actions come from the panel's own page");
                if (request.get_header_value("X-Panel-Token") != token_)
                    return refuse_with(403, "forbidden: an action needs the panel's token (X-Panel-Token)");
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
            if (!response.body.empty()) return; // a handler's own explanation
            std::string what = response.status == 404   ? "not found"
                               : response.status == 413 ? "payload too large"
                               : response.status == 414 ? "URI too long"
                               : response.status == 431 ? "request header fields too large"
                                                        : "bad request";
            if (response.status == 400 && request.method == "POST")
                what += ": an action is POST /action?sensor=ID&do=WHAT with Content-Length: 0 and the panel's token";
            response.set_content(std::to_string(response.status) + " " + what + "\n", "text/plain; charset=utf-8");
        });
        // Only what the page itself serves: no script, style or font from anywhere else.
        const auto headers = [](httplib::Response& response) {
            response.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self'");
            response.set_header("X-Content-Type-Options", "nosniff");
        };
        const auto page = [headers](const char* text, const char* type) {
            return [headers, text, type](const httplib::Request&, httplib::Response& response) {
                headers(response);
                response.set_content(text, type);
            };
        };
        server.Get("/", [this, headers](const httplib::Request&, httplib::Response& response) {
            std::string html = panel_page_html;
            html.replace(html.find("@TOKEN@"), 7, token_);
            headers(response);
            response.set_header("Cache-Control", "no-store");
            response.set_content(html, "text/html; charset=utf-8");
        });
        server.Get("/panel.js", page(panel_page_script, "text/javascript; charset=utf-8"));
        server.Get("/panel.css", page(panel_page_style, "text/css; charset=utf-8"));
        server.Get("/state", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Cache-Control", "no-store");
            response.set_content(panel_state(), "application/json");
        });
        server.Get("/frame", [](const httplib::Request& request, httplib::Response& response) {
            std::string picture = frame_picture(request.get_param_value("sensor"));
            if (picture.empty()) {
                response.status = 404;
                return;
            }
            response.set_header("Cache-Control", "no-store");
            response.set_content(std::move(picture), "image/png");
        });
        server.Post("/action", [](const httplib::Request& request, httplib::Response& response) {
            const std::string wrong = act(request);
            if (wrong.empty()) {
                response.status = 204;
                return;
            }
            response.status = 400;
            response.set_content(wrong + "\n", "text/plain; charset=utf-8");
        });
    }

    std::mutex control_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string token_;
    int port_ = -1;
};

Panel panel;

} // namespace

int start_panel(const std::string& address)
{
    return panel.start(address);
}

void stop_panel()
{
    panel.stop();
}

} // namespace vqsim
