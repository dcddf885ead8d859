#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

// The lines "METHOD PATH" of the requests served since start, in arrival order. Thread-safe.
// Only the last `limit` lines are kept (10 000 by default), so a long-running service does
// not grow without bound; tests read the log long before it wraps.
class RequestLog {
public:
    static constexpr std::size_t kDefaultLimit = 10000;

    explicit RequestLog(std::size_t limit = kDefaultLimit) : limit_(limit) {}

    // Appends a line, dropping the oldest once the limit is reached.
    void add(const std::string& method, const std::string& path);
    // The kept lines, oldest first, each ending in a line feed.
    std::string text();

private:
    std::mutex mutex_;
    std::size_t limit_;
    std::deque<std::string> lines_;
};
