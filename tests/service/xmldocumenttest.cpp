#include "xmldocument.h"

#include <gtest/gtest.h>

namespace {

QByteArray nested(int depth) {
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

} // namespace

TEST(XmlDocument, NestingUpToTheLimitIsReadAndOneLevelMoreIsRefused) {
    XmlDocument::Problem problem = XmlDocument::Problem::TooDeep;
    EXPECT_TRUE(XmlDocument::parse(nested(XmlDocument::maxDepth), &problem).has_value());
    EXPECT_EQ(problem, XmlDocument::Problem::None);
    EXPECT_FALSE(XmlDocument::parse(nested(XmlDocument::maxDepth + 1), &problem).has_value());
    EXPECT_EQ(problem, XmlDocument::Problem::TooDeep);
}

TEST(XmlDocument, BrokenTextAndAnEntityBombAreNotWellFormed) {
    XmlDocument::Problem problem = XmlDocument::Problem::None;
    EXPECT_FALSE(XmlDocument::parse(QByteArray("<feed><entry></feed>"), &problem).has_value());
    EXPECT_EQ(problem, XmlDocument::Problem::NotWellFormed);

    QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE feed [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        bomb += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                ("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    bomb += "]>\n<feed><entry><title>&l9;</title></entry></feed>";
    EXPECT_FALSE(XmlDocument::parse(bomb, &problem).has_value());
    EXPECT_EQ(problem, XmlDocument::Problem::NotWellFormed);
}

TEST(XmlDocument, ElementNamesKeepTheirPrefix) {
    const auto document = XmlDocument::parse(
        QByteArray("<entry xmlns:f=\"ovrana:pikto\"><f:image-count value=\"3\"/></entry>"));
    ASSERT_TRUE(document.has_value());
    EXPECT_EQ(document->documentElement().firstChild().nodeName(), "f:image-count");
}
