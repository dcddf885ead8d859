#include "httpserver.h"

#include "byteranges.h"
#include "textutil.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return bytes.str();
}

std::string addressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

struct HeadCheck {
    WebRequest::Headers* headers = nullptr;
    bool controlInValue = false;
    bool chunked = false;
    bool badLength = false;
    std::optional<std::string> length;
};

// Every header into the request, noting what makes the head unsafe to act on: a CR or LF
// or NUL inside a value (other parsers would split the line there), and lengths that do not
// agree (another parser would frame the body differently).
MHD_Result takeHeader(void* cls, MHD_ValueKind, const char* key, size_t keySize, const char* value,
                      size_t valueSize) {
    auto& check = *static_cast<HeadCheck*>(cls);
    const std::string name(key, keySize);
    std::string text = value ? std::string(value, valueSize) : std::string();
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        check.controlInValue = true;
    if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0)
        check.chunked = true;
    if (strcasecmp(name.c_str(), "Content-Length") == 0) {
        std::size_t from = 0;
        while (from <= text.size()) {
            std::size_t comma = text.find(',', from);
            if (comma == std::string::npos)
                comma = text.size();
            std::string one = text.substr(from, comma - from);
            one.erase(0, one.find_first_not_of(" \t"));
            one.erase(one.find_last_not_of(" \t") + 1);
            if (one.empty() || one.find_first_not_of("0123456789") != std::string::npos ||
                (check.length && *check.length != one))
                check.badLength = true;
            check.length = one;
            from = comma + 1;
        }
    }
    check.headers->emplace(name, std::move(text));
    return MHD_YES;
}

// The path as handlers see it: a leading run of slashes made one, so that no link or
// redirect built from it can start with "//" (which a browser reads as another host).
std::string normalPath(const char* url) {
    std::string path = url ? url : "";
    const std::size_t first = path.find_first_not_of('/');
    if (first == std::string::npos)
        return "/";
    if (first == 0)
        path.insert(path.begin(), '/');
    else
        path.erase(0, first - 1);
    return path;
}

} // namespace

HttpServer::~HttpServer() {
    stop();
    if (listener_ >= 0)
        ::close(listener_);
}

bool HttpServer::useTls(const std::string& certificateFile, const std::string& keyFile,
                        std::string& error) {
    const std::optional<std::string> certificate = readFile(certificateFile);
    if (!certificate) {
        error = "cannot read the certificate " + certificateFile;
        return false;
    }
    const std::optional<std::string> key = readFile(keyFile);
    if (!key) {
        error = "cannot read the private key " + keyFile;
        return false;
    }
    certificate_ = *certificate;
    key_ = *key;
    return true;
}

bool HttpServer::bind(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string where = host + ":" + std::to_string(port);
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = "cannot listen on " + where + ": unknown address";
        return false;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    // Only SO_REUSEADDR: SO_REUSEPORT would let a second service share a port in use.
    int yes = 1;
    const bool bound = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                       ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                       ::listen(fd, SOMAXCONN) == 0;
    freeaddrinfo(found);
    if (!bound) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    listener_ = fd;
    return true;
}

bool HttpServer::serve(const Limits& limits, std::string& error) {
    limits_ = limits;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_LISTEN_SOCKET, listener_, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, limits_.threads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, limits_.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.connectionsPerAddress, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, limits_.idleSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(limits_.headBytes), nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&HttpServer::begin), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&HttpServer::completed), this},
        {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
    };
    if (usesTls()) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, certificate_.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, key_.data()});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0,
                           const_cast<char*>("NORMAL:-VERS-TLS1.1:-VERS-TLS1.0")});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    {
        std::lock_guard lock(heldMutex_);
        stopping_ = false;
    }
    daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &HttpServer::access, this,
                               MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!daemon_) {
        error = usesTls() ? "cannot serve TLS: the key does not match the certificate, or "
                            "either is unreadable"
                          : "cannot start the HTTP server";
        return false;
    }
    listener_ = -1; // the daemon's now
    workers_ = std::make_unique<WorkerPool>(limits_.workers);
    releaser_ = std::thread([this] { releaseHeld(); });
    return true;
}

void HttpServer::stop() {
    {
        std::lock_guard lock(heldMutex_);
        stopping_ = true;
    }
    heldChanged_.notify_all();
    if (releaser_.joinable())
        releaser_.join();
    // Handlers still running finish and resume their connections first.
    workers_.reset();
    if (daemon_) {
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
    }
}

void* HttpServer::begin(void*, const char* uri, MHD_Connection*) {
    auto* exchange = new WebExchange;
    exchange->req.target = uri ? uri : "";
    return exchange;
}

void HttpServer::completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<WebExchange*>(*state);
    *state = nullptr;
}

MHD_Result HttpServer::access(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char* upload,
                              std::size_t* uploadSize, void** state) {
    auto& server = *static_cast<HttpServer*>(self);
    if (!*state)
        *state = new WebExchange;
    WebExchange& exchange = *static_cast<WebExchange*>(*state);
    if (!exchange.started) {
        exchange.started = true;
        return server.onHead(connection, exchange, url, method);
    }
    if (exchange.held) {
        server.log_(exchange, 0);
        return MHD_NO; // released after its hold: closed without an answer
    }
    if (*uploadSize > 0) {
        const MHD_Result result = server.onBody(exchange, upload, *uploadSize);
        *uploadSize = 0;
        if (result == MHD_NO)
            server.log_(exchange, 0);
        return result;
    }
    if (!exchange.dispatched && exchange.finish) {
        server.dispatch(connection, exchange);
        return MHD_YES;
    }
    if (exchange.next == WebExchange::Next::Close) {
        server.log_(exchange, 0);
        return MHD_NO;
    }
    return server.answer(connection, exchange);
}

