// The archive item search: FindFirst / FindNext over the in-memory directory, the name and attribute
// tests behind them, tagging for the batch operations and resolving one entry by name.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The attribute set both programs search with: it excludes nothing.
constexpr int32_t AllEntriesAttr = 0x28BF;
// Hidden, system, volume label and folder: the bits that exclude an entry the filter lacks.
constexpr uint32_t ExcludingAttrBits = 0x02 | 0x04 | 0x08 | 0x10;
constexpr size_t MaxFindMaskLength = sizeof(TInternalSearchRec::CFindMask) / sizeof(char16_t) - 1;

std::u16string Replaced(std::u16string s, char16_t from, char16_t to) {
    std::replace(s.begin(), s.end(), from, to);
    return s;
}

// A stored name with the disk separator in place of "/".
std::u16string DiskName(const std::u16string& storedName) {
    return Replaced(storedName, u'/', PathDelimiter());
}

// Masks may be typed with either separator where "/" is the disk's own: there "\" means "/" as well.
// Where "\" is the disk's separator the masks are taken as they are.
std::u16string DiskMask(const std::u16string& mask) {
    return NativePathStyle == psPosix ? Replaced(mask, u'\\', u'/') : mask;
}

std::u16string WithoutTrailing(std::u16string s, char16_t a, char16_t b) {
    if (!s.empty() && (s.back() == a || s.back() == b)) s.pop_back();
    return s;
}

bool HasWildcards(const std::u16string& s) { return s.find_first_of(u"*?") != std::u16string::npos; }

// The folder that a mask or an entry lies in, in the form the folder filter compares.
std::u16string FolderKey(const std::u16string& diskPath) { return LowerCaseAscii(FolderPart(diskPath)); }

std::u16string FindMaskOf(const TInternalSearchRec& handle) {
    const char16_t* mask = handle.CFindMask;
    return std::u16string(mask, std::find(mask, mask + std::size(handle.CFindMask), u'\0'));
}

void FillArchiveItem(const TDirItem& item, TCVArchiveItem& F) {
    const std::u16string name = WithoutTrailing(DiskName(item.Name), PathDelimiter(), PathDelimiter());
    F.FileName = FileNamePart(name);
    F.StoredPath = FolderPart(name);
    const TCVZipCentralDir& cd = item.CentralDir;
    F.CompressedSize = ItemCompressedSize(item);
    F.UncompressedSize = ItemUncompressedSize(item);
    if (F.UncompressedSize > 0) {
        F.CompressionRate = (1.0 - static_cast<double>(F.CompressedSize) / static_cast<double>(F.UncompressedSize)) * 100.0;
        if (F.CompressionRate < 0) F.CompressionRate = 0.0;
    } else {
        F.CompressionRate = 100.0;
    }
    F.Encrypted = (cd.genPurposeFlag & CVFlagEncrypted) != 0;
    F.LastModFileDate = cd.lastModDate;
    F.LastModFileTime = cd.lastModTime;
    F.CRC = static_cast<int32_t>(cd.crc32);
    F.ExternalFileAttributes = cd.externalAttr;
    F.Comment = item.Comment;
}

}  // namespace

bool TCVBaseArchiver::FindFirst(TCVArchiveItem& F) {
    CheckActive();
    F.Handle.UseProperties = true;
    F.Handle.FFindAttr = FOptions.SearchAttr();
    F.Handle.ItemNo = 0;
    return InternalFind(F);
}

bool TCVBaseArchiver::FindFirst(const std::u16string& FileMask, TCVArchiveItem& F, int32_t SearchAttr,
                                const std::u16string& ExclusionMask) {
    CheckActive();
    std::u16string mask = FileMask;
    const std::u16string drive = DrivePart(mask);
    if (!drive.empty() && FOptions.StorePath() != spFullPathWithDrive) mask.erase(0, drive.size());
    mask = Replaced(mask, u'\\', u'/');

    TInternalSearchRec& h = F.Handle;
    h.ExclusionMask = ExclusionMask;
    h.UseProperties = false;
    h.FFindAttr = SearchAttr;
    // A mask that does not fit the record, or that a terminating zero would cut short, is refused
    // rather than shortened: a shortened mask would find entries that the caller never named. The
    // record is left so that FindNext finds nothing either.
    if (mask.size() > MaxFindMaskLength || mask.find(u'\0') != std::u16string::npos) {
        std::fill(std::begin(h.CFindMask), std::end(h.CFindMask), u'\0');
        h.FWildCards = false;
        h.ItemNo = std::numeric_limits<int32_t>::max();
        return false;
    }
    std::copy(mask.begin(), mask.end(), h.CFindMask);
    h.CFindMask[mask.size()] = u'\0';
    h.FWildCards = HasWildcards(mask);
    h.ItemNo = 0;
    return InternalFind(F);
}

bool TCVBaseArchiver::FindNext(TCVArchiveItem& F) {
    CheckActive();
    if (F.Handle.ItemNo == std::numeric_limits<int32_t>::max()) return false;
    ++F.Handle.ItemNo;
    return InternalFind(F);
}

