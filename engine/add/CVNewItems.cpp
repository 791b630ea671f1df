// New directory items: what a file, a folder or a block of memory becomes in the directory before the
// commit writes it, and what happens when its name is already there.
#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVStrFunc.h"

namespace {

// Pieces in which a caller's stream is copied, so that a huge Count never sizes one allocation.
constexpr size_t CopyPieceSize = 10000;

// File type bits of the Unix mode the platform keeps in the high 16 bits of the attributes.
constexpr uint32_t UnixTypeMask = 0170000;
constexpr uint32_t UnixRegularFile = 0100000;
constexpr uint32_t UnixFolder = 0040000;

uint32_t NowDosTime() { return static_cast<uint32_t>(DateTimeToDosTime(CurrentDateTime())); }

// Entries from memory carry a calendar time; 0 stands for "now".
uint32_t DosTimeOf(std::time_t DateTime) {
    return DateTime == 0 ? NowDosTime() : static_cast<uint32_t>(DateTimeToDosTime(DateTime));
}

// A file's last-write time; a folder (and a file that has gone) is stamped with the present.
uint32_t SourceDosTime(const std::u16string& FileName) {
    const int32_t time = FileDosTime(FileName);
    return time == -1 ? NowDosTime() : static_cast<uint32_t>(time);
}

// The same time as seconds since 1970 UTC, for the extended timestamp: a folder's own time here,
// since its folder is restored with it after its contents.
std::time_t SourceTime(const std::u16string& FileName) {
    std::time_t t = 0;
    return platform::FileTime(FileName, t) ? t : std::time(nullptr);
}

std::time_t CalendarTimeOf(std::time_t DateTime) { return DateTime == 0 ? std::time(nullptr) : DateTime; }

// Every new item carries its time in UTC besides the MS-DOS fields, so that it comes back the same
// in any time zone and outside the MS-DOS years.
void SetExtendedTime(TDirItem& Item, std::time_t Modified) {
    std::erase_if(Item.ExtraFields,
                  [](const TCVExtraFieldDataBlock& f) { return f.headerID == CVExtendedTimeExtraID; });
    if (std::optional<TCVExtraFieldDataBlock> field = MakeExtendedTimeField(Modified))
        Item.ExtraFields.push_back(std::move(*field));
}

// A source that has gone (or cannot be examined) is recorded as a plain file; the writer reports it.
int32_t SourceAttributes(const std::u16string& FileName) {
    if (!IsExistingFile(FileName) && !IsExistingFolder(FileName)) return static_cast<int32_t>(platform::faArchive);
    const int32_t attr = ReadAttributes(FileName);
    return attr == -1 ? static_cast<int32_t>(platform::faArchive) : attr;
}

// The stored name of an entry from memory: "/" separators, no separator in front (an absolute entry
// name would make readers write outside their target folder) and, for a folder, one at the end.
std::u16string MemoryItemName(const std::u16string& FileName, bool IsDir) {
    std::u16string name = ExcludePathDelimiter(FileName);
    std::replace(name.begin(), name.end(), u'\\', u'/');
    if (!name.empty() && name.back() == u'/') name.pop_back();
    name.erase(0, std::min(name.find_first_not_of(u'/'), name.size()));
    if (IsDir && !name.empty()) name += u'/';
    return name;
}

// What a host's OnStoreFile may leave behind: a leading separator is dropped for the same reason.
std::u16string CleanStoredName(std::u16string name) {
    name.erase(0, std::min(name.find_first_not_of(u'/'), name.size()));
    return name;
}

// The central-header part and the source of an item that is (re)made for a new source. Everything
// the previous life of the item left (its old sizes, offsets, 64-bit values, its old stream) goes, so
// that a re-targeted entry is written from its new source alone.
void FillNewItem(const TCVBaseArchiver& Arc, TDirItem& Item, const std::u16string& SrcFileName, bool IsDir,
                 uint32_t DosTime, uint32_t Attr) {
    const bool oemNames = Arc.Options().OEMFileNames();
    const uint8_t mode = IsDir ? 0 : Arc.CompressionMode();

    Item.Modified = true;
    Item.Password = Arc.Password();
    Item.SrcFileName = SrcFileName;
    Item.CompressionMode = mode;
    Item.Stream.reset();
    Item.bDestroyStream = false;
    Item.Position = 0;
    Item.bHugeFile = false;
    Item.Zip64ExtInfo = TCVZip64ExtendedInfo{};

    TCVZipCentralDir& header = Item.CentralDir;
    header = TCVZipCentralDir{};
    header.compMethod = mode != 0 ? CVMethodDeflated : CVMethodStored;
    Item.CompressionMethod = header.compMethod;
    header.signature = CVCentralDirSignature;
    header.versionMadeBy = MadeByVersion(oemNames, false);
    header.extractVersion = ExtractVersion(oemNames, false);
    header.genPurposeFlag = Item.Password.empty() ? 0 : CVFlagEncrypted;
    header.lastModTime = static_cast<uint16_t>(DosTime & 0xFFFF);
    header.lastModDate = static_cast<uint16_t>(DosTime >> 16);
    header.crc32 = CVSentinel32;   // placeholder until the writer has read the data
    header.externalAttr = Attr;
    if (IsDir) {
        header.crc32 = 0;
        header.genPurposeFlag = CVFlagFolderEntry;
    }
}

void SetUncompressedSize(TDirItem& Item, int64_t Size, TZip64Mode Zip64Mode) {
    if (Size >= static_cast<int64_t>(CVSentinel32) || Zip64Mode == zmAlways) {
        Item.bHugeFile = true;
        Item.CentralDir.unCompSize = CVSentinel32;
        Item.Zip64ExtInfo.uncompSize = Size;
    } else {
        Item.CentralDir.unCompSize = static_cast<uint32_t>(Size);
    }
}

// The caller's bytes from Position on (all of them from the first byte when Count is 0), copied in
// pieces; the caller's position is restored whatever happens.
std::shared_ptr<platform::Stream> CopyStreamRange(platform::Stream& Source, int64_t Position, int64_t Count) {
    if (Position < 0 || Count < 0)
        throw platform::StreamError(u"Invalid stream range: position and count must not be negative");
    const int64_t saved = Source.Position();
    auto copy = std::make_shared<platform::MemoryStream>();
    try {
        int64_t left = Count;
        if (Count == 0) {
            Source.SetPosition(0);
            left = Source.Size();
        } else {
            Source.SetPosition(Position);
        }
        std::vector<uint8_t> piece(static_cast<size_t>(std::min<int64_t>(left, CopyPieceSize)));
        while (left > 0) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(left, CopyPieceSize));
            Source.ReadBuffer(piece.data(), n);   // a stream shorter than promised fails here
            copy->WriteBuffer(piece.data(), n);
            left -= static_cast<int64_t>(n);
        }
    } catch (...) {
        Source.SetPosition(saved);
        throw;
    }
    Source.SetPosition(saved);
    copy->SetPosition(0);
    return copy;
}

