// The sign-in exchange of pikto-service: the key answer, and token requests encrypted the
// way the client encrypts them.

#include "database.h"
#include "keypool.h"
#include "rsaencrypttext.h"
#include "serviceprocess.h"
#include "signinservice.h"
#include "signinthrottle.h"
#include "testhttp.h"
#include "webresponse.h"

#include <QDirIterator>
#include <QDomDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <set>
#include <thread>

#include <sys/stat.h>

namespace {

struct KeyAnswer {
    QString key;
    QString requestId;
};

// The first two children of the key answer's root.
KeyAnswer parseKeyAnswer(const QByteArray& data) {
    QDomDocument doc;
    if (!doc.setContent(data, false))
        return {};
    const QDomElement first = doc.documentElement().firstChildElement();
    return {first.text(), first.nextSiblingElement().text()};
}

QString xmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

// The form body the client posts: the credentials snippet encrypted under the key,
// Base64, URL-escaped, and the request id.
QByteArray tokenForm(const KeyAnswer& answer, const QString& login, const QString& password) {
    const QByteArray snippet = QStringLiteral("<credentials login=\"%1\" password=\"%2\" />")
                                   .arg(xmlEscaped(login), xmlEscaped(password))
                                   .toUtf8();
    std::vector<char> out(4096);
    if (!rsa_encrypt_text(answer.key.toLatin1().constData(), snippet.constData(), out.data(),
                          out.size()))
        return {};
    return "credentials=" + QUrl::toPercentEncoding(QString::fromLatin1(out.data())) +
           "&request_id=" + answer.requestId.toLatin1();
}

// The root's first child of a token answer: "token:TEXT" or "error:CODE".
QString tokenOutcome(const QByteArray& data) {
    QDomDocument doc;
    if (!doc.setContent(data, false))
        return QStringLiteral("unparsable");
    const QDomElement first = doc.documentElement().firstChildElement();
    if (first.tagName() == QStringLiteral("token"))
        return QStringLiteral("token:") + first.text();
    return first.tagName() + QLatin1Char(':') + first.attribute(QStringLiteral("code"));
}

class SignInTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {QStringLiteral("alice:secret"), QStringLiteral("ca\"rol:p&ss=<w>\"rd%2B")}, {}, {}});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    KeyAnswer fetchKey() const {
        const HttpResponse response =
            TestHttp::get(service->origin() + QStringLiteral("/ovmrsa/key/"));
        EXPECT_EQ(response.status, 200);
        return parseKeyAnswer(response.data);
    }

    QString postToken(const QByteArray& form) const {
        const HttpResponse response =
            TestHttp::send("POST", service->origin() + QStringLiteral("/ovmrsa/token/"), {}, form,
                           "application/x-www-form-urlencoded");
        EXPECT_EQ(response.status, 200);
        return tokenOutcome(response.data);
    }

    QString signIn(const QString& login, const QString& password) const {
        return postToken(tokenForm(fetchKey(), login, password));
    }

    std::unique_ptr<ServiceProcess> service;
};

