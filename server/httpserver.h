#pragma once

#include "webexchange.h"
#include "workerpool.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <microhttpd.h>

// The service's HTTP server, on libmicrohttpd: a few threads, each watching its share of
// connections with epoll, so idle and slow clients cost a descriptor and a little memory,
// not a thread. The service sees each request once its head is read and before its body
// (see WebExchange), and is fed the body as it arrives, on those threads; so both must be
// quick. The request's `finish` runs on a pool of workers while its connection waits
// aside, so a slow handler holds up no other connection.
//
// Refused by the server itself: a request line over the head limit (414), headers over it
// (431), conflicting body lengths (400, connection closed), a bare CR in a header (400).
// A body that takes longer than its deadline, or arrives slower than the minimum rate once
// the grace time has passed, ends its connection.
class HttpServer {
public:
    struct Limits {
        unsigned threads = 4;  // watching connections
        unsigned workers = 16; // running handlers
        unsigned connections = 10000;
        unsigned connectionsPerAddress = 4000;
        // Silence allowed on a connection (between requests, in a head, in a body).
        unsigned idleSeconds = 10;
        // The largest request head; also the buffer of each connection.
        std::size_t headBytes = 64 * 1024;
        std::chrono::seconds bodyDeadline{600};
        std::uint64_t bodyMinRate = 2048; // bytes per second
        std::chrono::seconds bodyRateGrace{3};
    };
    using Start = std::function<void(WebExchange&)>;
    // Sees each finished request with its answer's status (0: closed without an answer).
    using Log = std::function<void(const WebExchange&, int status)>;

    HttpServer(Start start, Log log) : start_(std::move(start)), log_(std::move(log)) {}
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Serves TLS with the PEM certificate chain and private key files. False with a reason
    // when they cannot be read. Call before serving.
    bool useTls(const std::string& certificateFile, const std::string& keyFile, std::string& error);
    bool usesTls() const { return !certificate_.empty(); }
    // Binds the listening socket (port 0: any free port). False with a reason on failure.
    bool bind(const std::string& host, int port, std::string& error);
    int port() const { return port_; }
    // Starts serving on the bound socket; false with a reason when the library refuses
    // (a key that does not match its certificate among others).
    bool serve(const Limits& limits, std::string& error);
    // Ends serving: held connections are released, every connection is closed.
    void stop();

private:
    struct Held {
        MHD_Connection* connection;
        std::chrono::steady_clock::time_point until;
    };

    static void* begin(void* self, const char* uri, MHD_Connection* connection);
    static MHD_Result access(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* upload,
                             std::size_t* uploadSize, void** state);
    static void completed(void* self, MHD_Connection* connection, void** state,
                          MHD_RequestTerminationCode reason);
    MHD_Result onHead(MHD_Connection* connection, WebExchange& exchange, const char* url,
                      const char* method);
    MHD_Result onBody(WebExchange& exchange, const char* data, std::size_t size);
    MHD_Result answer(MHD_Connection* connection, WebExchange& exchange);
    // Runs the exchange's finish on a worker, the connection suspended meanwhile.
    void dispatch(MHD_Connection* connection, WebExchange& exchange);
    void hold(MHD_Connection* connection, std::chrono::seconds seconds);
    void releaseHeld();

    Start start_;
    Log log_;
    Limits limits_;
    std::string certificate_;
    std::string key_;
    int listener_ = -1;
    int port_ = 0;
    MHD_Daemon* daemon_ = nullptr;
    std::unique_ptr<WorkerPool> workers_;

    std::mutex heldMutex_;
    std::condition_variable heldChanged_;
    std::vector<Held> held_; // under heldMutex_
    bool stopping_ = false;  // under heldMutex_
    std::thread releaser_;
};
