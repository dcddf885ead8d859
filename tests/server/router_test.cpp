// The stand-in service's route table.

#include "router.h"

#include <gtest/gtest.h>

namespace {

class RouterTest : public ::testing::Test {
protected:
    void SetUp() override {
        router.add("GET", "/", 0, nullptr);
        router.add("GET", "/api/users/{login}/album/{id}", 0, nullptr);
        router.add("PUT", "/api/users/{login}/album/{id}", 100, nullptr);
        router.add("POST", "/post", 1000, nullptr);
    }
    Router router;
};

TEST_F(RouterTest, NamedSegmentsAreHandedOver) {
    const Router::Match match = router.find("GET", Router::split("/api/users/alice/album/42/"));
    ASSERT_EQ(match.outcome, Router::Outcome::Found);
    EXPECT_EQ(match.params.at("login"), "alice");
    EXPECT_EQ(match.params.at("id"), "42");
    EXPECT_EQ(router.find("PUT", Router::split("/api/users/alice/album/42/")).route->bodyLimit,
              100u);
}

TEST_F(RouterTest, RepeatedSlashesAndTheTrailingSlashDoNotMatter) {
    EXPECT_EQ(router.find("GET", Router::split("//api//users/a/album/1")).outcome,
              Router::Outcome::Found);
    EXPECT_EQ(router.find("POST", Router::split("/post/")).outcome, Router::Outcome::Found);
    EXPECT_EQ(router.find("GET", Router::split("")).outcome, Router::Outcome::Found);
}

TEST_F(RouterTest, AKnownPathWithAnotherMethodIsWrongMethod) {
    EXPECT_EQ(router.find("DELETE", Router::split("/api/users/a/album/1")).outcome,
              Router::Outcome::WrongMethod);
    EXPECT_EQ(router.find("GET", Router::split("/post")).outcome, Router::Outcome::WrongMethod);
}

TEST_F(RouterTest, HeadIsAnsweredByGetRoutesOnly) {
    EXPECT_EQ(router.find("HEAD", Router::split("/")).outcome, Router::Outcome::Found);
    EXPECT_EQ(router.find("HEAD", Router::split("/post")).outcome, Router::Outcome::WrongMethod);
}

TEST_F(RouterTest, ExtraOrMissingSegmentsAreNotFound) {
    EXPECT_EQ(router.find("GET", Router::split("/api/users/a/album")).outcome,
              Router::Outcome::NotFound);
    EXPECT_EQ(router.find("GET", Router::split("/api/users/a/album/1/x")).outcome,
              Router::Outcome::NotFound);
    EXPECT_EQ(router.find("GET", Router::split("/api/people/a/album/1")).outcome,
              Router::Outcome::NotFound);
}

} // namespace
