// The versions feed fetched from the stand-in service, in both calling forms.
#include "ovpiktoexportercommlayer.h"

#include "log.h"
#include "serviceprocess.h"
#include "serviceurls.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class FeedFromService : public ::testing::Test {
protected:
    void SetUp() override {
        QFile feed(releases.filePath(QStringLiteral("versions.xml")));
        ASSERT_TRUE(feed.open(QIODevice::WriteOnly));
        feed.write("<rss><channel>"
                   "<item><title>1.0.6</title><description>fixes</description>"
                   "<enclosure url=\"http://dl/OvPikto_1.0.6.zip\"/></item>"
                   "</channel></rss>");
        feed.close();
        service.setOptions({{}, {}, releases.path()});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        client = OvPiktoExporterCommLayer(service.urls());
    }

    QTemporaryDir releases;
    ServiceProcess service;
    OvPiktoExporterCommLayer client{ServiceUrls()}; // made for the running service in SetUp
};

TEST_F(FeedFromService, OneCallFormOffersNewerRelease) {
    const auto info = client.fetchUpdatedVersionInfo(QStringLiteral("1.0.5"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version(), "1.0.6");
    EXPECT_EQ(info->url(), "http://dl/OvPikto_1.0.6.zip");
    EXPECT_FALSE(client.fetchUpdatedVersionInfo(QStringLiteral("1.0.6")));
}

TEST_F(FeedFromService, TwoCallFormLogsFeedUrlAndEvaluatesBytes) {
    QStringList lines;
    const Log::Sink previous = Log::setSink([&](const QString& line) { lines.append(line); });
    const auto data = client.fetchVersionsData();
    Log::setSink(previous);
    ASSERT_TRUE(data);
    EXPECT_EQ(lines, QStringList{service.urls().versionsFeed()});
    const auto info = client.fetchUpdatedVersionInfo(QStringLiteral("1.0.5"), *data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title(), "1.0.6");
    EXPECT_EQ(info->description(), "fixes");
}

TEST_F(FeedFromService, NoConnectionGivesNothing) {
    // Two requests, each resent once by Qt after an unanswered close.
    service.fault(QStringLiteral("/photo/"), QStringLiteral("drop"), 4);
    EXPECT_FALSE(client.fetchVersionsData());
    EXPECT_FALSE(client.fetchUpdatedVersionInfo(QStringLiteral("1.0.5")));
}

TEST_F(FeedFromService, ErrorPageIsNotTheFeed) {
    service.fault(QStringLiteral("/photo/"), QStringLiteral("status"), 1, 404,
                  "<rss><channel><item><enclosure url=\"http://dl/OvPikto_9.zip\"/></item>"
                  "</channel></rss>");
    EXPECT_FALSE(client.fetchVersionsData());
}

} // namespace
