#include "photoservice.h"

#include "connectioncloser.h"
#include "textutil.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

namespace {

constexpr std::size_t kApiBodyLimit = 1024 * 1024;
constexpr std::size_t kUploadBodyLimit = 64 * 1024 * 1024;
constexpr std::size_t kWorkerThreads = 32;

// A fault taken in pre-routing that the handler applies once the body has been read.
// Pre-routing and the handler of one request run on the same worker thread.
thread_local std::optional<Fault> pendingFault;
// The content type of an upload, hidden from the library in pre-routing (see preRoute).
thread_local std::string uploadContentType;

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            segments.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return segments;
}

// The request path as routed: slashes collapsed, split into its non-empty segments.
struct Route {
    std::string path;
    std::vector<std::string> segments;
    bool isUpload = false; // POST /post/
};

Route routeOf(const httplib::Request& req) {
    Route route;
    route.path = TextUtil::collapseSlashes(req.path);
    route.segments = splitPath(route.path);
    route.isUpload =
        req.method == "POST" && route.segments.size() == 1 && route.segments[0] == "post";
    return route;
}

// The route of the request this thread works on, made once in pre-routing for the handler.
thread_local Route currentRoute;

bool isControlPath(const std::vector<std::string>& segments) {
    return !segments.empty() && (segments[0] == "_fault" || segments[0] == "_requests");
}

bool isLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

bool hasBody(const httplib::Request& req) {
    if (req.has_header("Transfer-Encoding"))
        return true;
    return req.get_header_value<std::uint64_t>("Content-Length") > 0;
}

void applyStatus(httplib::Response& res, const Fault& fault) {
    res.status = fault.status;
    res.set_content(fault.body, fault.contentType);
}

// Closes the connection without sending a byte of an answer. Note that Qt's network access
// resends a request once when its connection closes before any answer arrives, so a fault
// must cover two requests to fail one request of a Qt client.
void closeConnection(const httplib::Request& req) {
    if (!ConnectionCloser::shutDown(req.local_port, req.remote_addr, req.remote_port))
        std::cerr << "pikto-service: could not find the connection to close\n";
}

// Hands the body to `receive` piece by piece. The library parses a multipart body itself
// and then hands over the parts' contents only (it refuses a plain read of one).
bool readThrough(const httplib::Request& req, const httplib::ContentReader& reader,
                 const httplib::ContentReceiver& receive) {
    if (req.is_multipart_form_data())
        return reader([](const httplib::MultipartFormData&) { return true; }, receive);
    return reader(receive);
}

// Reads the body through the library, keeping at most `limit` bytes. Returns the status
// to refuse it with (413 over the limit, 400 unreadable), or 0.
int readBody(const httplib::Request& req, const httplib::ContentReader& reader,
             httplib::Response& res, std::size_t limit, std::string& body) {
    bool tooLarge = false;
    const auto announced = req.get_header_value<std::uint64_t>("Content-Length");
    if (announced <= limit)
        body.reserve(static_cast<std::size_t>(announced));
    const bool read = readThrough(req, reader, [&](const char* data, std::size_t length) {
        if (tooLarge || body.size() + length > limit) {
            // Keep reading so the refusal arrives as an answer, not as a reset.
            tooLarge = true;
            body.clear();
            return true;
        }
        body.append(data, length);
        return true;
    });
    if (!read)
        return res.status == 413 ? 413 : 400;
    return tooLarge ? 413 : 0;
}

} // namespace

PhotoService::PhotoService(ServiceOptions options)
    : options_(std::move(options)), photos_(options_.dataDir + "/photos"),
      releases_(options_.releasesDir), albums_(db_, photos_), pages_(db_, photos_),
      uploads_(db_, photos_), signIn_(db_), server_(std::make_unique<httplib::Server>()) {}

PhotoService::~PhotoService() {
    stop();
}

std::string PhotoService::origin() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + options_.host + "]" : options_.host) + ":" +
           std::to_string(port_);
}

