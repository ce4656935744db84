// SPDX-License-Identifier: MIT
// The panel's HTTP server: one thread serves every connection without ever blocking on one, so slow
// or silent clients can neither starve the others nor hold up a stop. Boost.Beast does the protocol.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vqsim {

struct HttpRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // as sent, after '?'
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body;

    bool has_header(const std::string& lower_name) const;
    std::string header(const std::string& lower_name) const;
    // A query parameter, decoded (%XX, '+' as a blank); "" when absent.
    std::string parameter(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string type;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    void text(int code, const std::string& message);
};

class HttpServer {
public:
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

    // A whole request must arrive within this long of its connection, and its answer leave within it.
    static constexpr int deadline_ms = 3000;
    static constexpr std::size_t max_head = 8192, max_headers = 64, max_body = 4096, max_connections = 128;

    explicit HttpServer(Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: any free port): the bound port, or -1.
    int listen(int port);
    // Serves what listen() accepts, on a thread of the stand-in's.
    void serve();
    // Closes every connection where it stands; waits for the one request being answered, if any.
    void stop();

private:
    struct Core;
    Handler handler_;
    std::unique_ptr<Core> core_;
    std::thread thread_;
};

} // namespace vqsim
