#include "engine/util/CVStrFunc.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The matching rules written out as the recursion they are defined by: exponential, but exact. The
// fast matcher must agree with it everywhere.
bool ReferenceMatch(const std::u16string& t, size_t i, const std::u16string& m, size_t j, bool ignoreCase) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
    if (m.compare(j, std::u16string::npos, u"*.*") == 0) return true;
    for (;;) {
        if (m.compare(j, std::u16string::npos, u"*") == 0) return true;
        if (i == t.size()) return j == m.size();
        if (j == m.size()) return false;
        if (m[j] == u'*') {
            for (size_t k = i; k < t.size(); ++k)
                if (ReferenceMatch(t, k, m, j + 1, ignoreCase)) return true;
            return false;
        }
        if (m[j] != u'?') {
            const bool same = ignoreCase ? fold(t[i]) == fold(m[j]) : t[i] == m[j];
            if (!same) return false;
        }
        ++i;
        ++j;
    }
}

struct WildcardCase {
    const char16_t* text;
    const char16_t* mask;
    bool ignoreCase;
    bool expected;
};

TEST(StrFuncWildcard, RulesAndConsequencesOthersRelyOn) {
    const WildcardCase cases[] = {
        {u"readme", u"*.*", true, true},          // "*.*" needs no dot
        {u"", u"*.*", true, true},
        {u"readme", u"*.", true, false},
        {u"A.TXT", u"a.txt", true, true},
        {u"A.TXT", u"a.txt", false, false},
        {u"\u00C9.txt", u"\u00E9.txt", true, false},   // only A-Z fold
        {u"docs\\a.txt", u"*.txt", true, true},    // "*" crosses separators
        {u"docs/a.txt", u"*.txt", true, true},
        {u"", u"*", true, true},
        {u"abc", u"abc*.*", true, false},          // "*.*" only at the start or behind a "*"
        {u"abc", u"abc**.*", true, false},
        {u"abcd", u"abc**.*", true, true},
        {u"abc", u"a**.*", true, true},
        {u"", u"**", true, false},
        {u"", u"", true, true},
        {u"a", u"", true, false},
        {u"", u"?", true, false},
        {u"abc", u"ab", true, false},              // text left over
        {u"ab", u"abc", true, false},
        {u"a.b", u"a?b", true, true},              // "?" takes a dot
        {u"a\\b", u"a?b", true, true},             // and a separator
        {u"abc", u"*c", true, true},
        {u"abc", u"*bc*", true, true},
        {u"abc", u"a*c*", true, true},
        {u"abc", u"*abc", true, true},
        {u"abc", u"*abc*", true, true},
        {u"ab", u"a*b*c", true, false},
        {u"a.b.c", u"*.c", true, true},
        {u"abc", u"a*.*", true, false},            // behind a "*" but not a whole rest "*.*"
        {u"a.c", u"a*.*", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWildcardMatching(c.text, c.mask, c.ignoreCase), c.expected)
            << "text '" << platform::Utf16ToUtf8(c.text) << "' mask '" << platform::Utf16ToUtf8(c.mask) << "'";
    }
}

TEST(StrFuncWildcard, AgreesWithTheRecursiveDefinitionOnRandomCases) {
    std::mt19937 random(20140615);
    const std::u16string textAlphabet = u"aAb.\\";
    const std::u16string maskAlphabet = u"aAb.\\**??";
    for (int round = 0; round < 200000; ++round) {
        std::u16string text, mask;
        const size_t textLength = random() % 9;
        const size_t maskLength = random() % 8;
        for (size_t k = 0; k < textLength; ++k) text += textAlphabet[random() % textAlphabet.size()];
        for (size_t k = 0; k < maskLength; ++k) mask += maskAlphabet[random() % maskAlphabet.size()];
        // Sprinkle the special rest "*.*" in, which random masks rarely form.
        if (round % 5 == 0) mask += u"*.*";
        const bool ignoreCase = round % 2 == 0;
        ASSERT_EQ(IsWildcardMatching(text, mask, ignoreCase), ReferenceMatch(text, 0, mask, 0, ignoreCase))
            << "text '" << platform::Utf16ToUtf8(text) << "' mask '" << platform::Utf16ToUtf8(mask)
            << "' ignoreCase " << ignoreCase;
    }
}

// The recursive definition needs years for these; each must come back at once.
TEST(StrFuncWildcard, HostileMasksOnLongTextsFinish) {
    const std::u16string run(100000, u'a');
    EXPECT_FALSE(IsWildcardMatching(run, u"*a*a*a*a*a*a*b", true));
    EXPECT_TRUE(IsWildcardMatching(run + u"b", u"*a*a*a*a*a*a*b", true));
    EXPECT_FALSE(IsWildcardMatching(run, u"*?*?*?*?*?*?*b", false));
    EXPECT_TRUE(IsWildcardMatching(run, u"*" + std::u16string(50, u'a'), true));
    EXPECT_FALSE(IsWildcardMatching(run, u"*" + std::u16string(50, u'a') + u"b*", true));

    const std::u16string longMask(100000, u'*');
    EXPECT_FALSE(IsWildcardMatching(u"", longMask, true));
    EXPECT_TRUE(IsWildcardMatching(run, longMask, true));
    EXPECT_TRUE(IsWildcardMatching(run, run, true));
    EXPECT_FALSE(IsWildcardMatching(run, run + u"a", true));
}

}  // namespace
