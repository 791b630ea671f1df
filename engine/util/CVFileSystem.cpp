#include "engine/util/CVStrFunc.h"

#include <algorithm>
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

// A folder reached twice on one descent is a link back up the tree. It is treated like a file: it
// keeps its parent, and the removal stops there instead of recursing without end.
bool RemoveTree(const std::u16string& F, std::vector<platform::FolderId>& Path) {
    platform::FolderId id;
    const bool haveId = platform::GetFolderId(F, id);
    if (haveId && std::find(Path.begin(), Path.end(), id) != Path.end()) return false;
    if (haveId) Path.push_back(id);

    constexpr uint32_t allButVolumeLabel = 0x1F7;
    bool emptied = true;
    platform::SearchRec rec;
    for (int found = FindFirstEntry(F + u"*", allButVolumeLabel, rec); found == 0; found = FindNextEntry(rec)) {
        if (!(rec.Attr & platform::faDirectory) || rec.Name == u"." || rec.Name == u"..") continue;
        if (!RemoveTree(F + rec.Name + PathDelimiter(), Path)) {
            emptied = false;
            break;
        }
    }
    CloseFind(rec);
    if (haveId) Path.pop_back();
    if (!emptied) return false;

    // A root keeps its separator: without it, it would name nothing and look removed.
    const std::u16string folder = F.size() > 1 ? ExcludePathDelimiter(F) : F;
    return platform::RemoveFolder(folder) || !platform::FolderExists(folder);
}

}  // namespace

bool RemoveEmptyFolders(const std::u16string& F) {
    // An empty F would become the root folder.
    if (F.empty()) return false;
    std::vector<platform::FolderId> path;
    return RemoveTree(IncludePathDelimiter(F), path);
}
