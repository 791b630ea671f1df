#include "engine/util/CVStrFunc.h"

#include <vector>

namespace {

bool IsDelimiter(char16_t c, TCVPathStyle Style) { return c == PathDelimiter(Style); }

// The last character that ends a folder part: the separator, and in the Windows style the drive colon.
size_t LastFolderEnd(const std::u16string& P, TCVPathStyle Style) {
    return Style == psWindows ? P.find_last_of(u"\\:") : P.find_last_of(u'/');
}

// Windows compares file names without regard to case; POSIX file systems compare them exactly.
bool SameFileName(const std::u16string& A, const std::u16string& B, TCVPathStyle Style) {
    if (Style == psPosix) return A == B;
    return A == B || platform::LowerCaseLocale(A) == platform::LowerCaseLocale(B);
}

// The folder part of P without its drive, cut into the names between separators. The folder part
// ends in a separator, so it gives no empty name at its end; a rooted path gives an empty first name,
// which keeps "\a\" and "a\" apart.
std::vector<std::u16string> FolderComponents(const std::u16string& P, TCVPathStyle Style) {
    std::u16string folder = FolderPart(P, Style);
    const size_t driveLength = DrivePart(P, Style).size();
    folder.erase(0, std::min(driveLength, folder.size()));

    std::vector<std::u16string> components;
    size_t start = 0;
    while (start < folder.size()) {
        size_t end = folder.find(PathDelimiter(Style), start);
        if (end == std::u16string::npos) end = folder.size();
        components.push_back(folder.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

// Removes "." and ".." from the separator-delimited names after Root. Names are never climbed above
// the root; a path without a root keeps its leading "..". A trailing separator survives.
std::u16string NormaliseNames(const std::u16string& Root, bool Rooted, const std::u16string& Rest,
                              TCVPathStyle Style) {
    const char16_t delimiter = PathDelimiter(Style);
    std::vector<std::u16string> names;
    size_t start = 0;
    while (start <= Rest.size()) {
        size_t end = Rest.find(delimiter, start);
        if (end == std::u16string::npos) end = Rest.size();
        std::u16string name = Rest.substr(start, end - start);
        if (name == u"..") {
            if (!names.empty() && names.back() != u"..") names.pop_back();
            else if (!Rooted) names.push_back(name);
        } else if (!name.empty() && name != u".") {
            names.push_back(std::move(name));
        }
        start = end + 1;
    }

    std::u16string result = Root;
    if (Rooted) result += delimiter;
    for (size_t k = 0; k < names.size(); ++k) {
        if (k > 0) result += delimiter;
        result += names[k];
    }
    if (!names.empty() && !Rest.empty() && IsDelimiter(Rest.back(), Style)) result += delimiter;
    if (result.empty() && !Rest.empty()) result = u".";
    return result;
}

std::u16string LexicalFullPathPosix(const std::u16string& P, const std::u16string& ProcessDir) {
    std::u16string path = P;
    if (path.front() != u'/' && !ProcessDir.empty()) path = IncludePathDelimiter(ProcessDir, psPosix) + path;
    const bool rooted = path.front() == u'/';
    return NormaliseNames(u"", rooted, path, psPosix);
}

// The desktop system's resolution, done lexically: "/" is read as "\", a drive-relative "X:name" is
// joined to the current folder when that lies on drive X (else to the drive's root), "\name" is
// rooted on the current folder's drive, and anything else is joined to the current folder.
std::u16string LexicalFullPathWindows(const std::u16string& P, const std::u16string& ProcessDir) {
    std::u16string path = P;
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    std::u16string current = ProcessDir;
    for (char16_t& c : current)
        if (c == u'/') c = u'\\';

    const std::u16string currentDrive = DrivePart(current, psWindows);
    std::u16string root;
    std::u16string rest;
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        root = DrivePart(path, psWindows);
        rest = path.substr(root.size());
        if (rest.empty()) return root;   // "\\server\share" names the share itself
    } else if (path.size() >= 2 && path[1] == u':') {
        root = path.substr(0, 2);
        rest = path.substr(2);
        if (rest.empty() || rest[0] != u'\\') {
            if (!current.empty() && LowerCaseAscii(currentDrive) == LowerCaseAscii(root))
                rest = current.substr(root.size()) + (rest.empty() ? u"" : u"\\" + rest);
            else
                rest = u"\\" + rest;
        }
    } else if (path[0] == u'\\') {
        root = currentDrive;
        rest = path;
    } else if (!current.empty()) {
        return LexicalFullPathWindows(IncludePathDelimiter(current, psWindows) + path, u"");
    } else {
        return NormaliseNames(u"", false, path, psWindows);
    }
    return NormaliseNames(root, true, rest, psWindows);
}

}  // namespace

std::u16string IncludePathDelimiter(const std::u16string& S, TCVPathStyle Style) {
    if (!S.empty() && IsDelimiter(S.back(), Style)) return S;
    return S + PathDelimiter(Style);
}

std::u16string ExcludePathDelimiter(const std::u16string& S, TCVPathStyle Style) {
    if (!S.empty() && IsDelimiter(S.back(), Style)) return S.substr(0, S.size() - 1);
    return S;
}

std::u16string DelimitedFolder(const std::u16string& A, const std::u16string& B, TCVPathStyle Style) {
    return IncludePathDelimiter(A.empty() ? B : A, Style);
}

std::u16string FolderPart(const std::u16string& P, TCVPathStyle Style) {
    const size_t end = LastFolderEnd(P, Style);
    return end == std::u16string::npos ? std::u16string() : P.substr(0, end + 1);
}

std::u16string FileNamePart(const std::u16string& P, TCVPathStyle Style) {
    const size_t end = LastFolderEnd(P, Style);
    return end == std::u16string::npos ? P : P.substr(end + 1);
}

std::u16string ExtensionPart(const std::u16string& P, TCVPathStyle Style) {
    const std::u16string name = FileNamePart(P, Style);
    const size_t dot = name.find_last_of(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

std::u16string DrivePart(const std::u16string& P, TCVPathStyle Style) {
    if (Style != psWindows) return {};
    if (P.size() >= 2 && P[1] == u':') return P.substr(0, 2);
    if (P.size() >= 2 && P[0] == u'\\' && P[1] == u'\\') {
        const size_t serverEnd = P.find(u'\\', 2);
        if (serverEnd == std::u16string::npos) return P;
        const size_t shareEnd = P.find(u'\\', serverEnd + 1);
        return shareEnd == std::u16string::npos ? P : P.substr(0, shareEnd);
    }
    return {};
}

std::u16string CurrentFolder() { return platform::CurrentFolder(); }

std::u16string FullPath(const std::u16string& P, TCVPathStyle Style, const std::u16string& ProcessDir) {
    if (P.empty()) return {};
    if (Style == NativePathStyle && ProcessDir.empty()) return platform::FullPath(P);
    return Style == psWindows ? LexicalFullPathWindows(P, ProcessDir) : LexicalFullPathPosix(P, ProcessDir);
}

std::u16string RelativePath(const std::u16string& Base, const std::u16string& Dest, TCVPathStyle Style) {
    if (!SameFileName(DrivePart(Base, Style), DrivePart(Dest, Style), Style)) return Dest;

    const std::vector<std::u16string> from = FolderComponents(Base, Style);
    const std::vector<std::u16string> to = FolderComponents(Dest, Style);
    size_t common = 0;
    while (common < from.size() && common < to.size() && SameFileName(from[common], to[common], Style))
        ++common;

    const char16_t delimiter = PathDelimiter(Style);
    std::u16string result;
    for (size_t k = common; k < from.size(); ++k) {
        result += u"..";
        result += delimiter;
    }
    for (size_t k = common; k < to.size(); ++k) {
        result += to[k];
        result += delimiter;
    }
    return result + FileNamePart(Dest, Style);
}

std::u16string ExpandPath(const std::u16string& BaseDir, const std::u16string& FileName,
                          const std::u16string& CurDir, TCVPathStyle Style, const std::u16string& ProcessDir) {
    const bool windows = Style == psWindows;
    const bool native = Style == NativePathStyle;
    std::u16string current = CurDir;
    if (current.empty()) current = !ProcessDir.empty() ? ProcessDir : native ? CurrentFolder() : u"";
    const std::u16string base = IncludePathDelimiter(BaseDir.empty() ? current : BaseDir, Style);

    if (!FileName.empty()) {
        // A drive or a network path is already absolute and is taken as written.
        if (windows && (FileName.find(u':') != std::u16string::npos ||
                        (FileName.size() >= 2 && FileName[0] == u'\\' && FileName[1] == u'\\')))
            return FileName;
        if (IsDelimiter(FileName[0], Style)) return FullPath(FileName, Style, ProcessDir);
        return FullPath(base + FileName, Style, ProcessDir);
    }

    // The folder itself is wanted.
    if (windows && BaseDir.find(u':') != std::u16string::npos) return BaseDir;
    // Only the native style has a disk to look at; in the other one a named folder never "exists".
    if ((native && IsExistingFolder(base)) || BaseDir.empty()) {
        // A base made of nothing but a separator stands for the current folder. On POSIX a lone "/" is
        // the root itself, so there only a base built from two empty texts means the current folder.
        const bool meansCurrent = windows ? base == u"\\" : BaseDir.empty() && current.empty();
        if (meansCurrent) {
            const std::u16string dot = std::u16string(u".") + PathDelimiter(Style);
            return FolderPart(FullPath(dot, Style, ProcessDir), Style);
        }
        return FullPath(base, Style, ProcessDir);
    }
    return BaseDir;
}
