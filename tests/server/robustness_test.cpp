// pikto-service against slow, greedy or malformed clients: idle connections, deep XML,
// conflicting body lengths, oversized bodies and heads, slow and bogus uploads, hostile
// file names and paths, kept-alive latency.

#include "piktoprocess.h"
#include "rawclient.h"
#include "serviceprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// The peak resident size of a process so far (VmHWM), in KiB; 0 when unreadable.
long peakKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

const std::string kAuth = "Authorization: ZimpToken realm=\"x\", token=\"tok-alice\"\r\n";

class RobustnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setOptions(
            {{QStringLiteral("alice:secret")}, {QStringLiteral("alice:tok-alice")}, {}});
        service.setExtraArguments({});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    }

    std::unique_ptr<RawClient> connect() {
        auto client = std::make_unique<RawClient>();
        EXPECT_TRUE(client->connect(service.port()));
        return client;
    }

    // One request on a fresh connection.
    std::optional<RawClient::Answer> once(const std::string& request, int timeoutMs = 5000) {
        std::unique_ptr<RawClient> client = connect();
        if (!client->send(request))
            return std::nullopt;
        return client->read(timeoutMs);
    }

    std::string post(const std::string& path, const std::string& body,
                     const std::string& type = "application/atom+xml") {
        return "POST " + path + " HTTP/1.1\r\nHost: x\r\n" + kAuth + "Content-Type: " + type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    ServiceProcess service;
};

TEST_F(RobustnessTest, SixtyIdleConnectionsDoNotDelayANormalRequestByMoreThanOneSecond) {
    std::vector<std::unique_ptr<RawClient>> idle;
    QElapsedTimer connecting;
    connecting.start();
    for (int i = 0; i < 60; ++i) {
        idle.push_back(connect());
        // Half of them start a request and never finish its head.
        if (i % 2 == 1) {
            ASSERT_TRUE(idle.back()->send("GET /passport/ HTTP/1.1\r\nHost: x\r\nX-Slow: "));
        }
    }
    // A burst of connections is queued, not left to the clients' SYN retries.
    EXPECT_LT(connecting.elapsed(), 1000);
    QElapsedTimer timer;
    timer.start();
    const std::optional<RawClient::Answer> answer =
        once("GET /passport/ HTTP/1.1\r\nHost: x\r\n\r\n", 3000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(timer.elapsed(), 1000);
    // The idle ones are still open and served when they speak.
    ASSERT_TRUE(idle[0]->send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::optional<RawClient::Answer> late = idle[0]->read(3000);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->status, 200);
}

TEST_F(RobustnessTest, TwentyKeptAliveRequestsTakeUnderFiveMillisecondsEach) {
    std::unique_ptr<RawClient> client = connect();
    std::vector<qint64> took;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(
            client->send("GET /api/users/alice/albums/ HTTP/1.1\r\nHost: x\r\n" + kAuth + "\r\n"));
        const std::optional<RawClient::Answer> answer = client->read();
        ASSERT_TRUE(answer) << i;
        ASSERT_EQ(answer->status, 200);
        EXPECT_EQ(answer->head.find("Connection: close"), std::string::npos);
        if (i > 0) // the first one pays for the connection
            took.push_back(timer.nsecsElapsed());
    }
    std::nth_element(took.begin(), took.begin() + 10, took.end());
    EXPECT_LT(took[10], 5'000'000) << "median " << took[10] << " ns";
}

TEST_F(RobustnessTest, AHundredThousandLevelEntryIsRefusedInUnderASecond) {
    std::string entry;
    for (int i = 0; i < 100000; ++i)
        entry += "<a>";
    QElapsedTimer timer;
    timer.start();
    const std::optional<RawClient::Answer> answer =
        once(post("/api/users/alice/albums/", entry), 5000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 400);
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(RobustnessTest, TwoDifferentContentLengthsAreRefusedWith400AndTheConnectionClosed) {
    std::unique_ptr<RawClient> client = connect();
    ASSERT_TRUE(client->send("POST /ovmrsa/token/ HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n"
                             "Content-Length: 40\r\n\r\nhello"));
    const std::optional<RawClient::Answer> answer = client->read();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 400);
    EXPECT_TRUE(client->closedWithin(3000));
    EXPECT_TRUE(service.requests().isEmpty()); // the request never reached a handler
}

