#pragma once

#include "keypool.h"
#include "ratelimiter.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

struct WebResponse;

class Database;

// The sign-in exchange: GET /ovmrsa/key/ hands out a public key with a fresh request id;
// POST /ovmrsa/token/ takes the Base64 record stream of
//   <credentials login="..." password="..." />
// encrypted under that key, with the id, and answers a new token for a right login and
// password. Each request id comes with a key pair of its own, good for that one token
// request within the id's lifetime and dropped after it: the same cipher text sent again
// under another id decrypts to nothing. Attempts are limited per login and per address.
class SignInService {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRequestIdLifetime{300};
    static constexpr std::chrono::seconds kAttemptWindow{60};
    static constexpr std::size_t kDefaultAttemptsPerMinute = 10;

    // `now` is the clock request ids and attempts age by (replaceable for tests);
    // `attemptsPerMinute` limits the checked passwords per login and per address
    // (0: no limit); `keyBits` is the modulus size (1024 on the wire; tests may go lower).
    explicit SignInService(Database& db, std::function<Clock::time_point()> now = Clock::now,
                           std::size_t attemptsPerMinute = kDefaultAttemptsPerMinute,
                           unsigned keyBits = 1024)
        : db_(db), now_(std::move(now)), pool_(4, keyBits),
          attempts_(attemptsPerMinute, kAttemptWindow) {}
    SignInService(const SignInService&) = delete;
    SignInService& operator=(const SignInService&) = delete;

    // Makes the first key pair from the system's random device and starts making more in
    // the background. False with a reason when that fails. Done before the service listens,
    // so that the first sign-in is answered within a client's time-out.
    bool prepare(std::string& error);

    // Answers <response><key>MODULUS#EXPONENT</key><request_id>ID</request_id></response>
    // with a key pair handed out to this id only; 503 when no key pair can be made.
    void key(WebResponse& res);
    // Reads the form fields credentials and request_id of `body` and answers
    // <response><token>TOKEN</token></response>; <response><error code="2"/></response> for
    // an unknown login or a wrong password; <response><error code="1"/></response> for an
    // unknown, used or expired request id, or credentials that do not decrypt to the
    // credentials element under the id's key. An attempt beyond the limit for the login or
    // for `address` is answered 429 with code 1, its password unchecked.
    void token(WebResponse& res, const std::string& body, const std::string& address);

    // Counts one password check for `subject` (a login, or an album for its password) from
    // `address`; false, counting nothing, when either is at its limit for the minute. The
    // site's sign-in and album password forms share the limits of the token request.
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
};