// A stream the item only refers to: the caller keeps owning it.
std::shared_ptr<platform::Stream> BorrowedStream(platform::Stream* Stream) {
    return std::shared_ptr<platform::Stream>(Stream, [](platform::Stream*) {});
}

}  // namespace

bool TCVBaseArchiver::IsSpecialFileAttr(int32_t Attr) {
    if (CVNativeHostSystem != hsPosix || Attr == -1) return false;
    const uint32_t type = (static_cast<uint32_t>(Attr) >> 16) & UnixTypeMask;
    return type != 0 && type != UnixRegularFile && type != UnixFolder;
}

int32_t TCVBaseArchiver::AddNewItem(const std::u16string& FileName, const std::u16string& BaseDir,
                                    std::time_t DateTime, int32_t Attr, bool FromFile) {
    CheckActive();
    TCVDirArray& dir = FDMHandle->CDir;

    std::u16string name;
    int32_t attributes = Attr;
    bool isDir = (static_cast<uint32_t>(Attr) & platform::faDirectory) != 0;
    if (FromFile) {
        isDir = IsExistingFolder(FileName);
        name = MakeStoredName(FileName, BaseDir, FOptions.StorePath(), FCurrentDir);
        if (isDir && !name.empty() && name.back() != u'/') name += u'/';
        attributes = SourceAttributes(FileName);
        if (IsSpecialFileAttr(attributes)) return -1;
    } else {
        name = MemoryItemName(FileName, isDir);
    }

    std::string comment;
    DoStoreFile(name, attributes, comment, FileName);
    name = CleanStoredName(std::move(name));
    // An entry without a name could be neither found nor extracted.
    if (name.empty()) return -1;
    // commentLength is 16 bits wide.
    if (comment.size() > 0xFFFF) comment.resize(0xFFFF);

    int32_t index = -1;
    int32_t itemNo = -1;
    if (dir.FileExists(name, itemNo)) {
        bool confirm = false;
        switch (FOptions.OverwriteMode()) {
        case omPrompt: {
            confirm = true;
            std::u16string dest = name;
            DoConfirmOverwrite(FileName, dest, confirm);
            // A handler that answers with another name asks for the entry to go there, not for the old
            // entry to be replaced and renamed (which would lose it).
            if (confirm && LowerCaseAscii(dest) != LowerCaseAscii(name)) {
                name = CleanStoredName(std::move(dest));
                if (name.empty()) return -1;
                if (!dir.FileExists(name, itemNo)) itemNo = -1;
            }
            break;
        }
        case omAlways:
            confirm = true;
            break;
        case omIfNewer:
        case omIfOlder: {
            const TCVZipCentralDir& old = dir.GetItemPtr(itemNo).CentralDir;
            const auto oldTime = static_cast<int32_t>(static_cast<uint32_t>(old.lastModDate) << 16 | old.lastModTime);
            const int32_t newTime = FromFile ? FileDosTime(FileName) : static_cast<int32_t>(DosTimeOf(DateTime));
            confirm = FOptions.OverwriteMode() == omIfNewer ? newTime > oldTime : newTime < oldTime;
            break;
        }
        default:   // omNever
            confirm = false;
            break;
        }
        if (!confirm) return -1;
        index = itemNo;
    }

    const uint32_t dosTime = FromFile ? SourceDosTime(FileName) : DosTimeOf(DateTime);
    const std::u16string source = FromFile ? FileName : std::u16string();
    if (index >= 0) {
        TDirItem& item = dir.GetItemPtr(index);
        FillNewItem(*this, item, source, isDir, dosTime, static_cast<uint32_t>(attributes));
        item.Operation = poUpdate;
        dir.SetItemName(index, name);
    } else {
        TDirItem item;
        FillNewItem(*this, item, source, isDir, dosTime, static_cast<uint32_t>(attributes));
        item.Operation = poAdd;
        item.Name = name;
        index = dir.Count();
        dir.SetCount(index + 1);
        dir.SetItem(index, item);
    }

    TDirItem& item = dir.GetItemPtr(index);
    item.CentralDir.nameLength = static_cast<uint16_t>(std::min<size_t>(name.size(), 0xFFFF));
    item.CentralDir.externalAttr = static_cast<uint32_t>(attributes);
    item.Comment = std::move(comment);
    item.CentralDir.commentLength = static_cast<uint16_t>(item.Comment.size());
    item.UseOldRijndael = false;
    item.ExtraFields.clear();
    SetExtendedTime(item, FromFile ? SourceTime(FileName) : CalendarTimeOf(DateTime));
    return index;
}

