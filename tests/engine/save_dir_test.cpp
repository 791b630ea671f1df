// Saving the central directory: the exact tail bytes, append and in-place modes, Zip64 end records,
// names and extra fields as written, and what other tools read from the result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVCoding.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace ts = testing_support;

namespace {

std::string Bytes(platform::MemoryStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

TDirItem Item(const std::u16string& name, uint32_t offset) {
    TDirItem item;
    TCVZipCentralDir& h = item.CentralDir;
    h.signature = CVCentralDirSignature;
    h.versionMadeBy = CVVersionOEM;
    h.extractVersion = CVVersionOEM;
    h.lastModTime = 0x6000;
    h.lastModDate = 0x5A21;
    h.crc32 = 0x12345678;
    h.compSize = 3;
    h.unCompSize = 5;
    h.externalAttr = 0x20;
    h.relOffsetLH = offset;
    item.Name = name;
    return item;
}

void Add(TCVDirManager& dm, const TDirItem& item) {
    const int32_t n = dm.CDir.Count();
    dm.CDir.SetCount(n + 1);
    dm.CDir.SetItem(n, item);
}

TEST(SaveDir, EmptyDirectoryIsExactlyTheEndRecord) {
    platform::MemoryStream stream;
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    dm.SaveDir(true);
    EXPECT_EQ(Bytes(stream), std::string("PK\5\6", 4) + std::string(18, '\0'));
    EXPECT_EQ(stream.Position(), 22);

    dm.ArchiveComment = "note";
    dm.SaveDir(false);   // in place: replaces the record it finds
    EXPECT_EQ(Bytes(stream), std::string("PK\5\6", 4) + std::string(16, '\0') + ts::Le16(4) + "note");
}

TEST(SaveDir, EmptyDirectoryBehindAStubPointsPastIt) {
    ts::ScratchDir scratch;
    const std::string stub(3000, 'S');
    ts::WriteBytes(scratch / "stub.run", stub);
    platform::MemoryStream stream;
    stream.WriteBuffer("old", 3);
    TCVPlainDirHost host;
    host.SFXStub = scratch.P16("stub.run");
    TCVDirManager dm(&stream, &host, true);
    EXPECT_EQ(dm.StubSize, 3000);
    EXPECT_EQ(Bytes(stream), stub);
    dm.SaveDir(true);
    const std::string bytes = Bytes(stream);
    ASSERT_EQ(bytes.size(), 3022u);
    EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(bytes.data()) + 3016), 3000u);
    EXPECT_EQ(dm.CentralDirOffset, 3000);

    TCVDirManager reader(&stream, &host, false);
    reader.LoadDir();
    EXPECT_EQ(reader.StubSize, 3000);
}

TEST(SaveDir, StubLargerThanTheFirstVolumeIsRefused) {
    ts::ScratchDir scratch;
    ts::WriteBytes(scratch / "stub.run", std::string(70000, 'S'));
    platform::MemoryStream stream;
    TCVPlainDirHost host;
    host.SFXStub = scratch.P16("stub.run");
    host.SpanningMode = smSplitting;
    host.FirstVolumeSizeLimit = 65536;
    try {
        TCVDirManager dm(&stream, &host, true);
        FAIL() << "no error";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neStubExceedsVolume);
    }
    host.SpanningMode = smNone;   // without volumes there is no limit
    TCVDirManager dm(&stream, &host, true);
    EXPECT_EQ(dm.StubSize, 70000);
}

