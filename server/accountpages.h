#pragma once

#include "csrfguard.h"
#include "pagerenderer.h"
#include "requestcontext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Database;
class SignInService;

// The account forms under /passport/: registration, the password reminder and the reset
// link it makes. Every form carries a CsrfGuard field and is limited like the sign-in
// (SignInService::admitAttempt): registrations per address, reminders per login, reset
// submissions per reset token.
//
// Logins are compared case-sensitively when signing in, as everywhere in the service, but
// a new login equal to an existing one ignoring ASCII case is refused as taken, so "Alice"
// and "alice" can never be two people. There is no mail here: a reminder writes the reset
// link to the service's log, and the page says so whether or not the login exists.
class AccountPages {
public:
    static constexpr std::size_t kLoginMinLength = 3;
    static constexpr std::size_t kLoginMaxLength = 20;
    static constexpr std::size_t kPasswordMinLength = 8; // characters, not bytes
    static constexpr std::int64_t kResetLifetimeSeconds = 60 * 60;

    AccountPages(Database& db, SignInService& signIn, const PageRenderer& renderer)
        : db_(db), signIn_(signIn), renderer_(renderer), csrf_(db) {}

    // `origin`: the service's address the reset links start with ("http://HOST:PORT");
    // `secureCookies`: the site is served over HTTPS; `cookieSeconds`: how long the
    // session and form cookies last.
    void configure(const std::string& origin, bool secureCookies, std::int64_t cookieSeconds);

    // GET /passport/: without a mode the index of the account pages; ?mode=register the
    // registration form; ?mode=remember the reminder form; ?mode=reset&token=T the new
    // password form, or 410 when the token is unknown, used or expired. 404 for another mode.
    void show(RequestContext& context);
    // POST /passport/?mode=MODE, form fields as the forms send them:
    //  register (login, password, password2): creates the account, signs the browser in and
    //    answers 303 to the user's page; 400 for an invalid login or password, 409 for a
    //    taken login, with the form again (the login refilled, never the password);
    //  remember (login): makes a reset token for an existing login and writes its link to
    //    the log (earlier links stay good; none beyond Database::kResetLinksPerAccount);
    //    200 with the same page whether the login exists or not;
    //  reset (token, password, password2): sets the new password, ends every other session
    //    and token of the account, signs the browser in, 303 to the user's page; 400 for an
    //    invalid password, 410 for a token that is unknown, used or expired.
    // Any form: 403 with the form again without a valid CSRF field, 429 beyond the attempt
    // limits. 404 for another mode.
    void submit(RequestContext& context);

    // True for 3 to 20 characters of ASCII letters, digits, "-" and "_".
    static bool validLogin(const std::string& login);
    // The number of characters of a UTF-8 text (a broken sequence counts per lead byte).
    static std::size_t characterCount(const std::string& text);
    // True when the plug-in can send this login and password: its encrypted credentials
    // hold at most kCredentialBytes bytes of escaped text.
    static bool fitsSignIn(const std::string& login, const std::string& password);
    // Five records of 64 bytes: what fits the plug-in's 1024-character cipher text under a
    // 1024-bit key.
    static constexpr std::size_t kCredentialBytes = 320;

private:
    void index(RequestContext& context);
    void registerAccount(RequestContext& context);
    void remember(RequestContext& context);
    void reset(RequestContext& context);

    void answerRegister(RequestContext& context, int status, const std::string& login,
                        const std::vector<std::string>& errorKeys);
    void answerRemember(RequestContext& context, int status, const std::string& login,
                        const std::vector<std::string>& errorKeys, bool sent);
    // The new password form for a token that is still good; the expired-link page (410)
    // otherwise.
    void answerReset(RequestContext& context, int status, const std::string& token,
                     const std::vector<std::string>& errorKeys);
    void answerResetGone(RequestContext& context);
    void answerForm(RequestContext& context, int status, const std::string& name,
                    const std::string& titleKey, PageRenderer::Data values,
                    const std::vector<std::string>& errorKeys);
    // The text keys of what is wrong with a new password and its repetition.
    static std::vector<std::string> passwordProblems(const std::string& login,
                                                     const std::string& password,
                                                     const std::string& again);
    // Gives the browser a session of `login` and answers 303 to the user's page; when no
    // session can be stored, 303 to the sign-in form leading there.
    void signInAndGoHome(RequestContext& context, const std::string& login);

    Database& db_;
    SignInService& signIn_;
    const PageRenderer& renderer_;
    CsrfGuard csrf_;
    std::string origin_;
    bool secureCookies_ = false;
    std::int64_t cookieSeconds_ = 30LL * 24 * 60 * 60;
};
