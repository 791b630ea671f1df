#include "engine/util/CVStrFunc.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StrFuncText, CaseMappingTouchesOnlyAsciiLetters) {
    const std::u16string mixed = u"ABC xyz 09 @[`{ \u00C9\u00E9 \uD55C\uAE00 \U0001F600";
    EXPECT_EQ(LowerCaseAscii(mixed), u"abc xyz 09 @[`{ \u00C9\u00E9 \uD55C\uAE00 \U0001F600");
    EXPECT_EQ(UpperCaseAscii(mixed), u"ABC XYZ 09 @[`{ \u00C9\u00E9 \uD55C\uAE00 \U0001F600");
    EXPECT_EQ(LowerCaseAscii(u""), u"");
    EXPECT_EQ(UpperCaseAscii(u""), u"");

    const std::u16string big(1 << 20, u'Q');
    EXPECT_EQ(LowerCaseAscii(big), std::u16string(1 << 20, u'q'));
}

struct ReplaceCase {
    const char16_t* text;
    const char16_t* oldText;
    const char16_t* newText;
    TCVReplaceFlags flags;
    const char16_t* expected;
};

TEST(StrFuncText, ReplaceText) {
    const ReplaceCase cases[] = {
        {u"a\\b\\c", u"\\", u"/", rfReplaceAll, u"a/b/c"},
        {u"a\\b\\c", u"\\", u"/", 0, u"a/b\\c"},
        {u"aaa", u"a", u"aa", rfReplaceAll, u"aaaaaa"},            // replaced text is not searched again
        {u"aaaa", u"aa", u"b", rfReplaceAll, u"bb"},
        {u"Hello HELLO hello", u"hello", u"x", rfReplaceAll, u"Hello HELLO x"},
        {u"Hello HELLO hello", u"hello", u"x", rfReplaceAll | rfIgnoreCase, u"x x x"},
        {u"Hello HELLO", u"hello", u"x", rfIgnoreCase, u"x HELLO"},
        {u"abc", u"", u"x", rfReplaceAll, u"abc"},                  // nothing to look for
        {u"", u"a", u"x", rfReplaceAll, u""},
        {u"ab", u"abc", u"x", rfReplaceAll, u"ab"},
        {u"abc", u"abc", u"", rfReplaceAll, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceText(c.text, c.oldText, c.newText, c.flags), c.expected)
            << platform::Utf16ToUtf8(c.text) << " / " << platform::Utf16ToUtf8(c.oldText);

    const std::u16string many(100000, u'\\');
    EXPECT_EQ(ReplaceText(many, u"\\", u"/", rfReplaceAll), std::u16string(100000, u'/'));
}

TEST(StrFuncText, ByteLengthCountsCodeUnits) {
    EXPECT_EQ(ByteLength(u""), 0u);
    EXPECT_EQ(ByteLength(u"ab"), 4u);
    EXPECT_EQ(ByteLength(u"\U0001F600"), 4u);   // a surrogate pair is two units
    EXPECT_EQ(ByteLength(std::u16string(70000, u'x')), 140000u);
}

}  // namespace