bool PhotoService::prepare(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(options_.dataDir, ec);
    if (ec) {
        error = "cannot create the data folder " + options_.dataDir + ": " + ec.message();
        return false;
    }
    if (!photos_.prepare(error))
        return false;
    if (!db_.open(options_.dataDir + "/pikto.sqlite", error)) {
        error = "cannot open the database: " + error;
        return false;
    }
    if (!signIn_.prepare(error))
        return false;
    for (const auto& [login, password] : options_.users) {
        if (!db_.setUser(login, password)) {
            error = "cannot store the account " + login;
            return false;
        }
    }
    for (const auto& [login, token] : options_.tokens) {
        if (!db_.ensureUser(login) || !db_.addToken(token, login)) {
            error = "cannot store a token for " + login;
            return false;
        }
    }

    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server_->set_payload_max_length(kUploadBodyLimit);
    // Only SO_REUSEADDR: the library's default adds SO_REUSEPORT, which lets a second
    // service share a port that is in use instead of reporting it.
    server_->set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    setUpRoutes();
    if (options_.port == 0) {
        port_ = server_->bind_to_any_port(options_.host);
        if (port_ <= 0) {
            error = "cannot listen on " + options_.host;
            return false;
        }
    } else {
        if (!server_->bind_to_port(options_.host, options_.port)) {
            error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
            return false;
        }
        port_ = options_.port;
    }
    return true;
}

bool PhotoService::run() {
    runActive_ = true;
    if (stopRequested_) {
        runActive_ = false;
        return true;
    }
    const bool served = server_->listen_after_bind();
    runActive_ = false;
    return served;
}

void PhotoService::stop() {
    stopRequested_ = true;
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    // run has seen no stop request and is about to listen: wait until it does, as the
    // library ignores a stop before that.
    while (runActive_ && !server_->is_running())
        std::this_thread::yield();
    if (server_->is_running()) {
        server_->stop();
        // Idle keep-alive connections would otherwise hold the workers for seconds.
        ConnectionCloser::shutDownAll(port_);
    }
}

void PhotoService::setUpRoutes() {
    server_->set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return preRoute(req, res); });
    auto plain = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res, nullptr);
    };
    auto withBody = [this](const httplib::Request& req, httplib::Response& res,
                           const httplib::ContentReader& reader) { handle(req, res, &reader); };
    server_->Get(".*", plain);
    server_->Post(".*", withBody);
    server_->Put(".*", withBody);
    server_->Delete(".*", withBody);
    server_->Patch(".*", withBody);
    server_->Post(".*", plain);
    server_->Put(".*", plain);
    server_->Delete(".*", plain);
    server_->Patch(".*", plain);
    server_->Options(".*", plain);
    server_->set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr failure) {
            try {
                if (failure)
                    std::rethrow_exception(failure);
            } catch (const std::exception& e) {
                std::cerr << "pikto-service: " << req.method << " " << req.path
                          << " failed: " << e.what() << "\n";
            } catch (...) {
                std::cerr << "pikto-service: " << req.method << " " << req.path << " failed\n";
            }
            TextUtil::answerText(res, 500, "Internal error");
        });
    server_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (req.method.empty())
            return; // a connection that ended before a request arrived
        std::cerr << "pikto-service: " << req.method << " " << req.path << " " << res.status
                  << "\n";
    });
}