TEST_F(RobustnessTest, BodiesAreBoundedPerRoute) {
    // A sign-in form is small: 64 KiB is far beyond it, though within the API's limit.
    const std::optional<RawClient::Answer> token = once(
        post("/ovmrsa/token/", std::string(64 * 1024, 'a'), "application/x-www-form-urlencoded"));
    ASSERT_TRUE(token);
    EXPECT_EQ(token->status, 413);
    const std::optional<RawClient::Answer> album =
        once(post("/api/users/alice/albums/", std::string(2 * 1024 * 1024, ' ')));
    ASSERT_TRUE(album);
    EXPECT_EQ(album->status, 413);
}

// An upload whose file name is given as raw bytes.
std::string uploadNamed(const std::string& name) {
    const std::string boundary = "xYzBoundary";
    std::string body;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"token", "tok-alice"},
                                     {"album", "-1"},
                                     {"access_type", "public"}})
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + key +
                "\"\r\n\r\n" + value + "\r\n";
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"" +
            name + "\"\r\nContent-Type: image/jpeg\r\n\r\nJPEGDATA\r\n--" + boundary + "--";
    return "POST /post/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(RobustnessTest, ControlCharactersInAFileNameAreStrippedAndOtherBytesShownAsUtf8) {
    const std::optional<RawClient::Answer> stored = once(uploadNamed("tab\there\x01\x7f.jpg"));
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->body.rfind("OK ", 0), 0u) << stored->body;
    const std::optional<RawClient::Answer> latin1 = once(uploadNamed("caf\xE9.jpg"));
    ASSERT_TRUE(latin1);
    ASSERT_EQ(latin1->body.rfind("OK ", 0), 0u) << latin1->body;

    const std::optional<RawClient::Answer> list =
        once("GET /api/users/alice/albums/ HTTP/1.1\r\nHost: x\r\n" + kAuth + "\r\n");
    ASSERT_TRUE(list);
    const std::size_t at = list->body.find(":album:");
    ASSERT_NE(at, std::string::npos);
    const std::string id = list->body.substr(at + 7, list->body.find('<', at) - at - 7);
    const std::optional<RawClient::Answer> page =
        once("GET /users/alice/album/" + id + "/ HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find(">tabhere.jpg<"), std::string::npos) << page->body;
    EXPECT_NE(page->body.find(">caf\xEF\xBF\xBD.jpg<"), std::string::npos);
    EXPECT_EQ(page->body.find("caf\xE9"), std::string::npos);
}

TEST_F(RobustnessTest, PiktoRefusesToSendAFileNameWithALineBreak) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("evil\r\nX-Injected: 1.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xd8photo");
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PIKTO_PASSWORD"), QStringLiteral("secret"));
    const PiktoProcess::Outcome run =
        PiktoProcess::run({QStringLiteral("--service"), service.origin(), QStringLiteral("--login"),
                           QStringLiteral("alice"), QStringLiteral("upload"),
                           QStringLiteral("--album"), QStringLiteral("-1"), path},
                          env, {}, {}, 30000);
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_TRUE(run.err.contains(QStringLiteral("line break"))) << run.err.toStdString();
    EXPECT_FALSE(service.requests().join('\n').contains(QStringLiteral("/post/")));
}

struct HeadCase {
    const char* attack;
    std::string request;
    bool halfClose;
    int status;
};

