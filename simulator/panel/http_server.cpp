// SPDX-License-Identifier: MIT
// The panel's HTTP server on Boost.Beast: one thread runs every connection asynchronously, each
// under a deadline, with the request limits checked before a body is read.
#include "simulator/panel/http_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>
#include <list>
#include <memory>

#include "platform/socket.h"
#include "simulator/core/threads.h"

namespace vqsim {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;
using tcp = asio::ip::tcp;

namespace {

constexpr std::chrono::milliseconds deadline{HttpServer::deadline_ms};

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
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

void bad(HttpResponse& refusal, const char* why)
{
    refusal.text(400, std::string("bad request: ") + why);
}

// What a client is told of a request Beast could not parse, or nothing when it is simply gone.
bool refusal_for(const error_code& error, HttpResponse& refusal)
{
    if (error.category() != http::make_error_code(http::error::bad_field).category()) return false;
    switch (static_cast<http::error>(error.value())) {
    case http::error::end_of_stream:
    case http::error::partial_message: return false;
    case http::error::bad_method:
    case http::error::bad_target:
    case http::error::bad_version: bad(refusal, "the request line is METHOD /PATH HTTP/1.1"); break;
    case http::error::bad_field: bad(refusal, "a header line without a name"); break;
    case http::error::bad_content_length: bad(refusal, "Content-Length is a number"); break;
    case http::error::bad_transfer_encoding: bad(refusal, "no chunked bodies: send Content-Length"); break;
    default: bad(refusal, "not HTTP/1.1"); break;
    }
    return true;
}

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, const HttpServer::Handler& handler)
        : stream_(std::move(socket)), handler_(handler)
    {
        parser_.header_limit(head_room);
        // A Content-Length past max_body is refused once the whole head is checked. (Not boost::none:
        // Boost 1.74 compares a length against an empty limit as if it were exceeded.)
        parser_.body_limit((std::numeric_limits<std::uint64_t>::max)());
    }

    void start()
    {
        // The whole request must arrive within the deadline, however steadily it trickles. Its head
        // is read whole before it is parsed: a client still sending is never answered half-way.
        stream_.expires_after(deadline);
        asio::async_read_until(stream_, asio::dynamic_buffer(head_, head_room), "\r\n\r\n",
                               [self = shared_from_this()](error_code error, std::size_t) { self->read_head(error); });
    }

    void close()
    {
        error_code ignored;
        stream_.socket().close(ignored);
    }

private:
    // A head of max_head bytes before its blank line.
    static constexpr std::size_t head_room = HttpServer::max_head + 4;

    void read_head(const error_code& error)
    {
        HttpResponse refusal;
        if (error == asio::error::not_found) { // no end of the head within its room
            if (head_.find("\r\n") > HttpServer::max_head)
                refusal.text(414, "URI too long");
            else
                refusal.text(431, "request header fields too large");
            return answer(refusal);
        }
        if (error) return; // gone, too slow, or stopped
        error_code parsed;
        std::size_t at = 0;
        for (std::size_t used = 1; used != 0 && !parsed && !parser_.is_header_done(); at += used)
            used = parser_.put(asio::buffer(head_.data() + at, head_.size() - at), parsed);
        // What came after the head is the body's beginning.
        buffer_.commit(asio::buffer_copy(buffer_.prepare(head_.size() - at), asio::buffer(head_.data() + at, head_.size() - at)));
        if (!parser_.is_header_done()) {
            if (!refusal_for(parsed, refusal)) bad(refusal, "not HTTP/1.1");
            return answer(refusal);
        }
        const auto& head = parser_.get();
        if (static_cast<std::size_t>(std::distance(head.begin(), head.end())) > HttpServer::max_headers)
            refusal.text(431, "request header fields too large");
        else if (head.count(http::field::transfer_encoding) != 0)
            bad(refusal, "no chunked bodies: send Content-Length");
        else if (parser_.content_length() && *parser_.content_length() > HttpServer::max_body)
            refusal.text(413, "payload too large");
        else if (head.target().empty() || head.target()[0] != '/')
            bad(refusal, "the target is a path");
        if (refusal.status != 200) return answer(refusal);
        if (parser_.is_done()) return respond();
        http::async_read(stream_, buffer_, parser_, [self = shared_from_this()](error_code error, std::size_t) {
            HttpResponse refusal;
            if (!error)
                self->respond();
            else if (refusal_for(error, refusal))
                self->answer(refusal);
        });
    }

