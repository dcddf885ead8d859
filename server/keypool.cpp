#include "keypool.h"

#include "keytext.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstring>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Number = std::unique_ptr<BIGNUM, decltype(&BN_clear_free)>;
using Hex = std::unique_ptr<char, void (*)(char*)>;

Number factor(const EVP_PKEY* key, const char* name) {
    BIGNUM* value = nullptr;
    EVP_PKEY_get_bn_param(key, name, &value);
    return Number(value, &BN_clear_free);
}

Hex hexOf(const BIGNUM* number) {
    return Hex(BN_bn2hex(number), [](char* text) { OPENSSL_clear_free(text, std::strlen(text)); });
}

} // namespace

KeyPool::~KeyPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wanted_.notify_all();
    for (std::thread& maker : makers_)
        maker.join();
}

std::optional<KeyPool::KeyPair> KeyPool::make(unsigned bits) {
    const Key key(EVP_RSA_gen(bits), &EVP_PKEY_free);
    if (!key)
        return std::nullopt;
    Number p = factor(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1);
    Number q = factor(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2);
    if (!p || !q)
        return std::nullopt;
    if (BN_cmp(p.get(), q.get()) > 0)
        std::swap(p, q); // the provider keeps p < q
    const Hex pText = hexOf(p.get());
    const Hex qText = hexOf(q.get());
    if (!pText || !qText)
        return std::nullopt;
    std::string primes = std::string(pText.get()) + "#" + qText.get();
    KeyPair pair{std::make_unique<CCryptoProviderRSA>(), {}};
    const bool taken = pair.provider->ImportPrivateKey(primes.c_str());
    OPENSSL_cleanse(primes.data(), primes.size());
    if (!taken || pair.provider->GetKey().m.bits() != bits)
        return std::nullopt;
    std::vector<char> text(key_text_capacity);
    if (!pair.provider->ExportPublicKey(text.data()) || text[0] == '\0')
        return std::nullopt;
    pair.publicText = text.data();
    return pair;
}

bool KeyPool::start(std::string& error) {
    std::optional<KeyPair> first = make(bits_);
    if (!first) {
        error = "cannot make a sign-in key pair from the random device";
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(*first));
    }
    for (std::size_t i = 0; i < kMakers; ++i)
        makers_.emplace_back([this] { fill(); });
    return true;
}

void KeyPool::fill() {
    std::unique_lock lock(mutex_);
    while (true) {
        wanted_.wait(lock, [this] { return stopping_ || ready_.size() + making_ < size_; });
        if (stopping_)
            return;
        ++making_;
        lock.unlock();
        std::optional<KeyPair> pair = make(bits_);
        lock.lock();
        --making_;
        if (!pair)
            return; // take() makes pairs itself from now on, and reports the failure
        ready_.push_back(std::move(*pair));
    }
}

std::optional<KeyPool::KeyPair> KeyPool::take() {
    {
        std::lock_guard lock(mutex_);
        // Down to half: demand is catching up with the makers, so keep more ahead.
        if (ready_.size() <= size_ / 2)
            size_ = std::min(most_, size_ * 2);
        wanted_.notify_all();
        if (!ready_.empty()) {
            KeyPair pair = std::move(ready_.back());
            ready_.pop_back();
            return pair;
        }
    }
    return make(bits_);
}

std::size_t KeyPool::size() {
    std::lock_guard lock(mutex_);
    return size_;
}

std::size_t KeyPool::ready() {
    std::lock_guard lock(mutex_);
    return ready_.size();
}
