// The loopback test controls of pikto-service: armed faults and the request log, seen
// through the same client the library uses.

#include "faultswitch.h"
#include "rawclient.h"
#include "serviceprocess.h"
#include "testhttp.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <future>

namespace {

class FaultSwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {QStringLiteral("alice:secret")}, {QStringLiteral("alice:tok-alice")}, {}});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    HttpResponse list(double timeoutSeconds = 5.0) const {
        return TestHttp::send("GET",
                              service->origin() + QStringLiteral("/api//users/alice/albums/"),
                              TestHttp::zimpToken("tok-alice"), {},
                              "application/atom+xml; type=feed", timeoutSeconds);
    }

    std::unique_ptr<ServiceProcess> service;
};

TEST_F(FaultSwitchTest, StatusAnswersTheGivenStatusBodyAndTypeForCountRequests) {
    ASSERT_TRUE(service->fault(QStringLiteral("/api/users/alice/"), QStringLiteral("status"), 2,
                               503, "busy & away",
                               {{QStringLiteral("content_type"), QStringLiteral("text/x-test")}}));
    for (int i = 0; i < 2; ++i) {
        const HttpResponse response = list();
        ASSERT_TRUE(response.received);
        EXPECT_EQ(response.status, 503);
        EXPECT_EQ(response.data, QByteArray("busy & away"));
    }
    EXPECT_EQ(list().status, 200);
}

TEST_F(FaultSwitchTest, StatusOnARequestWithABodyIsReadAsAnAnswer) {
    ASSERT_TRUE(service->fault(QStringLiteral("/api"), QStringLiteral("status"), 1, 500, "x"));
    const HttpResponse response =
        TestHttp::send("POST", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                       TestHttp::zimpToken("tok-alice"), QByteArray(200 * 1024, 'a'));
    ASSERT_TRUE(response.received) << response.error.toStdString();
    EXPECT_EQ(response.status, 500);
}

TEST_F(FaultSwitchTest, PrefixOfAnotherPathLeavesThisOneAlone) {
    ASSERT_TRUE(service->fault(QStringLiteral("/post/"), QStringLiteral("status"), 1, 500));
    EXPECT_EQ(list().status, 200);
}

TEST_F(FaultSwitchTest, DropIsATransportFailureNotAStatus) {
    // Two: the client resends once after a connection closed without an answer.
    ASSERT_TRUE(service->fault(QStringLiteral("/api/"), QStringLiteral("drop"), 2));
    const HttpResponse dropped = list();
    EXPECT_FALSE(dropped.received);
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(list().status, 200);
    // Both drops and the answered request reach the log; how often Qt resends is its own.
    const QStringList requests = service->requests();
    EXPECT_GE(requests.size(), 3);
    EXPECT_EQ(requests.count(QStringLiteral("GET /api//users/alice/albums/")), requests.size());
}

TEST_F(FaultSwitchTest, OneDropIsHiddenByTheClientsResend) {
    ASSERT_TRUE(service->fault(QStringLiteral("/api/"), QStringLiteral("drop")));
    EXPECT_EQ(list().status, 200);
    EXPECT_GE(service->requests().size(), 2);
}

TEST_F(FaultSwitchTest, StallOutlastsTheClientTimeoutWithoutHoldingUpOthers) {
    ASSERT_TRUE(service->fault(QStringLiteral("/api/"), QStringLiteral("stall"), 1, 0, {},
                               {{QStringLiteral("seconds"), 30}}));
    auto stalled = std::async(std::launch::async, [this] { return list(1.0); });
    // While the stalled request waits, others are served.
    const HttpResponse home = TestHttp::get(service->origin() + QStringLiteral("/"));
    EXPECT_EQ(home.status, 200);
    // No answer within the client's second; an answer would have come only after 30 s.
    const HttpResponse response = stalled.get();
    EXPECT_FALSE(response.received);
    // Stopping does not wait for the stalled answer: well under its 30 s even when slowed
    // down by sanitizers and parallel tests.
    QElapsedTimer stopping;
    stopping.start();
    service->stop();
    EXPECT_LT(stopping.elapsed(), 25000);
}

TEST_F(FaultSwitchTest, ClearDisarmsEveryFault) {
    ASSERT_TRUE(service->fault(QStringLiteral("/"), QStringLiteral("drop"), 5));
    ASSERT_TRUE(service->clearFaults());
    EXPECT_EQ(list().status, 200);
}

TEST_F(FaultSwitchTest, RefusesAnUnknownActionOrBadNumbers) {
    EXPECT_FALSE(service->fault(QStringLiteral("/api/"), QStringLiteral("explode")));
    EXPECT_FALSE(service->fault(QStringLiteral("/api/"), QStringLiteral("status"), 1, 42));
    EXPECT_FALSE(service->fault(QStringLiteral("/api/"), QStringLiteral("drop"), 0));
    EXPECT_FALSE(service->fault(QStringLiteral("api"), QStringLiteral("drop")));
    EXPECT_FALSE(service->fault(QStringLiteral("/api/"), QStringLiteral("stall"), 1, 0, {},
                                {{QStringLiteral("seconds"), QStringLiteral("soon")}}));
    EXPECT_EQ(list().status, 200);
}

