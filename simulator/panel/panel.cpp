// SPDX-License-Identifier: MIT
// The panel's web server: the page, its state, frame pictures and the buttons' actions.
#include "simulator/panel/panel.h"

#include <png.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>

#include "simulator/core/capture_engine.h"
#include "simulator/core/simulation.h"
#include "simulator/panel/http_server.h"
#include "simulator/panel/panel_page.h"
#include "simulator/scenario/scenario.h"

namespace vqsim {

namespace {

// The newest frame sample of a scanner as a PNG, or "" when it has none.
std::string frame_picture(const std::string& sensor_id)
{
    const std::vector<std::uint8_t> pixels = Simulation::instance().preview(sensor_id);
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
std::string act(const HttpRequest& request)
{
    const std::string sensor = request.parameter("sensor");
    const std::string what = request.parameter("do");
    Simulation& sim = Simulation::instance();
    if (sensor.empty() || sensor.size() > 255) return "which scanner: sensor=ID";
    TimelineEvent event;
    event.sensor_id = sensor;
    if (what == "unplug") return sim.unplug(sensor, std::nullopt) ? "" : "no scanner " + sensor + " is attached";
    if (what == "plug") return sim.plug(sensor) ? "" : "no scanner " + sensor + " is unplugged";
    if (what == "sleep" || what == "wake") {
        event.kind = what == "sleep" ? TimelineEvent::Kind::sleep : TimelineEvent::Kind::wake;
    } else if (what == "status") {
        const std::string value = request.parameter("status");
        int status = 0;
        for (char c : value) status = c >= '0' && c <= '9' && status < 1000 ? status * 10 + (c - '0') : 1000;
        if (value.empty() || status < 1 || status > 255) return "status=1 to 255";
        event.kind = TimelineEvent::Kind::capture_status;
        event.status = status;
    } else if (what == "log") {
        event.kind = TimelineEvent::Kind::log;
        event.text = request.parameter("text");
        if (event.text.empty() || event.text.size() > 4096 || has_control_character(event.text))
            return "text=1 to 4096 bytes of printable text on one line";
    } else {
        return "do=unplug, plug, sleep, wake, status or log";
    }
    if (event.kind != TimelineEvent::Kind::log && !sim.is_attached(sensor))
        return "no scanner " + sensor + " is attached";
    sim.fire(event);
    return "";
}

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
        token_ = new_token();
        auto server = std::make_unique<HttpServer>([this](const HttpRequest& request, HttpResponse& response) {
            answer(request, response);
        });
        const int bound = server->listen(port);
        if (bound < 0) return refuse("the panel cannot listen on " + address + " (is the port taken?)");
        port_ = bound; // known before the first request is read
        server->serve();
        server_ = std::move(server);
        set_previews(true);
        std::fprintf(stderr, "VQUAD stand-in: panel at http://127.0.0.1:%d/\n", bound);
        std::fflush(stderr);
        return bound;
    }

    void stop()
    {
        std::lock_guard<std::mutex> guard(control_);
        if (!server_) return;
        set_previews(false);
        server_.reset(); // drops every client where it stands
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
        const std::string port = ":" + std::to_string(port_.load());
        return host == "127.0.0.1" + port || host == "localhost" + port;
    }
    bool own_origin(const std::string& origin) const
    {
        const std::string port = ":" + std::to_string(port_.load());
        return origin == "http://127.0.0.1" + port || origin == "http://localhost" + port;
    }

    void answer(const HttpRequest& request, HttpResponse& response)
    {
        const std::string port = std::to_string(port_.load());
        if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
            response.headers.emplace_back("Allow", "GET, HEAD, POST");
            return response.text(405, "method not allowed");
        }
        if (request.path.size() > 64) return response.text(414, "URI too long");
        if (!own_host(request.header("host")))
            return response.text(403, "forbidden: the panel answers to Host 127.0.0.1:" + port + " or localhost:" +
                                          port + " only");
        // Only what the page itself serves: no script, style or font from anywhere else.
        response.headers.emplace_back("Content-Security-Policy", "default-src 'self'; img-src 'self'");
        response.headers.emplace_back("X-Content-Type-Options", "nosniff");
        response.headers.emplace_back("Cache-Control", "no-store");
        if (request.method == "POST") {
            if (request.has_header("origin") && !own_origin(request.header("origin")))
                return response.text(403, "forbidden: actions come from the panel's own page");
            if (request.header("x-panel-token") != token_)
                return response.text(403, "forbidden: an action needs the panel's token (X-Panel-Token)");
            if (request.path != "/action") return response.text(404, "not found");
            const std::string wrong = act(request);
            if (!wrong.empty()) return response.text(400, wrong);
            response.status = 204;
            return;
        }
        if (request.path == "/") {
            response.body = panel_page_html;
            response.body.replace(response.body.find("@TOKEN@"), 7, token_);
            response.type = "text/html; charset=utf-8";
        } else if (request.path == "/panel.js") {
            response.body = panel_page_script;
            response.type = "text/javascript; charset=utf-8";
        } else if (request.path == "/panel.css") {
            response.body = panel_page_style;
            response.type = "text/css; charset=utf-8";
        } else if (request.path == "/state") {
            response.body = panel_state();
            response.type = "application/json";
        } else if (request.path == "/frame") {
            response.body = frame_picture(request.parameter("sensor"));
            if (response.body.empty()) return response.text(404, "no frame of that scanner yet");
            response.type = "image/png";
        } else {
            response.text(404, "not found");
        }
    }

    std::mutex control_;
    std::unique_ptr<HttpServer> server_;
    std::string token_;
    std::atomic<int> port_{-1};
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
