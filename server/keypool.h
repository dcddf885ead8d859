#pragma once

#include "ccryptoproviderrsa.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Sign-in key pairs made ahead of time on threads of their own. Every pair is handed out
// once: a sign-in gets a key nobody else was given, so a recorded cipher text is worth
// nothing under any later key. The pool keeps ahead of demand: it starts small (a service
// nobody signs in to spends little on keys) and doubles its size, up to its most, whenever
// sign-ins take it down to half, so a burst finds keys ready. The primes come from OpenSSL
// (a third of the time of the provider's own search); the provider decrypts with them as
// with any key of its own.
class KeyPool {
public:
    struct KeyPair {
        std::unique_ptr<CCryptoProviderRSA> provider;
        std::string publicText; // "MODULUS#EXPONENT"
    };

    static constexpr std::size_t kMakers = 2;
    static constexpr std::size_t kFirstSize = 4;

    // Keeps up to `most` pairs of `bits`-bit moduli ready (tests use smaller, faster keys).
    explicit KeyPool(std::size_t most = 64, unsigned bits = 1024)
        : most_(most), size_(std::min(most, kFirstSize)), bits_(bits) {}
    // Stops the makers and drops the pairs not handed out.
    ~KeyPool();
    KeyPool(const KeyPool&) = delete;
    KeyPool& operator=(const KeyPool&) = delete;

    // Makes the first pair at once (so the random source is known to work) and starts the
    // maker threads. False with a reason when no pair can be made.
    bool start(std::string& error);
    // A pair never handed out before: a ready one, or one made now when none is ready.
    // Empty when the random source fails.
    std::optional<KeyPair> take();
    // Pairs ready now, and how many the pool keeps ready (for tests).
    std::size_t ready();
    std::size_t size();

    // One pair of a `bits`-bit modulus: two primes from OpenSSL's generator, taken into the
    // provider (which sets its own exponent). Empty when OpenSSL or the provider refuses.
    static std::optional<KeyPair> make(unsigned bits);

private:
    void fill();

    std::size_t most_;
    std::size_t size_;       // pairs kept ready, grown by demand up to most_ (under mutex_)
    std::size_t making_ = 0; // pairs the makers are making now (under mutex_)
    unsigned bits_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::vector<KeyPair> ready_;
    bool stopping_ = false;
    std::vector<std::thread> makers_;
};