TEST_F(SignInTest, KeyAnswerHoldsA1024BitKeyAndAFreshRequestIdEachTime) {
    const HttpResponse response = TestHttp::get(service->origin() + QStringLiteral("/ovmrsa/key/"));
    ASSERT_EQ(response.status, 200);
    EXPECT_TRUE(
        response.data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><response><key>"));
    const KeyAnswer first = parseKeyAnswer(response.data);
    const QRegularExpressionMatch key =
        QRegularExpression(QStringLiteral("^([0-9A-F]+)#([0-9A-F]+)$")).match(first.key);
    ASSERT_TRUE(key.hasMatch()) << first.key.toStdString();
    EXPECT_EQ(key.captured(1).size(), 256); // 1024 bits, the top bit set
    EXPECT_FALSE(first.requestId.isEmpty());
    const KeyAnswer second = fetchKey();
    // Every request id comes with a key of its own.
    EXPECT_NE(second.key, first.key);
    EXPECT_NE(second.requestId, first.requestId);
}

TEST_F(SignInTest, AReplayedCipherTextWithAFreshRequestIdGetsNoToken) {
    const KeyAnswer recorded = fetchKey();
    const QByteArray form = tokenForm(recorded, QStringLiteral("alice"), QStringLiteral("secret"));
    ASSERT_TRUE(postToken(form).startsWith(QStringLiteral("token:")));
    // The eavesdropper sends the recorded cipher text with a request id of its own.
    const QByteArray cipher = form.left(form.indexOf("&request_id="));
    EXPECT_EQ(postToken(cipher + "&request_id=" + fetchKey().requestId.toLatin1()),
              QStringLiteral("error:1"));
    // Nor does the old key of a used id come back for a new id.
    const KeyAnswer later = fetchKey();
    EXPECT_NE(later.key, recorded.key);
}

TEST_F(SignInTest, TheSameBodyTwiceGetsOneToken) {
    const QByteArray form =
        tokenForm(fetchKey(), QStringLiteral("alice"), QStringLiteral("secret"));
    const QString first = postToken(form);
    const QString second = postToken(form);
    EXPECT_TRUE(first.startsWith(QStringLiteral("token:"))) << first.toStdString();
    EXPECT_EQ(second, QStringLiteral("error:1"));
}

TEST_F(SignInTest, RightPasswordGivesATokenTheAlbumApiAccepts) {
    const QString outcome = signIn(QStringLiteral("alice"), QStringLiteral("secret"));
    ASSERT_TRUE(outcome.startsWith(QStringLiteral("token:"))) << outcome.toStdString();
    const QByteArray token = outcome.mid(6).toLatin1();
    EXPECT_GE(token.size(), 32);
    const HttpResponse list =
        TestHttp::send("GET", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                       TestHttp::zimpToken(token));
    EXPECT_EQ(list.status, 200);
    // Each sign-in issues another token.
    EXPECT_NE(signIn(QStringLiteral("alice"), QStringLiteral("secret")), outcome);
}

TEST_F(SignInTest, EscapedQuotesAmpersandsAndAnglesSignIn) {
    const QString outcome = signIn(QStringLiteral("ca\"rol"), QStringLiteral("p&ss=<w>\"rd%2B"));
    EXPECT_TRUE(outcome.startsWith(QStringLiteral("token:"))) << outcome.toStdString();
}

TEST_F(SignInTest, WrongPasswordOrUnknownLoginIsErrorCode2) {
    EXPECT_EQ(signIn(QStringLiteral("alice"), QStringLiteral("Secret")), QStringLiteral("error:2"));
    EXPECT_EQ(signIn(QStringLiteral("alice"), QString()), QStringLiteral("error:2"));
    EXPECT_EQ(signIn(QStringLiteral("mallory"), QStringLiteral("secret")),
              QStringLiteral("error:2"));
}

TEST_F(SignInTest, ARequestIdIsGoodForOneTokenRequest) {
    const QByteArray form =
        tokenForm(fetchKey(), QStringLiteral("alice"), QStringLiteral("secret"));
    EXPECT_TRUE(postToken(form).startsWith(QStringLiteral("token:")));
    EXPECT_EQ(postToken(form), QStringLiteral("error:1"));
    // A wrong password uses the id up as well.
    const QByteArray wrong = tokenForm(fetchKey(), QStringLiteral("alice"), QStringLiteral("x"));
    EXPECT_EQ(postToken(wrong), QStringLiteral("error:2"));
    EXPECT_EQ(postToken(wrong), QStringLiteral("error:1"));
}

// Every regular file under `folder`, with its bytes.
std::map<QString, QByteArray> filesUnder(const QString& folder) {
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files[path] = file.readAll();
    }
    return files;
}

TEST_F(SignInTest, NoTokenOrPasswordAppearsInAnyFileUnderDataAfterSignIns) {
    // A password no schema or setting name could hold by chance.
    const QString password = QStringLiteral("Xq7-unl1kely-passw0rd");
    service->setOptions({{QStringLiteral("dora:") + password}, {}, {}});
    ASSERT_TRUE(service->restart());
    QStringList tokens;
    for (int i = 0; i < 3; ++i) {
        const QString outcome = signIn(QStringLiteral("dora"), password);
        ASSERT_TRUE(outcome.startsWith(QStringLiteral("token:")));
        tokens << outcome.mid(6);
    }
    // Stopped, so every journal has been written back.
    service->stop();
    const std::map<QString, QByteArray> files = filesUnder(service->dataDir());
    ASSERT_FALSE(files.empty());
    for (const auto& [path, bytes] : files) {
        for (const QString& token : tokens)
            EXPECT_FALSE(bytes.contains(token.toLatin1())) << path.toStdString();
        EXPECT_FALSE(bytes.contains(password.toLatin1())) << path.toStdString();
    }
}

