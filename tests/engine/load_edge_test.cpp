// The loader on hand-assembled archives: the end-record search, stub measuring and offset shifting,
// Zip64 records, names, and damaged archives (with and without OpenCorruptedArchives).
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"

namespace ts = testing_support;

namespace {

// A manager over a memory copy of `bytes`.
struct Loaded {
    platform::MemoryStream stream;
    TCVPlainDirHost host;
    TCVDirManager dm{&stream, &host, false};

    explicit Loaded(const std::string& bytes, bool openCorrupted = false) {
        host.OpenCorruptedArchives = openCorrupted;
        stream.WriteBuffer(bytes.data(), bytes.size());
        stream.SetPosition(0);
    }
    // The native error LoadDir raises, or 0.
    int Load() {
        try {
            dm.LoadDir();
        } catch (const ECVException& e) {
            return e.NativeError();
        }
        return 0;
    }
    const TDirItem& Item(int32_t i) const { return dm.CDir.GetItemPtr(i); }
};

ts::RawEntry File(const std::string& name, const std::string& data) {
    ts::RawEntry e;
    e.Name = name;
    e.Data = data;
    return e;
}

ts::RawEntry Folder(const std::string& name) {
    ts::RawEntry e;
    e.Name = name;
    e.ExternalAttr = 0x10;
    return e;
}

ts::RawArchive ThreeEntries() {
    ts::RawArchive a;
    a.Entries = {Folder("dir/"), File("dir/a.txt", "alpha"), File("b.txt", "bravo bravo")};
    return a;
}

// Every item's offset names a local header of the same name.
void ExpectOffsetsPointAtLocalHeaders(const Loaded& l, const std::string& bytes) {
    for (int32_t i = 0; i < l.dm.CDir.Count(); ++i) {
        const TDirItem& item = l.Item(i);
        const auto at = static_cast<size_t>(ItemLocalHeaderOffset(item));
        ASSERT_LT(at + 30, bytes.size());
        EXPECT_EQ(bytes.substr(at, 4), std::string("PK\3\4", 4)) << "item " << i;
        const std::string name = platform::Utf16ToUtf8(item.Name);
        EXPECT_EQ(bytes.substr(at + 30, name.size()), name) << "item " << i;
    }
}

TEST(LoadDir, MeasuresTheStubAndShiftsOffsetsThatCountFromTheArchive) {
    const struct {
        size_t stub;
        bool fromFileStart;
    } cases[] = {{0, true}, {1, false}, {1, true}, {1000, false}, {1000, true}, {70000, false}, {70000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stub " << c.stub << (c.fromFileStart ? " file" : " archive") << " offsets");
        ts::RawArchive a = ThreeEntries();
        a.Stub = std::string(c.stub, 'S');
        a.OffsetsFromFileStart = c.fromFileStart;
        const std::string bytes = ts::BuildArchive(a);
        const ts::RawLayout layout = ts::LayoutOf(a);
        Loaded l(bytes);
        ASSERT_EQ(l.Load(), 0);
        ASSERT_EQ(l.dm.CDir.Count(), 3);
        EXPECT_EQ(l.dm.StubSize, static_cast<int64_t>(c.stub));
        EXPECT_EQ(l.dm.CentralDirOffset, layout.CentralDir);
        for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(ItemLocalHeaderOffset(l.Item(i)), layout.LocalHeaders[static_cast<size_t>(i)]);
    }
}

TEST(LoadDir, ShiftsWhenEntriesWithoutDataFillTheStubLength) {
    // Empty files in front of the first entry with data take more header bytes than the stub is long,
    // so that entry's stored offset alone looks absolute; its local header says otherwise.
    ts::RawArchive a;
    for (int i = 0; i < 4; ++i) a.Entries.push_back(File("empty-file-with-a-long-name-" + std::to_string(i), ""));
    a.Entries.push_back(File("data.txt", "payload"));
    a.Stub = std::string(100, 'S');
    a.OffsetsFromFileStart = false;
    const std::string bytes = ts::BuildArchive(a);
    Loaded l(bytes);
    ASSERT_EQ(l.Load(), 0);
    EXPECT_EQ(l.dm.StubSize, 100);
    ExpectOffsetsPointAtLocalHeaders(l, bytes);

    // The same archive with absolute offsets is left alone.
    a.OffsetsFromFileStart = true;
    const std::string absolute = ts::BuildArchive(a);
    Loaded m(absolute);
    ASSERT_EQ(m.Load(), 0);
    ExpectOffsetsPointAtLocalHeaders(m, absolute);
}

TEST(LoadDir, ApplyStubOffsetMovesOffsetsPast32BitsIntoTheZip64Form) {
    platform::MemoryStream stream;
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    const struct {
        uint32_t offset32;
        int64_t offset64;
        uint32_t expected32;
        int64_t expected64;
    } cases[] = {
        {100, 0, 1100, 0},
        {0xFFFFFFFFu - 1001, 0, 0xFFFFFFFEu, 0},
        {0xFFFFFFFFu - 1000, 0, 0xFFFFFFFFu, 0xFFFFFFFFLL},
        {0xFFFFFF00u, 0, 0xFFFFFFFFu, 0xFFFFFF00LL + 1000},
        {0xFFFFFFFFu, 0x200000000LL, 0xFFFFFFFFu, 0x200000000LL + 1000},
    };
    dm.CDir.SetCount(static_cast<int32_t>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        TDirItem item;
        item.Name = u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i));
        item.CentralDir.relOffsetLH = cases[i].offset32;
        item.Zip64ExtInfo.relOffsetLH = cases[i].offset64;
        item.bHugeFile = cases[i].offset32 == 0xFFFFFFFFu;
        dm.CDir.SetItem(static_cast<int32_t>(i), item);
    }
    dm.StubSize = 1000;
    dm.ApplyStubOffset();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TDirItem& item = dm.CDir.GetItemPtr(static_cast<int32_t>(i));
        EXPECT_EQ(item.CentralDir.relOffsetLH, cases[i].expected32) << i;
        EXPECT_EQ(item.Zip64ExtInfo.relOffsetLH, cases[i].expected64) << i;
        EXPECT_EQ(item.bHugeFile, cases[i].expected32 == 0xFFFFFFFFu) << i;
    }
}

