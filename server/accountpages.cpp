#include "accountpages.h"

#include "cookies.h"
#include "database.h"
#include "signinservice.h"
#include "sitesession.h"
#include "textutil.h"

#include <QCryptographicHash>

#include "webresponse.h"

#include <iostream>

namespace {

std::string field(const QueryString::Fields& fields, const char* name) {
    return QueryString::value(fields, name).value_or("");
}

std::string userPath(const std::string& login) {
    return "/users/" + QueryString::encode(login) + "/";
}

void redirect(WebResponse& res, const std::string& location) {
    res.status = 303;
    res.set_header("Location", location);
    res.set_header("Cache-Control", "no-store");
}

// How many bytes a text takes inside a double-quoted attribute of the plug-in's
// credentials element, escaped as the plug-in escapes it.
std::size_t escapedSize(const std::string& text) {
    std::size_t size = 0;
    for (const char c : text) {
        switch (c) {
        case '&':
            size += 5; // &amp;
            break;
        case '<':
        case '>':
        case '\t':
            size += 4; // &lt; &gt; &#9;
            break;
        case '"':
        case '\'':
            size += 6; // &quot; &apos;
            break;
        case '\n':
        case '\r':
            size += 5; // &#10; &#13;
            break;
        default:
            size += 1;
        }
    }
    return size;
}

// A short name of a reset token for the attempt limits, which keep their keys in memory.
std::string tokenSubject(const std::string& token) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(token.data(), static_cast<qsizetype>(token.size())), QCryptographicHash::Sha256);
    return "reset:" + digest.toHex().left(32).toStdString();
}

} // namespace

void AccountPages::configure(const std::string& origin, bool secureCookies,
                             std::int64_t cookieSeconds) {
    origin_ = origin;
    secureCookies_ = secureCookies;
    cookieSeconds_ = cookieSeconds;
    csrf_.configure(secureCookies, cookieSeconds);
}

bool AccountPages::validLogin(const std::string& login) {
    if (login.size() < kLoginMinLength || login.size() > kLoginMaxLength)
        return false;
    for (const char c : login) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!allowed)
            return false;
    }
    return true;
}

std::size_t AccountPages::characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80)
            ++count;
    }
    return count;
}

bool AccountPages::fitsSignIn(const std::string& login, const std::string& password) {
    // <credentials login="" password="" /> around the two values.
    constexpr std::size_t kFrame = 36;
    return kFrame + escapedSize(login) + escapedSize(password) <= kCredentialBytes;
}

std::vector<std::string> AccountPages::passwordProblems(const std::string& login,
                                                        const std::string& password,
                                                        const std::string& again) {
    std::vector<std::string> problems;
    if (characterCount(password) < kPasswordMinLength)
        problems.push_back("password_short");
    else if (!fitsSignIn(login, password))
        problems.push_back("password_long");
    if (password != again)
        problems.push_back("password_mismatch");
    return problems;
}

void AccountPages::show(RequestContext& context) {
    const std::string mode = field(context.query, "mode");
    if (mode.empty())
        return index(context);
    if (mode == "register")
        return answerRegister(context, 200, {}, {});
    if (mode == "remember")
        return answerRemember(context, 200, {}, {}, false);
    if (mode == "reset")
        return answerReset(context, 200, field(context.query, "token"), {});
    renderer_.answerMessage(context, 404, "not_found", "not_found_text",
                            SiteSession::visitor(db_, context));
}

void AccountPages::submit(RequestContext& context) {
    const std::string mode = field(context.query, "mode");
    if (mode == "register")
        return registerAccount(context);
    if (mode == "remember")
        return remember(context);
    if (mode == "reset")
        return reset(context);
    renderer_.answerMessage(context, 404, "not_found", "not_found_text",
                            SiteSession::visitor(db_, context));
}

void AccountPages::index(RequestContext& context) {
    renderer_.answer(context, 200, "passport", PageRenderer::text(context, "passport"), {},
                     SiteSession::visitor(db_, context));
}

void AccountPages::answerForm(RequestContext& context, int status, const std::string& name,
                              const std::string& titleKey, PageRenderer::Data values,
                              const std::vector<std::string>& errorKeys) {
    PageRenderer::Data errors = PageRenderer::Data::type::list;
    for (const std::string& key : errorKeys)
        errors.push_back(PageRenderer::Data(PageRenderer::text(context, key)));
    values.set("has_errors", !errorKeys.empty());
    values.set("errors", errors);
    values.set("csrf", csrf_.fieldFor(context));
    renderer_.answer(context, status, name, PageRenderer::text(context, titleKey),
                     std::move(values), SiteSession::visitor(db_, context));
}

void AccountPages::answerRegister(RequestContext& context, int status, const std::string& login,
                                  const std::vector<std::string>& errorKeys) {
    PageRenderer::Data values;
    values.set("login", TextUtil::validUtf8(login));
    answerForm(context, status, "register", "register_heading", std::move(values), errorKeys);
}

