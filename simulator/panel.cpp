// The panel's web server: the page, its state, frame pictures and the buttons' actions.
#include "simulator/panel.h"

#include <httplib.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "simulator/panel_page.h"
#include "simulator/simulation.h"

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
        if (event.text.empty() || event.text.size() > 4096 || event.text.find('\0') != std::string::npos)
            return "text=1 to 4096 bytes";
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
        configure(*server);
        port_ = port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
        if (port_ < 0) return refuse("the panel cannot listen on " + address);
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

    static void configure(httplib::Server& server)
    {
        // Small requests, answered or dropped quickly, so that stopping never waits long.
        server.set_payload_max_length(4096);
        server.set_read_timeout(2, 0);
        server.set_write_timeout(2, 0);
        server.set_keep_alive_timeout(1);
        server.set_keep_alive_max_count(20);
        server.new_task_queue = [] { return new httplib::ThreadPool(3); };
        server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
            if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
                response.status = 405;
                response.set_header("Allow", "GET, HEAD, POST");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.path.size() > 64 || request.headers.size() > 64) {
                response.status = request.path.size() > 64 ? 414 : 431;
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) return; // a handler's own explanation
            const char* what = response.status == 404   ? "not found"
                               : response.status == 405 ? "method not allowed"
                               : response.status == 413 ? "payload too large"
                               : response.status == 414 ? "URI too long"
                               : response.status == 431 ? "request header fields too large"
                                                        : "bad request";
            response.set_content(std::to_string(response.status) + " " + what + "\n", "text/plain; charset=utf-8");
        });
        // Only what the page itself serves: no script, style or font from anywhere else.
        const auto page = [](const char* text, const char* type) {
            return [text, type](const httplib::Request&, httplib::Response& response) {
                response.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self'");
                response.set_header("X-Content-Type-Options", "nosniff");
                response.set_content(text, type);
            };
        };
        server.Get("/", page(panel_page_html, "text/html; charset=utf-8"));
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
