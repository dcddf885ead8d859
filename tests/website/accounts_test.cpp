// The account forms under /passport/ against a running service: registration, the password
// reminder and its reset link, their CSRF fields and attempt limits, and their pages.

#include "database.h"
#include "htmlcheck.h"
#include "querystring.h"
#include "rsaencrypttext.h"
#include "servicecontent.h"
#include "serviceprocess.h"
#include "sitetexts.h"
#include "sitevisitor.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <httplib.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Fields = std::multimap<std::string, std::string>;

const std::string kAlicePassword = "alice-password";

// A text as the pages show it and as the plug-in writes it into its credentials.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A site text as a page shows it.
std::string shown(const std::string& key,
                  SiteTexts::Language language = SiteTexts::Language::Russian) {
    return escaped(SiteTexts::text(language, key));
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t start = text.find(open);
    if (start == std::string::npos)
        return {};
    const std::size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? std::string()
                                    : text.substr(start + open.size(), end - start - open.size());
}

class AccountsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(logDir.isValid());
        service.setOptions({{QString::fromStdString("alice:" + kAlicePassword)},
                            {QStringLiteral("alice:tok-alice")},
                            {}});
        service.setLogFile(logDir.filePath(QStringLiteral("service.log")));
        // Tests make more attempts than a person would; the limit tests lower it.
        service.setExtraArguments({QStringLiteral("--sign-in-limit"), QStringLiteral("1000")});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    }

    // Restarts the service on the same data with at most `limit` attempts a minute.
    void limitAttempts(int limit) {
        service.stop();
        service.setExtraArguments({QStringLiteral("--sign-in-limit"), QString::number(limit)});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    }

    SiteVisitor visitor(const std::string& acceptLanguage = {}) {
        return SiteVisitor(service.port(), acceptLanguage);
    }

    // Opens the form at `path` and sends it with `fields` and the form's CSRF field.
    static httplib::Result send(SiteVisitor& browser, const std::string& path, Fields fields) {
        const httplib::Result form = browser.get(path);
        EXPECT_TRUE(form && form->status == 200);
        fields.emplace("csrf", form ? SiteVisitor::formValue(form->body, "csrf") : "");
        return browser.post(path, fields);
    }

    static httplib::Result registerAs(SiteVisitor& browser, const std::string& login,
                                      const std::string& password, const std::string& again) {
        return send(browser, "/passport/?mode=register",
                    {{"login", login}, {"password", password}, {"password2", again}});
    }

    // True when the site's sign-in form accepts the login and password.
    bool siteSignIn(const std::string& login, const std::string& password) {
        SiteVisitor browser = visitor();
        return browser.signIn(login, password);
    }

    // The plug-in's sign-in exchange: a key with a request id, then the credentials
    // encrypted under it into the plug-in's 1024-character buffer. The token; empty when
    // refused or when the credentials do not fit the buffer (`fits` false then).
    std::string pluginToken(const std::string& login, const std::string& password,
                            bool* fits = nullptr) {
        httplib::Client client("127.0.0.1", service.port());
        const httplib::Result key = client.Get("/ovmrsa/key/");
        if (!key || key->status != 200)
            return {};
        const std::string keyText = between(key->body, "<key>", "</key>");
        const std::string requestId = between(key->body, "<request_id>", "</request_id>");
        const std::string credentials = "<credentials login=\"" + escaped(login) +
                                        "\" password=\"" + escaped(password) + "\" />";
        char cipher[1024] = {};
        const bool encrypted =
            rsa_encrypt_text(keyText.c_str(), credentials.c_str(), cipher, sizeof cipher);
        if (fits)
            *fits = encrypted;
        if (!encrypted)
            return {};
        const httplib::Result answer =
            client.Post("/ovmrsa/token/",
                        "credentials=" + QueryString::encode(cipher) +
                            "&request_id=" + QueryString::encode(requestId),
                        "application/x-www-form-urlencoded");
        return answer && answer->status == 200 ? between(answer->body, "<token>", "</token>")
                                               : std::string();
    }

    // The log lines of the service that carry a reset link.
    std::vector<std::string> resetLines() const {
        QFile file(logDir.filePath(QStringLiteral("service.log")));
        std::vector<std::string> lines;
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.contains("mode=reset"))
                lines.push_back(line.toStdString());
        }
        return lines;
    }

    // Asks for a reminder for `login`; the path of the link it wrote, empty when none.
    std::string remind(const std::string& login) {
        SiteVisitor browser = visitor();
        const std::size_t before = resetLines().size();
        const httplib::Result sent = send(browser, "/passport/?mode=remember", {{"login", login}});
        EXPECT_TRUE(sent && sent->status == 200);
        const std::vector<std::string> lines = resetLines();
        if (lines.size() != before + 1)
            return {};
        const std::string prefix = service.origin().toStdString();
        const std::size_t at = lines.back().find(prefix + "/passport/");
        return at == std::string::npos ? std::string() : lines.back().substr(at + prefix.size());
    }

    static httplib::Result setPassword(SiteVisitor& browser, const std::string& link,
                                       const std::string& password, const std::string& again) {
        const httplib::Result form = browser.get(link);
        EXPECT_TRUE(form && form->status == 200);
        const std::string body = form ? form->body : std::string();
        return browser.post("/passport/?mode=reset",
                            {{"csrf", SiteVisitor::formValue(body, "csrf")},
                             {"token", SiteVisitor::formValue(body, "token")},
                             {"password", password},
                             {"password2", again}});
    }

    // True when the album API takes the token.
    bool apiTakes(const std::string& token) {
        httplib::Client client("127.0.0.1", service.port());
        const httplib::Result list =
            client.Get("/api/users/alice/albums/",
                       {{"Authorization", "ZimpToken realm=\"pikto\", token=\"" + token + "\""}});
        return list && list->status == 200;
    }

    QTemporaryDir logDir;
    ServiceProcess service;
};

