#include "engine/util/CVStrFunc.h"

#include <string_view>

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c; }

}  // namespace

// The matching rules are defined recursively: a "*" tries every start position of the rest of the
// text in turn. Taken literally that is exponential ("*a*a*a*a*b" against a long run of "a"). The
// loop below gives the same answers with the usual greedy walk that only ever backtracks to the most
// recent "*". That is enough because the mask between two stars has a fixed length (literals and
// "?"): letting an earlier star take more text can only move the later star's start to the right,
// and the later star has already tried every start position from there on.
//
// Two rules of the definition depend only on the mask position, so they hold in the greedy walk too:
// a rest of exactly "*" accepts anything, and a rest of exactly "*.*" accepts anything when it is the
// whole mask or comes right behind a "*" (the places where the definition starts a new comparison).
// A star never tries the position after the last text character; at the end of the text only an
// accepting rest or the end of the mask matches.
bool IsWildcardMatching(const std::u16string& Text, const std::u16string& Mask, bool IgnoreCase) {
    const size_t n = Text.size();
    const size_t m = Mask.size();
    const std::u16string_view mask(Mask);

    auto acceptsAnything = [&](size_t j) {
        if (j + 1 == m && mask[j] == u'*') return true;
        return j + 3 == m && mask.substr(j) == u"*.*" && (j == 0 || mask[j - 1] == u'*');
    };
    auto same = [&](char16_t a, char16_t b) { return IgnoreCase ? FoldAscii(a) == FoldAscii(b) : a == b; };

    size_t i = 0, j = 0;
    bool haveStar = false;
    size_t starMask = 0, starText = 0;   // the last "*" and the text position its run ends at

    for (;;) {
        if (j < m && acceptsAnything(j)) return true;
        bool advanced = false;
        if (i == n) {
            if (j == m) return true;
        } else if (j < m) {
            if (mask[j] == u'*') {
                haveStar = true;
                starMask = j;
                starText = i;
                ++j;
                continue;
            }
            if (mask[j] == u'?' || same(Text[i], mask[j])) {
                ++i;
                ++j;
                advanced = true;
            }
        }
        if (advanced) continue;
        // Mismatch: let the last star take one more character, as long as one is left behind it.
        if (!haveStar || starText + 1 >= n) return false;
        ++starText;
        i = starText;
        j = starMask + 1;
    }
}
