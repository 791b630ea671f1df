// The file-system scan behind AddFiles and MoveFiles: file masks become new directory items, in the
// order of the masks and, below each folder, files first, then each sub-folder followed by what it
// holds. Nothing is compressed here; the commit that ends the update writes the items.
#include <algorithm>
#include <mutex>
#include <utility>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/archiver/CVEngineLock.h"
#include "engine/base/CVExcept.h"
#include "engine/base/CVNativeErrors.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVStrFunc.h"

namespace {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f_;
};

constexpr bool PosixPaths = NativePathStyle == psPosix;

// The attributes a listing of sub-folders asks for: hidden and system folders are scanned too.
constexpr uint32_t FolderListingAttr = platform::faHidden | platform::faSysFile | platform::faDirectory;
// A file listed without any attribute bit is taken when the set asks for all of these.
constexpr uint32_t PlainFileAttr = platform::faArchive | platform::faReadOnly | platform::faHidden |
                                   platform::faSysFile;

bool HasWildcard(const std::u16string& s) { return s.find_first_of(u"*?") != std::u16string::npos; }
bool HasSeparator(const std::u16string& s) { return s.find_first_of(u"\\/") != std::u16string::npos; }
bool StartsWith(const std::u16string& s, std::u16string_view prefix) { return s.rfind(prefix, 0) == 0; }

// Masks may be typed with either separator. On POSIX "/" is the one the file system knows; a mask
// typed desktop-style from "\" means "from the base folder", which "./" says there, while a mask from
// "/" is an absolute path as everywhere on POSIX.
std::u16string NativeMask(std::u16string mask) {
    if (!PosixPaths) return mask;
    if (!mask.empty() && mask[0] == u'\\') {
        const size_t rest = std::min(mask.find_first_not_of(u"\\/"), mask.size());
        mask = u"./" + mask.substr(rest);
    }
    std::replace(mask.begin(), mask.end(), u'\\', u'/');
    return mask;
}