TEST(SaveDir, SavedThenLoadedGivesTheSameDirectory) {
    platform::MemoryStream stream;
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    TDirItem plain = Item(u"docs/readme.txt", 0);
    plain.Comment = "entry comment";
    plain.ExtraFields.push_back(MakeExtraField(0x5455, {1, 2, 3, 4, 5}));
    plain.ExtraFields.push_back(MakeExtraField(0xCAFE, {}));   // header alone
    TDirItem utf8 = Item(u"\uD55C\uAE00/\u00E9t\u00E9.txt", 100);
    TDirItem huge = Item(u"huge.bin", 0);
    huge.CentralDir.versionMadeBy = huge.CentralDir.extractVersion = CVVersionZip64;
    huge.CentralDir.compSize = huge.CentralDir.unCompSize = huge.CentralDir.relOffsetLH = CVSentinel32;
    huge.Zip64ExtInfo = {0x100000000LL, 2, 200, 0};
    huge.bHugeFile = true;
    // A Zip64 field read earlier is written from the values, not copied.
    huge.ExtraFields.push_back(MakeExtraField(CVZip64ExtraID, std::vector<uint8_t>(8, 0xEE)));
    TDirItem folder = Item(u"docs/", 300);
    folder.CentralDir.externalAttr = 0x10;
    folder.CentralDir.genPurposeFlag = CVFlagFolderEntry;
    for (const TDirItem& item : {plain, utf8, huge, folder}) Add(dm, item);
    dm.ArchiveComment = "archive comment";
    dm.SaveDir(true);

    // The names and the rebuilt Zip64 field, as written.
    const TDirItem& written = dm.CDir.GetItemPtr(2);
    EXPECT_EQ(written.CentralDir.extraLength, 4 + 24);
    EXPECT_TRUE(dm.CDir.GetItemPtr(1).CentralDir.genPurposeFlag & CVFlagUtf8Name);
    EXPECT_FALSE(dm.CDir.GetItemPtr(0).CentralDir.genPurposeFlag & CVFlagUtf8Name);
    EXPECT_EQ(dm.CDir.GetItemPtr(0).CentralDir.extraLength, 9 + 4);

    TCVDirManager reader(&stream, &host, false);
    reader.LoadDir();
    ASSERT_EQ(reader.CDir.Count(), 4);
    EXPECT_EQ(reader.ArchiveComment, "archive comment");
    EXPECT_EQ(reader.CentralDirOffset, 0);
    for (int32_t i = 0; i < 4; ++i) {
        const TDirItem& a = dm.CDir.GetItemPtr(i);
        const TDirItem& b = reader.CDir.GetItemPtr(i);
        SCOPED_TRACE(platform::Utf16ToUtf8(a.Name));
        EXPECT_EQ(b.Name, a.Name);
        EXPECT_EQ(b.CentralDir, a.CentralDir);
        EXPECT_EQ(b.Comment, a.Comment);
        EXPECT_EQ(b.Zip64ExtInfo, a.Zip64ExtInfo);
        EXPECT_EQ(b.bHugeFile, a.bHugeFile);
    }
    const std::vector<TCVExtraFieldDataBlock>& huges = reader.CDir.GetItemPtr(2).ExtraFields;
    ASSERT_EQ(huges.size(), 1u);
    EXPECT_EQ(huges[0].data.size(), 24u);
    EXPECT_EQ(reader.CDir.GetItemPtr(0).ExtraFields, plain.ExtraFields);
}

TEST(SaveDir, SavingTwiceInPlaceGivesTheSameBytes) {
    for (const bool zip64 : {false, true}) {
        ts::RawArchive a;
        a.Entries = {ts::RawEntry{"a.txt", "alpha"}, ts::RawEntry{"b/", ""}};
        a.Entries[1].ExternalAttr = 0x10;
        a.Comment = "kept";
        a.Zip64Records = zip64;
        const std::string original = ts::BuildArchive(a);
        platform::MemoryStream stream;
        stream.WriteBuffer(original.data(), original.size());
        TCVPlainDirHost host;
        TCVDirManager dm(&stream, &host, false);
        dm.LoadDir();
        dm.SaveDir(false);
        const std::string once = Bytes(stream);
        // The new tail replaces the old one from where its directory began.
        EXPECT_EQ(once.substr(0, static_cast<size_t>(ts::LayoutOf(a).CentralDir)),
                  original.substr(0, static_cast<size_t>(ts::LayoutOf(a).CentralDir)));
        EXPECT_EQ(once.size(), original.size() - (zip64 ? 76 : 0));
        dm.SaveDir(false);
        EXPECT_EQ(Bytes(stream), once) << "zip64 " << zip64;
    }
}

