// The bounded log behind /_requests/.

#include "requestlog.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestLogTest, KeepsTheLinesInArrivalOrder) {
    RequestLog log;
    log.add("GET", "/a/");
    log.add("POST", "/post/");
    EXPECT_EQ(log.text(), "GET /a/\nPOST /post/\n");
}

TEST(RequestLogTest, DropsTheOldestLinesBeyondTheLimit) {
    RequestLog log(3);
    for (const char* path : {"/1/", "/2/", "/3/", "/4/", "/5/"})
        log.add("GET", path);
    EXPECT_EQ(log.text(), "GET /3/\nGET /4/\nGET /5/\n");
}

} // namespace
