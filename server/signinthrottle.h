#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

// Wrong passwords counted per subject (a login, an album) and address, so that guessing
// from one address shuts out that address, not the subject's owner. Not thread-safe: the
// owner locks.
//  - `limit` wrong passwords for a subject from one address within `window`, or from one
//    address over all subjects, refuse that address (for that subject, or for all) for the
//    window, doubling at each further time it gets there (at most kMaxDoublings times).
//  - A subject guessed at from many addresses slows down instead: beyond `limit` wrong
//    passwords within the window from all addresses together, every check of it waits
//    kDelayStep more per wrong password, at most kMaxDelay; its owner still gets in.
class SignInThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDelayStep{100};
    static constexpr std::chrono::milliseconds kMaxDelay{2000};
    static constexpr int kMaxDoublings = 6;

    struct Verdict {
        // Zero when a check may go on; otherwise how long the address must wait.
        Clock::duration refusedFor{};
        // How long to hold the check back before answering it.
        Clock::duration delay{};
    };

    // A `limit` of 0 admits everything and delays nothing.
    SignInThrottle(std::size_t limit, Clock::duration window) : limit_(limit), window_(window) {}

    // Whether a password check of `subject` from `address` may go on now.
    Verdict before(const std::string& subject, const std::string& address, Clock::time_point now);
    // Counts a wrong password of `subject` from `address`.
    void failed(const std::string& subject, const std::string& address, Clock::time_point now);
    // A right password: the address's wrong ones for the subject are forgotten.
    void succeeded(const std::string& subject, const std::string& address);

private:
    struct Failures {
        std::size_t count = 0;           // within the window that started at `since`
        Clock::time_point since{};       // start of the counting window
        Clock::time_point lockedUntil{}; // refused before this
        int strikes = 0;                 // times the limit was reached
    };
    // Counts one failure into `entry`; locks it for a doubling time at the limit.
    void count(Failures& entry, Clock::time_point now) const;
    // Forgets entries neither counting nor locked any more, when there are many.
    void prune(Clock::time_point now);

    std::size_t limit_;
    Clock::duration window_;
    std::map<std::string, Failures> entries_; // "p:" subject+address, "a:" address, "s:" subject
};