TEST_F(AccountsTest, EveryFormPageIsValidHtmlInBothLanguages) {
    const std::string link = remind("alice");
    ASSERT_FALSE(link.empty());
    for (const auto& [code, language] :
         {std::pair{std::string("ru"), SiteTexts::Language::Russian},
          std::pair{std::string("en"), SiteTexts::Language::English}}) {
        SiteVisitor browser = visitor(code);
        const std::vector<std::pair<std::string, int>> pages = {
            {"/passport/", 200},
            {"/passport/?mode=register", 200},
            {"/passport/?mode=remember", 200},
            {link, 200},
            {"/passport/?mode=reset&token=0123", 410}};
        for (const auto& [path, status] : pages) {
            const httplib::Result page = browser.get(path);
            ASSERT_TRUE(page) << path;
            EXPECT_EQ(page->status, status) << path;
            EXPECT_NE(page->body.find("<html lang=\"" + code + "\">"), std::string::npos);
            EXPECT_EQ(HtmlCheck::problems(page->body), "") << code << " " << path;
        }
        // The answers to sent forms: a refusal, and the reminder's.
        const httplib::Result refused = registerAs(browser, "x", "short", "other");
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 400);
        EXPECT_NE(refused->body.find(shown("register_heading", language)), std::string::npos);
        EXPECT_EQ(HtmlCheck::problems(refused->body), "") << code;
        const httplib::Result sent =
            send(browser, "/passport/?mode=remember", {{"login", "nobody"}});
        ASSERT_TRUE(sent);
        EXPECT_NE(sent->body.find(shown("remember_sent", language)), std::string::npos);
        EXPECT_EQ(HtmlCheck::problems(sent->body), "") << code;
    }
}

TEST_F(AccountsTest, RegistrationSignsInAndLeadsToTheUsersPage) {
    SiteVisitor browser = visitor();
    const httplib::Result made = registerAs(browser, "New-user_1", "long enough", "long enough");
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 303);
    EXPECT_EQ(made->get_header_value("Location"), "/users/New-user_1/");
    const httplib::Result home = browser.get("/users/New-user_1/");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->status, 200);
    EXPECT_NE(home->body.find("class=\"me\" href=\"/users/New-user_1/\""), std::string::npos);
}

TEST_F(AccountsTest, RegisteredAccountSignsInOnTheSiteAndInThePlugin) {
    SiteVisitor browser = visitor();
    const httplib::Result made = registerAs(browser, "bob_1", "пароль12", "пароль12");
    ASSERT_TRUE(made && made->status == 303);
    EXPECT_TRUE(siteSignIn("bob_1", "пароль12"));
    EXPECT_FALSE(siteSignIn("bob_1", "пароль13"));
    EXPECT_EQ(pluginToken("bob_1", "пароль12").size(), 40u);
    EXPECT_TRUE(pluginToken("bob_1", "wrong-password").empty());
}