TEST_F(FaultSwitchTest, RequestLogListsWhatWasSentAsSentAndNothingOfTheControls) {
    ASSERT_TRUE(service->fault(QStringLiteral("/passport/"), QStringLiteral("status"), 1, 500));
    list();
    TestHttp::get(service->origin() + QStringLiteral("/passport/?mode=register"));
    TestHttp::send("DELETE", service->origin() + QStringLiteral("/api/users/alice/album/5/"),
                   TestHttp::zimpToken("tok-alice"));
    const QStringList expected{
        QStringLiteral("GET /api//users/alice/albums/"),
        QStringLiteral("GET /passport/"),
        QStringLiteral("DELETE /api/users/alice/album/5/"),
    };
    EXPECT_EQ(service->requests(), expected);
}

TEST_F(FaultSwitchTest, RequestLogIsEmptyAtStart) {
    EXPECT_TRUE(service->requests().isEmpty());
    // An empty log is still an answer: the service is reachable.
    EXPECT_TRUE(service->clearFaults());
}

// A page of another site makes the visitor's browser (on loopback) post to the fault
// switch, to have the site's pages answer its script. Without --fault-switch the control
// does not exist; with it, a request a browser sends for another page is refused.
TEST(FaultSwitchAttack, ForeignPageCannotPlantScriptThroughTheFaultSwitch) {
    const struct {
        bool switchOn;
        std::string header;
        int status;
    } cases[] = {
        {false, "", 404},
        {false, "Origin: http://evil.example\r\n", 404},
        {true, "Origin: http://evil.example\r\n", 403},
        {true, "Referer: http://evil.example/x\r\n", 403},
    };
    const std::string plant = "path=/&action=status&status=200&count=50&content_type=text/html"
                              "&body=%3Cscript%3Eattack()%3C/script%3E";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header + (c.switchOn ? "switch on" : "switch off"));
        ServiceProcess service;
        service.setFaultSwitch(c.switchOn);
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        RawClient client;
        ASSERT_TRUE(client.connect(service.port()));
        ASSERT_TRUE(client.send("POST /_fault/ HTTP/1.1\r\nHost: 127.0.0.1\r\n" + c.header +
                                "Content-Length: " + std::to_string(plant.size()) + "\r\n\r\n" +
                                plant));
        const std::optional<RawClient::Answer> answer = client.read();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, c.status);
        EXPECT_FALSE(
            TestHttp::get(service.origin() + QStringLiteral("/")).data.contains("attack()"));
        EXPECT_EQ(service.requests().isEmpty(), !c.switchOn); // the request log is off too
    }
}

} // namespace

namespace {

std::optional<Fault> parsed(const std::string& text, std::string* reason = nullptr) {
    std::string error;
    std::optional<Fault> fault = FaultSwitch::parse(QueryString::parse(text), error);
    if (reason)
        *reason = error;
    return fault;
}

TEST(FaultParseTest, DefaultsApplyToOmittedFields) {
    const std::optional<Fault> fault = parsed("path=/api/&action=stall");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->pathPrefix, "/api/");
    EXPECT_EQ(fault->action, Fault::Action::Stall);
    EXPECT_EQ(fault->remaining, 1);
    EXPECT_EQ(fault->seconds, 4);
    EXPECT_EQ(fault->after, 1024u);
    EXPECT_EQ(fault->contentType, "text/plain");
}

TEST(FaultParseTest, StatusFaultCarriesStatusBodyAndType) {
    const std::optional<Fault> fault =
        parsed("path=/post/&action=status&status=503&count=3&body=busy%20now&content_type=x%2Fy");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->status, 503);
    EXPECT_EQ(fault->remaining, 3);
    EXPECT_EQ(fault->body, "busy now");
    EXPECT_EQ(fault->contentType, "x/y");
}

TEST(FaultParseTest, RefusesMissingOrOutOfRangeFields) {
    std::string reason;
    EXPECT_FALSE(parsed("action=drop", &reason));
    EXPECT_NE(reason.find("path"), std::string::npos);
    EXPECT_FALSE(parsed("path=api&action=drop"));
    EXPECT_FALSE(parsed("path=/&action=explode", &reason));
    EXPECT_NE(reason.find("action"), std::string::npos);
    EXPECT_FALSE(parsed("path=/&action=status"));
    EXPECT_FALSE(parsed("path=/&action=status&status=600"));
    EXPECT_FALSE(parsed("path=/&action=drop&count=0"));
    EXPECT_FALSE(parsed("path=/&action=drop&count=2x"));
    EXPECT_FALSE(parsed("path=/&action=stall&seconds=3601"));
    EXPECT_FALSE(parsed("path=/&action=cut&after=-1"));
}

} // namespace
