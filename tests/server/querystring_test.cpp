// The service's own form and query parser.

#include "querystring.h"

#include <gtest/gtest.h>

namespace {

TEST(QueryStringTest, DecodesPercentEscapesAndPlusAsSpace) {
    const QueryString::Fields fields = QueryString::parse("a=x%2By+z&b%5B%5D=%E2%82%AC");
    EXPECT_EQ(QueryString::value(fields, "a"), "x+y z");
    EXPECT_EQ(QueryString::value(fields, "b[]"), "\xE2\x82\xAC");
}

TEST(QueryStringTest, MalformedEscapesStayAsTheyAre) {
    const QueryString::Fields fields = QueryString::parse("a=100%&b=%zz&c=%4");
    EXPECT_EQ(QueryString::value(fields, "a"), "100%");
    EXPECT_EQ(QueryString::value(fields, "b"), "%zz");
    EXPECT_EQ(QueryString::value(fields, "c"), "%4");
}

TEST(QueryStringTest, AnEscapedAmpersandOrEqualsSignIsPartOfTheValue) {
    const QueryString::Fields fields = QueryString::parse("credentials=ab%3D%3D%26x&request_id=7");
    EXPECT_EQ(QueryString::value(fields, "credentials"), "ab==&x");
    EXPECT_EQ(QueryString::value(fields, "request_id"), "7");
    // Only the first "=" separates name from value.
    EXPECT_EQ(QueryString::value(QueryString::parse("k=a=b"), "k"), "a=b");
}

TEST(QueryStringTest, EmptyPartsAreSkippedAndANameAloneHasAnEmptyValue) {
    const QueryString::Fields fields = QueryString::parse("&&flag&=orphan&x=");
    EXPECT_EQ(QueryString::value(fields, "flag"), "");
    EXPECT_EQ(QueryString::value(fields, ""), "orphan");
    EXPECT_EQ(QueryString::value(fields, "x"), "");
    EXPECT_EQ(QueryString::value(fields, "missing"), std::nullopt);
    EXPECT_TRUE(QueryString::parse("").empty());
}

TEST(QueryStringTest, TheFirstOfRepeatedNamesCountsAndLaterTextAddsAfterIt) {
    QueryString::Fields fields = QueryString::parse("path=/first&path=/second");
    EXPECT_EQ(fields.count("path"), 2u);
    EXPECT_EQ(QueryString::value(fields, "path"), "/first");
    QueryString::parseInto("path=/third&count=2", fields);
    EXPECT_EQ(QueryString::value(fields, "path"), "/first");
    EXPECT_EQ(QueryString::value(fields, "count"), "2");
}

TEST(QueryStringTest, NulBytesAndHighBytesSurviveDecoding) {
    const std::string value = *QueryString::value(QueryString::parse("v=a%00b%FF"), "v");
    EXPECT_EQ(value, std::string("a\0b\xFF", 4));
}

} // namespace
