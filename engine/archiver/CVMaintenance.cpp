// Changing entries without touching their data: renaming an entry (a folder with everything below
// it), and setting the external attributes, the internal attributes or the comment of the entries a
// mask selects. The changes are recorded in the directory; the commit copies the data as it is and
// rewrites only the local headers of renamed entries and the central directory.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/util/CVStrFunc.h"

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;
constexpr size_t MaxCommentLength = 0xFFFF;

std::u16string StoredSeparators(std::u16string name) {
    std::replace(name.begin(), name.end(), u'\\', u'/');
    return name;
}

std::u16string WithoutTrailingSlash(std::u16string name) {
    if (!name.empty() && name.back() == u'/') name.pop_back();
    return name;
}

// The platform's case folding, not only A to Z: a user renaming 'Écrit.txt' may type 'écrit.txt'.
bool SameTextIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return a == b || platform::LowerCaseLocale(a) == platform::LowerCaseLocale(b);
}

// The new name of an entry that a rename selected by the mask Old. Only the part of the name that the
// mask named changes: the whole name, or the name part when the mask was a bare name found inside a
// folder. Replacing Old wherever it occurs would also change other parts ('a/data.txt' renamed from
// 'a' to 'b' would become 'b/dbtb.txt'). A mask that matched by its wildcards names no text to
// replace: the name stays.
std::u16string RenamedName(const std::u16string& current, const std::u16string& oldText,
                           const std::u16string& newText) {
    const std::u16string suffix = !current.empty() && current.back() == u'/' ? u"/" : u"";
    const std::u16string whole = WithoutTrailingSlash(current);
    const std::u16string old = WithoutTrailingSlash(oldText);
    if (SameTextIgnoringCase(whole, old)) return newText + suffix;
    const size_t slash = whole.rfind(u'/');
    if (slash != std::u16string::npos && SameTextIgnoringCase(whole.substr(slash + 1), old))
        return whole.substr(0, slash + 1) + newText + suffix;
    return current;
}

// Whether `name` lies below the folder `folder` (which ends in "/"), letters compared as the search
// compares them.
bool IsBelowFolder(const std::u16string& name, const std::u16string& folder) {
    return name.size() > folder.size() && LowerCaseAscii(name.substr(0, folder.size())) == LowerCaseAscii(folder);
}

// Gives item ItemNo the name Name, keeping the name index, the header's name length and a Unicode
// name field in step, and marks it renamed.
void RenameItem(TCVBaseArchiver& arc, int32_t ItemNo, const std::u16string& Name) {
    TCVDirArray& dir = arc.DMHandle()->CDir;
    int32_t other = -1;
    // Two entries of one name could no longer be told apart, neither in the index nor by a reader.
    if (dir.FileExists(Name, other) && other != ItemNo) throw ECVException(neNameIndexOnRename, &arc);

    TDirItem& item = dir.GetItemPtr(ItemNo);
    // A second rename in the same update keeps the name the entry has on disk: the commit finds the
    // entry's data under it.
    if (!item.Modified || item.Operation != poRename) item.OldName = item.Name;
    dir.SetItemName(ItemNo, Name);
    TDirItem& renamed = dir.GetItemPtr(ItemNo);
    renamed.CentralDir.nameLength = static_cast<uint16_t>(std::min<size_t>(Name.size(), 0xFFFF));
    // New and re-stored entries are written from their sources anyway, under their current names.
    if (!renamed.Modified || renamed.Operation == poChangeAttr || renamed.Operation == poChangeComment) {
        renamed.Modified = true;
        renamed.Operation = poRename;
    }
    for (TCVExtraFieldDataBlock& field : renamed.ExtraFields)
        if (field.headerID == CVUnicodeNameExtraID) field = MakeUnicodeNameField(Name, &arc);
}

}  // namespace

