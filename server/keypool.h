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
// nothing under any later key.
class KeyPool {
public:
    struct KeyPair {
        std::unique_ptr<CCryptoProviderRSA> provider;
        std::string publicText; // "MODULUS#EXPONENT"
    };

    // Keeps up to `target` pairs ready.
    explicit KeyPool(std::size_t target = 8) : target_(target) {}
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

private:
    static std::optional<KeyPair> make();
    void fill();

    std::size_t target_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::vector<KeyPair> ready_;
    bool stopping_ = false;
    std::thread maker_;
};