void TCVBaseArchiver::InitNewItem(int32_t Index, const std::u16string& FileName, std::time_t DateTime,
                                  int32_t Attr, bool FromFile) {
    CheckActive();
    TCVDirArray& dir = FDMHandle->CDir;

    std::u16string name;
    bool isDir = false;
    uint32_t dosTime = 0;
    int32_t attributes = Attr;
    if (FromFile) {
        isDir = IsExistingFolder(FileName);
        name = MakeStoredName(FileName, FCurrentDir, FOptions.StorePath(), FCurrentDir);
        if (name.empty()) return;
        if (isDir && name.back() != u'/') name += u'/';
        dosTime = SourceDosTime(FileName);
        attributes = SourceAttributes(FileName);
        if (IsSpecialFileAttr(attributes)) return;
    } else {
        isDir = (static_cast<uint32_t>(Attr) & platform::faDirectory) != 0;
        name = MemoryItemName(FileName, isDir);
        if (name.empty()) return;
        dosTime = DosTimeOf(DateTime);
    }

    TDirItem& item = dir.GetItemPtr(Index);
    FillNewItem(*this, item, FromFile ? FileName : std::u16string(), isDir, dosTime,
                static_cast<uint32_t>(attributes));
    // Blocks of the old entry (a Unicode name, an AES field) would describe data that is not there.
    item.ExtraFields.clear();
    SetExtendedTime(item, FromFile ? SourceTime(FileName) : CalendarTimeOf(DateTime));
    if (item.Name != name) dir.SetItemName(Index, name);
    dir.GetItemPtr(Index).CentralDir.nameLength = static_cast<uint16_t>(std::min<size_t>(name.size(), 0xFFFF));
}