TEST(LoadDir, EmptyArchivesAndBareEndRecords) {
    ts::RawArchive empty;
    empty.Stub = std::string(1234, 'S');
    Loaded behindStub(ts::BuildArchive(empty));
    ASSERT_EQ(behindStub.Load(), 0);
    EXPECT_EQ(behindStub.dm.CDir.Count(), 0);
    EXPECT_EQ(behindStub.dm.StubSize, 1234);

    Loaded bare(ts::BuildArchive(ts::RawArchive{}));
    EXPECT_EQ(bare.stream.Size(), 22);
    ASSERT_EQ(bare.Load(), 0);
    EXPECT_EQ(bare.dm.CDir.Count(), 0);
    EXPECT_EQ(bare.dm.StubSize, 0);
    EXPECT_EQ(bare.dm.CentralDirOffset, 0);
}

TEST(LoadDir, FindsTheEndRecordBehindLongAndMisleadingComments) {
    const std::string fake = "PK\5\6" + std::string(18, '\xFF');   // counts that cannot be
    const std::string comments[] = {
        std::string(65535, 'c'),
        "before " + fake + " after",
        fake,
        std::string(65535 - 22, 'x') + fake,
    };
    for (const std::string& comment : comments) {
        ts::RawArchive a = ThreeEntries();
        a.Comment = comment;
        Loaded l(ts::BuildArchive(a));
        ASSERT_EQ(l.Load(), 0) << comment.size();
        EXPECT_EQ(l.dm.CDir.Count(), 3);
        EXPECT_EQ(l.dm.ArchiveComment, comment);
        EXPECT_EQ(l.dm.CentralDirEnd.entriesCentralDir, 3);
    }
}

TEST(LoadDir, HasCentralDirEndUnlessOnlyCorruptedArchivesMayOpen) {
    Loaded good(ts::BuildArchive(ThreeEntries()));
    EXPECT_TRUE(good.dm.HasCentralDirEnd());
    EXPECT_EQ(good.dm.CentralDirEnd.entriesCentralDir, 3);
    EXPECT_EQ(good.stream.Position(), 0);

    const std::string noEnd = "just some bytes PK\5\6 and no record";
    Loaded bad(noEnd);
    EXPECT_FALSE(bad.dm.HasCentralDirEnd());
    Loaded lenient(noEnd, true);
    EXPECT_TRUE(lenient.dm.HasCentralDirEnd());
}