TEST_F(RobustnessTest, OversizedOrMalformedHeadsGetAnAnswerNotASilentClose) {
    std::string manyHeaders;
    for (int i = 0; i < 98; ++i)
        manyHeaders += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'h') + "\r\n";
    const HeadCase cases[] = {
        {"a 200 KB URL", "GET /" + std::string(200 * 1024, 'u') + " HTTP/1.1\r\nHost: x\r\n\r\n",
         false, 414},
        {"a 70 KB header",
         "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(70 * 1024, 'h') + "\r\n\r\n", false,
         431},
        {"98 KB of headers", "GET / HTTP/1.1\r\nHost: x\r\n" + manyHeaders + "\r\n", false, 431},
        {"a bare CR in a header value",
         "GET / HTTP/1.1\r\nHost: x\r\nX-Split: a\rX-Injected: b\r\n\r\n", false, 400},
        {"a half-close after the request", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", true, 200},
    };
    for (const HeadCase& c : cases) {
        std::unique_ptr<RawClient> client = connect();
        ASSERT_TRUE(client->send(c.request)) << c.attack;
        if (c.halfClose)
            client->halfClose();
        const std::optional<RawClient::Answer> answer = client->read(3000);
        ASSERT_TRUE(answer) << c.attack;
        EXPECT_EQ(answer->status, c.status) << c.attack;
    }
}

