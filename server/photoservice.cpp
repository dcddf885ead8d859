#include "photoservice.h"

#include "textutil.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <strings.h>
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

bool hasBody(const WebRequest& req) {
    if (req.has_header("Transfer-Encoding"))
        return true;
    const std::string length = req.get_header_value("Content-Length");
    return !length.empty() && length.find_first_not_of('0') != std::string::npos;
}

// The announced body length; 0 when none or unreadable (the server refuses those).
std::uint64_t announcedLength(const WebRequest& req) {
    const std::string length = req.get_header_value("Content-Length");
    std::uint64_t value = 0;
    std::from_chars(length.data(), length.data() + length.size(), value);
    return value;
}

void applyStatus(WebResponse& res, const Fault& fault) {
    res.status = fault.status;
    res.set_content(fault.body, fault.contentType);
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
      server_([this](WebExchange& exchange) { start(exchange); },
              [](const WebExchange& exchange, int status) {
                  std::cerr << "pikto-service: " << exchange.req.method << " " << exchange.req.path
                            << " " << status << "\n";
              }) {}

PhotoService::~PhotoService() {
    stop();
}

std::string PhotoService::origin() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    return std::string(server_.usesTls() ? "https://" : "http://") +
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

    if (!options_.tlsCert.empty() && !server_.useTls(options_.tlsCert, options_.tlsKey, error))
        return false;
    setUpRoutes();
    if (!server_.bind(options_.host, options_.port, error))
        return false;
    port_ = server_.port();
    // The reset links name the service's address, known once the port is.
    accounts_.configure(origin(), !options_.tlsCert.empty(), tokenSeconds);
    // Requests are served from here on.
    HttpServer::Limits limits;
    limits.bodyDeadline = std::chrono::seconds(options_.bodySeconds);
    limits.bodyMinRate = options_.bodyMinRate;
    limits.connectionsPerAddress = static_cast<unsigned>(options_.connectionsPerAddress);
    if (!server_.serve(limits, error))
        return false;
    return true;
}

bool PhotoService::run() {
    std::unique_lock lock(stopMutex_);
    stopped_.wait(lock, [this] { return stopping_; });
    lock.unlock();
    server_.stop();
    return true;
}

void PhotoService::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
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
    r.addStreamed("POST", "/post", kUploadBodyLimit,
                  [this](WebExchange& exchange) { uploads_.start(exchange); });
    r.add("GET", "/ovmrsa/key", 0,
          [this](RequestContext& c) { signIn_.key(c.res, c.req.remote_addr); });
    r.add("POST", "/ovmrsa/token", kFormBodyLimit,
          [this](RequestContext& c) { signIn_.token(c.res, c.body, c.req.remote_addr); });
    r.add("GET", "/photo/mac/iphoto-plugin/{file}", 0,
          [this](RequestContext& c) { releases_.serve(c.res, c.param("file")); });
}

void PhotoService::start(WebExchange& exchange) {
    const WebRequest& req = exchange.req;
    WebResponse& res = exchange.res;
    const std::string& path = req.path;
    const std::vector<std::string> segments = Router::split(path);
    if (isControlPath(segments)) {
        if (const int refusal = faults_.refusal(req.remote_addr, req.has_header("Origin") ||
                                                                     req.has_header("Referer"))) {
            exchange.next = WebExchange::Next::Answer;
            return TextUtil::answerText(res, refusal, refusal == 404 ? "Not found" : "Forbidden");
        }
    } else {
        log_.add(req.method, path);
    }

    // A fault is taken before the body is read; status and cut apply once it is read.
    std::optional<Fault> fault = isControlPath(segments) ? std::nullopt : faults_.take(path);
    if (fault && fault->action == Fault::Action::Drop) {
        exchange.next = WebExchange::Next::Close;
        return;
    }
    if (fault && fault->action == Fault::Action::Stall) {
        exchange.next = WebExchange::Next::Hold;
        exchange.holdFor = std::chrono::seconds(fault->seconds);
        return;
    }
    if (fault && fault->action == Fault::Action::Cut) {
        // Closed once `after` body bytes arrived, or at the body's end (at once without one).
        if (!hasBody(req)) {
            exchange.next = WebExchange::Next::Close;
            return;
        }
        auto received = std::make_shared<std::size_t>(0);
        exchange.body = [received, after = fault->after](std::string_view data) {
            *received += data.size();
            return *received < after;
        };
        exchange.finish = [&exchange] { exchange.next = WebExchange::Next::Close; };
        return;
    }

    auto match = std::make_shared<Router::Match>(routes_.find(req.method, segments));
    const std::size_t limit =
        match->route && match->route->bodyLimit > 0 ? match->route->bodyLimit : kApiBodyLimit;
    const std::uint64_t announced = announcedLength(req);
    if (announced > limit) {
        // Refused before the body is read. A client that sends its body without waiting
        // for "100 Continue" reads an answer only once it has sent the body (the
        // connection is reset otherwise), so a body of up to twice the limit is read and
        // dropped first.
        const bool waits = strcasecmp(req.get_header_value("Expect").c_str(), "100-continue") == 0;
        if (waits || announced > 2 * static_cast<std::uint64_t>(limit)) {
            exchange.next = WebExchange::Next::Answer;
            return TextUtil::answerText(res, 413, "Request body too large");
        }
        exchange.finish = [&res] { TextUtil::answerText(res, 413, "Request body too large"); };
        return;
    }
    if (fault) {
        // The body is read and dropped; the fault's answer replaces the route's.
        exchange.finish = [&res, status = *fault] { applyStatus(res, status); };
        return;
    }
    if (match->route && match->route->streamer) {
        match->route->streamer(exchange);
        // A body of no announced length (chunked) is bounded here: past the limit it is
        // no longer passed on, and the answer is 413.
        auto seen = std::make_shared<std::uint64_t>(0);
        exchange.body = [inner = std::move(exchange.body), seen, limit](std::string_view data) {
            *seen += data.size();
            return *seen > limit || !inner || inner(data);
        };
        exchange.finish = [&res, inner = std::move(exchange.finish), seen, limit] {
            if (*seen > limit)
                return TextUtil::answerText(res, 413, "Request body too large");
            if (inner)
                inner();
        };
        return;
    }

    auto body = std::make_shared<std::string>();
    auto tooLarge = std::make_shared<bool>(false);
    exchange.body = [body, tooLarge, limit](std::string_view data) {
        if (*tooLarge || body->size() + data.size() > limit) {
            // Keep reading so the refusal arrives as an answer, not as a reset.
            *tooLarge = true;
            body->clear();
            return true;
        }
        body->append(data);
        return true;
    };
    exchange.finish = [this, &exchange, match, body, tooLarge] {
        WebResponse& res = exchange.res;
        if (*tooLarge)
            return TextUtil::answerText(res, 413, "Request body too large");
        RequestContext context{exchange.req,
                               res,
                               std::move(match->params),
                               QueryString::parse(queryOf(exchange.req.target)),
                               std::move(*body),
                               exchange.req.get_header_value("Content-Type")};
        switch (match->outcome) {
        case Router::Outcome::Found:
            return match->route->handler(context);
        case Router::Outcome::WrongMethod:
            return TextUtil::answerText(res, 405, "Method not allowed");
        case Router::Outcome::NotFound:
            break;
        }
        TextUtil::answerText(res, 404, "Not found");
    };
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