    void respond()
    {
        const auto& message = parser_.get();
        HttpRequest request;
        request.method = std::string(message.method_string());
        const std::string target(message.target());
        const std::size_t question = target.find('?');
        request.path = target.substr(0, question);
        if (question != std::string::npos) request.query = target.substr(question + 1);
        for (const auto& field : message)
            request.headers.emplace_back(lower(std::string(field.name_string())), std::string(field.value()));
        request.body = message.body();
        HttpResponse response;
        try {
            handler_(request, response);
        } catch (const std::exception&) {
            response = HttpResponse();
            response.text(500, "internal server error");
        }
        answer(response, request.method == "HEAD");
    }

    void answer(const HttpResponse& response, bool head_only = false)
    {
        response_.result(static_cast<unsigned>(response.status));
        response_.version(11);
        if (!response.type.empty()) response_.set(http::field::content_type, response.type);
        for (const auto& [name, value] : response.headers) response_.insert(name, value);
        if (response.status != 204) {
            response_.content_length(response.body.size());
            if (!head_only) response_.body() = response.body;
        }
        response_.keep_alive(false);
        stream_.expires_after(deadline);
        http::async_write(stream_, response_, [self = shared_from_this()](error_code error, std::size_t) {
            if (error) return self->close();
            error_code ignored;
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
            self->drain();
        });
    }

    // Closing on unread bytes would reset the connection and could take the answer with it: what the
    // client still sends is read and dropped until it closes, or the deadline.
    void drain()
    {
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](error_code error, std::size_t) {
            if (error) return self->close();
            self->drain();
        });
    }

    boost::beast::tcp_stream stream_;
    const HttpServer::Handler& handler_;
    std::string head_;
    boost::beast::flat_buffer buffer_;
    http::request_parser<http::string_body> parser_;
    http::response<http::string_body> response_;
    char scratch_[4096];
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

struct HttpServer::Core {
    explicit Core(const Handler& handler) : handler(handler) {}

    void accept()
    {
        acceptor.async_accept([this](error_code error, tcp::socket socket) {
            if (!acceptor.is_open()) return;
            if (!error) admit(std::move(socket));
            accept();
        });
    }

    void admit(tcp::socket socket)
    {
        nvr::vantorquadrelv3::platform::socket_make_own(static_cast<std::intptr_t>(socket.native_handle()), false);
        sessions.remove_if([](const std::weak_ptr<Session>& session) { return session.expired(); });
        // A full house makes room by dropping its oldest connection, never a newcomer.
        if (sessions.size() >= max_connections) {
            if (auto oldest = sessions.front().lock()) oldest->close();
            sessions.pop_front();
        }
        auto session = std::make_shared<Session>(std::move(socket), handler);
        sessions.push_back(session);
        session->start();
    }

    const Handler& handler;
    // Destroyed last: what it still holds (every connection) goes with it.
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    std::list<std::weak_ptr<Session>> sessions; // oldest first
};

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {}

HttpServer::~HttpServer()
{
    stop();
}

int HttpServer::listen(int port)
{
    stop();
    auto core = std::make_unique<Core>(handler_);
    const tcp::endpoint loopback(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
    error_code error;
    core->acceptor.open(loopback.protocol(), error);
    if (error || !nvr::vantorquadrelv3::platform::socket_make_own(
                     static_cast<std::intptr_t>(core->acceptor.native_handle()), true))
        return -1;
    core->acceptor.bind(loopback, error);
    if (!error) core->acceptor.listen(64, error);
    const int bound = error ? -1 : core->acceptor.local_endpoint(error).port();
    if (error) return -1;
    core_ = std::move(core);
    return bound;
}

void HttpServer::serve()
{
    if (!core_ || thread_.joinable()) return;
    core_->accept();
    thread_ = own_thread([core = core_.get()] { core->io.run(); });
}

void HttpServer::stop()
{
    if (core_) core_->io.stop(); // after the handler that runs now, if any
    if (thread_.joinable()) thread_.join();
    core_.reset();
}

} // namespace vqsim