TEST(SaveDir, InPlaceWithoutAnEndRecordAppends) {
    platform::MemoryStream stream;
    stream.WriteBuffer("local data", 10);
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    Add(dm, Item(u"x", 0));
    dm.SaveDir(false);
    EXPECT_EQ(dm.CentralDirOffset, 10);
    EXPECT_EQ(Bytes(stream).substr(0, 14), std::string("local dataPK\1\2", 14));
}

TEST(SaveDir, InPlaceNeverCutsIntoEntriesOfARebuiltDirectory) {
    // The end record overstates the directory's size; the loader rebuilds from the local headers,
    // and saving in place must not trust that size to find where to cut.
    ts::RawArchive a;
    a.Entries = {ts::RawEntry("a.txt", std::string(500, 'a')), ts::RawEntry("b.txt", "bravo")};
    std::string original = ts::BuildArchive(a);
    const ts::RawLayout layout = ts::LayoutOf(a);
    ts::Patch(original, static_cast<size_t>(layout.CentralDir), "XXXX");   // the directory is unreadable
    ts::Patch(original, static_cast<size_t>(layout.End) + 12, ts::Le32(static_cast<uint32_t>(layout.CentralDir - 100)) + ts::Le32(0));
    platform::MemoryStream stream;
    stream.WriteBuffer(original.data(), original.size());
    TCVPlainDirHost host;
    host.OpenCorruptedArchives = true;
    TCVDirManager dm(&stream, &host, false);
    dm.LoadDir();
    ASSERT_EQ(dm.CDir.Count(), 2);
    dm.SaveDir(false);
    const std::string saved = Bytes(stream);
    EXPECT_EQ(saved.substr(0, original.size()), original);
    TCVDirManager reader(&stream, &host, false);
    reader.LoadDir();
    EXPECT_EQ(reader.CDir.Count(), 2);
}

TEST(SaveDir, ManyEntriesBringZip64EndRecords) {
    ts::ScratchDir scratch;
    for (const int32_t count : {65534, 65535}) {
        platform::MemoryStream stream;
        TCVPlainDirHost host;
        TCVDirManager dm(&stream, &host, false);
        dm.CDir.SetCount(count);
        for (int32_t i = 0; i < count; ++i) {
            TDirItem item = Item(u"f" + platform::Utf8ToUtf16(std::to_string(i)), 0);
            item.CentralDir.compSize = 0;
            dm.CDir.SetItem(i, item);
        }
        dm.SaveDir(true);
        const std::string bytes = Bytes(stream);
        const auto* end = reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size() - 22;
        const bool zip64 = count >= 0xFFFF;
        EXPECT_EQ(DecodeFixed16(end + 8), zip64 ? 0xFFFF : count);
        EXPECT_EQ(DecodeFixed16(end + 10), zip64 ? 0xFFFF : count);
        EXPECT_EQ(DecodeFixed32(end - 20) == CVZip64CentralDirEndLocatorSignature, zip64);
        if (!zip64) continue;
        EXPECT_EQ(DecodeFixed32(end - 76), CVZip64CentralDirEndSignature);
        EXPECT_EQ(dm.Zip64CentralDirEnd.entriesCentralDir, 65535u);

        TCVDirManager reader(&stream, &host, false);
        reader.LoadDir();
        EXPECT_TRUE(reader.FZip64);
        EXPECT_EQ(reader.CDir.Count(), 65535);
        EXPECT_EQ(reader.CDir.GetItemPtr(65534).Name, u"f65534");
        // Other readers find the records too.
        ts::WriteBytes(scratch / "many.zip", bytes);
        EXPECT_EQ(ts::ListWithPython(scratch / "many.zip").size(), 65535u);
    }
}

