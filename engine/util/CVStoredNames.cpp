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
