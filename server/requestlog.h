#pragma once

#include <mutex>
#include <string>
#include <vector>

// The lines "METHOD PATH" of the requests served since start, in arrival order. Thread-safe.
class RequestLog {
public:
    void add(const std::string& method, const std::string& path);
    // Every line so far, each ending in a line feed.
    std::string text();

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};