TEST_F(AccountsTest, LongestPasswordIsTheLongestThePluginCanSend) {
    // 36 bytes of frame, 5 of login, 279 of escaped password: 320, five records.
    const std::string longest = "abc" + std::string(46, '"');
    SiteVisitor browser = visitor();
    const httplib::Result made = registerAs(browser, "carol", longest, longest);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 303);
    EXPECT_FALSE(pluginToken("carol", longest).empty());

    const std::string tooLong = "abcd" + std::string(46, '"');
    const httplib::Result refused = registerAs(browser, "carol2", tooLong, tooLong);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find(shown("password_long")), std::string::npos);
    bool fits = true;
    pluginToken("carol2", tooLong, &fits);
    EXPECT_FALSE(fits);
}

TEST_F(AccountsTest, InvalidLoginsAreRefusedAndMakeNoAccount) {
    for (const std::string& login :
         {std::string("ab"), std::string(21, 'a'), std::string("two words"), std::string("dot.ted"),
          std::string("имя"), std::string("tab\tbed"), std::string()}) {
        SiteVisitor browser = visitor();
        const httplib::Result refused = registerAs(browser, login, "long enough", "long enough");
        ASSERT_TRUE(refused) << login;
        EXPECT_EQ(refused->status, 400) << login;
        EXPECT_NE(refused->body.find(shown("login_invalid")), std::string::npos) << login;
        EXPECT_TRUE(browser.cookie("pikto_session").empty()) << login;
        EXPECT_FALSE(siteSignIn(login, "long enough")) << login;
    }
    SiteVisitor browser = visitor();
    const httplib::Result longest =
        registerAs(browser, std::string(20, 'z'), "long enough", "long enough");
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->status, 303);
}

TEST_F(AccountsTest, ShortOrDifferentPasswordsAreRefused) {
    // "пароль1": seven letters in thirteen bytes.
    for (const auto& [password, again, message] :
         {std::tuple{"пароль1", "пароль1", "password_short"},
          std::tuple{"long enough", "long enougH", "password_mismatch"}}) {
        SiteVisitor browser = visitor();
        const httplib::Result refused = registerAs(browser, "dave", password, again);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 400) << message;
        EXPECT_NE(refused->body.find(shown(message)), std::string::npos) << message;
        EXPECT_FALSE(siteSignIn("dave", password)) << message;
    }
}

TEST_F(AccountsTest, TakenLoginIsRefusedInAnyCase) {
    for (const std::string login : {"alice", "ALICE", "Alice"}) {
        SiteVisitor browser = visitor();
        const httplib::Result refused = registerAs(browser, login, "new password", "new password");
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 409) << login;
        EXPECT_NE(refused->body.find(shown("login_taken")), std::string::npos) << login;
        EXPECT_EQ(SiteVisitor::formValue(refused->body, "login"), login);
        EXPECT_TRUE(browser.cookie("pikto_session").empty()) << login;
        EXPECT_FALSE(siteSignIn(login, "new password")) << login;
    }
    EXPECT_TRUE(siteSignIn("alice", kAlicePassword));
}

TEST_F(AccountsTest, RefilledLoginIsEscapedAndThePasswordNeverShown) {
    SiteVisitor browser = visitor();
    const httplib::Result refused =
        registerAs(browser, "a<b>&\"c'", "secret-typed-here", "secret-typed-here");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find("value=\"a&lt;b&gt;&amp;&quot;c&apos;\""), std::string::npos);
    EXPECT_EQ(refused->body.find("a<b>"), std::string::npos);
    EXPECT_EQ(refused->body.find("secret-typed-here"), std::string::npos);
    EXPECT_EQ(HtmlCheck::problems(refused->body), "");
}

