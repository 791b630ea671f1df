// Processing the selected entries: extracting them to disk, testing them, deleting them from the
// archive and re-marking them to be stored again from newer files; the driver that walks the tagged
// entries under the engine lock and turns each entry's engine error into a retry, ignore or abort.
//
// Nothing an archive says may write outside the destination folder. A stored name is only a
// suggestion from whoever made the archive: names that climb out (".."), start at a root, or carry a
// drive or network prefix are refused, and no folder on the way to a target may be a symbolic link
// that leads elsewhere. Extraction never creates links itself.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/archiver/CVEngineLock.h"
#include "engine/base/CVExcept.h"
#include "engine/extract/CVNullStream.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The attribute set both programs search with: it excludes nothing. A single-entry extraction is
// recognised by it.
constexpr int32_t AllEntriesAttr = 0x28BF;

bool HasWildcards(const std::u16string& s) { return s.find_first_of(u"*?") != std::u16string::npos; }

// Date in the high word, time in the low one, compared as a signed value: the order the overwrite
// modes decide by.
int32_t ItemDosTime(const TDirItem& item) {
    return static_cast<int32_t>(static_cast<uint32_t>(item.CentralDir.lastModDate) << 16 |
                                item.CentralDir.lastModTime);
}

// Whether the overwrite mode lets an existing copy be replaced, when `incoming` is the time of what
// would replace it and `existing` the time of what is there. omPrompt is the caller's to ask.
bool TimeAllowsReplace(TCVOverwriteMode mode, int32_t incoming, int32_t existing) {
    switch (mode) {
    case omAlways: return true;
    case omIfNewer: return incoming > existing;
    case omIfOlder: return incoming < existing;
    default: return false;   // omNever
    }
}

// Trailing dots and blanks vanish from names on the desktop system, so there ".. " is "..".
std::u16string AsFileSystemSeesIt(std::u16string name) {
    if (NativePathStyle == psWindows)
        while (!name.empty() && (name.back() == u'.' || name.back() == u' ') && name != u"..") name.pop_back();
    return name;
}

// Whether a name, joined to a destination folder, could lead outside it: a ".." among its parts, a
// leading separator, a drive ("C:", where the system has drives) or a network prefix ("\\server"). Both separators count, whatever
// the system: an archive made elsewhere may use either, and refusing a harmless "..\" on a system
// where it would be an ordinary name costs nothing.
bool LeadsOutside(const std::u16string& name) {
    if (name.empty()) return false;
    if (name[0] == u'/' || name[0] == u'\\') return true;
    // On the desktop system a colon anywhere names a drive or a stream of another file. Elsewhere it
    // is an ordinary character ("c:d.txt" is a file name like any other) and leads nowhere.
    if (NativePathStyle == psWindows && name.find(u':') != std::u16string::npos) return true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = name.size();
        if (AsFileSystemSeesIt(name.substr(start, end - start)) == u"..") return true;
        start = end + 1;
    }
    return false;
}

// Whether the existing folder `child`, listed in `parent`, is what it seems. The system resolves
// "child/.." physically, so for a symbolic link it names the parent of the link's target: when that
// is not `parent`, the link leads somewhere else and nothing may be written through it.
bool IsFolderInPlace(const platform::FolderId& parent, const std::u16string& child) {
    platform::FolderId above;
    return platform::GetFolderId(IncludePathDelimiter(child) + u"..", above) && above == parent;
}

// Creates the folders of `relative` (native separators) inside `destDir`, which must exist, one level
// at a time, refusing any existing folder on the way that is a link leading elsewhere. Returns the
// path that failed, or an empty text; `reason` then says why.
std::u16string CreateFoldersInside(const std::u16string& destDir, const std::u16string& relative,
                                   std::u16string& reason) {
    std::u16string path = IncludePathDelimiter(destDir);
    platform::FolderId parent;
    if (!platform::GetFolderId(path, parent)) return path;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(PathDelimiter(), start);
        if (end == std::u16string::npos) end = relative.size();
        const std::u16string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".") continue;
        path += part;
        if (IsExistingFolder(path)) {
            if (!IsFolderInPlace(parent, path)) {
                reason = u"a link that leads outside the target folder";
                return path;
            }
        } else if (!platform::CreateFolder(path)) {
            const int error = platform::LastSystemError();
            if (!IsExistingFolder(path)) {
                reason = platform::SystemReason(error);
                return path;
            }
        }
        if (!platform::GetFolderId(path, parent)) return path;
        path += PathDelimiter();
    }
    return {};
}

