#pragma once

#include "ccryptoproviderrsa.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace httplib {
struct Response;
} // namespace httplib

class Database;

// The sign-in exchange: GET /ovmrsa/key/ hands out the service's public key with a fresh
// request id; POST /ovmrsa/token/ takes the Base64 record stream of
//   <credentials login="..." password="..." />
// encrypted under that key, with the id, and answers a new token for a right login and
// password. A request id is good for one token request within its lifetime.
class SignInService {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRequestIdLifetime{300};

    // `now` is the clock request ids age by (replaceable for tests).
    explicit SignInService(Database& db, std::function<Clock::time_point()> now = Clock::now)
        : db_(db), now_(std::move(now)) {}
    SignInService(const SignInService&) = delete;
    SignInService& operator=(const SignInService&) = delete;

    // Makes the service's 1024-bit key pair from the system's random device. False with a
    // reason when that fails. Done before the service listens, so that the first sign-in
    // is answered within a client's time-out.
    bool prepare(std::string& error);

    // Answers <response><key>MODULUS#EXPONENT</key><request_id>ID</request_id></response>.
    void key(httplib::Response& res);
    // Reads the form fields credentials and request_id of `body` and answers
    // <response><token>TOKEN</token></response>; <response><error code="2"/></response> for
    // an unknown login or a wrong password; <response><error code="1"/></response> for an
    // unknown, used or expired request id, or credentials that do not decrypt to the
    // credentials element.
    void token(httplib::Response& res, const std::string& body);

private:
    // Takes the id out of the pending ones; true when it was pending and not expired.
    bool redeem(const std::string& requestId);
    // The credentials text decrypted from the Base64 record stream; empty on failure.
    std::string decrypt(const std::string& base64);

    Database& db_;
    std::function<Clock::time_point()> now_;
    std::mutex mutex_; // the provider's decryption chain and the pending ids
    CCryptoProviderRSA provider_;
    std::string keyText_;
    std::map<std::string, Clock::time_point> pending_; // request id -> expiry
};
