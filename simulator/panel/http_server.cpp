// SPDX-License-Identifier: MIT
// The panel's HTTP server: one thread, non-blocking sockets and a deadline per connection.
#include "simulator/panel/http_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <list>
#include <new>

#include "platform/socket.h"
#include "simulator/device/threads.h"

namespace vqsim {

namespace net = nvr::vantorquadrelv3::platform;
using Clock = std::chrono::steady_clock;

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string decoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
                   hex_digit(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

const char* reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    default: return "Internal Server Error";
    }
}

enum class Parsed { more, complete, refused };

// Reads one request from the bytes received so far, or says why it is refused.
Parsed parse(const std::string& in, HttpRequest& request, HttpResponse& refusal)
{
    const std::size_t first_line_end = std::min(in.find("\r\n"), in.size());
    if (first_line_end > HttpServer::max_head) {
        refusal.text(414, "URI too long");
        return Parsed::refused;
    }
    const std::size_t head_end = in.find("\r\n\r\n");
    if (head_end == std::string::npos ? in.size() > HttpServer::max_head : head_end > HttpServer::max_head) {
        refusal.text(431, "request header fields too large");
        return Parsed::refused;
    }
    if (head_end == std::string::npos) return Parsed::more;
    const auto bad = [&](const char* why) {
        refusal.text(400, std::string("bad request: ") + why);
        return Parsed::refused;
    };
    std::size_t line_end = in.find("\r\n");
    const std::string line = in.substr(0, line_end);
    const std::size_t first = line.find(' '), second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos || line.compare(second + 1, 7, "HTTP/1.") != 0 ||
        line.size() != second + 9)
        return bad("the request line is METHOD /PATH HTTP/1.1");
    request.method = line.substr(0, first);
    const std::string target = line.substr(first + 1, second - first - 1);
    if (target.empty() || target[0] != '/') return bad("the target is a path");
    const std::size_t question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) request.query = target.substr(question + 1);
    for (std::size_t at = line_end + 2; at < head_end + 2; at = line_end + 2) {
        line_end = in.find("\r\n", at);
        const std::string header = in.substr(at, line_end - at);
        const std::size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0) return bad("a header line without a name");
        if (request.headers.size() == HttpServer::max_headers) {
            refusal.text(431, "request header fields too large");
            return Parsed::refused;
        }
        request.headers.emplace_back(lower(header.substr(0, colon)), trimmed(header.substr(colon + 1)));
    }
    if (request.has_header("transfer-encoding")) return bad("no chunked bodies: send Content-Length");
    std::size_t length = 0;
    if (request.has_header("content-length")) {
        const std::string value = request.header("content-length");
        if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
            return bad("Content-Length is a number");
        length = std::stoul(value);
        if (length > HttpServer::max_body) {
            refusal.text(413, "payload too large");
            return Parsed::refused;
        }
    }
    if (in.size() < head_end + 4 + length) return Parsed::more;
    request.body = in.substr(head_end + 4, length);
    return Parsed::complete;
}

std::string serialised(const HttpRequest& request, const HttpResponse& response)
{
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    if (!response.type.empty()) out += "Content-Type: " + response.type + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    if (response.status != 204) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (request.method != "HEAD" && response.status != 204) out += response.body;
    return out;
}

struct Connection {
    net::Socket socket;
    Clock::time_point deadline;
    std::string in;
    std::string out;
    std::size_t sent = 0;
};

} // namespace

bool HttpRequest::has_header(const std::string& lower_name) const
{
    return std::any_of(headers.begin(), headers.end(), [&](const auto& header) { return header.first == lower_name; });
}

std::string HttpRequest::header(const std::string& lower_name) const
{
    for (const auto& [name, value] : headers)
        if (name == lower_name) return value;
    return {};
}