TEST_F(AccountsTest, EveryFormRefusesAPostWithoutTheBrowsersCsrfField) {
    const std::string link = remind("alice");
    const std::string album =
        "/users/alice/album/" +
        ServiceContent(service.port(), "alice", "tok-alice").createAlbum("Locked", "open sesame") +
        "/";
    SiteVisitor other = visitor();
    const httplib::Result othersForm = other.get("/passport/?mode=register");
    ASSERT_TRUE(othersForm);
    const std::string othersField = SiteVisitor::formValue(othersForm->body, "csrf");
    for (const std::string forged : {"", "missing", "0123456789abcdef"}) {
        SiteVisitor browser = visitor();
        const httplib::Result resetForm = browser.get(link);
        ASSERT_TRUE(resetForm && resetForm->status == 200);
        ASSERT_NE(browser.cookie("pikto_csrf"), other.cookie("pikto_csrf"));
        const std::string field = forged.empty() ? othersField : forged;
        // Signing out from elsewhere is refused too (the session stays).
        SiteVisitor signedIn = visitor();
        ASSERT_TRUE(signedIn.signIn("alice", kAlicePassword));
        const auto post = [&](SiteVisitor& from, const std::string& path, Fields fields) {
            if (forged != "missing")
                fields.emplace("csrf", field);
            const httplib::Result refused = from.post(path, fields);
            EXPECT_TRUE(refused && refused->status == 403) << path << " " << forged;
            EXPECT_TRUE(refused && refused->body.find(shown("form_expired")) != std::string::npos);
        };
        post(browser, "/passport/?mode=register",
             {{"login", "eve_1"}, {"password", "long enough"}, {"password2", "long enough"}});
        post(browser, "/passport/?mode=remember", {{"login", "alice"}});
        post(browser, "/passport/?mode=reset",
             {{"token", SiteVisitor::formValue(resetForm->body, "token")},
              {"password", "brand new one"},
              {"password2", "brand new one"}});
        // Login CSRF: another site signing the visitor in to an account of its choosing.
        post(browser, "/passport/signin/", {{"login", "alice"}, {"password", kAlicePassword}});
        post(browser, album, {{"password", "open sesame"}});
        post(signedIn, "/passport/signout/", {});
        EXPECT_EQ(browser.cookie("pikto_session"), "");
        EXPECT_NE(signedIn.cookie("pikto_session"), "");
    }
    EXPECT_FALSE(siteSignIn("eve_1", "long enough"));
    EXPECT_EQ(resetLines().size(), 1u);
    EXPECT_TRUE(siteSignIn("alice", kAlicePassword));
}

TEST_F(AccountsTest, RefusedFormCarriesAFieldThatWorks) {
    // A browser that never saw a form has no cookie yet: the refusal gives it one.
    SiteVisitor browser = visitor();
    Fields fields = {{"login", "frank"}, {"password", "long enough"}, {"password2", "long enough"}};
    const httplib::Result refused = browser.post("/passport/?mode=register", fields);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    fields.emplace("csrf", SiteVisitor::formValue(refused->body, "csrf"));
    const httplib::Result made = browser.post("/passport/?mode=register", fields);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 303);
}

TEST_F(AccountsTest, RegistrationsBeyondTheLimitAreRefused) {
    limitAttempts(2);
    SiteVisitor browser = visitor();
    EXPECT_EQ(registerAs(browser, "gina1", "long enough", "long enough")->status, 303);
    EXPECT_EQ(registerAs(browser, "x", "long enough", "long enough")->status, 400);
    const httplib::Result refused = registerAs(browser, "gina2", "long enough", "long enough");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 429);
    EXPECT_NE(refused->body.find(shown("too_many_attempts")), std::string::npos);
    limitAttempts(0); // the sign-in form shares the address's limit
    EXPECT_TRUE(siteSignIn("gina1", "long enough"));
    EXPECT_FALSE(siteSignIn("gina2", "long enough"));
}

TEST_F(AccountsTest, RemindersBeyondTheLimitForALoginAreRefused) {
    limitAttempts(2);
    ASSERT_FALSE(remind("alice").empty());
    ASSERT_FALSE(remind("alice").empty());
    SiteVisitor browser = visitor();
    const httplib::Result refused = send(browser, "/passport/?mode=remember", {{"login", "alice"}});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 429);
    EXPECT_NE(refused->body.find(shown("too_many_attempts")), std::string::npos);
    EXPECT_EQ(resetLines().size(), 2u);
}

TEST_F(AccountsTest, ReminderWritesOneLogLineWithTheLink) {
    SiteVisitor browser = visitor();
    const httplib::Result sent = send(browser, "/passport/?mode=remember", {{"login", "alice"}});
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->status, 200);
    EXPECT_NE(sent->body.find(shown("remember_sent")), std::string::npos);
    const std::vector<std::string> lines = resetLines();
    ASSERT_EQ(lines.size(), 1u);
    const QRegularExpression line(
        QStringLiteral("^pikto-service: password reset link for alice: %1/passport/"
                       "\\?mode=reset&token=[0-9a-f]{64}$")
            .arg(QRegularExpression::escape(service.origin())));
    EXPECT_TRUE(line.match(QString::fromStdString(lines[0])).hasMatch()) << lines[0];
    EXPECT_EQ(lines[0].find(kAlicePassword), std::string::npos);
}

TEST_F(AccountsTest, ReminderPageIsTheSameForAnUnknownLogin) {
    SiteVisitor browser = visitor();
    const httplib::Result known = send(browser, "/passport/?mode=remember", {{"login", "alice"}});
    const httplib::Result unknown =
        send(browser, "/passport/?mode=remember", {{"login", "nobody"}});
    ASSERT_TRUE(known && unknown);
    EXPECT_EQ(known->status, unknown->status);
    EXPECT_EQ(known->body, unknown->body);
    EXPECT_EQ(resetLines().size(), 1u);
}