// Why the destination folder itself could not be made: the first folder on its way that is missing
// and cannot be created, or something that is not a folder standing in its place.
std::u16string FolderFailure(const std::u16string& destDir) {
    std::u16string folder = ExcludePathDelimiter(destDir);
    while (!folder.empty()) {
        if (IsExistingFile(folder)) return u"\"" + folder + u"\" is a file, not a folder";
        const std::u16string parent = ExcludePathDelimiter(FolderPart(folder));
        if (parent.size() >= folder.size() || parent.empty() || IsExistingFolder(parent)) break;
        folder = parent;
    }
    if (folder.empty() || platform::CreateFolder(folder)) return {};
    return platform::SystemReason(platform::LastSystemError());
}

// The names an entry is written under until it is whole, and of an old copy while it is replaced; both
// start with a dot so that listings pass over them.
constexpr char16_t PartPrefix[] = u".selfpack-part-";

// Moves whatever stands at `target` (a file, or a link, which is moved itself and never followed)
// aside to a fresh name in the same folder, so the entry can be written in its place and the old copy
// put back if writing fails. Returns the name it now has, or an empty text when nothing was there.
// False when something is there that cannot be moved (a folder, no permission).
bool MoveAside(const std::u16string& target, std::u16string& backup) {
    backup.clear();
    if (IsExistingFolder(target)) return false;
    std::u16string aside;
    try {
        aside = platform::CreateTempFile(FolderPart(target), u".selfpack-old-");
    } catch (const platform::Exception&) {
        return !IsExistingFile(target);   // a folder nobody may write to takes no new file either
    }
    if (platform::ReplaceFile(target, aside)) {
        backup = aside;
        return true;
    }
    DeleteDiskFile(aside);
    return !IsExistingFile(target);
}

// Removes a file this extraction made or moved aside, also when it is read-only.
void DeleteEvenReadOnly(const std::u16string& backup) {
    if (backup.empty() || DeleteDiskFile(backup)) return;
    WriteAttributes(backup, 0);
    DeleteDiskFile(backup);
}

// Whether attributes carry a Unix mode (in their high 16 bits) whose type is folder.
bool IsFolderMode(uint32_t attr) {
    constexpr uint32_t UnixTypeMask = 0170000;
    constexpr uint32_t UnixFolder = 0040000;
    return ((attr >> 16) & UnixTypeMask) == UnixFolder;
}

// Gives the finished file `part` the name `target`. Renaming over the old copy replaces it in one
// step; where the system refuses that (a read-only file on the desktop system), the old copy is moved
// aside first and put back when the new one still cannot take its place.
bool PutInPlace(const std::u16string& part, const std::u16string& target) {
    if (platform::ReplaceFile(part, target)) return true;
    std::u16string backup;
    if (!MoveAside(target, backup)) return false;
    if (platform::ReplaceFile(part, target)) {
        DeleteEvenReadOnly(backup);
        return true;
    }
    if (!backup.empty()) platform::ReplaceFile(backup, target);
    return false;
}

// Restores a value when the scope ends, also by an exception.
template <typename T>
class TRestore {
public:
    TRestore(T& place, T value) : FPlace(place), FSaved(place) { place = std::move(value); }
    ~TRestore() { FPlace = std::move(FSaved); }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;

private:
    T& FPlace;
    T FSaved;
};

}  // namespace

// ---- Public batch operations ------------------------------------------------------------------------

void TCVBaseArchiver::ExtractFiles() {
    CheckActive();
    CheckNotInUpdate();
    TagFiles();
    ProcessTaggedFiles(poExtract, -1);
}

void TCVBaseArchiver::ExtractFiles(const std::u16string& FileMask, int32_t SearchAttr,
                                   const std::u16string& ExclusionMask) {
    CheckActive();
    CheckNotInUpdate();
    // One named entry: an exact lookup, and only that entry is processed (the other tags stay).
    if (!FOptions.Recurse() && !HasWildcards(FileMask) && ExclusionMask.empty() && SearchAttr == AllEntriesAttr) {
        TCVArchiveItem F;
        if (!FindFirst(FileMask, F, SearchAttr, ExclusionMask)) return;
        FDMHandle->CDir.GetItemPtr(F.Handle.ItemNo).Tagged = true;
        ProcessTaggedFiles(poExtract, F.Handle.ItemNo);
        return;
    }
    TagFiles(FileMask, SearchAttr, ExclusionMask);
    ProcessTaggedFiles(poExtract, -1);
}

void TCVBaseArchiver::TestFiles() {
    CheckActive();
    CheckNotInUpdate();
    TagFiles();
    ProcessTaggedFiles(poTest, -1);
}

