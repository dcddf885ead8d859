// Range requests: a hostile set of ranges never makes an answer larger than the file.

#include "byteranges.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RangeCase {
    const char* range;
    int status;
    std::string body;         // for 200 and single-range 206
    std::string contentRange; // empty: none
};

std::string thousandsOf(const std::string& range) {
    std::string ranges = "bytes=" + range;
    for (int i = 1; i < 2700; ++i)
        ranges += "," + range;
    return ranges;
}

TEST(ByteRangesTest, OneRangeOrAFewDisjointOnesAreServedAndNoOtherSetGrowsTheAnswer) {
    const std::string file = "0123456789";
    const RangeCase cases[] = {
        {"bytes=2-4", 206, "234", "bytes 2-4/10"},
        {"bytes=7-", 206, "789", "bytes 7-9/10"},
        {"bytes=-3", 206, "789", "bytes 7-9/10"},
        {"bytes=8-100", 206, "89", "bytes 8-9/10"},
        {"bytes=0-,0-", 200, file, ""},
        {"bytes=0-5,3-8", 200, file, ""},
        {"bytes=0-0,1-1,2-2,3-3,4-4,5-5,6-6,7-7,8-8", 200, file, ""},
        {"bytes=5-2", 200, file, ""},
        {"items=0-1", 200, file, ""},
        {"bytes=10-", 416, "", "bytes */10"},
        {"bytes=-0", 416, "", "bytes */10"},
    };
    for (const RangeCase& c : cases) {
        WebResponse res;
        res.set_content(file, "text/css");
        ByteRanges::apply(c.range, res);
        EXPECT_EQ(res.status, c.status) << c.range;
        EXPECT_EQ(res.body, c.body) << c.range;
        EXPECT_EQ(res.get_header_value("Content-Range"), c.contentRange) << c.range;
    }
    for (const std::string& flood : {thousandsOf("0-"), thousandsOf("0-0")}) {
        WebResponse res;
        res.set_content(std::string(6 * 1024, 'c'), "text/css");
        ByteRanges::apply(flood, res);
        EXPECT_EQ(res.status, 200);
        EXPECT_EQ(res.body.size(), 6u * 1024);
    }
}

TEST(ByteRangesTest, TwoDisjointRangesComeAsOneMultipartBody) {
    WebResponse res;
    res.set_content("0123456789", "text/css");
    ByteRanges::apply("bytes=6-7,1-2", res);
    EXPECT_EQ(res.status, 206);
    const std::string type = res.get_header_value("Content-Type");
    ASSERT_EQ(type.rfind("multipart/byteranges; boundary=", 0), 0u) << type;
    const std::string boundary = type.substr(type.find('=') + 1);
    EXPECT_EQ(res.body,
              "--" + boundary +
                  "\r\nContent-Type: text/css\r\nContent-Range: bytes 1-2/10\r\n\r\n12\r\n"
                  "--" +
                  boundary +
                  "\r\nContent-Type: text/css\r\nContent-Range: bytes 6-7/10\r\n\r\n67\r\n"
                  "--" +
                  boundary + "--\r\n");
}

} // namespace
