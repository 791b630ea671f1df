#include "engine/util/CVStrFunc.h"

std::u16string LowerCaseAscii(const std::u16string& S) {
    std::u16string result(S);
    for (char16_t& c : result)
        if (c >= u'A' && c <= u'Z') c = char16_t(c + (u'a' - u'A'));
    return result;
}

std::u16string UpperCaseAscii(const std::u16string& S) {
    std::u16string result(S);
    for (char16_t& c : result)
        if (c >= u'a' && c <= u'z') c = char16_t(c - (u'a' - u'A'));
    return result;
}

namespace {

// Locale-aware folding that keeps positions: a character whose lower-case form is longer or shorter
// than itself is left as it is, so an index into the folded text is an index into the original.
std::u16string FoldKeepingLength(const std::u16string& S) {
    std::u16string folded = platform::LowerCaseLocale(S);
    if (folded.size() == S.size()) return folded;
    folded.clear();
    folded.reserve(S.size());
    for (char16_t c : S) {
        std::u16string one = platform::LowerCaseLocale(std::u16string_view(&c, 1));
        folded += one.size() == 1 ? one[0] : c;
    }
    return folded;
}

}  // namespace

std::u16string ReplaceText(const std::u16string& S, const std::u16string& Old, const std::u16string& New,
                           TCVReplaceFlags Flags) {
    if (Old.empty() || S.size() < Old.size()) return S;
    const bool ignoreCase = (Flags & rfIgnoreCase) != 0;
    const std::u16string haystack = ignoreCase ? FoldKeepingLength(S) : S;
    const std::u16string needle = ignoreCase ? FoldKeepingLength(Old) : Old;

    std::u16string result;
    size_t from = 0;
    for (;;) {
        size_t at = haystack.find(needle, from);
        if (at == std::u16string::npos) break;
        result.append(S, from, at - from);
        result += New;
        from = at + Old.size();
        if (!(Flags & rfReplaceAll)) break;
    }
    result.append(S, from, std::u16string::npos);
    return result;
}

size_t ByteLength(const std::u16string& S) { return S.size() * sizeof(char16_t); }
