#include "connectionpark.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace {

// How often stale connections are looked for, at the latest.
constexpr int kSweepMs = 250;

} // namespace

ConnectionPark::ConnectionPark(Limits limits, Ready ready)
    : limits_(limits), ready_(std::move(ready)) {}

ConnectionPark::~ConnectionPark() {
    stop();
    if (epoll_ >= 0)
        ::close(epoll_);
    if (wake_ >= 0)
        ::close(wake_);
}

bool ConnectionPark::start() {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0)
        return false;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0)
        return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void ConnectionPark::park(std::unique_ptr<Connection> connection) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || !thread_.joinable())
            return; // the connection closes as it goes out of scope
        connection->idleSince = Connection::Clock::now();
        connection->headStarted = {};
        arrivals_.push_back(std::move(connection));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

void ConnectionPark::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
}

std::size_t ConnectionPark::size() {
    std::lock_guard lock(mutex_);
    return watchedCount_ + arrivals_.size();
}

void ConnectionPark::run() {
    std::vector<epoll_event> events(256);
    while (true) {
        std::vector<std::unique_ptr<Connection>> arrived;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            arrived.swap(arrivals_);
        }
        for (std::unique_ptr<Connection>& connection : arrived) {
            const int fd = connection->fd();
            epoll_event event{};
            event.events = EPOLLIN | EPOLLRDHUP;
            event.data.fd = fd;
            if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0)
                continue; // closes it
            watched_[fd] = std::move(connection);
            // Bytes may be waiting already (read ahead, or decrypted by TLS), which epoll
            // would not report again.
            serviceOne(fd);
        }
        {
            std::lock_guard lock(mutex_);
            watchedCount_ = watched_.size();
        }
        const int count =
            epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), kSweepMs);
        for (int i = 0; i < count; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == wake_) {
                std::uint64_t value = 0;
                [[maybe_unused]] const ssize_t got = ::read(wake_, &value, sizeof value);
                continue;
            }
            serviceOne(fd);
        }
        closeStale(Connection::Clock::now());
    }
    // Stopping: every connection still here is closed.
    for (auto& [fd, connection] : watched_)
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    watched_.clear();
    std::lock_guard lock(mutex_);
    arrivals_.clear();
    watchedCount_ = 0;
}

void ConnectionPark::serviceOne(int fd) {
    const auto it = watched_.find(fd);
    if (it == watched_.end())
        return;
    Connection& connection = *it->second;
    auto drop = [&] {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        watched_.erase(it);
    };
    if (!connection.handshakeDone()) {
        const Connection::Progress progress = connection.handshake();
        if (progress == Connection::Progress::Closed)
            return drop();
        if (progress == Connection::Progress::Again) {
            // The handshake is held to the head's time limit.
            if (connection.headStarted == Connection::Clock::time_point{})
                connection.headStarted = Connection::Clock::now();
            return;
        }
        // Handshake done: the connection is idle until the first request starts.
        connection.headStarted = {};
        connection.idleSince = Connection::Clock::now();
    }
    const Connection::Progress progress = connection.fill(limits_.headBytes);
    if (progress == Connection::Progress::Closed)
        return drop();
    if (connection.buffered() > 0 && connection.headStarted == Connection::Clock::time_point{})
        connection.headStarted = Connection::Clock::now();
    if (connection.hasRequestHead()) {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        std::unique_ptr<Connection> ready = std::move(it->second);
        watched_.erase(it);
        ready_(std::move(ready));
        return;
    }
    if (connection.buffered() >= limits_.headBytes)
        drop(); // a head this large is refused
}

void ConnectionPark::closeStale(Connection::Clock::time_point now) {
    for (auto it = watched_.begin(); it != watched_.end();) {
        const Connection& connection = *it->second;
        const bool started = connection.headStarted != Connection::Clock::time_point{};
        const bool stale = started ? now - connection.headStarted > limits_.head
                                   : now - connection.idleSince > limits_.idle;
        if (stale) {
            epoll_ctl(epoll_, EPOLL_CTL_DEL, it->first, nullptr);
            it = watched_.erase(it);
        } else {
            ++it;
        }
    }
}
