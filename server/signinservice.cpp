#include "signinservice.h"

#include "base64.h"
#include "database.h"
#include "keytext.h"
#include "querystring.h"
#include "textutil.h"

#include <QDomDocument>

#include <httplib.h>

#include <vector>

namespace {

const char* const kXmlType = "application/xml; charset=utf-8";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
// More pending ids than this means nobody redeems them; the oldest go first.
constexpr std::size_t kMaxPending = 10000;
// Credentials of a real sign-in are small; refuse to decrypt more than this.
constexpr std::size_t kMaxCipherText = 64 * 1024;

void answerXml(httplib::Response& res, const std::string& element) {
    res.status = 200;
    res.set_content(kDeclaration + "<response>" + element + "</response>", kXmlType);
}

} // namespace

bool SignInService::prepare(std::string& error) {
    std::lock_guard lock(mutex_);
    if (!provider_.DeriveKeyFromRandomDevice(1024)) {
        error = "cannot make the sign-in key pair from the random device";
        return false;
    }
    std::vector<char> text(key_text_capacity);
    if (!provider_.ExportPublicKey(text.data()) || text[0] == '\0') {
        error = "cannot write the sign-in public key";
        return false;
    }
    keyText_ = text.data();
    return true;
}

void SignInService::key(httplib::Response& res) {
    const std::string requestId = TextUtil::randomHex(16);
    if (keyText_.empty() || requestId.empty()) {
        return TextUtil::answerText(res, 503, "Sign-in is not available");
    }
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = now_();
        std::erase_if(pending_, [&](const auto& entry) { return entry.second <= now; });
        while (pending_.size() >= kMaxPending) {
            auto oldest = pending_.begin();
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                if (it->second < oldest->second)
                    oldest = it;
            }
            pending_.erase(oldest);
        }
        pending_[requestId] = now + kRequestIdLifetime;
    }
    answerXml(res, "<key>" + keyText_ + "</key><request_id>" + requestId + "</request_id>");
}

bool SignInService::redeem(const std::string& requestId) {
    std::lock_guard lock(mutex_);
    const auto it = pending_.find(requestId);
    if (it == pending_.end())
        return false;
    const bool fresh = now_() < it->second;
    pending_.erase(it);
    return fresh;
}

std::string SignInService::decrypt(const std::string& base64) {
    const std::string cipher = base64_decode(base64);
    if (cipher.empty() || cipher.size() > kMaxCipherText)
        return {};
    std::string plain(CCryptoProviderRSA::DecryptedLengthBound(cipher.size()), '\0');
    unsigned long length = 0;
    {
        std::lock_guard lock(mutex_);
        // Every sign-in encrypts with a fresh provider, so every stream starts a new chain.
        provider_.ResetDecryption();
        provider_.Decrypt(cipher.data(), cipher.size(), plain.data(), length);
    }
    plain.resize(length);
    return plain;
}

void SignInService::token(httplib::Response& res, const std::string& body) {
    const QueryString::Fields fields = QueryString::parse(body);
    const std::optional<std::string> credentials = QueryString::value(fields, "credentials");
    const std::optional<std::string> requestId = QueryString::value(fields, "request_id");
    if (!requestId || !redeem(*requestId) || !credentials)
        return answerXml(res, "<error code=\"1\"/>");

    const std::string plain = decrypt(*credentials);
    QDomDocument doc;
    if (plain.empty() ||
        !doc.setContent(QByteArray(plain.data(), static_cast<qsizetype>(plain.size())), false))
        return answerXml(res, "<error code=\"1\"/>");
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QStringLiteral("credentials") ||
        !root.hasAttribute(QStringLiteral("login")) ||
        !root.hasAttribute(QStringLiteral("password")))
        return answerXml(res, "<error code=\"1\"/>");

    const std::string login = root.attribute(QStringLiteral("login")).toStdString();
    const std::string password = root.attribute(QStringLiteral("password")).toStdString();
    if (!db_.checkPassword(login, password))
        return answerXml(res, "<error code=\"2\"/>");

    const std::string token = TextUtil::randomHex(20);
    if (token.empty() || !db_.addToken(token, login)) {
        return TextUtil::answerText(res, 500, "Cannot issue a token");
    }
    answerXml(res, "<token>" + token + "</token>");
}