TEST(SaveDir, GivesUnixEntriesAModeFromTheirAttributes) {
    const struct {
        uint16_t madeBy;
        uint32_t attr;
        uint32_t written;
    } cases[] = {
        {0x0314, 0x10, 0x41ED0010},          // folder 0755
        {0x0314, 0x20, 0x81A40020},          // file 0644
        {0x0314, 0x21, 0x81240021},          // read-only file 0444
        {0x0314, 0x81ED0020, 0x81ED0020},    // a mode is kept
        {0x0014, 0x20, 0x20},                // other hosts keep their attributes
        {0x0B14, 0x10, 0x10},
    };
    for (const auto& c : cases) {
        platform::MemoryStream stream;
        TCVPlainDirHost host;
        TCVDirManager dm(&stream, &host, false);
        TDirItem item = Item(u"n", 0);
        item.CentralDir.versionMadeBy = c.madeBy;
        item.CentralDir.externalAttr = c.attr;
        Add(dm, item);
        dm.SaveDir(true);
        EXPECT_EQ(DecodeFixed32(stream.Memory() + 38), c.written) << std::hex << c.attr;
        EXPECT_EQ(dm.CDir.GetItemPtr(0).CentralDir.externalAttr, c.written);
    }
}

TEST(SaveDir, RefusesWhatItsFieldsCannotHoldBeforeTouchingTheStream) {
    ts::RawArchive a;
    a.Entries = {ts::RawEntry{"a.txt", "alpha"}};
    const std::string original = ts::BuildArchive(a);
    platform::MemoryStream stream;
    stream.WriteBuffer(original.data(), original.size());
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    dm.LoadDir();
    dm.ArchiveComment.assign(65536, 'c');
    EXPECT_THROW(dm.SaveDir(false), platform::Exception);
    EXPECT_EQ(Bytes(stream), original);
    dm.ArchiveComment.clear();
    dm.CDir.GetItemPtr(0).Comment.assign(70000, 'c');
    EXPECT_THROW(dm.SaveDir(false), platform::Exception);
    EXPECT_EQ(Bytes(stream), original);
    dm.CDir.GetItemPtr(0).Comment.clear();
    dm.CDir.SetItemName(0, std::u16string(70000, u'n'));
    try {
        dm.SaveDir(false);
        FAIL() << "no error";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neNameTooLong);
    }
    EXPECT_EQ(Bytes(stream), original);
}

// A stream that takes only part of the larger writes.
class ShortWriteStream : public platform::MemoryStream {
public:
    size_t Write(const void* buffer, size_t count) override {
        return MemoryStream::Write(buffer, count > 40 ? count - 1 : count);
    }
};

TEST(SaveDir, ShortWriteOfTheDirectoryIsNative46) {
    ShortWriteStream stream;
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    Add(dm, Item(u"name", 0));
    try {
        dm.SaveDir(true);
        FAIL() << "no error";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neShortWrite);
    }
}

TEST(SaveDir, IsSFXArchiveLooksAtTheFirstEntrysOffset) {
    const struct {
        uint32_t offset32;
        int64_t offset64;
        bool sfx;
    } cases[] = {{0, 0, false}, {1, 0, true}, {CVSentinel32, 0, false}, {CVSentinel32, 5000, true}};
    for (const auto& c : cases) {
        platform::MemoryStream stream;
        TCVPlainDirHost host;
        TCVDirManager dm(&stream, &host, false);
        EXPECT_FALSE(dm.IsSFXArchive());
        TDirItem item = Item(u"a", c.offset32);
        item.Zip64ExtInfo.relOffsetLH = c.offset64;
        Add(dm, item);
        EXPECT_EQ(dm.IsSFXArchive(), c.sfx) << c.offset32 << " " << c.offset64;
    }
}

