#include "engine/util/CVStrFunc.h"

#include <vector>

bool IsExistingFolder(const std::u16string& P) { return !P.empty() && platform::FolderExists(P); }

bool IsExistingFile(const std::u16string& P) { return !P.empty() && platform::FileExists(P); }

bool ForceFolders(const std::u16string& P) {
    if (P.empty()) return false;
    // Walk up to the first folder that exists, then create the missing ones from the outside in. Each
    // folder on the way is a prefix of P, so only its length is kept: a very deep path costs neither
    // stack nor quadratic memory.
    const std::u16string target = ExcludePathDelimiter(P);
    std::vector<size_t> missing;
    std::u16string folder = target;
    while (!folder.empty() && !platform::FolderExists(folder)) {
        missing.push_back(folder.size());
        std::u16string parent = ExcludePathDelimiter(FolderPart(folder));
        if (parent.size() >= folder.size()) break;   // a root or a drive: nothing further up
        folder = std::move(parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) platform::CreateFolder(target.substr(0, *it));
    return platform::FolderExists(P);
}

bool DeleteDiskFile(const std::u16string& P) { return !P.empty() && platform::DeleteFile(P); }

bool RenameDiskFile(const std::u16string& OldName, const std::u16string& NewName) {
    return !OldName.empty() && !NewName.empty() && platform::RenameFile(OldName, NewName);
}

bool CopyDiskFile(const std::u16string& Src, const std::u16string& Dst, bool FailIfExists) {
    return !Src.empty() && !Dst.empty() && platform::CopyFile(Src, Dst, FailIfExists);
}

namespace {

// The skip rule is part of what callers rely on, so it is applied here as well, whatever the
// platform's listing already filtered.
constexpr uint32_t SkippableBits = platform::faHidden | platform::faSysFile | platform::faDirectory;

bool IsSkipped(const platform::SearchRec& Rec) { return (Rec.Attr & Rec.ExcludeAttr) != 0; }

int SkipExcluded(int Result, platform::SearchRec& Rec) {
    while (Result == 0 && IsSkipped(Rec)) Result = platform::FindNext(Rec);
    return Result;
}

}  // namespace

int FindFirstEntry(const std::u16string& Pattern, uint32_t Attr, platform::SearchRec& Rec) {
    const int result = platform::FindFirst(Pattern, Attr, Rec);
    Rec.ExcludeAttr = ~Attr & SkippableBits;
    return SkipExcluded(result, Rec);
}

int FindNextEntry(platform::SearchRec& Rec) { return SkipExcluded(platform::FindNext(Rec), Rec); }

void CloseFind(platform::SearchRec& Rec) { platform::FindClose(Rec); }

int32_t ReadAttributes(const std::u16string& P) {
    if (P.empty()) return -1;
    const int32_t attributes = platform::ReadAttributes(P);
    if (attributes == -1 && IsExistingFile(P)) return static_cast<int32_t>(platform::faSysFile);
    return attributes;
}

bool WriteAttributes(const std::u16string& P, uint32_t Attr) {
    return !P.empty() && platform::WriteAttributes(P, Attr);
}

int32_t FileDosTime(const std::u16string& P) { return P.empty() ? -1 : platform::FileDosTime(P); }

bool IsFloppyDrive(const std::u16string& P, TCVPathStyle Style) {
    const std::u16string drive = UpperCaseAscii(DrivePart(P, Style));
    return drive == u"A:" || drive == u"B:";
}

bool IsRemovableDrive(const std::u16string& P) {
    return IsFloppyDrive(P) || platform::IsRemovableDrive(DrivePart(P));
}

namespace {

// One folder on the way down: its sub-folders in listing order, and how far the walk has got.
struct TreeLevel {
    std::vector<std::u16string> folders;
    size_t next = 0;
    size_t pathLength = 0;   // the folder's path, separator included, is that long a prefix of the walk's
    bool haveId = false;
    platform::FolderId id;
};

std::vector<std::u16string> SubFolders(const std::u16string& folder) {
    constexpr uint32_t allButVolumeLabel = 0x1F7;
    std::vector<std::u16string> names;
    platform::SearchRec rec;
    for (int found = FindFirstEntry(folder + u"*", allButVolumeLabel, rec); found == 0; found = FindNextEntry(rec))
        if ((rec.Attr & platform::faDirectory) && rec.Name != u"." && rec.Name != u"..") names.push_back(rec.Name);
    CloseFind(rec);
    return names;
}

}  // namespace

// Depth first, innermost first, with the levels kept in a vector rather than on the call stack: a
// tree may be deeper than any stack. A folder met again on its own way down is a link back up the
// tree; it is treated like a file, which keeps it and its parents, instead of being walked forever.
bool RemoveEmptyFolders(const std::u16string& F) {
    // An empty F would become the root folder.
    if (F.empty()) return false;
    std::u16string path = IncludePathDelimiter(F);
    std::vector<TreeLevel> levels;

    auto enter = [&]() {
        TreeLevel level;
        level.pathLength = path.size();
        level.haveId = platform::GetFolderId(path, level.id);
        if (level.haveId)
            for (const TreeLevel& outer : levels)
                if (outer.haveId && outer.id == level.id) return false;
        level.folders = SubFolders(path);
        levels.push_back(std::move(level));
        return true;
    };

    if (!enter()) return false;
    while (!levels.empty()) {
        TreeLevel& top = levels.back();
        path.resize(top.pathLength);
        if (top.next < top.folders.size()) {
            path += top.folders[top.next++];
            path += PathDelimiter();
            if (!enter()) return false;
            continue;
        }
        // A root keeps its separator: without it, it would name nothing and look removed.
        const std::u16string folder = path.size() > 1 ? ExcludePathDelimiter(path) : path;
        if (!platform::RemoveFolder(folder) && platform::FolderExists(folder)) return false;
        levels.pop_back();
    }
    return true;
}