httplib::Server::HandlerResponse PhotoService::preRoute(const httplib::Request& req,
                                                        httplib::Response& res) {
    pendingFault.reset();
    uploadContentType.clear();
    currentRoute = routeOf(req);
    const std::string& path = currentRoute.path;
    const std::vector<std::string>& segments = currentRoute.segments;
    if (currentRoute.isUpload && req.has_header("Content-Type")) {
        // The upload body is read raw and parsed afterwards (MultipartForm). The library
        // would parse a multipart body itself while reading and allows no raw read of it,
        // so the content type is put aside. The request object is the library's own
        // non-const local; only this header changes.
        uploadContentType = req.get_header_value("Content-Type");
        auto& headers = const_cast<httplib::Request&>(req).headers;
        headers.erase("Content-Type");
        headers.emplace("Content-Type", "application/octet-stream");
    }
    if (isControlPath(segments)) {
        if (!isLoopback(req.remote_addr)) {
            TextUtil::answerText(res, 403, "The test controls answer loopback clients only");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }
    log_.add(req.method, req.path);

    std::optional<Fault> fault = faults_.take(path);
    if (!fault)
        return httplib::Server::HandlerResponse::Unhandled;
    switch (fault->action) {
    case Fault::Action::Drop:
        closeConnection(req);
        return httplib::Server::HandlerResponse::Handled;
    case Fault::Action::Stall:
        stall(req, fault->seconds);
        return httplib::Server::HandlerResponse::Handled;
    case Fault::Action::Status:
    case Fault::Action::Cut:
        if (!hasBody(req)) {
            if (fault->action == Fault::Action::Cut)
                closeConnection(req);
            else
                applyStatus(res, *fault);
            return httplib::Server::HandlerResponse::Handled;
        }
        // The body is read first, in the handler.
        pendingFault = std::move(fault);
        return httplib::Server::HandlerResponse::Unhandled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void PhotoService::stall(const httplib::Request& req, int seconds) {
    std::unique_lock lock(stopMutex_);
    stopped_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_; });
    lock.unlock();
    closeConnection(req);
}

void PhotoService::handle(const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader* reader) {
    std::optional<Fault> fault = std::move(pendingFault);
    pendingFault.reset();
    const Route route = std::move(currentRoute);
    currentRoute = {};

    if (fault && fault->action == Fault::Action::Cut) {
        std::size_t received = 0;
        bool cut = false;
        if (reader) {
            readThrough(req, *reader, [&](const char*, std::size_t length) {
                received += length;
                if (received < fault->after)
                    return true;
                closeConnection(req);
                cut = true;
                return false;
            });
        }
        if (!cut)
            closeConnection(req);
        return;
    }

    std::string body;
    if (reader) {
        const int refusal =
            readBody(req, *reader, res, route.isUpload ? kUploadBodyLimit : kApiBodyLimit, body);
        if (fault && fault->action == Fault::Action::Status)
            return applyStatus(res, *fault);
        if (refusal == 413)
            return TextUtil::answerText(res, 413, "Request body too large");
        if (refusal != 0)
            return TextUtil::answerText(res, 400, "Unreadable request body");
    } else {
        body = req.body;
    }
    if (fault && fault->action == Fault::Action::Status)
        return applyStatus(res, *fault);
    dispatch(req, res, route.segments, std::move(body));
}

void PhotoService::dispatch(const httplib::Request& req, httplib::Response& res,
                            const std::vector<std::string>& s, std::string body) {
    const std::string& method = req.method;
    const bool get = method == "GET" || method == "HEAD";
    const std::size_t n = s.size();
    bool known = true;

    if (n == 0) {
        if (get)
            return pages_.home(res);
    } else if (s[0] == "_fault" && n == 1) {
        if (method == "POST")
            return armFault(req, res, body);
        if (method == "DELETE") {
            faults_.clear();
            return TextUtil::answerText(res, 200, "cleared");
        }
    } else if (s[0] == "_requests" && n == 1) {
        if (get) {
            res.status = 200;
            return res.set_content(log_.text(), "text/plain; charset=utf-8");
        }
    } else if (s[0] == "api" && n >= 2 && s[1] == "users") {
        if (n == 4 && s[3] == "albums") {
            if (get)
                return albums_.list(req, res, s[2]);
            if (method == "POST")
                return albums_.create(req, res, s[2], body);
        } else if (n == 5 && s[3] == "album") {
            if (get)
                return albums_.fetch(req, res, s[2], s[4]);
            if (method == "PUT")
                return albums_.update(req, res, s[2], s[4], body);
            if (method == "DELETE")
                return albums_.remove(req, res, s[2], s[4]);
        } else {
            known = false;
        }
    } else if (s[0] == "users" && n == 4 && s[2] == "album") {
        if (get)
            return pages_.album(res, s[1], s[3]);
    } else if (s[0] == "photos" && n == 2) {
        if (get)
            return pages_.photo(res, s[1]);
    } else if (s[0] == "passport" && n == 1) {
        if (get)
            return pages_.passport(req, res);
    } else if (s[0] == "post" && n == 1) {
        if (method == "POST")
            return uploads_.receive(res, uploadContentType, std::move(body));
    } else if (s[0] == "ovmrsa" && n == 2 && (s[1] == "key" || s[1] == "token")) {
        if (s[1] == "key" && get)
            return signIn_.key(res);
        if (s[1] == "token" && method == "POST")
            return signIn_.token(res, body);
    } else if (n == 4 && s[0] == "photo" && s[1] == "mac" && s[2] == "iphoto-plugin") {
        if (get)
            return releases_.serve(res, s[3]);
    } else {
        known = false;
    }
    if (known)
        return TextUtil::answerText(res, 405, "Method not allowed");
    TextUtil::answerText(res, 404, "Not found");
}

void PhotoService::armFault(const httplib::Request& req, httplib::Response& res,
                            const std::string& body) {
    httplib::Params params = req.params;
    httplib::detail::parse_query_text(body, params);
    auto value = [&](const char* name) -> std::optional<std::string> {
        auto it = params.find(name);
        if (it == params.end())
            return std::nullopt;
        return it->second;
    };
    auto number = [&](const char* name, long long fallback, long long low, long long high,
                      long long& out) {
        const std::optional<std::string> text = value(name);
        if (!text) {
            out = fallback;
            return true;
        }
        try {
            std::size_t used = 0;
            out = std::stoll(*text, &used);
            return used == text->size() && out >= low && out <= high;
        } catch (const std::exception&) {
            return false;
        }
    };

    Fault fault;
    const std::optional<std::string> path = value("path");
    const std::optional<std::string> action = value("action");
    if (!path || path->empty() || (*path)[0] != '/')
        return TextUtil::answerText(res, 400, "path must be a request path starting with /");
    fault.pathPrefix = *path;
    if (action == "status")
        fault.action = Fault::Action::Status;
    else if (action == "drop")
        fault.action = Fault::Action::Drop;
    else if (action == "stall")
        fault.action = Fault::Action::Stall;
    else if (action == "cut")
        fault.action = Fault::Action::Cut;
    else
        return TextUtil::answerText(res, 400, "action must be status, drop, stall or cut");

    long long count = 0;
    long long status = 0;
    long long seconds = 0;
    long long after = 0;
    if (!number("count", 1, 1, 1000000, count))
        return TextUtil::answerText(res, 400, "count must be a positive number");
    if (!number("seconds", 4, 0, 3600, seconds))
        return TextUtil::answerText(res, 400, "seconds must be a number from 0 to 3600");
    if (!number("after", 1024, 0, 1LL << 40, after))
        return TextUtil::answerText(res, 400, "after must be a byte count");
    if (fault.action == Fault::Action::Status) {
        if (!value("status") || !number("status", 0, 100, 599, status))
            return TextUtil::answerText(res, 400, "status must be an HTTP status from 100 to 599");
        fault.status = static_cast<int>(status);
    }
    fault.remaining = static_cast<int>(count);
    fault.seconds = static_cast<int>(seconds);
    fault.after = static_cast<std::size_t>(after);
    fault.body = value("body").value_or("");
    if (const std::optional<std::string> type = value("content_type"); type && !type->empty())
        fault.contentType = *type;
    faults_.arm(std::move(fault));
    TextUtil::answerText(res, 200, "armed");
}
