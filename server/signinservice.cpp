#include "signinservice.h"

#include "base64.h"
#include "database.h"
#include "querystring.h"
#include "textutil.h"
#include "xmldepth.h"

#include <QDomDocument>

#include "webresponse.h"

#include <algorithm>
#include <optional>

namespace {

const char* const kXmlType = "application/xml; charset=utf-8";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
// More pending ids than this means nobody redeems them; the oldest go first.
constexpr std::size_t kMaxPending = 10000;
// Credentials of a real sign-in are small; refuse to decrypt more than this.
constexpr std::size_t kMaxCipherText = 4 * 1024;

void answerXml(WebResponse& res, const std::string& element) {
    res.status = 200;
    res.set_content(kDeclaration + "<response>" + element + "</response>", kXmlType);
}

} // namespace

long long SignInService::secondsOf(Clock::duration wait) {
    return std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(wait).count());
}

bool SignInService::prepare(std::string& error) {
    return pool_.start(error);
}

void SignInService::key(WebResponse& res, const std::string& address) {
    bool admitted = false;
    {
        std::lock_guard lock(mutex_);
        admitted = keyRequests_.admit({address}, now_());
    }
    if (!admitted) {
        res.set_header("Retry-After", std::to_string(kKeyWindow.count()));
        answerXml(res, "<error code=\"1\"/>");
        res.status = 429;
        return;
    }
    const std::string requestId = TextUtil::randomHex(16);
    std::optional<KeyPool::KeyPair> keys = pool_.take();
    if (!keys || requestId.empty())
        return TextUtil::answerText(res, 503, "Sign-in is not available");
    const std::string keyText = keys->publicText;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = now_();
        std::erase_if(pending_, [&](const auto& entry) { return entry.second.expiry <= now; });
        while (pending_.size() >= kMaxPending) {
            auto oldest = pending_.begin();
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                if (it->second.expiry < oldest->second.expiry)
                    oldest = it;
            }
            pending_.erase(oldest);
        }
        pending_[requestId] = Pending{now + kRequestIdLifetime, std::move(*keys)};
    }
    answerXml(res, "<key>" + keyText + "</key><request_id>" + requestId + "</request_id>");
}

bool SignInService::admitAttempt(const std::string& subject, const std::string& address) {
    std::lock_guard lock(mutex_);
    return attempts_.admit({subject, "address:" + address}, now_());
}

SignInService::Check SignInService::checkPassword(const std::string& subject,
                                                  const std::string& address,
                                                  const std::function<bool()>& matches,
                                                  Clock::duration& retryAfter) {
    SignInThrottle::Verdict verdict;
    bool held = false;
    {
        std::lock_guard lock(mutex_);
        verdict = throttle_.before(subject, address, now_());
        // Each check held back keeps a request waiting: beyond a few at once the others are
        // refused for about as long, so guessing cannot tie up every request of the site.
        if (verdict.refusedFor == Clock::duration::zero() &&
            verdict.delay > Clock::duration::zero()) {
            held = heldBack_ < kMaxHeldBack;
            if (held)
                ++heldBack_;
            else
                verdict.refusedFor = verdict.delay;
        }
    }
    if (verdict.refusedFor > Clock::duration::zero()) {
        retryAfter = verdict.refusedFor;
        return Check::Refused;
    }
    // Held back without the lock: other sign-ins go on meanwhile.
    if (held)
        pause_(verdict.delay);
    const bool right = matches();
    std::lock_guard lock(mutex_);
    if (held)
        --heldBack_;
    if (right)
        throttle_.succeeded(subject, address);
    else
        throttle_.failed(subject, address, now_());
    return right ? Check::Accepted : Check::Wrong;
}

std::optional<KeyPool::KeyPair> SignInService::redeem(const std::string& requestId) {
    std::lock_guard lock(mutex_);
    const auto it = pending_.find(requestId);
    if (it == pending_.end())
        return std::nullopt;
    const bool fresh = now_() < it->second.expiry;
    KeyPool::KeyPair keys = std::move(it->second.keys);
    pending_.erase(it);
    if (!fresh)
        return std::nullopt;
    return keys;
}

std::string SignInService::decrypt(CCryptoProviderRSA& provider, const std::string& base64) {
    const std::string cipher = base64_decode(base64);
    if (cipher.empty() || cipher.size() > kMaxCipherText)
        return {};
    std::string plain(CCryptoProviderRSA::DecryptedLengthBound(cipher.size()), '\0');
    unsigned long length = 0;
    provider.ResetDecryption();
    provider.Decrypt(cipher.data(), cipher.size(), plain.data(), length);
    plain.resize(length);
    return plain;
}

void SignInService::token(WebResponse& res, const std::string& body, const std::string& address) {
    const QueryString::Fields fields = QueryString::parse(body);
    const std::optional<std::string> credentials = QueryString::value(fields, "credentials");
    const std::optional<std::string> requestId = QueryString::value(fields, "request_id");
    if (!requestId)
        return answerXml(res, "<error code=\"1\"/>");
    // The id and its key are used up by this request, whatever its outcome.
    std::optional<KeyPool::KeyPair> keys = redeem(*requestId);
    if (!keys || !credentials)
        return answerXml(res, "<error code=\"1\"/>");

    const std::string plain = decrypt(*keys->provider, *credentials);
    keys.reset();
    QDomDocument doc;
    if (plain.empty() || !XmlDepth::within(plain) ||
        !doc.setContent(QByteArray(plain.data(), static_cast<qsizetype>(plain.size())), false))
        return answerXml(res, "<error code=\"1\"/>");
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QStringLiteral("credentials") ||
        !root.hasAttribute(QStringLiteral("login")) ||
        !root.hasAttribute(QStringLiteral("password")))
        return answerXml(res, "<error code=\"1\"/>");

    const std::string login = root.attribute(QStringLiteral("login")).toStdString();
    const std::string password = root.attribute(QStringLiteral("password")).toStdString();
    Clock::duration retryAfter{};
    switch (checkPassword(
        "login:" + login, address, [&] { return db_.checkPassword(login, password); },
        retryAfter)) {
    case Check::Refused:
        res.set_header("Retry-After", std::to_string(secondsOf(retryAfter)));
        answerXml(res, "<error code=\"1\"/>");
        res.status = 429;
        return;
    case Check::Wrong:
        return answerXml(res, "<error code=\"2\"/>");
    case Check::Accepted:
        break;
    }

    const std::string token = TextUtil::randomHex(20);
    if (token.empty() || !db_.addToken(token, login)) {
        return TextUtil::answerText(res, 500, "Cannot issue a token");
    }
    answerXml(res, "<token>" + token + "</token>");
}
