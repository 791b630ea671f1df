// Shared by the writer and commit tests: directory items made directly (as the adding unit makes
// them), archives in scratch folders, a small reader of the records an archive holds, and sources
// that misbehave on purpose.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVCoding.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/DirectoryLooks.h"
#include "support/TestSupport.h"

namespace wrt_tests {

using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::U16;
using testing_support::U8;
using testing_support::WriteBytes;

// Runs a shell command (a plain name: tests cannot call their own Run).
inline int Shell(const std::string& command, std::string* output = nullptr) {
    return testing_support::Run(command, output);
}

// A file item as the adding unit leaves it for the commit.
inline TDirItem FileItem(const std::string& name, const std::u16string& source, uint8_t mode = 9) {
    TDirItem item;
    item.Name = U16(name);
    item.SrcFileName = source;
    item.Modified = true;
    item.Operation = poAdd;
    item.CompressionMode = mode;
    item.CompressionMethod = mode == 0 ? CVMethodStored : CVMethodDeflated;
    TCVZipCentralDir& cd = item.CentralDir;
    cd.signature = CVCentralDirSignature;
    cd.compMethod = item.CompressionMethod;
    cd.versionMadeBy = cd.extractVersion = CVVersionOEM;
    cd.lastModTime = 0x6000;   // 12:00:00
    cd.lastModDate = 0x5A21;   // 2025-01-01
    cd.crc32 = 0xFFFFFFFF;
    const int32_t attr = platform::ReadAttributes(source);
    cd.externalAttr = attr == -1 ? 0x20 : static_cast<uint32_t>(attr);
    return item;
}

inline TDirItem FolderItem(const std::string& name) {
    TDirItem item = FileItem(name, u"", 0);
    item.CentralDir.externalAttr = 0x10;
    item.CentralDir.genPurposeFlag = CVFlagFolderEntry;
    item.CentralDir.crc32 = 0;
    return item;
}

inline TDirItem StreamItem(const std::string& name, std::shared_ptr<platform::Stream> stream, uint8_t mode = 6) {
    TDirItem item = FileItem(name, u"", mode);
    item.CentralDir.externalAttr = 0x20;
    item.Stream = std::move(stream);
    item.bDestroyStream = true;
    return item;
}

inline void Append(TCorvane& arc, const TDirItem& item) {
    TCVDirArray& dir = arc.DMHandle()->CDir;
    const int32_t n = dir.Count();
    dir.SetCount(n + 1);
    dir.SetItem(n, item);
}

inline std::vector<std::string> Names(TCorvane& arc) { return testing_support::NamesOf(arc.DMHandle()->CDir); }

// An archiver named as in both programs, with its temporary files in a folder of the test's own.
struct Fixture {
    ScratchDir scratch;
    TCorvane arc;
    std::string archive;

    explicit Fixture(const std::string& name = "test.zip") : archive(scratch / name) {
        std::filesystem::create_directories(scratch / "temp");
        std::filesystem::create_directories(scratch / "src");
        arc.SetName(u"Archiver");
        arc.SetFileName(U16(archive));
        arc.SetTempDir(scratch.P16("temp"));
    }
    std::u16string Source(const std::string& name, const std::string& bytes) {
        WriteBytes(scratch / ("src/" + name), bytes);
        return scratch.P16("src/" + name);
    }
    // Files left in the temporary folder.
    size_t TempFiles() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(scratch / "temp")) ++n;
        return n;
    }
    // Python's zipfile test of the whole archive plus Info-ZIP's.
    void ExpectValid() {
        std::string out;
        EXPECT_EQ(Shell("unzip -tqq " + Quote(archive), &out), 0) << out;
        EXPECT_TRUE(testing_support::ZipfileTestsClean(archive, &out)) << out;
    }
};

// The records of an archive as they lie in its bytes: each central header with the local header it
// points at.
struct Entry {
    TCVZipCentralDir central;
    std::string name;
    TCVZipLocalHeader local;
    std::string localName;
    std::string localExtra;
    int64_t offset = 0;       // of the local header
    int64_t dataOffset = 0;   // of the data
};

inline std::vector<Entry> ReadEntries(const std::string& bytes) {
    std::vector<Entry> entries;
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_GE(bytes.size(), TCVZipCentralDirEnd::RecordSize);
    if (bytes.size() < TCVZipCentralDirEnd::RecordSize) return entries;
    TCVZipCentralDirEnd end;
    end.Decode(b + bytes.size() - TCVZipCentralDirEnd::RecordSize);
    EXPECT_EQ(end.signature, CVCentralDirEndSignature);
    size_t p = end.offsetStartDir;
    for (int i = 0; i < end.entriesCentralDir; ++i) {
        Entry e;
        e.central.Decode(b + p);
        e.name.assign(bytes, p + 46, e.central.nameLength);
        p += 46 + e.central.nameLength + e.central.extraLength + e.central.commentLength;
        e.offset = e.central.relOffsetLH;
        if (e.central.relOffsetLH == CVSentinel32) {
            // Zip64 central field: the offset follows the sizes that hold their sentinel.
            const size_t extra = p - e.central.extraLength - e.central.commentLength;
            size_t at = extra + 4 + (e.central.unCompSize == CVSentinel32 ? 8 : 0) +
                        (e.central.compSize == CVSentinel32 ? 8 : 0);
            e.offset = static_cast<int64_t>(DecodeFixed64(b + at));
        }
        e.local.Decode(b + e.offset);
        e.localName.assign(bytes, e.offset + 30, e.local.nameLength);
        e.localExtra.assign(bytes, e.offset + 30 + e.local.nameLength, e.local.extraLength);
        e.dataOffset = e.offset + 30 + e.local.nameLength + e.local.extraLength;
        entries.push_back(e);
    }
    return entries;
}

// A stream that reads like a memory stream but reports another size: one that lies about its length
// (claimedSize), or one that grows while it is read, as a log file being written to (growAfterRead,
// added once a read has happened since the last rewind). `honest` makes it behave from then on.
class MisbehavingStream : public platform::MemoryStream {
public:
    explicit MisbehavingStream(const std::string& bytes) {
        Write(bytes.data(), bytes.size());
        SetPosition(0);
    }
    int64_t claimedSize = -1;
    int64_t growAfterRead = 0;
    bool honest = false;

    size_t Read(void* buffer, size_t count) override {
        read_ = true;
        return platform::MemoryStream::Read(buffer, count);
    }
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
        if (origin == platform::SeekOrigin::Begin && offset == 0) read_ = false;
        return platform::MemoryStream::Seek(offset, origin);
    }
    int64_t Size() override {
        const int64_t real = platform::MemoryStream::Size();
        if (honest) return real;
        if (claimedSize >= 0) return claimedSize;
        return read_ ? real + growAfterRead : real;
    }

private:
    bool read_ = false;
};

// An archive stream on a device that fills up: writes beyond `capacity` bytes come up short.
class FullDevice : public platform::MemoryStream {
public:
    int64_t capacity = 0;
    size_t Write(const void* buffer, size_t count) override {
        const int64_t room = capacity - Position();
        if (room <= 0) return 0;
        return platform::MemoryStream::Write(buffer, std::min<size_t>(count, static_cast<size_t>(room)));
    }
};

}  // namespace wrt_tests
