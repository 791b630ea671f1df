// UTF-8 / UTF-16 with the byte escape, code page 437 and the "ANSI" code page of POSIX.
#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(Utf, ValidTextRoundTrips) {
    const std::u16string texts[] = {
        u"", u"plain.txt", u"caf\u00e9", u"\ud55c\uae00 \ud30c\uc77c", u"emoji \U0001F600 end",
        std::u16string(1, u'\0') + u"x", u"\u07ff\u0800\uffff\U00010000\U0010FFFF",
    };
    for (const auto& text : texts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(u"\u00e9\U0001F600"), "\xc3\xa9\xf0\x9f\x98\x80");
}

// Every byte string comes back exactly: that is what lets any name on disk be opened again.
TEST(Utf, InvalidBytesMapToLoneSurrogatesAndBack) {
    struct Case {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"\xff", u"\xdcff"},
        {"a\x80z", u"a\xdc80z"},
        {"\xc3", u"\xdcc3"},                                  // cut-off sequence
        {"\xc0\xaf", u"\xdcc0\xdcaf"},                        // overlong "/"
        {"\xe0\x80\xaf", u"\xdce0\xdc80\xdcaf"},              // overlong, three bytes
        {"\xed\xa0\x80", u"\xdced\xdca0\xdc80"},              // an encoded surrogate
        {"\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},    // above U+10FFFF
        {"\xe9t\xe9", u"\xdce9t\xdce9"},                      // Latin-1 bytes
        {"\xc3\xa9\xc3", u"\u00e9\xdcc3"},                    // valid, then cut off
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.bytes), c.text);
        EXPECT_EQ(Utf16ToUtf8(c.text), c.bytes);
    }
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(all)), all);
}

TEST(Utf, OtherLoneSurrogatesBecomeTheReplacementCharacter) {
    EXPECT_EQ(Utf16ToUtf8(u"a\xd800z"), "a\xef\xbf\xbdz");
    EXPECT_EQ(Utf16ToUtf8(u"\xdc7f"), "\xef\xbf\xbd");
    EXPECT_EQ(Utf16ToUtf8(u"\xdd00"), "\xef\xbf\xbd");
    EXPECT_EQ(Utf16ToUtf8(u"\xdbff"), "\xef\xbf\xbd");
}

TEST(Utf, IsMultiByteUtf8) {
    EXPECT_TRUE(IsMultiByteUtf8("caf\xc3\xa9"));
    EXPECT_FALSE(IsMultiByteUtf8("plain"));
    EXPECT_FALSE(IsMultiByteUtf8(""));
    EXPECT_FALSE(IsMultiByteUtf8("caf\xe9"));
    EXPECT_FALSE(IsMultiByteUtf8("\xc3\xa9\xff"));
    EXPECT_FALSE(IsMultiByteUtf8("\xed\xa0\x80"));
}

TEST(CodePage437, DecodesTheUpperHalf) {
    EXPECT_EQ(Cp437ToWide("abc"), u"abc");
    EXPECT_EQ(Cp437ToWide("\x80\x81\x82\x9e\x9f"), u"\u00c7\u00fc\u00e9\u20a7\u0192");
    EXPECT_EQ(Cp437ToWide("\xb0\xc4\xdb\xe1\xe3"), u"\u2591\u2500\u2588\u00df\u03c0");
    EXPECT_EQ(Cp437ToWide("\xf9\xfa\xfb\xfe\xff"), u"\u2219\u00b7\u221a\u25a0\u00a0");
    EXPECT_EQ(AnsiToWide("D\x84nisch"), u"D\u00e4nisch");
}

TEST(AnsiCodePage, OnlyAsciiSurvivesTheRoundTrip) {
    std::string out;
    EXPECT_TRUE(WideToAnsi(u"Readme 1.txt", out));
    EXPECT_EQ(out, "Readme 1.txt");
    EXPECT_FALSE(WideToAnsi(u"caf\u00e9 \U0001F600", out));
    EXPECT_EQ(out, "caf? ?");
    std::string oem = "x\x80y";
    CharToOem(oem);
    OemToChar(oem);
    EXPECT_EQ(oem, "x\x80y");
}

TEST(LowerCaseLocale, FoldsBeyondAscii) {
    EXPECT_EQ(LowerCaseLocale(u"ABC \u00c9T\u00c9 \u0414\u041e\u041c \ud55c"), u"abc \u00e9t\u00e9 \u0434\u043e\u043c \ud55c");
    EXPECT_EQ(LowerCaseLocale(u"\U00010400x"), u"\U00010428x");
    EXPECT_EQ(LowerCaseLocale(u"\xdcff"), u"\xdcff");
}

}  // namespace