TEST_F(SignInTest, DataFilesAreReadableByTheOwnerOnly) {
    const QString token = signIn(QStringLiteral("alice"), QStringLiteral("secret")).mid(6);
    ASSERT_EQ(
        TestHttp::send("POST", service->origin() + QStringLiteral("/api/users/alice/albums/"),
                       TestHttp::zimpToken(token.toLatin1()),
                       "<entry xmlns=\"http://www.w3.org/2005/Atom\"><title>T</title></entry>")
            .status,
        201);
    // A folder left open to everyone by an earlier run is closed at start.
    service->stop();
    ASSERT_EQ(::chmod(service->dataDir().toLocal8Bit().constData(), 0755), 0);
    ASSERT_TRUE(service->restart());
    std::size_t checked = 0;
    QDirIterator it(service->dataDir(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    auto expectPrivate = [&](const QString& path) {
        struct stat info {};
        ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
        const mode_t mode = info.st_mode & 0777;
        EXPECT_EQ(mode, S_ISDIR(info.st_mode) ? 0700u : 0600u) << path.toStdString();
        ++checked;
    };
    expectPrivate(service->dataDir());
    while (it.hasNext())
        expectPrivate(it.next());
    EXPECT_GE(checked, 3u); // the folder, the database and the photo folder at least
}

TEST_F(SignInTest, UndecryptableOrIncompleteRequestsAreErrorCode1) {
    const KeyAnswer answer = fetchKey();
    const QByteArray id = answer.requestId.toLatin1();
    EXPECT_EQ(postToken("credentials=AAAA&request_id=unknown"), QStringLiteral("error:1"));
    EXPECT_EQ(postToken("credentials=bm90IGEgcmVjb3Jk&request_id=" + id),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken("request_id=" + fetchKey().requestId.toLatin1()),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken("credentials=&request_id=" + fetchKey().requestId.toLatin1()),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken({}), QStringLiteral("error:1"));
    // A well-encrypted text that is not the credentials element.
    KeyAnswer other = fetchKey();
    std::vector<char> out(4096);
    ASSERT_TRUE(rsa_encrypt_text(other.key.toLatin1().constData(), "<login name=\"alice\"/>",
                                 out.data(), out.size()));
    EXPECT_EQ(postToken("credentials=" + QUrl::toPercentEncoding(QString::fromLatin1(out.data())) +
                        "&request_id=" + other.requestId.toLatin1()),
              QStringLiteral("error:1"));
}

TEST_F(SignInTest, RestartKeepsTheAccountButNotTheRequestIds) {
    const QString oldRequestId = fetchKey().requestId;
    const QString token = signIn(QStringLiteral("alice"), QStringLiteral("secret")).mid(6);
    service->setOptions({});
    ASSERT_TRUE(service->restart()) << service->lastError().toStdString();
    // Encrypted under the new run's key, so only the request id is stale.
    const KeyAnswer current = fetchKey();
    EXPECT_EQ(postToken(tokenForm({current.key, oldRequestId}, QStringLiteral("alice"),
                                  QStringLiteral("secret"))),
              QStringLiteral("error:1"));
    EXPECT_TRUE(postToken(tokenForm(current, QStringLiteral("alice"), QStringLiteral("secret")))
                    .startsWith(QStringLiteral("token:")));
    EXPECT_EQ(TestHttp::send("GET", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                             TestHttp::zimpToken(token.toLatin1()))
                  .status,
              200);
}

// A sign-in service on a database in a temporary folder, with a clock the test moves.
class SignInUnit : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(db.open(folder.filePath(QStringLiteral("db.sqlite")).toStdString(), error))
            << error;
        ASSERT_TRUE(db.setUser("alice", "secret"));
        ASSERT_TRUE(db.setUser("bob", "hunter2"));
        ASSERT_TRUE(signIn.prepare(error)) << error;
        signIn.setPause([this](SignInService::Clock::duration wait) { pauses.push_back(wait); });
    }

    KeyAnswer keyAnswer(const std::string& address = "192.0.2.1") {
        WebResponse res;
        signIn.key(res, address);
        return parseKeyAnswer(QByteArray::fromStdString(res.body));
    }

    // The outcome and the status of one sign-in from `address`.
    std::pair<QString, int> attempt(const QString& login, const QString& password,
                                    const std::string& address = "192.0.2.1") {
        WebResponse res;
        signIn.token(res, tokenForm(keyAnswer(address), login, password).toStdString(), address);
        return {tokenOutcome(QByteArray::fromStdString(res.body)), res.status};
    }

    // True when a wrong password for alice from `address` was checked and found wrong.
    bool guessed(const std::string& address) {
        return attempt(QStringLiteral("alice"), QStringLiteral("guess"), address) ==
               std::make_pair(QStringLiteral("error:2"), 200);
    }

    bool signsIn(const std::string& address) {
        return attempt(QStringLiteral("alice"), QStringLiteral("secret"), address)
            .first.startsWith(QStringLiteral("token:"));
    }

    QTemporaryDir folder;
    Database db;
    SignInService::Clock::time_point now{};
    // Small keys: these tests count attempts, not key sizes, and run under sanitizers too.
    SignInService signIn{db, [this] { return now; }, 10, 576};
    std::vector<SignInService::Clock::duration> pauses; // how long checks were held back
};