void TCVBaseArchiver::TestFiles(const std::u16string& FileMask, int32_t SearchAttr,
                                const std::u16string& ExclusionMask) {
    CheckActive();
    CheckNotInUpdate();
    TagFiles(FileMask, SearchAttr, ExclusionMask);
    ProcessTaggedFiles(poTest, -1);
}

// Deleting and updating change the directory: the batch runs in an update whose end commits it.
void TCVBaseArchiver::ProcessTaggedInUpdate(TCVProcessOperation Operation) {
    RunInUpdate([&] { ProcessTaggedFiles(Operation, -1); });
}

void TCVBaseArchiver::DeleteFiles() {
    CheckActive();
    CheckModifiable();
    TagFiles();
    ProcessTaggedInUpdate(poDelete);
}

void TCVBaseArchiver::DeleteFiles(const std::u16string& FileMask, int32_t SearchAttr,
                                  const std::u16string& ExclusionMask) {
    CheckActive();
    CheckModifiable();
    TagFiles(FileMask, SearchAttr, ExclusionMask);
    ProcessTaggedInUpdate(poDelete);
}

void TCVBaseArchiver::UpdateFiles() {
    CheckActive();
    CheckModifiable();
    TagFiles();
    ProcessTaggedInUpdate(poUpdate);
}

void TCVBaseArchiver::UpdateFiles(const std::u16string& FileMask, int32_t SearchAttr,
                                  const std::u16string& ExclusionMask) {
    CheckActive();
    CheckModifiable();
    TagFiles(FileMask, SearchAttr, ExclusionMask);
    ProcessTaggedInUpdate(poUpdate);
}

// ---- The driver -------------------------------------------------------------------------------------

