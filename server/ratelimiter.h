#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>

// Counts events per key within a sliding window (for instance sign-in attempts per login
// and per address in the last minute). Not thread-safe: the owner locks.
class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // `limit` events per key within `window`; a limit of 0 admits everything.
    RateLimiter(std::size_t limit, Clock::duration window) : limit_(limit), window_(window) {}

    // True, counting one event for every key, when each key has had fewer than `limit`
    // events within the window before `now`; false, counting nothing, otherwise.
    bool admit(std::initializer_list<std::string> keys, Clock::time_point now);
    std::size_t limit() const { return limit_; }

private:
    void forgetBefore(Clock::time_point cutoff);

    std::size_t limit_;
    Clock::duration window_;
    std::map<std::string, std::deque<Clock::time_point>> events_;
};
