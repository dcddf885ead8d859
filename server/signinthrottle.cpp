#include "signinthrottle.h"

#include <algorithm>

namespace {

// More entries than this are pruned of stale ones before counting another.
constexpr std::size_t kPruneAbove = 4096;

std::string pairKey(const std::string& subject, const std::string& address) {
    // The address holds no NUL; the subject may hold anything.
    return "p:" + address + '\0' + subject;
}

} // namespace

SignInThrottle::Verdict SignInThrottle::before(const std::string& subject,
                                               const std::string& address, Clock::time_point now) {
    Verdict verdict;
    if (limit_ == 0)
        return verdict;
    for (const std::string& key : {pairKey(subject, address), "a:" + address}) {
        const auto it = entries_.find(key);
        if (it != entries_.end() && it->second.lockedUntil > now)
            verdict.refusedFor = std::max(verdict.refusedFor, it->second.lockedUntil - now);
    }
    const auto guessed = entries_.find("s:" + subject);
    if (guessed != entries_.end() && now - guessed->second.since < window_ &&
        guessed->second.count >= limit_) {
        const auto extra = static_cast<long long>(guessed->second.count - limit_ + 1);
        verdict.delay = std::min<Clock::duration>(kMaxDelay, kDelayStep * extra);
    }
    return verdict;
}

void SignInThrottle::count(Failures& entry, Clock::time_point now) const {
    if (now - entry.since >= window_) {
        entry.since = now;
        entry.count = 0;
    }
    if (++entry.count < limit_)
        return;
    entry.lockedUntil = now + window_ * (1 << std::min(entry.strikes, kMaxDoublings));
    ++entry.strikes;
    entry.count = 0;
    entry.since = now;
}

void SignInThrottle::failed(const std::string& subject, const std::string& address,
                            Clock::time_point now) {
    if (limit_ == 0)
        return;
    if (entries_.size() > kPruneAbove)
        prune(now);
    count(entries_[pairKey(subject, address)], now);
    count(entries_["a:" + address], now);
    // The subject is never locked, only slowed: its count goes on past the limit.
    Failures& guessed = entries_["s:" + subject];
    if (now - guessed.since >= window_) {
        guessed.since = now;
        guessed.count = 0;
    }
    ++guessed.count;
}

void SignInThrottle::succeeded(const std::string& subject, const std::string& address) {
    const auto it = entries_.find(pairKey(subject, address));
    // A lock stays: a right password from a locked address is not even checked.
    if (it != entries_.end() && it->second.strikes == 0)
        entries_.erase(it);
}

void SignInThrottle::prune(Clock::time_point now) {
    // Strikes are forgotten once an entry has been quiet for its longest lock.
    const Clock::duration quiet = window_ * (1 << kMaxDoublings);
    std::erase_if(entries_, [&](const auto& entry) {
        const Failures& f = entry.second;
        return f.lockedUntil <= now && now - f.since >= (f.strikes > 0 ? quiet : window_);
    });
}