// How the platform compares paths: exactly on POSIX, the letters A to Z folded on the desktop system.
bool SamePath(const std::u16string& a, const std::u16string& b) {
    if (PosixPaths) return a == b;
    return LowerCaseAscii(a) == LowerCaseAscii(b);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Public operations

// The scan runs in an update that commits at its end. One the user aborted leaves the archive as it
// was, as an aborted commit does; the operation still returns normally, and the failure handler has
// heard of the abort.
void TCVBaseArchiver::ScanInUpdate(const TCVStringList& Masks, int32_t SearchAttr, bool Move,
                                   const TCVStringList& Exclusions) {
    BeginUpdate();
    try {
        ScanFileMasks(Masks, SearchAttr, FOptions.Recurse(), Move, Exclusions);
        if (FScanAborted)
            CancelUpdate();
        else
            EndUpdate();
    } catch (...) {
        CancelUpdate();
        throw;
    }
}

void TCVBaseArchiver::AddFiles() {
    CheckActive();
    CheckModifiable();
    ScanInUpdate(FFileMasks, FOptions.SearchAttr(), false, FExclusionMasks);
}

void TCVBaseArchiver::AddFiles(const std::u16string& FileMask, int32_t SearchAttr,
                               const std::u16string& ExclusionMask) {
    CheckActive();
    CheckModifiable();
    TCVStringList exclusions;
    if (!ExclusionMask.empty()) exclusions.push_back(ExclusionMask);
    ScanInUpdate({FileMask}, SearchAttr, false, exclusions);
}

void TCVBaseArchiver::MoveFiles() {
    CheckActive();
    CheckModifiable();
    ScanInUpdate(FFileMasks, FOptions.SearchAttr(), true, FExclusionMasks);
}

void TCVBaseArchiver::MoveFiles(const std::u16string& FileMask, int32_t SearchAttr,
                                const std::u16string& ExclusionMask) {
    CheckActive();
    // As in every other adding form: without it a multi-volume archive was rewritten outside an
    // update, and the moved sources deleted.
    CheckModifiable();
    TCVStringList exclusions;
    if (!ExclusionMask.empty()) exclusions.push_back(ExclusionMask);
    ScanInUpdate({FileMask}, SearchAttr, true, exclusions);
}

// ---------------------------------------------------------------------------------------------------
// The scan

void TCVBaseArchiver::ScanFileMasks(const TCVStringList& Masks, int32_t SearchAttr, bool Recurse, bool Move,
                                    const TCVStringList& Exclusions) {
    std::lock_guard<std::recursive_mutex> lock(EngineLock());

    // The archive's own file is left out wherever the scan meets it, by path and by identity (a
    // base folder reached through a link names it differently). Moving it into itself would even
    // delete it once the commit is done.
    TCVStringList ownFiles;
    std::vector<platform::FolderId> ownIds;
    auto addOwnFile = [&](const std::u16string& path) {
        if (path.empty()) return;
        const std::u16string full = ExpandPath(u"", path, FCurrentDir);
        ownFiles.push_back(full);
        // The name the archive was opened by counts too, whatever FCurrentDir says.
        for (const std::u16string& name : {path, full}) {
            platform::FolderId id;
            if (platform::GetFolderId(name, id)) ownIds.push_back(id);
        }
    };
    addOwnFile(FFileName);
    if (VolumeFileName != FFileName) addOwnFile(VolumeFileName);

    // A handler may start another scan of this component, or change its mask lists: each scan keeps
    // its own copies and gives the previous state back however it ends.
    const TCVStringList masks = Masks;
    const std::u16string savedCurrentDir = FCurrentDir;
    const int32_t savedSearchAttr = FScanSearchAttr;
    const bool savedMove = FScanMove;
    TCVStringList savedExclusions = std::move(FScanExclusions);
    TCVStringList savedOwnFiles = std::move(FScanOwnFiles);
    std::vector<platform::FolderId> savedOwnIds = std::move(FScanOwnIds);
    std::vector<platform::FolderId> savedFolderPath = std::move(FScanFolderPath);
    ScopeExit restore([&] {
        FCurrentDir = savedCurrentDir;
        FScanSearchAttr = savedSearchAttr;
        FScanMove = savedMove;
        FScanExclusions = std::move(savedExclusions);
        FScanOwnFiles = std::move(savedOwnFiles);
        FScanOwnIds = std::move(savedOwnIds);
        FScanFolderPath = std::move(savedFolderPath);
    });

    FScanSearchAttr = SearchAttr;
    FScanMove = Move;
    FScanExclusions = Exclusions;
    FScanOwnFiles = std::move(ownFiles);
    FScanOwnIds = std::move(ownIds);
    FScanFolderPath.clear();
    FScanAborted = false;

    const std::u16string base = ExpandPath(FBaseDir, u"", FCurrentDir);
    FCurrentDir = base;
    const std::u16string curDir = base;
    // The base folder heads the path even when a mask starts the listing in a folder below it.
    platform::FolderId baseId;
    if (platform::GetFolderId(base, baseId)) FScanFolderPath.push_back(baseId);
    for (const std::u16string& mask : masks) {
        SearchFolder(base, base, mask, curDir, Recurse);
        if (FScanAborted) break;
    }
}

TCVAction TCVBaseArchiver::ScanFailure(const std::u16string& FileName, const ECVException& Error) {
    TCVAction action = fxaIgnore;
    DoProcessFileFailure(FileName, FScanMove ? poMove : poAdd, Error.NativeError(), Error.ErrorCode(),
                         Error.Message(), action);
    if (action == fxaAbort) FScanAborted = true;
    return action;
}

// A folder that cannot be listed would otherwise come out empty, or not at all, with nobody told.
bool TCVBaseArchiver::ScanFolderReadable(const std::u16string& Folder) {
    while (true) {
        const int error = platform::FolderListError(Folder);
        if (error == 0) return true;
        // Gone meanwhile: there is nothing to pack, and nothing to miss.
        if (!IsExistingFolder(Folder)) return false;
        const std::u16string name = IncludePathDelimiter(Folder);
        if (ScanFailure(name, ECVException(neCannotOpenSource, {name}, this, platform::SystemReason(error))) != fxaRetry)
            return false;
    }
}

bool TCVBaseArchiver::ScanNameAllowed(const std::u16string& FullName, const std::u16string& BaseDir) {
    if (FNameTarget != psWindows) return true;
    while (true) {
        const std::u16string stored = MakeStoredName(FullName, BaseDir, FOptions.StorePath(), FCurrentDir);
        const std::u16string problem = NameProblemOnWindows(stored);
        if (problem.empty()) return true;
        // Renamed or removed meanwhile (the user may have mended it before a retry).
        if (!IsExistingFile(FullName) && !IsExistingFolder(FullName)) return false;
        if (ScanFailure(FullName, ECVException(neCannotCreateFile, {stored}, this, problem)) != fxaRetry)
            return false;
    }
}

void TCVBaseArchiver::ResolveMaskPath(const std::u16string& Mask, const std::u16string& Dir,
                                      std::u16string& FullMask, bool& IsRelative) {
    FullMask.clear();
    IsRelative = false;
    const std::u16string mask = NativeMask(Mask);
    if (mask.empty()) return;
    const std::u16string folder = ExpandPath(Dir, u"", FCurrentDir);

    if (PosixPaths) {
        if (mask[0] == u'/' || mask.find(u"../") != std::u16string::npos) {
            FullMask = mask;
        } else if (StartsWith(mask, u"./")) {
            FullMask = IncludePathDelimiter(folder) + mask.substr(2);
        } else {
            IsRelative = true;
            FullMask = IncludePathDelimiter(folder) + mask;
        }
        return;
    }

    const auto isSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (isSeparator(mask[0])) {
        // Taken from the folder, not from the drive's root; "\\server\share" is a network path.
        if (mask.size() == 1)
            FullMask = folder;
        else if (isSeparator(mask[1]))
            FullMask = mask;
        else
            FullMask = IncludePathDelimiter(folder) + mask.substr(1);
    } else if (StartsWith(mask, u".\\")) {
        FullMask = IncludePathDelimiter(folder) + mask.substr(2);
    } else if (mask.find(u':') != std::u16string::npos || mask.find(u"..\\") != std::u16string::npos ||
               mask.find(u"../") != std::u16string::npos) {
        FullMask = mask;
    } else {
        IsRelative = true;
        FullMask = IncludePathDelimiter(folder) + mask;
    }
}

void TCVBaseArchiver::SearchFolder(const std::u16string& StartDir, const std::u16string& BaseDir,
                                   std::u16string Mask, const std::u16string& CurDir, bool Recurse) {
    Mask = NativeMask(std::move(Mask));
    std::u16string pattern;
    bool maskIsRelative = false;
    ResolveMaskPath(Mask, StartDir, pattern, maskIsRelative);
    if (pattern.empty()) return;

    // A path without wildcards, taken as written, names one file or folder: nothing below it.
    if (pattern == Mask && !HasWildcard(Mask)) {
        platform::SearchRec rec;
        if (FindFirstEntry(pattern, static_cast<uint32_t>(FScanSearchAttr), rec) == 0) {
            // The listing matches names ignoring case; on a file system that tells cases apart the
            // name as written wins over a namesake in other case.
            if (PosixPaths) {
                const platform::SearchRec first = rec;
                const std::u16string wanted = FileNamePart(pattern);
                while (rec.Name != wanted && FindNextEntry(rec) == 0) {
                }
                if (rec.Name != wanted) rec = first;
            }
            CloseFind(rec);
            ProcessFoundEntry(rec, FolderPart(pattern), BaseDir, CurDir);
        }
        CloseFind(rec);
        return;
    }

    if (!ScanFolderReadable(FolderPart(pattern))) return;

    // Files of this folder.
    const uint32_t fileAttr = static_cast<uint32_t>(FScanSearchAttr) & ~platform::faDirectory;
    {
        platform::SearchRec rec;
        ScopeExit close([&] { CloseFind(rec); });
        for (int rc = FindFirstEntry(pattern, fileAttr, rec); rc == 0; rc = FindNextEntry(rec)) {
            if ((rec.Attr & fileAttr) != 0 || (rec.Attr == 0 && (fileAttr & PlainFileAttr) == PlainFileAttr))
                ProcessFoundEntry(rec, FolderPart(pattern), BaseDir, CurDir);
            if (FScanAborted) return;
        }
    }

    // Its sub-folders.
    if ((FScanSearchAttr & platform::faDirectory) == 0 && !Recurse) return;
    std::u16string dir = FolderPart(pattern);
    if (maskIsRelative && ExpandPath(dir, u"", CurDir).find(StartDir) == std::u16string::npos)
        dir = IncludePathDelimiter(StartDir);

    bool onPath = false;
    platform::FolderId dirId;
    if (platform::GetFolderId(dir, dirId)) {
        FScanFolderPath.push_back(dirId);
        onPath = true;
    }
    ScopeExit leave([&] {
        if (onPath) FScanFolderPath.pop_back();
    });

    platform::SearchRec rec;
    ScopeExit close([&] { CloseFind(rec); });
    for (int rc = FindFirstEntry(dir + u"*", FolderListingAttr, rec); rc == 0; rc = FindNextEntry(rec)) {
        if ((rec.Attr & platform::faDirectory) == 0 || rec.Name == u"." || rec.Name == u"..") continue;
        const std::u16string folder = dir + rec.Name;

        if (std::any_of(FScanExclusions.begin(), FScanExclusions.end(),
                        [&](const std::u16string& m) { return MatchesFileMask(folder, m, true); }))
            continue;
        // A link back to a folder on the way down would be entered again and again, without end.
        platform::FolderId id;
        if (platform::GetFolderId(folder, id) &&
            std::find(FScanFolderPath.begin(), FScanFolderPath.end(), id) != FScanFolderPath.end())
            continue;

        if ((FScanSearchAttr & platform::faDirectory) != 0 &&
            (IsWildcardMatching(folder, pattern, true) || IsWildcardMatching(folder + u".", pattern, true))) {
            // A folder that cannot be listed is left out whole, its own entry too: an empty entry
            // would pass for the folder's contents.
            if (ScanFolderReadable(folder) && ProcessFoundEntry(rec, dir, BaseDir, CurDir)) {
                Mask = FileNamePart(Mask);
                SearchFolder(folder, BaseDir, Mask, CurDir, true);
            }
            if (FScanAborted) return;
            continue;
        }
        if (!Recurse) continue;
        if (HasSeparator(Mask)) {
            if (HasWildcard(Mask)) SearchFolder(folder, BaseDir, FileNamePart(pattern), CurDir, true);
        } else {
            SearchFolder(folder, BaseDir, Mask, CurDir, true);
        }
        if (FScanAborted) return;
    }
}

bool TCVBaseArchiver::ProcessFoundEntry(const platform::SearchRec& Entry, const std::u16string& Dir,
                                        const std::u16string& BaseDir, const std::u16string& CurDir) {
    // The listing leaves special files out already; a single named entry must not slip through either.
    if (IsSpecialFileAttr(static_cast<int32_t>(Entry.Attr))) return false;

    const bool isDir = (Entry.Attr & platform::faDirectory) != 0;
    const std::u16string folder = ExpandPath(Dir, u"", CurDir);
    const std::u16string fullName =
        DelimitedFolder(folder, CurDir) + (isDir ? DelimitedFolder(Entry.Name, CurDir) : Entry.Name);

    if (!isDir) {
        if (std::any_of(FScanOwnFiles.begin(), FScanOwnFiles.end(),
                        [&](const std::u16string& own) { return SamePath(fullName, own); }))
            return false;
        platform::FolderId id;
        if (!FScanOwnIds.empty() && platform::GetFolderId(fullName, id) &&
            std::find(FScanOwnIds.begin(), FScanOwnIds.end(), id) != FScanOwnIds.end())
            return false;
    }
    if (std::any_of(FScanExclusions.begin(), FScanExclusions.end(),
                    [&](const std::u16string& m) { return MatchesFileMask(fullName, m, isDir); }))
        return false;
    if (!ScanNameAllowed(fullName, BaseDir)) return false;

    AddFoundFile(fullName, BaseDir, Entry);
    return true;
}

void TCVBaseArchiver::AddFoundFile(const std::u16string& FullName, const std::u16string& BaseDir,
                                   const platform::SearchRec& Entry) {
    const TCVProcessOperation operation = FScanMove ? poMove : poAdd;
    bool confirm = true;
    DoConfirmProcessFile(FullName, operation, confirm);
    if (!confirm) return;

    const int32_t index = AddNewItem(FullName, BaseDir, 0, 0, true);
    if (index == -1) return;

    TDirItem& item = FDMHandle->CDir.GetItemPtr(index);
    if (FScanMove) item.Operation = poMove;

    const bool isDir = (Entry.Attr & platform::faDirectory) != 0;
    const TCVStringList noCompression = FNoCompressionMasks;
    if (std::any_of(noCompression.begin(), noCompression.end(),
                    [&](const std::u16string& m) { return MatchesFileMask(FullName, m, isDir); })) {
        item.CompressionMode = 0;
        item.CompressionMethod = CVMethodStored;
        item.CentralDir.compMethod = CVMethodStored;
    }

    if (Entry.Size >= static_cast<int64_t>(CVSentinel32) || FZip64Mode == zmAlways) {
        item.bHugeFile = true;
        item.CentralDir.unCompSize = CVSentinel32;
        item.Zip64ExtInfo.uncompSize = Entry.Size;
    } else {
        item.CentralDir.unCompSize = static_cast<uint32_t>(Entry.Size);
    }
}

bool TCVBaseArchiver::MatchesFileMask(const std::u16string& FileName, std::u16string Mask, bool IsDir) {
    if (Mask == u"*.*") return true;
    Mask = NativeMask(std::move(Mask));
    const bool maskHasFolder = HasSeparator(Mask);

    std::u16string name = FileName;
    if (IsDir) {
        name = DelimitedFolder(FileName, FCurrentDir);
        if (!Mask.empty() && Mask.back() != u'*') Mask = DelimitedFolder(Mask, FCurrentDir);
    }

    std::u16string fullMask;
    bool isRelative = false;
    if (!PosixPaths && Mask.find(u':') != std::u16string::npos)
        fullMask = Mask;
    else
        ResolveMaskPath(Mask, FCurrentDir, fullMask, isRelative);
    if (fullMask.empty()) return false;

    if (!isRelative) {
        // An absolute mask names its folder exactly; "*.*" behind it takes everything below it too.
        const std::u16string nameFolder = LowerCaseAscii(FolderPart(name));
        const std::u16string maskFolder = LowerCaseAscii(FolderPart(fullMask));
        if (nameFolder == maskFolder) return IsWildcardMatching(name, fullMask, true);
        if (FileNamePart(fullMask) == u"*.*") return StartsWith(nameFolder, maskFolder);
        return false;
    }

    // A relative mask with a folder part is taken from the current folder as a whole path.
    if (maskHasFolder) return IsWildcardMatching(name, fullMask, true);

    // One without is compared with the entry's own name. For a folder the mask got a separator at its
    // end above, so 'temp' names files only, while 'temp*' names folders as well.
    std::u16string entryName = FileNamePart(name);
    if (entryName.empty()) entryName = FileNamePart(ExcludePathDelimiter(name));
    return IsWildcardMatching(entryName, FileNamePart(fullMask), true);
}