TEST_F(AccountsTest, ResetLinkSetsANewPasswordAndSignsIn) {
    const std::string link = remind("alice");
    ASSERT_FALSE(link.empty());
    SiteVisitor browser = visitor();
    const httplib::Result done = setPassword(browser, link, "brand new one", "brand new one");
    ASSERT_TRUE(done);
    EXPECT_EQ(done->status, 303);
    EXPECT_EQ(done->get_header_value("Location"), "/users/alice/");
    EXPECT_FALSE(browser.cookie("pikto_session").empty());
    EXPECT_FALSE(siteSignIn("alice", kAlicePassword));
    EXPECT_TRUE(siteSignIn("alice", "brand new one"));
    EXPECT_FALSE(pluginToken("alice", "brand new one").empty());
}

TEST_F(AccountsTest, ResetLinkWorksOnce) {
    const std::string link = remind("alice");
    ASSERT_FALSE(link.empty());
    SiteVisitor browser = visitor();
    const httplib::Result form = browser.get(link);
    ASSERT_TRUE(form && form->status == 200);
    Fields fields = {{"csrf", SiteVisitor::formValue(form->body, "csrf")},
                     {"token", SiteVisitor::formValue(form->body, "token")},
                     {"password", "brand new one"},
                     {"password2", "brand new one"}};
    ASSERT_EQ(browser.post("/passport/?mode=reset", fields)->status, 303);
    fields.erase("password");
    fields.erase("password2");
    fields.emplace("password", "another new one");
    fields.emplace("password2", "another new one");
    const httplib::Result again = browser.post("/passport/?mode=reset", fields);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 410);
    EXPECT_NE(again->body.find(shown("reset_gone")), std::string::npos);
    EXPECT_EQ(browser.get(link)->status, 410);
    EXPECT_TRUE(siteSignIn("alice", "brand new one"));
    EXPECT_FALSE(siteSignIn("alice", "another new one"));
}

TEST_F(AccountsTest, ResetEndsTheAccountsOtherSessionsAndTokens) {
    SiteVisitor earlier = visitor();
    ASSERT_TRUE(earlier.signIn("alice", kAlicePassword));
    ASSERT_TRUE(apiTakes("tok-alice"));
    SiteVisitor browser = visitor();
    ASSERT_EQ(setPassword(browser, remind("alice"), "brand new one", "brand new one")->status, 303);
    EXPECT_FALSE(apiTakes("tok-alice"));
    const httplib::Result page = earlier.get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body.find("class=\"me\""), std::string::npos);
    const httplib::Result own = browser.get("/");
    ASSERT_TRUE(own);
    EXPECT_NE(own->body.find("class=\"me\""), std::string::npos);
}

// Anyone may ask for a reminder of alice's password; doing so again and again must not void
// the link she was sent. Links stay good until one is used (which ends the others) or they
// expire; beyond the cap no new one is made.
TEST_F(AccountsTest, RemindersFromOthersDoNotVoidTheOwnersLink) {
    const std::string owners = remind("alice");
    ASSERT_FALSE(owners.empty());
    for (int i = 1; i < Database::kResetLinksPerAccount + 3; ++i)
        remind("alice");
    EXPECT_EQ(resetLines().size(), static_cast<std::size_t>(Database::kResetLinksPerAccount));
    SiteVisitor browser = visitor();
    EXPECT_EQ(browser.get(owners)->status, 200);
    EXPECT_EQ(setPassword(browser, owners, "brand new one", "brand new one")->status, 303);
    const std::string later = resetLines().back();
    const std::string laterLink = later.substr(later.find("/passport/"));
    EXPECT_EQ(visitor().get(laterLink)->status, 410);
}

TEST_F(AccountsTest, RefusedNewPasswordKeepsTheLink) {
    const std::string link = remind("alice");
    SiteVisitor browser = visitor();
    const httplib::Result refused = setPassword(browser, link, "short", "short");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find(shown("password_short")), std::string::npos);
    EXPECT_EQ(SiteVisitor::formValue(refused->body, "token"), link.substr(link.rfind('=') + 1));
    EXPECT_TRUE(siteSignIn("alice", kAlicePassword));
    EXPECT_EQ(setPassword(browser, link, "brand new one", "brand new one")->status, 303);
}

} // namespace