bool TCVBaseArchiver::InternalFind(TCVArchiveItem& F) {
    TCVDirArray& dir = FDMHandle->CDir;
    const bool recurse = FOptions.Recurse();
    const std::u16string findMask = FindMaskOf(F.Handle);
    int32_t hit = -1;

    // A search by the component's lists always scans: the lists hold masks, and without recursion
    // each mask reaches only its own folder (IsItemMatching).
    if (F.Handle.FWildCards || recurse || F.Handle.UseProperties) {
        const bool folderFilter = !recurse && !F.Handle.UseProperties;
        const std::u16string maskFolder = folderFilter ? FolderKey(DiskName(findMask)) : std::u16string();
        for (int32_t i = std::max(F.Handle.ItemNo, 0); i < dir.Count(); ++i) {
            const TDirItem& item = dir.GetItemPtr(i);
            // Without recursion a mask reaches only the entries directly in its own folder.
            if (folderFilter && FolderKey(DiskName(WithoutTrailing(item.Name, u'/', u'/'))) != maskFolder) continue;
            if (!IsItemMatching(i, F)) continue;
            if (IsAttrMatching(item.CentralDir.externalAttr, F.Handle.FFindAttr)) {
                hit = i;
                break;
            }
        }
    } else {
        // One exact name: a lookup in the name index instead of a scan. Neither the exclusion mask nor
        // the attribute filter applies here.
        int32_t index = -1;
        if (dir.FileExists(findMask, index) && index >= F.Handle.ItemNo) hit = index;
    }

    if (hit < 0) return false;
    F.Handle.ItemNo = hit;
    FillArchiveItem(dir.GetItemPtr(hit), F);
    return true;
}

bool TCVBaseArchiver::IsItemMatching(int32_t ItemNo, const TCVArchiveItem& F) {
    const TDirItem& item = FDMHandle->CDir.GetItemPtr(ItemNo);
    if (F.Handle.UseProperties) {
        const std::u16string name = DiskName(item.Name);
        const bool ownFolderOnly = !FOptions.Recurse();
        const std::u16string itemFolder =
            ownFolderOnly ? FolderKey(WithoutTrailing(name, PathDelimiter(), PathDelimiter())) : std::u16string();
        bool result = false;
        for (const std::u16string& fileMask : FFileMasks) {
            const std::u16string mask = DiskMask(fileMask);
            if (ownFolderOnly && FolderKey(mask) != itemFolder) continue;
            if (!IsNameMatching(name, mask)) continue;
            result = true;
            for (const std::u16string& exclusion : FExclusionMasks)
                if (IsNameMatching(name, DiskMask(exclusion))) return false;
        }
        return result;
    }

    const std::u16string name = WithoutTrailing(item.Name, u'\\', u'/');
    const std::u16string mask = FindMaskOf(F.Handle);
    const bool passes = IsNameMatching(name, mask) || IsNameMatching(FileNamePart(DiskName(name)), mask);
    return passes && !IsNameMatching(name, DiskMask(F.Handle.ExclusionMask));
}

bool TCVBaseArchiver::IsNameMatching(const std::u16string& Name, const std::u16string& Mask) {
    if (Mask.empty()) return false;
    const bool dotMask = Mask.back() == u'.';
    std::u16string mask = Mask;
    const size_t star = mask.find(u"*.*");
    if (star != std::u16string::npos) mask.replace(star, 3, u"*");
    if (dotMask && !mask.empty()) mask.pop_back();
    std::u16string name = Name;
    if (!name.empty() && name.back() == u'.') name.pop_back();
    if (!IsWildcardMatching(name, mask, true)) return false;
    // "*." selects the entries without an extension.
    if (dotMask) {
        const std::u16string extension = ExtensionPart(Name);
        return extension.empty() || extension == u".";
    }
    return true;
}

bool TCVBaseArchiver::IsAttrMatching(uint32_t Attr, int32_t FindAttr) {
    return (Attr & ~static_cast<uint32_t>(FindAttr) & ExcludingAttrBits) == 0;
}

void TCVBaseArchiver::TagFiles() {
    TCVDirArray& dir = FDMHandle->CDir;
    dir.ClearTags();
    TCVArchiveItem F;
    for (bool found = FindFirst(F); found; found = FindNext(F)) dir.GetItemPtr(F.Handle.ItemNo).Tagged = true;
}

void TCVBaseArchiver::TagFiles(const std::u16string& FileMask, int32_t SearchAttr,
                               const std::u16string& ExclusionMask) {
    TCVDirArray& dir = FDMHandle->CDir;
    dir.ClearTags();
    TCVArchiveItem F;
    for (bool found = FindFirst(FileMask, F, SearchAttr, ExclusionMask); found; found = FindNext(F))
        dir.GetItemPtr(F.Handle.ItemNo).Tagged = true;
}

bool TCVBaseArchiver::FindItemIndex(const std::u16string& FileName, int32_t& ItemNo) {
    if (FDMHandle->CDir.FileExists(FileName, ItemNo)) return true;
    TCVArchiveItem F;
    const bool found = FindFirst(FileName, F, AllEntriesAttr, u"");
    ItemNo = F.Handle.ItemNo;
    return found;
}
