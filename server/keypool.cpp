#include "keypool.h"

#include "keytext.h"

KeyPool::~KeyPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wanted_.notify_all();
    if (maker_.joinable())
        maker_.join();
}

std::optional<KeyPool::KeyPair> KeyPool::make() const {
    KeyPair pair{std::make_unique<CCryptoProviderRSA>(), {}};
    if (!pair.provider->DeriveKeyFromRandomDevice(bits_))
        return std::nullopt;
    std::vector<char> text(key_text_capacity);
    if (!pair.provider->ExportPublicKey(text.data()) || text[0] == '\0')
        return std::nullopt;
    pair.publicText = text.data();
    return pair;
}

bool KeyPool::start(std::string& error) {
    std::optional<KeyPair> first = make();
    if (!first) {
        error = "cannot make a sign-in key pair from the random device";
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(*first));
    }
    maker_ = std::thread([this] { fill(); });
    return true;
}

void KeyPool::fill() {
    std::unique_lock lock(mutex_);
    while (true) {
        wanted_.wait(lock, [this] { return stopping_ || (taken_ && ready_.size() < target_); });
        if (stopping_)
            return;
        lock.unlock();
        std::optional<KeyPair> pair = make();
        lock.lock();
        if (!pair)
            return; // take() makes pairs itself from now on, and reports the failure
        ready_.push_back(std::move(*pair));
    }
}

std::optional<KeyPool::KeyPair> KeyPool::take() {
    {
        std::lock_guard lock(mutex_);
        taken_ = true;
        wanted_.notify_one(); // the maker refills from now on
        if (!ready_.empty()) {
            KeyPair pair = std::move(ready_.back());
            ready_.pop_back();
            return pair;
        }
    }
    return make();
}

std::size_t KeyPool::ready() {
    std::lock_guard lock(mutex_);
    return ready_.size();
}