void TCVBaseArchiver::RenameFile(const std::u16string& OldName, const std::u16string& NewName) {
    CheckActive();
    TCVArchiveItem F;
    if (!FindFirst(OldName, F, AllEntriesAttr, u"")) throw ECVException(neRenameNotFound, {OldName}, this);
    const std::u16string oldText = StoredSeparators(OldName);
    std::u16string newText = WithoutTrailingSlash(StoredSeparators(NewName));
    // A stored name never starts at a root: readers would write such an entry outside their folder.
    newText.erase(0, std::min(newText.find_first_not_of(u'/'), newText.size()));
    if (newText.empty()) throw ECVException(neBlankFileName, this);

    RunInUpdate([&] {
        TCVDirArray& dir = FDMHandle->CDir;
        const int32_t folderIndex = F.Handle.ItemNo;
        const TDirItem& selected = dir.GetItemPtr(folderIndex);
        const bool isFolder = IsFolderItem(selected);
        std::u16string oldFolder = selected.Name;
        const std::u16string newName = RenamedName(oldFolder, oldText, newText);
        RenameItem(*this, folderIndex, newName);

        if (isFolder) {
            // Every entry below the folder follows it, however deep and whatever the options say
            // about recursion. The directory is walked itself rather than searched with a mask made
            // of the folder's name: such a mask could be too long for the search, and wildcard
            // characters in the name would reach entries elsewhere.
            if (oldFolder.empty() || oldFolder.back() != u'/') oldFolder += u'/';
            std::u16string newFolder = newName;
            if (newFolder.back() != u'/') newFolder += u'/';
            for (int32_t i = 0; i < dir.Count(); ++i) {
                const std::u16string current = dir.GetItemPtr(i).Name;
                // The folder itself may lie below its old name under its new one.
                if (i == folderIndex || !IsBelowFolder(current, oldFolder)) continue;
                RenameItem(*this, i, newFolder + current.substr(oldFolder.size()));
            }
        }
    });
}

namespace {

// The search and the transaction that the three Change... methods share.
void ChangeMatchingItems(TCVBaseArchiver& arc, const std::u16string& FileMask, int32_t NotFoundError,
                         TCVProcessOperation Mark, const std::function<void(TDirItem&)>& Change) {
    arc.CheckActive();
    TCVArchiveItem F;
    if (!arc.FindFirst(FileMask, F, AllEntriesAttr, u"")) throw ECVException(NotFoundError, {FileMask}, &arc);
    arc.RunInUpdate([&] {
        TCVDirArray& dir = arc.DMHandle()->CDir;
        do {
            TDirItem& item = dir.GetItemPtr(F.Handle.ItemNo);
            Change(item);
            if (!item.Modified) {
                item.Modified = true;
                item.Operation = Mark;
            }
        } while (arc.FindNext(F));
    });
}

}  // namespace

void TCVBaseArchiver::ChangeFilesAttr(const std::u16string& FileMask, uint32_t NewAttr) {
    ChangeMatchingItems(*this, FileMask, neChangeNotFound, poChangeAttr, [NewAttr](TDirItem& item) {
        // A folder stays a folder whatever bits the caller gives.
        item.CentralDir.externalAttr = IsFolderItem(item) ? NewAttr | platform::faDirectory : NewAttr;
    });
}

void TCVBaseArchiver::ChangeFilesIntAttr(const std::u16string& FileMask, uint32_t NewAttr) {
    ChangeMatchingItems(*this, FileMask, neIntAttrNotFound, poChangeAttr, [NewAttr](TDirItem& item) {
        item.CentralDir.internalAttr = static_cast<uint16_t>(NewAttr & 0xFFFF);
    });
}

void TCVBaseArchiver::ChangeFilesComment(const std::u16string& FileMask, const std::string& NewComment) {
    CheckActive();
    // commentLength is 16 bits wide: a longer comment is refused before anything is changed.
    if (NewComment.size() > MaxCommentLength)
        throw platform::Exception(u"The comment is longer than 65535 bytes");
    ChangeMatchingItems(*this, FileMask, neChangeNotFound, poChangeComment, [&NewComment](TDirItem& item) {
        item.Comment = NewComment;
        item.CentralDir.commentLength = static_cast<uint16_t>(NewComment.size());
    });
}
