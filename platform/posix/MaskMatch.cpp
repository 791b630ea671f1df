// The listing's name mask, with the engine's own wildcard rules, so that a folder listed here holds the
// names the engine's mask test would pick. Those rules try every split point at each "*"; done naively a
// mask like "*a*a*a*b" costs exponential time on a long name. Remembering which (text position, mask
// position) pairs have already failed behind a "*" keeps the cost at text length x mask length, and a
// mask is first brought to a size bounded by the text's (below), so a hostile mask costs no more.
#include "platform/posix/PosixSupport.h"

#include <vector>

namespace platform::posix {

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c; }

class Matcher {
public:
    Matcher(std::u16string_view text, std::u16string_view mask)
        : text_(text), mask_(mask), failed_((text.size() + 1) * (mask.size() + 1), 0) {}

    // A comparison started afresh: at the beginning, or just behind a "*".
    bool Match(size_t t, size_t m) {
        if (mask_.substr(m) == u"*.*") return true;
        while (true) {
            if (mask_.substr(m) == u"*") return true;
            if (t == text_.size()) return m == mask_.size();
            if (m == mask_.size()) return false;
            const char16_t c = mask_[m];
            if (c == u'*') {
                // The position after the last character is not tried, so "**" needs text left.
                for (size_t start = t; start < text_.size(); ++start) {
                    char& failed = failed_[start * (mask_.size() + 1) + m + 1];
                    if (failed) continue;
                    if (Match(start, m + 1)) return true;
                    failed = 1;
                }
                return false;
            }
            if (c != u'?' && FoldAscii(c) != FoldAscii(text_[t])) return false;
            ++t;
            ++m;
        }
    }

private:
    std::u16string_view text_;
    std::u16string_view mask_;
    std::vector<char> failed_;
};

}  // namespace

bool MatchesMask(std::u16string_view text, std::u16string_view mask) {
    // A run of three or more "*" acts exactly as "**" (which, unlike "*", needs some text left), so
    // longer runs are cut to two. Every other mask character takes one text character, except the "."
    // of a final "*.*"; a mask with more of them than that cannot match.
    std::u16string shortened;
    size_t literals = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == u'*' && i >= 2 && mask[i - 1] == u'*' && mask[i - 2] == u'*') continue;
        if (mask[i] != u'*') ++literals;
        shortened += mask[i];
    }
    if (literals > text.size() + 1) return false;
    return Matcher(text, shortened).Match(0, 0);
}

}  // namespace platform::posix
