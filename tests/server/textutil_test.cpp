// Text helpers of the service's pages: UTF-8 repair, control characters, cookies.

#include "cookies.h"
#include "querystring.h"
#include "textutil.h"

#include <gtest/gtest.h>

namespace {

TEST(TextUtilTest, ValidUtf8StaysAsItIs) {
    const std::string text = "Фото \xE2\x82\xAC \xF0\x9F\x93\xB7 plain";
    EXPECT_EQ(TextUtil::validUtf8(text), text);
}

TEST(TextUtilTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    // Latin-1 "é", a cut sequence, an overlong "/", a surrogate, beyond U+10FFFF.
    EXPECT_EQ(TextUtil::validUtf8("caf\xE9.jpg"), "caf" + replacement + ".jpg");
    EXPECT_EQ(TextUtil::validUtf8("a\xE2\x82"), "a" + replacement + replacement);
    EXPECT_EQ(TextUtil::validUtf8("\xC0\xAF"), replacement + replacement);
    EXPECT_EQ(TextUtil::validUtf8("\xED\xA0\x80"), replacement + replacement + replacement);
    EXPECT_EQ(TextUtil::validUtf8("\xF4\x90\x80\x80").substr(0, 3), replacement);
}

TEST(TextUtilTest, ControlCharactersAreStrippedFromNames) {
    EXPECT_EQ(TextUtil::withoutControls("evil\r\nSet-Cookie: x\t.jpg\x7f"),
              "evilSet-Cookie: x.jpg");
    EXPECT_EQ(TextUtil::withoutControls("Отпуск 1.jpg"), "Отпуск 1.jpg");
}

TEST(CookiesTest, ReadsNamesAndValuesOfACookieHeader) {
    const auto cookies =
        Cookies::parse(" pikto_session=abc ; pikto_album_7=k=v;junk; =x; a=1; a=2");
    EXPECT_EQ(cookies.at("pikto_session"), "abc");
    EXPECT_EQ(cookies.at("pikto_album_7"), "k=v");
    EXPECT_EQ(cookies.at("a"), "1");
    EXPECT_EQ(cookies.count("junk"), 0u);
    EXPECT_EQ(cookies.count(""), 0u);
    EXPECT_TRUE(Cookies::parse("").empty());
}

TEST(CookiesTest, SetCookieIsHttpOnlyAndSecureOnlyOverHttps) {
    const std::string plain = Cookies::setCookie("s", "v", 60, false);
    EXPECT_EQ(plain, "s=v; Path=/; Max-Age=60; HttpOnly; SameSite=Lax");
    EXPECT_NE(Cookies::setCookie("s", "v", 60, true).find("; Secure"), std::string::npos);
}

TEST(QueryStringTest, EncodeRoundTripsThroughDecode) {
    const std::string path = "/users/ann a/album/1/?x=&y";
    const std::string encoded = QueryString::encode(path);
    EXPECT_EQ(encoded, "/users/ann%20a/album/1/%3Fx%3D%26y");
    EXPECT_EQ(QueryString::decode(encoded), path);
}

} // namespace