void TCVBaseArchiver::AddStreamItem(const std::u16string& FileName, std::shared_ptr<platform::Stream> Stream,
                                    std::time_t DateTime, int32_t Attr, int64_t Count, int64_t Position,
                                    bool OwnStream, bool CopyToBuffer) {
    CheckActive();
    CheckModifiable();
    if (!Stream) throw platform::StreamError(u"No stream to add \"" + FileName + u"\" from");

    // The copy is taken before the directory changes, so that a stream which cannot deliver leaves no
    // half-made item behind.
    std::shared_ptr<platform::Stream> source = Stream;
    int64_t position = Position;
    bool owned = OwnStream;
    if (CopyToBuffer) {
        source = CopyStreamRange(*Stream, Position, Count);
        position = 0;
        owned = true;
    }

    RunInUpdate([&] {
        const int32_t index = AddNewItem(FileName, u"", DateTime, Attr, false);
        if (index >= 0) {
            TDirItem& item = FDMHandle->CDir.GetItemPtr(index);
            item.CentralDir.externalAttr = static_cast<uint32_t>(Attr);
            const uint32_t dosTime = DosTimeOf(DateTime);
            item.CentralDir.lastModTime = static_cast<uint16_t>(dosTime & 0xFFFF);
            item.CentralDir.lastModDate = static_cast<uint16_t>(dosTime >> 16);
            item.Stream = source;
            item.Position = position;
            item.bDestroyStream = owned;
            SetUncompressedSize(item, source->Size(), FZip64Mode);
        }
    });
}

void TCVBaseArchiver::AddFromStream(const std::u16string& FileName, platform::Stream* Stream, bool CopyToBuffer,
                                    int64_t Position, int64_t Count, int32_t Attr, std::time_t DateTime) {
    AddStreamItem(FileName, Stream ? BorrowedStream(Stream) : nullptr, DateTime, Attr, Count, Position, false,
                  CopyToBuffer);
}

void TCVBaseArchiver::AddFromBuffer(const std::u16string& FileName, const void* Buffer, int32_t Count,
                                    int32_t Attr, std::time_t DateTime) {
    if (Count < 0 || (Count > 0 && !Buffer))
        throw platform::StreamError(u"Invalid buffer for \"" + FileName + u"\"");
    auto stream = std::make_shared<platform::MemoryStream>();
    if (Count > 0) stream->WriteBuffer(Buffer, static_cast<size_t>(Count));
    stream->SetPosition(0);
    AddStreamItem(FileName, stream, DateTime, Attr, Count, 0, true, false);
}

void TCVBaseArchiver::AddFromString(const std::u16string& FileName, const std::string& Text, int32_t Attr,
                                    std::time_t DateTime) {
    auto stream = std::make_shared<platform::StringStream>(Text);
    AddStreamItem(FileName, stream, DateTime, Attr, static_cast<int64_t>(Text.size()), 0, true, false);
}
