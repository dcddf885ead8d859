#include "photoservice.h"

#include "connectioncloser.h"
#include "textutil.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kApiBodyLimit = 1024 * 1024;
constexpr std::size_t kUploadBodyLimit = 64 * 1024 * 1024;
constexpr std::size_t kFormBodyLimit = 16 * 1024;
// Where a multipart content type is put aside (see hideMultipartType).
const char* const kFormTypeHeader = "X-Pikto-Form-Type";

bool isControlPath(const std::vector<std::string>& segments) {
    return !segments.empty() && (segments[0] == "_fault" || segments[0] == "_requests");
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

// Reads the body through the library, keeping at most `limit` bytes. Returns the status
// to refuse it with (413 over the limit, 400 unreadable), or 0.
int readBody(const httplib::Request& req, const httplib::ContentReader& reader,
             httplib::Response& res, std::size_t limit, std::string& body) {
    bool tooLarge = false;
    const auto announced = req.get_header_value<std::uint64_t>("Content-Length");
    if (announced <= limit)
        body.reserve(static_cast<std::size_t>(announced));
    const bool read = reader([&](const char* data, std::size_t length) {
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

// Sets the mode of a file or folder the service keeps; false with a reason on failure.
bool keepPrivate(const std::string& path, mode_t mode, std::string& error) {
    if (::chmod(path.c_str(), mode) == 0)
        return true;
    error = "cannot make " + path + " private: " + std::strerror(errno);
    return false;
}

// The query part of a request target, without the "?".
std::string queryOf(const std::string& target) {
    const std::size_t mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

} // namespace

PhotoService::PhotoService(ServiceOptions options)
    : options_(std::move(options)), photos_(options_.dataDir + "/photos"),
      releases_(options_.releasesDir), albums_(db_, photos_),
      pages_(db_, photos_, signIn_, renderer_), accounts_(db_, signIn_, renderer_),
      uploads_(db_, photos_), signIn_(db_, SignInService::Clock::now, options_.signInLimit),
      server_(std::make_unique<ConnectionServer>(ConnectionServer::Settings{})) {}

PhotoService::~PhotoService() {
    stop();
}

std::string PhotoService::origin() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    return std::string(server_->usesTls() ? "https://" : "http://") +
           (v6 ? "[" + options_.host + "]" : options_.host) + ":" + std::to_string(port_);
}

bool PhotoService::prepare(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(options_.dataDir, ec);
    if (ec) {
        error = "cannot create the data folder " + options_.dataDir + ": " + ec.message();
        return false;
    }
    if (!photos_.prepare(error) || !renderer_.prepare(error))
        return false;
    faults_.enable(options_.faultSwitch);
    // Only the service's own user may read the accounts, tokens and photos, whatever the
    // folder's modes were before.
    if (!keepPrivate(options_.dataDir, 0700, error) ||
        !keepPrivate(options_.dataDir + "/photos", 0700, error))
        return false;
    const std::string databasePath = options_.dataDir + "/pikto.sqlite";
    if (!db_.open(databasePath, error)) {
        error = "cannot open the database: " + error;
        return false;
    }
    if (!keepPrivate(databasePath, 0600, error))
        return false;
    photos_.reconcile(db_);
    const std::int64_t tokenSeconds = static_cast<std::int64_t>(options_.tokenDays) * 24 * 60 * 60;
    db_.setTokenPolicy(tokenSeconds, Database::kDefaultTokensPerAccount);
    pages_.configure(!options_.tlsCert.empty(), options_.legacyOpenPages, tokenSeconds);
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

    if (!options_.tlsCert.empty() && !server_->useTls(options_.tlsCert, options_.tlsKey, error))
        return false;
    if (!server_->prepare(error))
        return false;
    server_->set_payload_max_length(kUploadBodyLimit);
    // What the Keep-Alive header announces; ConnectionServer applies the same limits.
    server_->set_keep_alive_max_count(ConnectionServer::Settings{}.requestsPerConnection);
    server_->set_keep_alive_timeout(
        std::chrono::duration_cast<std::chrono::seconds>(ConnectionPark::Limits{}.idle).count());
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
    if (!server_->widenBacklog()) {
        error = "cannot listen on " + options_.host + ": " + std::strerror(errno);
        return false;
    }
    // The reset links name the service's address, known once the port is.
    accounts_.configure(origin(), !options_.tlsCert.empty(), tokenSeconds);
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
        server_->closeConnections();
        // Requests still running end on a closed connection.
        ConnectionCloser::shutDownAll(port_);
    }
}

void PhotoService::setUpRoutes() {
    auto& r = routes_;
    r.add("GET", "/", 0, [this](RequestContext& c) { pages_.home(c); });
    r.add("POST", "/_fault", kApiBodyLimit, [this](RequestContext& c) { armFault(c); });
    r.add("DELETE", "/_fault", kApiBodyLimit, [this](RequestContext& c) {
        faults_.clear();
        TextUtil::answerText(c.res, 200, "cleared");
    });
    r.add("GET", "/_requests", 0, [this](RequestContext& c) {
        c.res.status = 200;
        c.res.set_content(log_.text(), "text/plain; charset=utf-8");
    });
    r.add("GET", "/api/users/{login}/albums", 0,
          [this](RequestContext& c) { albums_.list(c.req, c.res, c.param("login")); });
    r.add("POST", "/api/users/{login}/albums", kApiBodyLimit,
          [this](RequestContext& c) { albums_.create(c.req, c.res, c.param("login"), c.body); });
    r.add("GET", "/api/users/{login}/album/{id}", 0, [this](RequestContext& c) {
        albums_.fetch(c.req, c.res, c.param("login"), c.param("id"));
    });
    r.add("PUT", "/api/users/{login}/album/{id}", kApiBodyLimit, [this](RequestContext& c) {
        albums_.update(c.req, c.res, c.param("login"), c.param("id"), c.body);
    });
    r.add("DELETE", "/api/users/{login}/album/{id}", kApiBodyLimit, [this](RequestContext& c) {
        albums_.remove(c.req, c.res, c.param("login"), c.param("id"));
    });
    r.add("GET", "/users/{login}", 0, [this](RequestContext& c) { pages_.user(c); });
    r.add("GET", "/users/{login}/album/{id}", 0, [this](RequestContext& c) { pages_.album(c); });
    r.add("GET", "/users/{login}/album/{id}/photo/{photo}", 0,
          [this](RequestContext& c) { pages_.photoPage(c); });
    r.add("POST", "/users/{login}/album/{id}", kFormBodyLimit,
          [this](RequestContext& c) { pages_.unlockAlbum(c); });
    r.add("GET", "/photos/{file}", 0, [this](RequestContext& c) { pages_.photo(c); });
    r.add("GET", "/photos/{file}/{size}", 0, [this](RequestContext& c) { pages_.scaledPhoto(c); });
    r.add("GET", "/site/{file}", 0, [this](RequestContext& c) { pages_.asset(c); });
    r.add("GET", "/go.xml", 0, [this](RequestContext& c) { pages_.blog(c); });
    r.add("GET", "/passport", 0, [this](RequestContext& c) { accounts_.show(c); });
    r.add("POST", "/passport", kFormBodyLimit, [this](RequestContext& c) { accounts_.submit(c); });
    r.add("GET", "/passport/signin", 0, [this](RequestContext& c) { pages_.signInForm(c); });
    r.add("POST", "/passport/signin", kFormBodyLimit,
          [this](RequestContext& c) { pages_.signIn(c); });
    r.add("POST", "/passport/signout", kFormBodyLimit,
          [this](RequestContext& c) { pages_.signOut(c); });
    r.add("POST", "/post", kUploadBodyLimit,
          [this](RequestContext& c) { uploads_.receive(c.res, c.contentType, std::move(c.body)); });
    r.add("GET", "/ovmrsa/key", 0,
          [this](RequestContext& c) { signIn_.key(c.res, c.req.remote_addr); });
    r.add("POST", "/ovmrsa/token", kFormBodyLimit,
          [this](RequestContext& c) { signIn_.token(c.res, c.body, c.req.remote_addr); });
    r.add("GET", "/photo/mac/iphoto-plugin/{file}", 0,
          [this](RequestContext& c) { releases_.serve(c.res, c.param("file")); });

    server_->setRequestSetup(&PhotoService::hideMultipartType);
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

void PhotoService::hideMultipartType(httplib::Request& req) {
    // Every body is read raw and a form parsed afterwards (MultipartForm): the library would
    // parse a multipart body itself while reading and allows no raw read of one. So its
    // content type is put aside under a header of our own, which a client cannot set: any
    // it sent is dropped first.
    auto& headers = req.headers;
    headers.erase(kFormTypeHeader);
    if (req.is_multipart_form_data()) {
        const std::string type = req.get_header_value("Content-Type");
        headers.erase("Content-Type");
        headers.emplace("Content-Type", "application/octet-stream");
        headers.emplace(kFormTypeHeader, type);
    }
}

void PhotoService::stall(const httplib::Request& req, int seconds) {
    std::unique_lock lock(stopMutex_);
    stopped_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_; });
    lock.unlock();
    closeConnection(req);
}

void PhotoService::cut(const httplib::Request& req, const httplib::ContentReader* reader,
                       std::size_t after) {
    std::size_t received = 0;
    bool done = false;
    if (reader) {
        (*reader)([&](const char*, std::size_t length) {
            received += length;
            if (received < after)
                return true;
            closeConnection(req);
            done = true;
            return false;
        });
    }
    if (!done)
        closeConnection(req);
}

void PhotoService::handle(const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader* reader) {
    const std::string path = TextUtil::collapseSlashes(req.path);
    const std::vector<std::string> segments = Router::split(path);
    if (isControlPath(segments)) {
        if (const int refusal = faults_.refusal(req.remote_addr, req.has_header("Origin") ||
                                                                     req.has_header("Referer")))
            return TextUtil::answerText(res, refusal, refusal == 404 ? "Not found" : "Forbidden");
    } else {
        log_.add(req.method, req.path);
    }

    // A fault is taken before the body is read; status and cut apply once it is read.
    std::optional<Fault> fault = isControlPath(segments) ? std::nullopt : faults_.take(path);
    if (fault && fault->action == Fault::Action::Drop)
        return closeConnection(req);
    if (fault && fault->action == Fault::Action::Stall)
        return stall(req, fault->seconds);
    if (fault && fault->action == Fault::Action::Cut)
        return cut(req, hasBody(req) ? reader : nullptr, fault->after);
    if (fault && !hasBody(req))
        return applyStatus(res, *fault);

    Router::Match match = routes_.find(req.method, segments);
    RequestContext context{req,
                           res,
                           std::move(match.params),
                           QueryString::parse(queryOf(req.target)),
                           {},
                           req.get_header_value("Content-Type")};
    if (req.has_header(kFormTypeHeader))
        context.contentType = req.get_header_value(kFormTypeHeader);
    if (reader) {
        const std::size_t limit =
            match.route && match.route->bodyLimit > 0 ? match.route->bodyLimit : kApiBodyLimit;
        const int refusal = readBody(req, *reader, res, limit, context.body);
        if (fault)
            return applyStatus(res, *fault);
        if (refusal == 413)
            return TextUtil::answerText(res, 413, "Request body too large");
        if (refusal != 0)
            return TextUtil::answerText(res, 400, "Unreadable request body");
    } else {
        context.body = req.body;
    }
    if (fault)
        return applyStatus(res, *fault);

    switch (match.outcome) {
    case Router::Outcome::Found:
        return match.route->handler(context);
    case Router::Outcome::WrongMethod:
        return TextUtil::answerText(res, 405, "Method not allowed");
    case Router::Outcome::NotFound:
        break;
    }
    TextUtil::answerText(res, 404, "Not found");
}

void PhotoService::armFault(RequestContext& context) {
    QueryString::Fields fields = context.query;
    QueryString::parseInto(context.body, fields);
    std::string error;
    std::optional<Fault> fault = FaultSwitch::parse(fields, error);
    if (!fault)
        return TextUtil::answerText(context.res, 400, error);
    faults_.arm(std::move(*fault));
    TextUtil::answerText(context.res, 200, "armed");
}