TEST_F(RobustnessTest, APathStartingWithTwoSlashesMakesNoSchemeRelativeLink) {
    const std::optional<RawClient::Answer> page =
        once("GET //users/alice HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    // The language links are made from the request's path.
    EXPECT_NE(page->body.find("href=\"/users/alice?"), std::string::npos) << page->body;
    EXPECT_EQ(page->body.find("\"//"), std::string::npos) << page->body;
    const std::optional<RawClient::Answer> unlock =
        once(post("//users/alice/album/1", "password=x", "application/x-www-form-urlencoded"));
    ASSERT_TRUE(unlock);
    EXPECT_EQ(unlock->head.find("Location: //"), std::string::npos) << unlock->head;
}

struct SlowBodyCase {
    const char* limit;
    QStringList arguments;
};

TEST_F(RobustnessTest, FortySlowUploadsAreCutAtTheirLimitWhileThePageAnswersAtOnce) {
    const SlowBodyCase cases[] = {
        {"the body deadline",
         {QStringLiteral("--body-seconds"), QStringLiteral("2"), QStringLiteral("--body-min-rate"),
          QStringLiteral("0")}},
        {"the minimum rate", {QStringLiteral("--body-min-rate"), QStringLiteral("100")}},
    };
    for (const SlowBodyCase& c : cases) {
        service.setExtraArguments(c.arguments);
        ASSERT_TRUE(service.restart()) << service.lastError().toStdString();
        std::vector<std::unique_ptr<RawClient>> uploads;
        for (int i = 0; i < 40; ++i) {
            uploads.push_back(connect());
            ASSERT_TRUE(uploads.back()->send(
                "POST /post/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
                "boundary=b\r\nContent-Length: 100000\r\n\r\n-"));
        }
        QElapsedTimer page;
        page.start();
        const std::optional<RawClient::Answer> home =
            once("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 2000);
        ASSERT_TRUE(home) << c.limit;
        EXPECT_EQ(home->status, 200);
        EXPECT_LT(page.elapsed(), 500) << c.limit;

        // One byte from each every 200 ms, far below 100 bytes a second: each is closed
        // within a second of its limit (3 s of grace for the rate, 2 s for the deadline).
        QElapsedTimer dripping;
        dripping.start();
        std::size_t open = uploads.size();
        while (open > 0 && dripping.elapsed() < 6000) {
            open = 0;
            for (auto& upload : uploads) {
                if (!upload)
                    continue;
                if (upload->closedWithin(5) || !upload->send("-")) {
                    upload.reset();
                    continue;
                }
                ++open;
            }
            // Paced by the service's own close: wait on the first open connection.
            for (auto& upload : uploads) {
                if (upload && upload->closedWithin(200)) {
                    upload.reset();
                    --open;
                }
                break;
            }
        }
        EXPECT_EQ(open, 0u) << c.limit;
        EXPECT_LT(dripping.elapsed(), 4500) << c.limit;
    }
}

struct HeadRefusalCase {
    const char* attack;
    std::string head;
    int status;
    std::string body;
};

TEST_F(RobustnessTest, UploadsTheHeadAlreadyRefusesAreAnsweredBeforeAnyBodyIsSent) {
    const std::string type = "Content-Type: multipart/form-data; boundary=b\r\n";
    const HeadRefusalCase cases[] = {
        {"a 200 MiB body",
         "POST /post/ HTTP/1.1\r\nHost: x\r\n" + type + "Content-Length: 209715200\r\n\r\n", 413,
         "Request body too large\n"},
        {"a bogus token",
         "POST /post/ HTTP/1.1\r\nHost: x\r\n" + type +
             "Authorization: ZimpToken realm=\"x\", token=\"bogus\"\r\n"
             "Content-Length: 62914560\r\n\r\n",
         200, "Upload failed"},
        {"no form",
         "POST /post/ HTTP/1.1\r\nHost: x\r\nContent-Type: text/plain\r\n"
         "Content-Length: 62914560\r\n\r\n",
         200, "Upload failed"},
    };
    for (const HeadRefusalCase& c : cases) {
        const std::optional<RawClient::Answer> answer = once(c.head, 2000);
        ASSERT_TRUE(answer) << c.attack;
        EXPECT_EQ(answer->status, c.status) << c.attack;
        EXPECT_EQ(answer->body, c.body) << c.attack;
    }
}

struct BigUploadCase {
    const char* token;
    const char* answer;
};

TEST_F(RobustnessTest, EightBigUploadsAreStreamedToDiskNotHeldInMemory) {
    const qint64 pid = service.processId();
    const long before = peakKiB(pid);
    ASSERT_GT(before, 0);
    const std::string boundary = "b0undary";
    const std::string image(1024 * 1024, 'j');
    const BigUploadCase cases[] = {{"bogus", "Upload failed"}, {"tok-alice", "OK "}};
    for (const BigUploadCase& c : cases) {
        std::vector<std::unique_ptr<RawClient>> uploads;
        const std::string head =
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" +
            c.token + "\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"album\"\r\n\r\n-1\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"image\"; "
            "filename=\"big.jpg\"\r\n\r\n";
        const std::string tail = "\r\n--" + boundary + "--";
        const std::size_t length = head.size() + 16 * image.size() + tail.size();
        for (int i = 0; i < 8; ++i) {
            uploads.push_back(connect());
            ASSERT_TRUE(uploads.back()->send(
                "POST /post/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" +
                boundary + "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + head));
        }
        // All eight are under way at once, a MiB at a time.
        for (int part = 0; part < 16; ++part) {
            for (auto& upload : uploads)
                ASSERT_TRUE(upload->send(image)) << c.token;
        }
        for (auto& upload : uploads) {
            ASSERT_TRUE(upload->send(tail));
            const std::optional<RawClient::Answer> answer = upload->read(10000);
            ASSERT_TRUE(answer) << c.token;
            EXPECT_EQ(answer->body.rfind(c.answer, 0), 0u) << c.token << ": " << answer->body;
        }
    }
    // 256 MiB went through; far less than one upload's 16 MiB stayed in memory at any time.
    EXPECT_LT(peakKiB(pid) - before, 12 * 1024);
    const QStringList left =
        QDir(service.dataDir() + QStringLiteral("/photos"))
            .entryList({QStringLiteral(".incoming-*")}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
}

TEST_F(RobustnessTest, OneAddressHoldsNoMoreThanItsConnectionLimit) {
    service.setExtraArguments({QStringLiteral("--connections-per-address"), QStringLiteral("5")});
    ASSERT_TRUE(service.restart()) << service.lastError().toStdString();
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 5; ++i) {
        held.push_back(connect());
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_TRUE(held.back()->read()) << i;
    }
    // The sixth is closed unanswered; once one of the five goes, there is room again.
    std::unique_ptr<RawClient> sixth = connect();
    sixth->send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_FALSE(sixth->read(2000));
    held.pop_back();
    // The service counts a connection out once it has cleaned it up, a moment after the
    // close: the new one is tried until it is let in, for at most two seconds.
    QElapsedTimer waiting;
    waiting.start();
    std::optional<RawClient::Answer> again;
    while (!again && waiting.elapsed() < 2000)
        again = once("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 200);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 200);
}

} // namespace