void TCVBaseArchiver::ProcessTaggedFiles(TCVProcessOperation Operation, int32_t ItemNo) {
    std::lock_guard<std::recursive_mutex> lock(EngineLock());
    // The folders of this batch are finished however it ends; a batch a handler starts meanwhile
    // keeps its own.
    struct FolderBatch {
        TCVBaseArchiver& arc;
        std::vector<TCVExtractedFolder> outer;
        explicit FolderBatch(TCVBaseArchiver& a) : arc(a), outer(std::move(a.FExtractedFolders)) {
            arc.FExtractedFolders.clear();
        }
        ~FolderBatch() {
            arc.FinishExtractedFolders();
            arc.FExtractedFolders = std::move(outer);
        }
    } folderBatch(*this);
    TCVDirArray& dir = FDMHandle->CDir;
    const bool reading = Operation == poExtract || Operation == poTest;

    FProcessedFileNo = 0;
    FProcessedFileCount = 0;
    FProgressCancel = false;
    FProgressEnabled = true;
    FMadeFolders.clear();
    if (ItemNo != -1) {
        FProcessedFileCount = 1;
    } else {
        for (int32_t i = 0; i < dir.Count(); ++i)
            if (dir.GetItemPtr(i).Tagged) ++FProcessedFileCount;
    }

    TCVAction action = fxaIgnore;
    bool walk = true;
    if (reading) {
        DoOverallProgress(0, Operation, ppStart, FProgressCancel);
        walk = !FProgressCancel;
    }

    int32_t index = ItemNo == -1 ? 0 : ItemNo;
    while (walk && index >= 0 && index < dir.Count()) {
        if (!dir.GetItemPtr(index).Tagged) {
            if (ItemNo != -1) break;
            ++index;
            continue;
        }
        dir.GetItemPtr(index).Operation = Operation;
        const int32_t countBefore = dir.Count();
        std::u16string fileName;
        bool endWalk = false;
        do {
            action = fxaIgnore;
            try {
                // A copy: the name must outlive the item when a delete removes it.
                const std::u16string name = dir.GetItemPtr(index).Name;
                fileName = name;
                std::replace(fileName.begin(), fileName.end(), u'/', PathDelimiter());
                bool confirm = true;
                DoConfirmProcessFile(fileName, Operation, confirm);
                if (!confirm) break;
                if (FCurrentDir.empty()) FCurrentDir = CurrentFolder();
                const std::u16string destDir = DelimitedFolder(FBaseDir, FCurrentDir);

                if (reading) {
                    DoFileProgress(name, 0, Operation, ppStart, FProgressCancel);
                    if (FProgressCancel) {
                        endWalk = true;
                        break;
                    }
                }
                switch (Operation) {
                case poExtract: ExtractItemToFile(index, fileName, destDir); break;
                case poTest: TestItem(index, fileName); break;
                case poDelete: DeleteArchiveItem(index); break;
                case poUpdate: UpdateItem(index, fileName, destDir); break;
                default: break;
                }
                if (reading) {
                    // A cancel asked for while the entry was read stands, whatever this event says.
                    bool cancel = false;
                    DoFileProgress(name, 100, Operation, ppEnd, cancel);
                    FProgressCancel = FProgressCancel || cancel;
                }
                if (FProgressCancel) {
                    endWalk = true;
                    break;
                }
                ++FProcessedFileNo;
            } catch (const ECVException& e) {
                DoProcessFileFailure(fileName, Operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
            }
        } while (action == fxaRetry);
        if (endWalk || action == fxaAbort || ItemNo != -1) break;
        // A removed entry lets the ones behind it move down into its place.
        if (!(Operation == poDelete && dir.Count() < countBefore)) ++index;
    }

    if (reading) {
        bool cancel = false;
        DoOverallProgress(100, Operation, ppEnd, cancel);
        FProgressCancel = FProgressCancel || cancel;
    }
    if (FProgressCancel || action == fxaAbort) CancelUpdate();
}

// ---- Per-entry routines -----------------------------------------------------------------------------

void TCVBaseArchiver::ExtractItemToFile(int32_t ItemNo, std::u16string FileName, std::u16string DestDir) {
    const TDirItem& entry = FDMHandle->CDir.GetItemPtr(ItemNo);
    uint32_t fileAttr = entry.CentralDir.externalAttr;
    const bool isFolder = IsFolderItem(entry);
    const uint32_t dosTime = static_cast<uint32_t>(ItemDosTime(entry));
    std::time_t utcTime = 0;
    const bool hasUtcTime = ReadExtendedTime(entry.ExtraFields, utcTime);
    // The handler may rename the target; what it leaves is checked like a stored name.
    DoExtractFile(FileName, fileAttr, entry.Comment);
    if (LeadsOutside(FileName))
        throw ECVException(neCannotCreateFile, {FileName}, this, u"the name leads outside the target folder");

    if (!FOptions.CreateDirs()) {
        FileName = FileNamePart(FileName);
    } else {
        // A folder entry may be stored without its trailing separator: the folder is the whole name.
        const std::u16string folders = isFolder ? IncludePathDelimiter(FileName) : FolderPart(FileName);
        const std::u16string wanted = DestDir + folders;
        // Entries come folder by folder: the folders made and checked for the entry before need no
        // second look. Any failure below forgets them, so a retry looks again.
        if (wanted != FMadeFolders) {
            FMadeFolders.clear();
            if (!ForceFolders(DestDir))
                throw ECVException(neCannotCreateFolder, {wanted}, this, FolderFailure(DestDir));
            std::u16string reason;
            const std::u16string failed = CreateFoldersInside(DestDir, folders, reason);
            if (!failed.empty()) throw ECVException(neCannotCreateFolder, {failed}, this, reason);
            FMadeFolders = wanted;
        }
    }
    if (isFolder) {
        if (FOptions.CreateDirs())
            FExtractedFolders.push_back({ExcludePathDelimiter(DestDir + FileName), fileAttr, dosTime, hasUtcTime, utcTime});
        return;
    }

    std::u16string target = DestDir + FileName;
    if (IsExistingFile(target)) {
        if (!FOptions.ReplaceReadOnly()) {
            const int32_t attr = ReadAttributes(target);
            if (attr != -1 && (static_cast<uint32_t>(attr) & platform::faReadOnly) != 0) return;
        }
        bool confirm = true;
        if (FOptions.OverwriteMode() == omPrompt)
            DoConfirmOverwrite(FileName, target, confirm);
        else
            confirm = TimeAllowsReplace(FOptions.OverwriteMode(), static_cast<int32_t>(dosTime), FileDosTime(target));
        if (!confirm) return;
    }

    // The entry is written under a fresh name beside its target and takes the target's name only when
    // it is whole: a damaged entry, a full disk, a cancel or a killed process never leaves a partial
    // file under the entry's name, and the copy already there stays until it is replaced.
    if (IsExistingFolder(target)) {
        FMadeFolders.clear();
        throw ECVException(neCannotCreateFile, {target}, this,
                           IsExistingFolder(target) ? u"a folder of that name is in the way"
                                                    : platform::SystemReason(platform::LastSystemError()));
    }
    std::unique_ptr<platform::FileStream> file;
    try {
        file = platform::FileStream::CreateUnique(FolderPart(target), PartPrefix);
    } catch (const platform::Exception&) {
        FMadeFolders.clear();
        throw ECVException(neCannotCreateFile, {target}, this);
    }
    const std::u16string part = file->FileName();
    try {
        ExtractItem(ItemNo, *file, 0, 0);
        if (FOptions.FlushBuffers() && IsRemovableDrive(target)) file->Flush();
    } catch (...) {
        file.reset();
        DeleteDiskFile(part);
        throw;
    }
    file.reset();
    if (FSkipFile || FProgressCancel) {
        DeleteDiskFile(part);
        return;
    }
    // The time first: once the file is read-only, some systems no longer let it be set. The time in
    // UTC, where the entry has one, does not shift with the time zone.
    if (!hasUtcTime || !platform::SetFileTime(part, utcTime)) platform::SetFileDosTime(part, dosTime);
    if (FOptions.SetAttributes()) WriteAttributes(part, fileAttr);
    if (!PutInPlace(part, target)) {
        DeleteEvenReadOnly(part);
        FMadeFolders.clear();
        throw ECVException(neCannotCreateFile, {target}, this);
    }
}

void TCVBaseArchiver::FinishExtractedFolders() {
    // Innermost first: setting a folder's time must come after everything made inside it, and a
    // folder's path is always longer than those of the folders around it.
    std::stable_sort(FExtractedFolders.begin(), FExtractedFolders.end(),
                     [](const TCVExtractedFolder& a, const TCVExtractedFolder& b) { return a.Path.size() > b.Path.size(); });
    for (const TCVExtractedFolder& folder : FExtractedFolders) {
        if (!folder.HasUtcTime || !platform::SetFileTime(folder.Path, folder.UtcTime))
            platform::SetFileDosTime(folder.Path, folder.DosTime);
        // Only a mode that says folder is applied: the desktop system's bits on a folder (read-only
        // marks a customised folder there) would lock the user out of it here.
        if (FOptions.SetAttributes() && IsFolderMode(folder.Attr)) WriteAttributes(folder.Path, folder.Attr);
    }
    FExtractedFolders.clear();
}

void TCVBaseArchiver::TestItem(int32_t ItemNo, const std::u16string& /*FileName*/) {
    if (FDMHandle->CDir.GetItemPtr(ItemNo).CentralDir.externalAttr & platform::faDirectory) return;
    TNullStream sink;
    ExtractItem(ItemNo, sink, 0, 0);
}

void TCVBaseArchiver::DeleteArchiveItem(int32_t ItemNo) {
    TCVDirArray& dir = FDMHandle->CDir;
    if (ItemNo < 0 || ItemNo >= dir.Count()) throw ECVException(neDeleteIndex, this);
    if (!InUpdate()) throw ECVException(neDeleteOutsideUpdate, this);
    dir.DeleteItem(ItemNo);
}

void TCVBaseArchiver::UpdateItem(int32_t ItemNo, const std::u16string& FileName, const std::u16string& DestDir) {
    const TDirItem& entry = FDMHandle->CDir.GetItemPtr(ItemNo);
    if (entry.CentralDir.externalAttr & platform::faDirectory) return;
    // A name that leads out of the base folder has no file inside it: the entry stays as it is, and
    // no file from elsewhere on the disk is pulled into the archive.
    if (LeadsOutside(FileName)) return;
    const std::u16string source = ExpandPath(DestDir, FileName, FCurrentDir);
    if (!IsExistingFile(source)) return;
    if (!FOptions.ReplaceReadOnly() && (entry.CentralDir.externalAttr & platform::faReadOnly)) return;

    bool confirm = true;
    if (FOptions.OverwriteMode() == omPrompt) {
        std::u16string entryName = FileName;
        DoConfirmOverwrite(source, entryName, confirm);
    } else {
        confirm = TimeAllowsReplace(FOptions.OverwriteMode(), FileDosTime(source), ItemDosTime(entry));
    }
    if (!confirm) return;

    TRestore<std::u16string> currentDir(FCurrentDir, ExpandPath(FBaseDir, u"", FCurrentDir));
    MarkItemForUpdate(ItemNo, source);
}

void TCVBaseArchiver::MarkItemForUpdate(int32_t ItemNo, const std::u16string& SourceFileName) {
    TCVDirArray& dir = FDMHandle->CDir;
    if (ItemNo < 0 || ItemNo >= dir.Count()) throw ECVException(neUpdateIndex, this);
    if (!InUpdate()) throw ECVException(neUpdateOutsideUpdate, this);
    InitNewItem(ItemNo, SourceFileName, 0, 0, true);
    dir.GetItemPtr(ItemNo).Operation = poUpdate;
}