TEST(SaveDir, MergeWithShiftsTheAppendedTaggedOffsets) {
    platform::MemoryStream a, b;
    TCVPlainDirHost host;
    TCVDirManager target(&a, &host, false), other(&b, &host, false);
    TDirItem own = Item(u"own", 10);
    own.Tagged = true;
    Add(target, own);
    TDirItem small = Item(u"small", 100);
    small.Tagged = true;
    TDirItem untagged = Item(u"untagged", 100);
    TDirItem near4g = Item(u"near", 0xFFFFFF00u);
    near4g.Tagged = true;
    TDirItem wide = Item(u"wide", CVSentinel32);
    wide.Zip64ExtInfo.relOffsetLH = 0x200000000LL;
    wide.Tagged = true;
    for (const TDirItem& item : {small, untagged, near4g, wide}) Add(other, item);
    target.CentralDirOffset = 1000;
    target.MergeWith(other);
    ASSERT_EQ(target.CDir.Count(), 5);
    EXPECT_EQ(target.CDir.GetItemPtr(0).CentralDir.relOffsetLH, 10u);   // untagged by the merge
    EXPECT_EQ(target.CDir.GetItemPtr(1).CentralDir.relOffsetLH, 1100u);
    EXPECT_EQ(target.CDir.GetItemPtr(2).CentralDir.relOffsetLH, 100u);
    EXPECT_EQ(target.CDir.GetItemPtr(3).CentralDir.relOffsetLH, CVSentinel32);
    EXPECT_EQ(target.CDir.GetItemPtr(3).Zip64ExtInfo.relOffsetLH, 0xFFFFFF00LL + 1000);
    EXPECT_TRUE(target.CDir.GetItemPtr(3).bHugeFile);
    EXPECT_EQ(target.CDir.GetItemPtr(4).Zip64ExtInfo.relOffsetLH, 0x200000000LL + 1000);
    for (int32_t i = 0; i < 5; ++i) EXPECT_FALSE(target.CDir.GetItemPtr(i).Tagged);
    int32_t no;
    EXPECT_TRUE(target.CDir.FileExists(u"WIDE", no));
    EXPECT_EQ(no, 4);
}

TEST(SaveDir, ShiftedSelfExtractingFileReadsCleanInOtherTools) {
    // The road of a self-extracting build: stub + archive, loaded, shifted and saved in place. Folder
    // entries move with the rest, so every offset names its own local header.
    ts::ScratchDir scratch;
    ts::WriteTree(scratch / "tree", ts::StandardTree());
    ts::PackWithTool(ts::ZipTool::InfoZip, scratch / "tree", scratch / "plain.zip");
    const std::string stub = "\x7F" "ELF" + std::string(4096, '\0');
    const std::string joined = scratch / "joined.run";
    ts::PutBehindStub(scratch / "plain.zip", stub, joined, ts::StubOffsets::FromArchiveStart);
    TCVPlainDirHost host;
    {
        platform::FileStream stream(platform::Utf8ToUtf16(joined), platform::fmOpenReadWrite);
        TCVDirManager dm(&stream, &host, false);
        dm.LoadDir();
        EXPECT_EQ(dm.StubSize, static_cast<int64_t>(stub.size()));
        EXPECT_TRUE(dm.IsSFXArchive());
        dm.SaveDir(false);
    }
    const std::vector<ts::ToolEntry> before = ts::ListWithPython(scratch / "plain.zip");
    const std::vector<ts::ToolEntry> after = ts::ListWithPython(joined);
    ASSERT_EQ(after.size(), before.size());
    const std::string bytes = ts::ReadBytes(joined);
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].HeaderOffset, before[i].HeaderOffset + stub.size()) << after[i].Name;
        EXPECT_EQ(bytes.substr(after[i].HeaderOffset, 4), std::string("PK\3\4", 4));
    }
    std::string output;
    const int status = ts::Run("unzip -t " + ts::Quote(joined), &output);
    EXPECT_TRUE(status == 0 || output.find("mismatch between local and central GPF bit 11") != std::string::npos) << output;
    EXPECT_EQ(output.find("bad zipfile offset"), std::string::npos) << output;
    EXPECT_EQ(output.find("extra bytes at beginning"), std::string::npos) << output;
}

}  // namespace
