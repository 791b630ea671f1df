#include "engine/util/CVStrFunc.h"

namespace {

bool IsAnySeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Where the kept part of a desktop path starts: behind the drive colon, or behind the server name of
// a network path (the share name stays), and behind one separator after that.
size_t WindowsKeepStart(const std::u16string& Full) {
    size_t p = 0;
    const size_t colon = Full.find(u':');
    if (colon != std::u16string::npos) p = colon + 1;
    if (p == 0 && Full.size() >= 2) {
        for (size_t i = 0; i + 1 < Full.size(); ++i) {
            if (IsAnySeparator(Full[i]) && IsAnySeparator(Full[i + 1])) {
                p = i + 2;
                const size_t next = Full.find_first_of(u"\\/", p);
                if (next != std::u16string::npos) p = next + 1;
                break;
            }
        }
    }
    if (p < Full.size() && IsAnySeparator(Full[p])) ++p;
    return p;
}

}  // namespace

std::u16string MakeStoredName(const std::u16string& FileName, const std::u16string& BaseDir,
                              TCVStorePathMode StorePath, const std::u16string& CurDir, TCVPathStyle Style,
                              const std::u16string& ProcessDir) {
    // Without a name there is nothing to store; expanding it would name the base folder instead.
    if (FileName.empty()) return {};
    const bool windows = Style == psWindows;
    const std::u16string baseFull = ExpandPath(BaseDir, u"", CurDir, Style, ProcessDir);
    std::u16string full = ExpandPath(baseFull, FileName, CurDir, Style, ProcessDir);

    // A folder comes with a trailing separator, and a desktop path may end in the "." of "folder\.".
    // On POSIX a trailing dot is part of a real name ("notes.") and is kept, or "a" and "a." would be
    // stored under one name; only a lone "." component goes.
    if (!full.empty() && (windows ? IsAnySeparator(full.back()) : full.back() == u'/')) full.pop_back();
    if (!full.empty() && full.back() == u'.') {
        if (windows || full.size() == 1 || full[full.size() - 2] == u'/') full.pop_back();
    }

    switch (StorePath) {
    case spNoPath:
        full = FileNamePart(full, Style);
        break;
    case spRelativePath: {
        const std::u16string rel = RelativePath(DelimitedFolder(baseFull, CurDir, Style), full, Style);
        // A file outside the base folder keeps its whole path. On POSIX only a leading "../" is a step
        // up: "x../a" is a folder whose name ends in two dots.
        const bool outside = windows ? rel.find(u"..\\") != std::u16string::npos ||
                                           rel.find(u"../") != std::u16string::npos
                                     : rel.rfind(u"../", 0) == 0 || rel == u"..";
        if (!outside) full = rel;
        break;
    }
    case spFullPath:
        break;
    case spFullPathWithDrive:
        full = FullPath(full, Style, ProcessDir);
        break;
    }

    // POSIX has no drive to keep, and a leading "/" would make the entry an absolute path for every
    // reader, so there the full path is stored like spFullPath.
    size_t start = 0;
    if (!windows) {
        if (!full.empty() && full[0] == u'/') start = 1;
    } else if (StorePath != spFullPathWithDrive) {
        start = WindowsKeepStart(full);
    }
    if (start >= full.size()) return {};

    std::u16string result = full.substr(start);
    if (windows)
        for (char16_t& c : result)
            if (c == u'\\') c = u'/';
    return result;
}

bool WideToAnsiName(const std::u16string& W, std::string& A) {
    if (platform::WideToAnsi(W, A)) return false;
    A = platform::Utf16ToUtf8(W);
    return true;
}

namespace {

bool IsReservedDeviceName(std::u16string_view part) {
    // The device is named by what stands before the first dot, blanks at its end not counting.
    part = part.substr(0, part.find(u'.'));
    while (!part.empty() && part.back() == u' ') part.remove_suffix(1);
    const std::u16string upper = UpperCaseAscii(std::u16string(part));
    if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL") return true;
    return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) && upper[3] >= u'1' &&
           upper[3] <= u'9';
}

std::u16string Quoted(char16_t c) {
    if (c < 0x20) return u"control characters";
    return u"\"" + std::u16string(1, c) + u"\"";
}

}  // namespace

std::u16string NameProblemOnWindows(const std::u16string& StoredName) {
    std::u16string_view rest = StoredName;
    // A folder entry ends in its separator; that is no empty part.
    if (!rest.empty() && rest.back() == u'/') rest.remove_suffix(1);
    while (true) {
        const size_t slash = rest.find(u'/');
        const std::u16string_view part = rest.substr(0, slash);
        for (const char16_t c : part)
            if (c < 0x20 || std::u16string_view(u":\\*?\"<>|").find(c) != std::u16string_view::npos)
                return u"Windows does not allow " + Quoted(c) + u" in names";
        if (!part.empty() && (part.back() == u'.' || part.back() == u' '))
            return u"Windows drops a dot or blank at the end of a name";
        if (IsReservedDeviceName(part)) return u"\"" + std::u16string(part) + u"\" is a device name on Windows";
        if (slash == std::u16string_view::npos) return {};
        rest.remove_prefix(slash + 1);
    }
}
