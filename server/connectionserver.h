#pragma once

#include "connectionpark.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

// The HTTP library's server with connections of our own: every accepted socket answers
// without Nagle's delay (TCP_NODELAY), optionally speaks TLS, and waits between requests in
// a ConnectionPark instead of on a worker. Workers (a fixed pool) only run requests whose
// head has arrived whole, so idle or slow clients cannot take them all.
class ConnectionServer : public httplib::Server {
public:
    struct Settings {
        std::size_t workers = 32;
        ConnectionPark::Limits park;
        int readTimeoutMs = 5000;  // silence allowed while a body is read
        int writeTimeoutMs = 5000; // a full socket allowed while an answer is written
        std::size_t requestsPerConnection = 1000;
        // How long a worker waits for the next request of a kept-alive connection before
        // it hands the connection to the park.
        long lingerMs = 20;
    };

    explicit ConnectionServer(Settings settings);
    ~ConnectionServer() override;

    // Serves TLS with the PEM certificate chain and private key. False with a reason when
    // they cannot be loaded or do not match. Call before listening.
    bool useTls(const std::string& certificateFile, const std::string& keyFile, std::string& error);
    bool usesTls() const { return tls_ != nullptr; }

    // `setup` sees each request, mutable, once its head is read and before it is routed.
    void setRequestSetup(std::function<void(httplib::Request&)> setup) {
        setup_ = std::move(setup);
    }

    // Starts the park and the workers; false with a reason on failure. Call before listening.
    bool prepare(std::string& error);
    // Lets the kernel queue many connections not yet accepted (the library asks for five,
    // and a burst beyond them waits seconds for the client's SYN to be sent again). Call
    // after binding; false when the socket refuses.
    bool widenBacklog();
    // Closes the parked connections, and lets running requests finish on a closed
    // connection: nothing more is read from them. Call after stop().
    void closeConnections();

private:
    bool process_and_close_socket(socket_t sock) override;
    void serve(std::unique_ptr<Connection> connection);
    // True when the next request's head arrives within the linger time.
    bool lingerForNext(Connection& connection);

    Settings settings_;
    ConnectionPark park_;
    std::unique_ptr<httplib::ThreadPool> workers_;
    SSL_CTX* tls_ = nullptr;
    std::function<void(httplib::Request&)> setup_;
    std::atomic<bool> closing_ = false;
};