TEST(LoadDir, ReadsZip64EndRecords) {
    ts::RawArchive a = ThreeEntries();
    a.Zip64Records = true;
    Loaded l(ts::BuildArchive(a));
    ASSERT_EQ(l.Load(), 0);
    EXPECT_TRUE(l.dm.FZip64);
    EXPECT_EQ(l.dm.CDir.Count(), 3);
    EXPECT_EQ(l.dm.Zip64CentralDirEnd.entriesCentralDir, 3u);
    EXPECT_EQ(l.dm.CentralDirOffset, ts::LayoutOf(a).CentralDir);

    // Behind a stub with a locator that still counts from the archive's start, the record is not
    // where the locator says but right in front of it, and the offsets are corrected by the stub.
    a.Stub = std::string(500, 'S');
    a.OffsetsFromFileStart = false;
    Loaded shifted(ts::BuildArchive(a), true);
    ASSERT_EQ(shifted.Load(), 0);
    EXPECT_EQ(shifted.dm.StubSize, 500);
    EXPECT_EQ(shifted.dm.CentralDirOffset, ts::LayoutOf(a).CentralDir);
    // A locator pointing at nothing, with no record in front of it either, is still refused.
    std::string noRecord = ts::BuildArchive(a);
    const size_t record = noRecord.rfind(std::string("PK\x06\x06", 4));
    ASSERT_NE(record, std::string::npos);
    noRecord[record + 3] = 'x';
    Loaded missing(noRecord, true);
    EXPECT_EQ(missing.Load(), 40);
    // Corrected to the file's start, it loads.
    a.OffsetsFromFileStart = true;
    Loaded corrected(ts::BuildArchive(a));
    ASSERT_EQ(corrected.Load(), 0);
    EXPECT_EQ(corrected.dm.StubSize, 500);
}

TEST(LoadDir, TakesOnlyTheZip64ValuesTheFieldHolds) {
    // Sizes and offset announced by sentinels; the field holds the uncompressed size and half of the
    // compressed one.
    ts::RawArchive a;
    a.Entries = {File("big", "")};
    a.Entries[0].CentralExtra = ts::Le16(1) + ts::Le16(12) + ts::Le64(0x123456789) + ts::Le32(7);
    std::string bytes = ts::BuildArchive(a);
    const size_t header = static_cast<size_t>(ts::LayoutOf(a).CentralDir);
    ts::Patch(bytes, header + 20, ts::Le32(0xFFFFFFFF) + ts::Le32(0xFFFFFFFF));
    Loaded l(bytes, true);
    ASSERT_EQ(l.Load(), 0);
    const TDirItem& item = l.Item(0);
    EXPECT_TRUE(item.bHugeFile);
    EXPECT_EQ(item.Zip64ExtInfo.uncompSize, 0x123456789);
    EXPECT_EQ(item.Zip64ExtInfo.compSize, 0);
    ASSERT_EQ(item.ExtraFields.size(), 1u);
    EXPECT_EQ(item.ExtraFields[0].dataSize, 12);
}

TEST(LoadDir, DecodesNamesAndTheirExtraFields) {
    const std::string hangul = "\xED\x95\x9C\xEA\xB8\x80.txt";   // UTF-8 without the flag
    const std::u16string unicode = u"\u00FCber/\uD55C.txt";
    std::string nucx = "NUCX" + ts::Le32(static_cast<uint32_t>(unicode.size()));
    for (char16_t c : unicode) nucx += ts::Le16(c);
    const std::string wrongMarker = "XXXX" + nucx.substr(4);

    ts::RawArchive a;
    a.Entries = {File(hangul, "1"), File("\x81" "ber.txt", "2"), File("plain.txt", "3"), File("fallback.txt", "4")};
    a.Entries[2].CentralExtra = ts::Le16(0x554E) + ts::Le16(static_cast<uint16_t>(nucx.size())) + nucx;
    a.Entries[3].CentralExtra = ts::Le16(0x554E) + ts::Le16(static_cast<uint16_t>(wrongMarker.size())) + wrongMarker;
    Loaded l(ts::BuildArchive(a));
    ASSERT_EQ(l.Load(), 0);
    EXPECT_EQ(l.Item(0).Name, u"\uD55C\uAE00.txt");
    EXPECT_EQ(l.Item(1).Name, u"\u00FCber.txt");   // code page 437
    EXPECT_EQ(l.Item(2).Name, unicode);
    EXPECT_EQ(l.Item(3).Name, u"fallback.txt");
    int32_t no;
    EXPECT_TRUE(l.dm.CDir.FileExists(u"\u00DCber/\uD55C.txt", no) == false);   // only A-Z fold
    EXPECT_TRUE(l.dm.CDir.FileExists(u"\u00FCBER/\uD55C.TXT", no));
    EXPECT_EQ(no, 2);
}