// Eleven wrong passwords from one address used to lock the account for everyone. Now that
// address is shut out, for a time that doubles each round, and the owner elsewhere is not.
TEST_F(SignInUnit, GuessingFromOneAddressLocksOutThatAddressNotTheOwner) {
    const std::string attacker = "198.51.100.7";
    for (int round = 1; round <= 2; ++round) {
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(guessed(attacker));
        // Refused before the password is looked at, the right one included.
        const auto refused = attempt(QStringLiteral("alice"), QStringLiteral("secret"), attacker);
        EXPECT_EQ(refused.first, QStringLiteral("error:1"));
        EXPECT_EQ(refused.second, 429);
        EXPECT_TRUE(signsIn("192.0.2.1")) << round;
        now += SignInService::kAttemptWindow * round - std::chrono::seconds(1);
        EXPECT_EQ(attempt(QStringLiteral("alice"), QStringLiteral("secret"), attacker).second, 429);
        now += std::chrono::seconds(1);
    }
    EXPECT_TRUE(signsIn(attacker));
}

// A login guessed at from many addresses slows down instead of refusing its owner.
TEST_F(SignInUnit, GuessingFromManyAddressesSlowsTheLoginButLetsItsOwnerIn) {
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(guessed("198.51.100." + std::to_string(i)));
    EXPECT_EQ(pauses.size(), 40u - 10u); // none below the limit
    EXPECT_TRUE(std::is_sorted(pauses.begin(), pauses.end()));
    EXPECT_LT(pauses.front(), pauses.back());
    EXPECT_EQ(pauses.back(), SignInThrottle::kMaxDelay);
    EXPECT_TRUE(signsIn("203.0.113.9"));
    // A minute later the guesses are forgotten.
    now += SignInService::kAttemptWindow;
    pauses.clear();
    EXPECT_TRUE(signsIn("203.0.113.9"));
    EXPECT_TRUE(pauses.empty());
}

// Held-back checks keep requests waiting: guesses from many addresses at once must not tie up
// every request of the site, so beyond kMaxHeldBack waiting the others are refused.
TEST_F(SignInUnit, GuessesHeldBackAtOnceAreBoundedSoTheyCannotTieUpTheSite) {
    for (int i = 0; i < 10; ++i)
        guessed("198.51.100." + std::to_string(i));
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> waiting = 0;
    signIn.setPause([&](SignInService::Clock::duration) {
        ++waiting;
        released.wait();
    });
    std::vector<std::future<bool>> held;
    for (int i = 0; i < SignInService::kMaxHeldBack; ++i)
        held.push_back(std::async(std::launch::async,
                                  [this, i] { return guessed("203.0.113." + std::to_string(i)); }));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waiting < SignInService::kMaxHeldBack && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(waiting, SignInService::kMaxHeldBack);
    EXPECT_EQ(attempt(QStringLiteral("alice"), QStringLiteral("secret"), "192.0.2.50").second, 429);
    release.set_value();
    for (std::future<bool>& wrong : held)
        EXPECT_TRUE(wrong.get());
}

