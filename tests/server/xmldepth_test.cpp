// The XML depth check that keeps a deeply nested entry from exhausting the stack.

#include "xmldepth.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

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
