#include "ratelimiter.h"

namespace {

// More keys than this are pruned of their stale entries before counting another.
constexpr std::size_t kPruneAbove = 4096;

} // namespace

void RateLimiter::forgetBefore(Clock::time_point cutoff) {
    for (auto it = events_.begin(); it != events_.end();) {
        while (!it->second.empty() && it->second.front() <= cutoff)
            it->second.pop_front();
        it = it->second.empty() ? events_.erase(it) : std::next(it);
    }
}

bool RateLimiter::admit(std::initializer_list<std::string> keys, Clock::time_point now) {
    if (limit_ == 0)
        return true;
    const Clock::time_point cutoff = now - window_;
    if (events_.size() > kPruneAbove)
        forgetBefore(cutoff);
    for (const std::string& key : keys) {
        auto it = events_.find(key);
        if (it == events_.end())
            continue;
        while (!it->second.empty() && it->second.front() <= cutoff)
            it->second.pop_front();
        if (it->second.size() >= limit_)
            return false;
    }
    for (const std::string& key : keys)
        events_[key].push_back(now);
    return true;
}
