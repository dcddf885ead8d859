#include "requestlog.h"

void RequestLog::add(const std::string& method, const std::string& path) {
    std::lock_guard lock(mutex_);
    if (limit_ == 0)
        return;
    while (lines_.size() >= limit_)
        lines_.pop_front();
    lines_.push_back(method + " " + path);
}

std::string RequestLog::text() {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const std::string& line : lines_)
        out += line + "\n";
    return out;
}
