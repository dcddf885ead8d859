#pragma once

#include "keypool.h"
#include "ratelimiter.h"
#include "signinthrottle.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct WebResponse;

class Database;

// The sign-in exchange: GET /ovmrsa/key/ hands out a public key with a fresh request id;
// POST /ovmrsa/token/ takes the Base64 record stream of
//   <credentials login="..." password="..." />
// encrypted under that key, with the id, and answers a new token for a right login and
// password. Each request id comes with a key pair of its own, good for that one token
// request within the id's lifetime and dropped after it: the same cipher text sent again
// under another id decrypts to nothing. Wrong passwords are counted per login and address
// (SignInThrottle); key requests are limited per address, as each costs a key pair.
class SignInService {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRequestIdLifetime{300};
    static constexpr std::chrono::seconds kAttemptWindow{60};
    static constexpr std::size_t kDefaultAttemptsPerMinute = 10;
    // Key requests per address: 2 x the attempt limit within this window (a burst of that
    // many, 6 x the limit a minute).
    static constexpr std::chrono::seconds kKeyWindow{20};
    // Password checks held back at once (see checkPassword); more are refused meanwhile.
    static constexpr int kMaxHeldBack = 4;

    // What a password check came to.
    enum class Check { Accepted, Wrong, Refused };

    // `now` is the clock request ids and attempts age by (replaceable for tests);
    // `attemptsPerMinute` limits wrong passwords per login and address, and per address,
    // and key requests per address (0: no limit); `keyBits` is the modulus size (1024 on
    // the wire; tests may go lower).
    explicit SignInService(Database& db, std::function<Clock::time_point()> now = Clock::now,
                           std::size_t attemptsPerMinute = kDefaultAttemptsPerMinute,
                           unsigned keyBits = 1024)
        : db_(db), now_(std::move(now)), pool_(64, keyBits),
          attempts_(attemptsPerMinute, kAttemptWindow),
          throttle_(attemptsPerMinute, kAttemptWindow),
          keyRequests_(2 * attemptsPerMinute, kKeyWindow) {}
    SignInService(const SignInService&) = delete;
    SignInService& operator=(const SignInService&) = delete;

    // Makes the first key pair from the system's random device and starts making more in
    // the background. False with a reason when that fails. Done before the service listens,
    // so that the first sign-in is answered within a client's time-out.
    bool prepare(std::string& error);

    // Answers <response><key>MODULUS#EXPONENT</key><request_id>ID</request_id></response>
    // with a key pair handed out to this id only; 503 when no key pair can be made; 429
    // with Retry-After and <response><error code="1"/></response> beyond the key requests
    // of `address` (the client then reports that the service cannot be signed in to).
    void key(WebResponse& res, const std::string& address);
    // Reads the form fields credentials and request_id of `body` and answers
    // <response><token>TOKEN</token></response>; <response><error code="2"/></response> for
    // an unknown login or a wrong password; <response><error code="1"/></response> for an
    // unknown, used or expired request id, or credentials that do not decrypt to the
    // credentials element under the id's key. An attempt from an address shut out for the
    // login (see checkPassword) is answered 429 with code 1 and Retry-After, its password
    // unchecked.
    void token(WebResponse& res, const std::string& body, const std::string& address);

    // Checks a password of `subject` ("login:NAME", "album:ID") from `address` through
    // `matches`, under the wrong-password limits: Refused (unchecked; `retryAfter` says for
    // how long) while the address is shut out for the subject or for every subject; else
    // Accepted or Wrong, after the subject's delay when it is being guessed at from many
    // addresses; Refused for about that delay while kMaxHeldBack checks are held back.
    Check checkPassword(const std::string& subject, const std::string& address,
                        const std::function<bool()>& matches, Clock::duration& retryAfter);
    // Whole seconds for a Retry-After header, at least 1.
    static long long secondsOf(Clock::duration wait);
    // Replaces how a check is held back (tests record instead of waiting).
    void setPause(std::function<void(Clock::duration)> pause) { pause_ = std::move(pause); }

    // Counts one attempt of a form for `subject` (a registration, a reminder, a reset link)
    // from `address`; false, counting nothing, when either is at its limit for the minute.
    bool admitAttempt(const std::string& subject, const std::string& address);

private:
    // Takes the id and its key pair out of the pending ones; empty when it was not pending
    // or has expired.
    std::optional<KeyPool::KeyPair> redeem(const std::string& requestId);
    // The credentials text decrypted from the Base64 record stream; empty on failure.
    static std::string decrypt(CCryptoProviderRSA& provider, const std::string& base64);

    struct Pending {
        Clock::time_point expiry;
        KeyPool::KeyPair keys;
    };

    Database& db_;
    std::function<Clock::time_point()> now_;
    KeyPool pool_;
    std::mutex mutex_; // the pending ids and the attempt counts
    std::map<std::string, Pending> pending_;
    RateLimiter attempts_;
    SignInThrottle throttle_;
    RateLimiter keyRequests_;
    int heldBack_ = 0; // checks waiting out their delay now (under mutex_)
    std::function<void(Clock::duration)> pause_ = [](Clock::duration d) {
        std::this_thread::sleep_for(d);
    };
};
