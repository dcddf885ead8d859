#pragma once

#include "ccryptoproviderrsa.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Sign-in key pairs made ahead of time on a thread of their own. Every pair is handed out
// once: a sign-in gets a key nobody else was given, so a recorded cipher text is worth
// nothing under any later key. One pair is made at start, the rest of the pool at once in
// the background, so a burst of sign-ins finds keys ready; the thread refills as pairs are
// taken. The primes
// come from OpenSSL (a tenth of the time of the provider's own search); the provider
// decrypts with them as with any key of its own.
class KeyPool {
public:
    struct KeyPair {
        std::unique_ptr<CCryptoProviderRSA> provider;
        std::string publicText; // "MODULUS#EXPONENT"
    };

    // Keeps up to `target` pairs of `bits`-bit moduli ready (tests use smaller, faster keys).
    explicit KeyPool(std::size_t target = 4, unsigned bits = 1024) : target_(target), bits_(bits) {}
    // Stops the maker and drops the pairs not handed out.
    ~KeyPool();
    KeyPool(const KeyPool&) = delete;
    KeyPool& operator=(const KeyPool&) = delete;

    // Makes the first pair at once (so the random source is known to work) and starts the
    // maker thread. False with a reason when no pair can be made.
    bool start(std::string& error);
    // A pair never handed out before: a ready one, or one made now when none is ready.
    // Empty when the random source fails.
    std::optional<KeyPair> take();
    // Pairs ready now (for tests).
    std::size_t ready();

    // One pair of a `bits`-bit modulus: two primes from OpenSSL's generator, taken into the
    // provider (which sets its own exponent). Empty when OpenSSL or the provider refuses.
    static std::optional<KeyPair> make(unsigned bits);

private:
    void fill();

    std::size_t target_;
    unsigned bits_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::vector<KeyPair> ready_;
    bool stopping_ = false;
    std::thread maker_;
};