std::string HttpRequest::parameter(const std::string& name) const
{
    for (std::size_t at = 0; at <= query.size();) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(at, end - at);
        const std::size_t equals = pair.find('=');
        if (decoded(pair.substr(0, equals)) == name)
            return equals == std::string::npos ? std::string() : decoded(pair.substr(equals + 1));
        at = end + 1;
    }
    return {};
}

void HttpResponse::text(int code, const std::string& message)
{
    status = code;
    type = "text/plain; charset=utf-8";
    body = std::to_string(code) + " " + message + "\n";
}

int HttpServer::listen(int port)
{
    int bound = -1;
    listener_ = net::socket_listen_loopback(port, &bound);
    return listener_ == net::no_socket ? -1 : bound;
}

void HttpServer::serve()
{
    stopping_.store(false);
    thread_ = own_thread([this] { loop(); });
}

void HttpServer::stop()
{
    stopping_.store(true);
    if (thread_.joinable()) thread_.join();
    if (listener_ != net::no_socket) net::socket_close(listener_);
    listener_ = net::no_socket;
}

void HttpServer::loop()
{
    const net::Socket listener = listener_;
    std::list<Connection> connections; // oldest first
    std::vector<net::SocketWait> waits;
    std::vector<char> chunk(16384);
    const auto close = [&](std::list<Connection>::iterator it) {
        net::socket_close(it->socket);
        return connections.erase(it);
    };
    while (!stopping_.load()) {
        waits.clear();
        waits.push_back({listener, false, false});
        Clock::time_point wake = Clock::now() + std::chrono::milliseconds(100); // a stop is seen within this
        for (const Connection& connection : connections) {
            waits.push_back({connection.socket, !connection.out.empty(), false});
            wake = std::min(wake, connection.deadline);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
        net::socket_wait(waits, static_cast<int>(std::max<long long>(0, wait)));
        // Connections in the order waited on; new ones join at the end.
        std::size_t index = 1;
        for (auto it = connections.begin(); it != connections.end(); ++index) {
            Connection& connection = *it;
            // Too slow, however steadily it trickles.
            if (Clock::now() >= connection.deadline) {
                it = close(it);
                continue;
            }
            if (!waits[index].ready) {
                ++it;
                continue;
            }
            if (!connection.out.empty()) {
                const long long put = net::socket_write(connection.socket, connection.out.data() + connection.sent,
                                                        connection.out.size() - connection.sent);
                if (put == net::socket_failed) {
                    it = close(it);
                    continue;
                }
                if (put > 0) connection.sent += static_cast<std::size_t>(put);
                it = connection.sent == connection.out.size() ? close(it) : std::next(it);
                continue;
            }
            const long long got = net::socket_read(connection.socket, chunk.data(), chunk.size());
            if (got == 0 || got == net::socket_failed) {
                it = close(it);
                continue;
            }
            if (got > 0) connection.in.append(chunk.data(), static_cast<std::size_t>(got));
            HttpRequest request;
            HttpResponse response;
            const Parsed parsed = parse(connection.in, request, response);
            if (parsed == Parsed::more) {
                ++it;
                continue;
            }
            if (parsed == Parsed::complete) {
                try {
                    handler_(request, response);
                } catch (const std::exception&) {
                    response = HttpResponse();
                    response.text(500, "internal server error");
                }
            }
            connection.in.clear();
            connection.out = serialised(request, response);
            connection.deadline = Clock::now() + std::chrono::milliseconds(deadline_ms);
            ++it;
        }
        if (waits[0].ready)
            for (net::Socket accepted; (accepted = net::socket_accept(listener)) != net::no_socket;) {
                // A full house makes room by dropping its oldest connection, never a newcomer.
                if (connections.size() == max_connections) close(connections.begin());
                connections.push_back(
                    Connection{accepted, Clock::now() + std::chrono::milliseconds(deadline_ms), {}, {}, 0});
            }
    }
    for (const Connection& connection : connections) net::socket_close(connection.socket);
}

} // namespace vqsim