void HttpServer::dispatch(MHD_Connection* connection, WebExchange& exchange) {
    exchange.dispatched = true;
    MHD_suspend_connection(connection);
    // The exchange lives until the connection's request completes, which cannot happen
    // while it is suspended.
    workers_->post([connection, &exchange] {
        try {
            exchange.finish();
        } catch (const std::exception& e) {
            std::cerr << "pikto-service: " << exchange.req.method << " " << exchange.req.path
                      << " failed: " << e.what() << "\n";
            exchange.res = {};
            TextUtil::answerText(exchange.res, 500, "Internal error");
        }
        MHD_resume_connection(connection);
    });
}

MHD_Result HttpServer::onHead(MHD_Connection* connection, WebExchange& exchange, const char* url,
                              const char* method) {
    WebRequest& req = exchange.req;
    req.method = method ? method : "";
    req.path = normalPath(url);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    req.remote_addr = addressText(info ? info->client_addr : nullptr);
    HeadCheck check;
    check.headers = &req.headers;
    MHD_get_connection_values_n(connection, MHD_HEADER_KIND, &takeHeader, &check);
    exchange.bodyStarted = Clock::now();
    if (check.controlInValue || check.badLength || (check.length && check.chunked)) {
        // Nothing after such a head can be trusted: answer and close.
        TextUtil::answerText(exchange.res, 400,
                             check.controlInValue ? "Control character in a header"
                                                  : "Conflicting request length");
        exchange.res.set_header("Connection", "close");
        return answer(connection, exchange);
    }
    try {
        start_(exchange);
    } catch (const std::exception& e) {
        std::cerr << "pikto-service: " << req.method << " " << req.path << " failed: " << e.what()
                  << "\n";
        exchange.res = {};
        TextUtil::answerText(exchange.res, 500, "Internal error");
        return answer(connection, exchange);
    }
    switch (exchange.next) {
    case WebExchange::Next::Read:
        return MHD_YES;
    case WebExchange::Next::Answer:
        return answer(connection, exchange);
    case WebExchange::Next::Close:
        log_(exchange, 0);
        return MHD_NO;
    case WebExchange::Next::Hold:
        hold(connection, exchange.holdFor);
        exchange.held = true;
        return MHD_YES;
    }
    return MHD_NO;
}

MHD_Result HttpServer::onBody(WebExchange& exchange, const char* data, std::size_t size) {
    exchange.bodyBytes += size;
    const auto elapsed = Clock::now() - exchange.bodyStarted;
    if (elapsed > limits_.bodyDeadline)
        return MHD_NO;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (elapsed >= limits_.bodyRateGrace && static_cast<double>(exchange.bodyBytes) <
                                                seconds * static_cast<double>(limits_.bodyMinRate))
        return MHD_NO;
    if (exchange.body && !exchange.body(std::string_view(data, size)))
        return MHD_NO;
    return MHD_YES;
}

MHD_Result HttpServer::answer(MHD_Connection* connection, WebExchange& exchange) {
    WebResponse& res = exchange.res;
    if (exchange.req.method == "GET" || exchange.req.method == "HEAD")
        ByteRanges::apply(exchange.req.get_header_value("Range"), res);
    auto* body = new std::string(std::move(res.body));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        body->size(), body->data(), [](void* cls) { delete static_cast<std::string*>(cls); }, body);
    if (!response) {
        delete body;
        log_(exchange, 0);
        return MHD_NO;
    }
    for (const auto& [name, value] : res.headers) {
        if (strcasecmp(name.c_str(), "Content-Length") != 0)
            MHD_add_response_header(response, name.c_str(), value.c_str());
    }
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(res.status), response);
    MHD_destroy_response(response);
    log_(exchange, queued == MHD_YES ? res.status : 0);
    return queued;
}

void HttpServer::hold(MHD_Connection* connection, std::chrono::seconds seconds) {
    MHD_suspend_connection(connection);
    {
        std::lock_guard lock(heldMutex_);
        held_.push_back({connection, Clock::now() + seconds});
    }
    heldChanged_.notify_all();
}

void HttpServer::releaseHeld() {
    std::unique_lock lock(heldMutex_);
    while (true) {
        const auto now = Clock::now();
        auto due = std::partition(held_.begin(), held_.end(),
                                  [&](const Held& h) { return !stopping_ && h.until > now; });
        for (auto it = due; it != held_.end(); ++it)
            MHD_resume_connection(it->connection);
        held_.erase(due, held_.end());
        if (stopping_)
            return;
        if (held_.empty()) {
            heldChanged_.wait(lock);
        } else {
            const auto next =
                std::min_element(held_.begin(), held_.end(), [](const Held& a, const Held& b) {
                    return a.until < b.until;
                })->until;
            heldChanged_.wait_until(lock, next);
        }
    }
}