void AccountPages::answerRemember(RequestContext& context, int status, const std::string& login,
                                  const std::vector<std::string>& errorKeys, bool sent) {
    PageRenderer::Data values;
    values.set("login", TextUtil::validUtf8(login));
    values.set("sent", sent);
    answerForm(context, status, "remember", "remember_heading", std::move(values), errorKeys);
}

void AccountPages::answerResetGone(RequestContext& context) {
    PageRenderer::Data values;
    values.set("gone", true);
    context.res.set_header("Referrer-Policy", "no-referrer");
    renderer_.answer(context, 410, "reset", PageRenderer::text(context, "reset_gone_heading"),
                     std::move(values), SiteSession::visitor(db_, context));
}

void AccountPages::answerReset(RequestContext& context, int status, const std::string& token,
                               const std::vector<std::string>& errorKeys) {
    const std::optional<std::string> owner =
        token.empty() ? std::nullopt : db_.resetTokenOwner(token);
    if (!owner)
        return answerResetGone(context);
    // The address holds the token: it must not travel on to any other page as a referrer.
    context.res.set_header("Referrer-Policy", "no-referrer");
    PageRenderer::Data values;
    values.set("gone", false);
    values.set("token", token);
    values.set("login", TextUtil::validUtf8(*owner));
    answerForm(context, status, "reset", "reset_heading", std::move(values), errorKeys);
}

void AccountPages::signInAndGoHome(RequestContext& context, const std::string& login) {
    const std::string session = TextUtil::randomHex(20);
    if (session.empty() || !db_.addToken(session, login))
        return redirect(context.res,
                        "/passport/signin/?back=" + QueryString::encode(userPath(login)));
    context.res.set_header("Set-Cookie", Cookies::setCookie(SiteSession::kCookie, session,
                                                            cookieSeconds_, secureCookies_));
    redirect(context.res, userPath(login));
}

void AccountPages::registerAccount(RequestContext& context) {
    const QueryString::Fields fields = QueryString::parse(context.body);
    const std::string login = field(fields, "login");
    if (!csrf_.check(context))
        return answerRegister(context, 403, login, {"form_expired"});
    if (!signIn_.admitAttempt("register:" + context.req.remote_addr, context.req.remote_addr))
        return answerRegister(context, 429, login, {"too_many_attempts"});
    std::vector<std::string> problems;
    if (!validLogin(login))
        problems.push_back("login_invalid");
    for (std::string& problem :
         passwordProblems(login, field(fields, "password"), field(fields, "password2")))
        problems.push_back(std::move(problem));
    if (!problems.empty())
        return answerRegister(context, 400, login, problems);
    switch (db_.createUser(login, field(fields, "password"))) {
    case Database::CreateResult::Created:
        return signInAndGoHome(context, login);
    case Database::CreateResult::Taken:
        return answerRegister(context, 409, login, {"login_taken"});
    case Database::CreateResult::Failed:
        break;
    }
    answerRegister(context, 500, login, {"register_failed"});
}

void AccountPages::remember(RequestContext& context) {
    const std::string login = field(QueryString::parse(context.body), "login");
    if (!csrf_.check(context))
        return answerRemember(context, 403, login, {"form_expired"}, false);
    if (login.empty())
        return answerRemember(context, 400, login, {"login_missing"}, false);
    if (!signIn_.admitAttempt("remember:" + login, context.req.remote_addr))
        return answerRemember(context, 429, login, {"too_many_attempts"}, false);
    if (db_.userExists(login)) {
        const std::string token = TextUtil::randomHex(32);
        if (token.empty())
            return answerRemember(context, 500, login, {"remember_failed"}, false);
        // There is no mail here: the log is where the owner of the service finds the link.
        // One write, so the line is not mixed with the lines of other requests.
        if (db_.addResetToken(token, login, kResetLifetimeSeconds))
            std::cerr << "pikto-service: password reset link for " +
                             TextUtil::withoutControls(login) + ": " + origin_ +
                             "/passport/?mode=reset&token=" + token + "\n";
        else
            std::cerr << "pikto-service: no new password reset link for " +
                             TextUtil::withoutControls(login) +
                             ": its earlier links are still good (or the database failed)\n";
    }
    // The same answer for every login, so the page tells nobody which accounts exist.
    answerRemember(context, 200, login, {}, true);
}

void AccountPages::reset(RequestContext& context) {
    const QueryString::Fields fields = QueryString::parse(context.body);
    const std::string token = field(fields, "token");
    if (!csrf_.check(context))
        return answerReset(context, 403, token, {"form_expired"});
    if (!signIn_.admitAttempt(tokenSubject(token), context.req.remote_addr))
        return answerReset(context, 429, token, {"too_many_attempts"});
    const std::optional<std::string> owner =
        token.empty() ? std::nullopt : db_.resetTokenOwner(token);
    if (!owner)
        return answerResetGone(context);
    const std::string password = field(fields, "password");
    const std::vector<std::string> problems =
        passwordProblems(*owner, password, field(fields, "password2"));
    if (!problems.empty())
        return answerReset(context, 400, token, problems);
    // Used up here; a second submission of the same link finds it gone.
    const std::optional<std::string> login = db_.resetPassword(token, password);
    if (!login)
        return answerResetGone(context);
    signInAndGoHome(context, *login);
}