TEST(LoadDir, AesFieldSetsAlgorithmAndMethod) {
    ts::RawArchive a;
    a.Entries = {File("secret", "x")};
    a.Entries[0].Flags = 1;
    a.Entries[0].Method = 99;
    a.Entries[0].CentralExtra = ts::Le16(0x9901) + ts::Le16(7) + ts::Le16(2) + "AE" + std::string(1, '\3') + ts::Le16(8);
    Loaded l(ts::BuildArchive(a));
    ASSERT_EQ(l.Load(), 0);
    EXPECT_EQ(l.Item(0).CVEncryptionAlgorithm, caAES_256);
    EXPECT_EQ(l.Item(0).CompressionMethod, 8);
    EXPECT_TRUE(l.dm.IsEncrypted());
}

TEST(LoadDir, DamagedDirectoriesFailOrAreRebuilt) {
    const ts::RawArchive base = ThreeEntries();
    const std::string good = ts::BuildArchive(base);
    const ts::RawLayout layout = ts::LayoutOf(base);
    const auto end = static_cast<size_t>(layout.End);
    const auto dir = static_cast<size_t>(layout.CentralDir);
    struct Case {
        const char* what;
        std::function<std::string()> make;
        int strict;       // native error with OpenCorruptedArchives off (0: loads)
        int rebuilt;      // items after a rebuild with it on (-1: the strict result again)
    };
    const Case cases[] = {
        {"count beyond the directory's bytes", [&] { std::string b = good; ts::Patch(b, end + 8, ts::Le16(900) + ts::Le16(900)); return b; }, neDamagedArchive, 3},
        {"0xFFFF entries without Zip64", [&] { std::string b = good; ts::Patch(b, end + 8, ts::Le16(0xFFFF) + ts::Le16(0xFFFF)); return b; }, 0, 3},
        {"directory larger than what precedes it", [&] { std::string b = good; ts::Patch(b, end + 12, ts::Le32(static_cast<uint32_t>(end + 21)) + ts::Le32(0)); return b; }, neDamagedArchive, 3},
        {"end record that cannot be one: rebuilt whatever the option", [&] { std::string b = good; ts::Patch(b, end + 4, ts::Le16(0) + ts::Le16(1)); return b; }, 0, 3},
        {"not a central header where the directory starts", [&] { std::string b = good; ts::Patch(b, dir, "XXXX"); return b; }, neDamagedArchive, 3},
        {"name running past the directory", [&] { std::string b = good; ts::Patch(b, dir + 28, ts::Le16(0xFFFF)); return b; }, neDamagedArchive, 3},
        {"comment running past the directory", [&] { std::string b = good; ts::Patch(b, dir + 32, ts::Le16(400)); return b; }, neDamagedArchive, 3},
        {"compressed sizes beyond the file", [&] { std::string b = good; ts::Patch(b, dir + 20, ts::Le32(0x7FFFFFFF)); return b; }, neDamagedArchive, -1},
        {"no end record", [&] { return good.substr(0, end); }, 0, 3},
        {"neither end record nor local header", [&] { return std::string(5000, 'z'); }, neInvalidArchive, -1},
        {"nothing at all", [&] { return std::string(); }, neInvalidArchive, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = c.make();
        Loaded strict(bytes);
        EXPECT_EQ(strict.Load(), c.strict);
        Loaded lenient(bytes, true);
        if (c.rebuilt < 0) {
            // Without the size check a lenient load keeps the directory.
            const int native = lenient.Load();
            EXPECT_TRUE(native == c.strict || native == 0) << native;
        } else {
            ASSERT_EQ(lenient.Load(), 0);
            EXPECT_EQ(lenient.dm.CDir.Count(), c.rebuilt);
        }
    }
}

TEST(LoadDir, OneNamelessEntryDoesNotStopTheOthers) {
    ts::RawArchive a;
    a.Entries = {File("first", "1"), File("", "2"), File("third", "3")};
    Loaded l(ts::BuildArchive(a));
    ASSERT_EQ(l.Load(), 0);
    ASSERT_EQ(l.dm.CDir.Count(), 3);
    int32_t no;
    EXPECT_TRUE(l.dm.CDir.FileExists(u"third", no));
    EXPECT_EQ(no, 2);
}

TEST(LoadDir, TwoNamelessEntriesAreDamage) {
    ts::RawArchive a;
    a.Entries = {File("", "one"), File("", "two")};
    const std::string bytes = ts::BuildArchive(a);
    Loaded strict(bytes);
    EXPECT_EQ(strict.Load(), 59);
    // The rebuild keeps both, names or not.
    Loaded lenient(bytes, true);
    ASSERT_EQ(lenient.Load(), 0);
    EXPECT_EQ(lenient.dm.CDir.Count(), 2);
    EXPECT_EQ(lenient.dm.CentralDirOffset, static_cast<int64_t>(bytes.size()));
}

TEST(LoadDir, RebuildReadsLocalHeadersAndDataDescriptors) {
    ts::RawArchive a;
    a.Entries = {File("dir/", ""), File("streamed.txt", "streamed data"), File("hu\xC3\xA9.txt", "x")};
    a.Entries[1].Flags = 0x0008;
    a.Entries[2].Flags = 0x0800;
    std::string bytes = ts::BuildArchive(a);
    const ts::RawLayout layout = ts::LayoutOf(a);
    // The streamed entry's local header carries zeros; its descriptor follows its data.
    const auto local = static_cast<size_t>(layout.LocalHeaders[1]);
    ts::Patch(bytes, local + 14, std::string(12, '\0'));
    const std::string descriptor = "PK\7\10" + ts::Le32(0xDEADBEEF) + ts::Le32(13) + ts::Le32(13);
    bytes.insert(static_cast<size_t>(layout.LocalHeaders[2]), descriptor);
    bytes.resize(static_cast<size_t>(layout.CentralDir) + descriptor.size());   // the directory is lost

    Loaded l(bytes, true);
    ASSERT_EQ(l.Load(), 0);
    ASSERT_EQ(l.dm.CDir.Count(), 3);
    EXPECT_EQ(l.Item(0).CentralDir.externalAttr, 0x10u);
    EXPECT_EQ(l.Item(1).CentralDir.externalAttr, 0x20u);
    EXPECT_EQ(l.Item(1).CentralDir.crc32, 0xDEADBEEFu);
    EXPECT_EQ(l.Item(1).CentralDir.compSize, 13u);
    EXPECT_EQ(l.Item(2).Name, u"hu\u00E9.txt");
    EXPECT_EQ(ItemLocalHeaderOffset(l.Item(2)), layout.LocalHeaders[2] + static_cast<int64_t>(descriptor.size()));
    EXPECT_EQ(l.dm.StubSize, 0);
}

TEST(LoadDir, ScansFilesFullOfSignaturesInLinearTime) {
    // Every position a candidate: the loads below would take hours if a scan re-read what it had
    // read or went back to the start of a block for every candidate.
    const std::string flood = [] {
        std::string s;
        for (int i = 0; i < 500000; ++i) s += std::string("PK\3\4", 4);
        return s;
    }();
    {
        Loaded l(flood, true);
        EXPECT_EQ(l.Load(), 0);
        EXPECT_EQ(l.dm.CDir.Count(), 0);   // no candidate is plausible: its sizes are "PK\3\4" too
    }
    {
        // Plausible streamed headers, none with a descriptor.
        ts::RawEntry e = File("n", "");
        e.Flags = 0x0008;
        ts::RawArchive one;
        one.Entries = {e};
        const std::string header = ts::BuildArchive(one).substr(0, 31);
        std::string many;
        while (many.size() < 2000000) many += header;
        Loaded l(many, true);
        EXPECT_EQ(l.Load(), 0);
        EXPECT_EQ(l.dm.CDir.Count(), static_cast<int32_t>(many.size() / header.size()));
    }
    {
        // A valid archive behind a stub full of signatures whose headers never match item 0.
        ts::RawArchive a = ThreeEntries();
        a.Stub = "MZ" + flood;
        a.OffsetsFromFileStart = false;
        Loaded l(ts::BuildArchive(a));
        ASSERT_EQ(l.Load(), 0);
        EXPECT_EQ(l.dm.StubSize, static_cast<int64_t>(a.Stub.size()));
    }
}

}  // namespace