// Every key request costs a key pair: one address asking in a loop gets 429 beyond its
// burst, while others still get keys.
TEST_F(SignInUnit, KeyRequestsFloodingFromOneAddressAreRefusedBeyondTheBurst) {
    const auto status = [this](const std::string& address) {
        WebResponse res;
        signIn.key(res, address);
        return std::make_pair(res.status, res.get_header_value("Retry-After"));
    };
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(status("198.51.100.1").first, 200) << i;
    const auto refused = status("198.51.100.1");
    EXPECT_EQ(refused.first, 429);
    EXPECT_EQ(refused.second, std::to_string(SignInService::kKeyWindow.count()));
    EXPECT_EQ(status("192.0.2.1").first, 200);
    now += SignInService::kKeyWindow;
    EXPECT_EQ(status("198.51.100.1").first, 200);
}

TEST_F(SignInUnit, GuessingManyLoginsFromOneAddressIsLimitedPerAddress) {
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(attempt(QStringLiteral("user%1").arg(i), QStringLiteral("pw")).first,
                  QStringLiteral("error:2"));
    EXPECT_EQ(attempt(QStringLiteral("bob"), QStringLiteral("hunter2")).second, 429);
    EXPECT_TRUE(attempt(QStringLiteral("bob"), QStringLiteral("hunter2"), "192.0.2.77")
                    .first.startsWith(QStringLiteral("token:")));
}

TEST_F(SignInUnit, EveryKeyIsHandedOutOnce) {
    std::set<QString> keys;
    for (int i = 0; i < 12; ++i)
        keys.insert(keyAnswer().key);
    EXPECT_EQ(keys.size(), 12u);
}

TEST(SignInServiceTest, RequestIdsExpire) {
    QTemporaryDir folder;
    Database db;
    std::string error;
    ASSERT_TRUE(db.open(folder.filePath(QStringLiteral("db.sqlite")).toStdString(), error))
        << error;
    ASSERT_TRUE(db.setUser("alice", "secret"));
    SignInService::Clock::time_point now{};
    SignInService signIn(db, [&now] { return now; });
    ASSERT_TRUE(signIn.prepare(error)) << error;

    auto keyAnswer = [&] {
        WebResponse res;
        signIn.key(res, "127.0.0.1");
        return parseKeyAnswer(QByteArray::fromStdString(res.body));
    };
    auto token = [&](const KeyAnswer& answer) {
        WebResponse res;
        signIn.token(
            res, tokenForm(answer, QStringLiteral("alice"), QStringLiteral("secret")).toStdString(),
            "127.0.0.1");
        return tokenOutcome(QByteArray::fromStdString(res.body));
    };

    const KeyAnswer late = keyAnswer();
    const KeyAnswer inTime = keyAnswer();
    now += SignInService::kRequestIdLifetime - std::chrono::seconds(1);
    EXPECT_TRUE(token(inTime).startsWith(QStringLiteral("token:")));
    now += std::chrono::seconds(1);
    EXPECT_EQ(token(late), QStringLiteral("error:1"));
}

} // namespace

namespace {

// A burst of sign-ins must not wait on key generation: the pool fills itself at start,
// refills what is taken and grows when sign-ins take it down to half.
TEST(KeyPoolTest, FillsItselfAtStartAndGrowsWithDemand) {
    KeyPool pool(8, 576);
    std::string error;
    ASSERT_TRUE(pool.start(error)) << error;
    // The makers work in the background; wait for them without sleeping blindly.
    const auto full = [&pool] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pool.ready() < pool.size() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        return pool.ready();
    };
    EXPECT_EQ(full(), KeyPool::kFirstSize);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(pool.take());
    EXPECT_EQ(full(), 8u);
    for (int i = 0; i < 8; ++i)
        pool.take();
    EXPECT_EQ(full(), 8u); // never beyond its most
}

} // namespace
