#pragma once

#include "connection.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Where connections wait between requests without holding a worker: one thread watches
// them all (epoll), reads what arrives, and hands a connection on once it holds a whole
// request head. A connection idle past the idle time-out, or whose head does not arrive
// whole within the head time-out or the size limit, is closed. So a crowd of idle or
// dripping clients costs file descriptors and a little memory, not workers.
class ConnectionPark {
public:
    using Ready = std::function<void(std::unique_ptr<Connection>)>;

    struct Limits {
        std::chrono::milliseconds idle{std::chrono::seconds(10)};
        std::chrono::milliseconds head{std::chrono::seconds(10)};
        std::size_t headBytes = 64 * 1024;
    };

    // `ready` is called on the park's thread with each connection that holds a request head.
    ConnectionPark(Limits limits, Ready ready);
    // Stops, closing every parked connection.
    ~ConnectionPark();
    ConnectionPark(const ConnectionPark&) = delete;
    ConnectionPark& operator=(const ConnectionPark&) = delete;

    // Starts the watching thread; false when the kernel refuses an epoll or event descriptor.
    bool start();
    // Takes a connection to watch; closes it at once when the park has stopped.
    void park(std::unique_ptr<Connection> connection);
    // Closes every parked connection and ends the thread; later connections are closed.
    void stop();
    // Connections parked as of the watcher's last round (it may lag by one round).
    std::size_t size();

private:
    void run();
    // Reads what arrived; hands the connection on, keeps it, or closes it.
    void serviceOne(int fd);
    void closeStale(Connection::Clock::time_point now);

    Limits limits_;
    Ready ready_;
    int epoll_ = -1;
    int wake_ = -1;
    std::mutex mutex_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Connection>> arrivals_;  // under mutex_
    std::map<int, std::unique_ptr<Connection>> watched_; // park thread only
    std::size_t watchedCount_ = 0;                       // under mutex_, for size()
    std::thread thread_;
};
