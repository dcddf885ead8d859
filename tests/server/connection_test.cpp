// The parts that keep slow or hostile clients from hurting others: the park that holds
// connections between requests, the check of a request's body length, the XML depth check.

#include "connectionpark.h"
#include "requestframing.h"
#include "xmldepth.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// A park with short limits, and the far ends of the connections parked in it.
class ParkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(park.start()); }

    // Parks one end of a socket pair; returns the other end.
    int parkOne() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
        peers.push_back(ends[1]);
        park.park(std::make_unique<Connection>(ends[0], nullptr));
        return ends[1];
    }

    static void write(int fd, const std::string& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // True when the park closes the pair's far end within `ms`.
    static bool closedWithin(int fd, int ms) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, ms) <= 0)
            return false;
        char byte = 0;
        return ::read(fd, &byte, 1) <= 0; // the end of the stream, or a reset
    }

    std::unique_ptr<Connection> waitForReady(int ms) {
        std::unique_lock lock(mutex);
        handed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !ready.empty(); });
        if (ready.empty())
            return nullptr;
        std::unique_ptr<Connection> first = std::move(ready.front());
        ready.erase(ready.begin());
        return first;
    }

    void TearDown() override {
        park.stop();
        for (int fd : peers)
            ::close(fd);
    }

    std::mutex mutex;
    std::condition_variable handed;
    std::vector<std::unique_ptr<Connection>> ready;
    std::vector<int> peers;
    ConnectionPark park{{.idle = 150ms, .head = 150ms, .headBytes = 1024},
                        [this](std::unique_ptr<Connection> connection) {
                            std::lock_guard lock(mutex);
                            ready.push_back(std::move(connection));
                            handed.notify_all();
                        }};
};

TEST_F(ParkTest, AWholeRequestHeadIsHandedOnWithItsBytes) {
    const int peer = parkOne();
    write(peer, "GET / HTTP/1.1\r\nHost: x\r\n\r\nGET /next");
    const std::unique_ptr<Connection> connection = waitForReady(2000);
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->requestHead(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(connection->buffered(), 36u);
}

TEST_F(ParkTest, AHeadInPiecesIsHandedOnOnceWhole) {
    const int peer = parkOne();
    write(peer, "GET / HT");
    EXPECT_FALSE(waitForReady(50));
    write(peer, "TP/1.1\r\n\r\n");
    EXPECT_TRUE(waitForReady(2000));
}

TEST_F(ParkTest, AnIdleConnectionIsClosedAfterTheIdleTimeOut) {
    const int peer = parkOne();
    EXPECT_TRUE(closedWithin(peer, 3000));
}

TEST_F(ParkTest, AHeadThatNeverEndsIsClosedAfterTheHeadTimeOut) {
    const int peer = parkOne();
    write(peer, "GET / HTTP/1.1\r\nX-Slow: ");
    EXPECT_TRUE(closedWithin(peer, 3000));
    EXPECT_FALSE(waitForReady(0));
}

TEST_F(ParkTest, AnOversizedHeadIsClosed) {
    const int peer = parkOne();
    write(peer, "GET / HTTP/1.1\r\nX-Big: " + std::string(2000, 'a'));
    EXPECT_TRUE(closedWithin(peer, 3000));
    EXPECT_FALSE(waitForReady(0));
}

TEST_F(ParkTest, AConnectionParkedAfterStopIsClosed) {
    park.stop();
    const int peer = parkOne();
    EXPECT_TRUE(closedWithin(peer, 1000));
}

TEST(RequestFramingTest, TwoDifferentContentLengthsAreAmbiguous) {
    EXPECT_TRUE(RequestFraming::ambiguous(
        "POST / HTTP/1.1\r\nContent-Length: 5\r\ncontent-length: 50\r\n\r\n"));
    EXPECT_TRUE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nContent-Length: 5, 6\r\n\r\n"));
}

TEST(RequestFramingTest, ALengthThatIsNotANumberOrBesideChunkedIsAmbiguous) {
    EXPECT_TRUE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"));
    EXPECT_TRUE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n"));
    EXPECT_TRUE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nContent-Length:\r\n\r\n"));
    EXPECT_TRUE(RequestFraming::ambiguous(
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 4\r\n\r\n"));
}

TEST(RequestFramingTest, OneLengthRepeatedOrNoneIsFine) {
    EXPECT_FALSE(RequestFraming::ambiguous("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_FALSE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nContent-Length: 12\r\n\r\n"));
    EXPECT_FALSE(RequestFraming::ambiguous(
        "POST / HTTP/1.1\r\nContent-Length: 7\r\nContent-Length: 7\r\n\r\n"));
    EXPECT_FALSE(
        RequestFraming::ambiguous("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_FALSE(RequestFraming::ambiguous("POST / HTTP/1.1\r\nX-Content-Length: 1\r\n"
                                           "Content-Length: 2\r\n\r\n"));
}

TEST(XmlDepthTest, SixtyFourLevelsPassAndSixtyFiveDoNot) {
    auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += "<a>";
        for (int i = 0; i < levels; ++i)
            text += "</a>";
        return text;
    };
    EXPECT_TRUE(XmlDepth::within(nested(64)));
    EXPECT_FALSE(XmlDepth::within(nested(65)));
    // Siblings do not add up; empty elements count while open.
    EXPECT_TRUE(XmlDepth::within("<r>" + std::string(1000, ' ') + "<a/><a/><b><c/></b></r>", 3));
    EXPECT_FALSE(XmlDepth::within("<r><b><c/></b></r>", 2));
}

TEST(XmlDepthTest, AHundredThousandLevelsAreRefusedWithoutReadingThemAll) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "<entry>";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(XmlDepth::within(text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

} // namespace
