#include "leadinginteger.h"

#include <gtest/gtest.h>

TEST(LeadingInteger, ReadsTheNumberATextStartsWith) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"12", 12},
        {"  7abc", 7},
        {"-3", -3},
        {"+4", 4},
        {"x1", 0},
        {"", 0},
        {"02", 2},
        {"1.5", 1},
        {"-", 0},
        {" - 5", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483648LL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leadingInteger(QString::fromLatin1(c.text)), c.value) << c.text;
}
