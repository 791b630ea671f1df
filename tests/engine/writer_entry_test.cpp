// Storing one entry in an archive: what its local header and data look like, and how a failing
// source ends (reported, left out, and no trace of the failed attempt in the archive).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "writer_test_support.h"

namespace wrt_tests {
namespace {

std::string TextData(size_t size, uint32_t seed = 5) {
    std::mt19937 rng(seed);
    static const char* words[] = {"harbour ", "lantern ", "pebble ", "meadow\n", "quill ", "ember, "};
    std::string out;
    while (out.size() < size) {
        out += words[rng() % 6];
        if (rng() % 9 == 0) out += static_cast<char>(rng());
    }
    out.resize(size);
    return out;
}

size_t Count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1)) ++n;
    return n;
}

TEST(WriterEntry, MultiBlockEntryIsRawDeflateWithASyncMarkerAtEachBlock) {
    Fixture f;
    const std::string data = TextData(3500000);   // three input blocks of mode 9: 1.5 + 1.5 + 0.33 MiB
    const std::u16string src = f.Source("big.txt", data);
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("big.txt", src, 9));
    f.arc.EndUpdate();
    f.arc.CloseArchive();
    f.ExpectValid();

    // Python's own raw inflater must take the data as it stands: no zlib header, no Adler-32 behind
    // it; and inflating up to each 00 00 FF FF must end exactly on a block boundary of the source.
    const char* script = R"(
import sys, zipfile, zlib, struct
arc, src = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(arc); info = z.getinfo('big.txt')
f = open(arc, 'rb'); f.seek(info.header_offset); h = f.read(30)
n, e = struct.unpack('<HH', h[26:30]); f.seek(info.header_offset + 30 + n + e)
data = f.read(info.compress_size); source = open(src, 'rb').read()
assert data[0] != 0x78, 'zlib header left in'
d = zlib.decompressobj(-15); out = d.decompress(data)
assert d.eof and d.unused_data == b'', 'bytes after the deflate stream'
assert out == source and zlib.crc32(out) == info.CRC
ends = set(); i = data.find(b'\x00\x00\xff\xff')
while i >= 0:
    ends.add(len(zlib.decompressobj(-15).decompress(data[:i + 4]))); i = data.find(b'\x00\x00\xff\xff', i + 1)
assert {1572864, 3145728} <= ends, sorted(ends)
assert info.create_system == 3 and info.create_version == 20 and info.extract_version == 20
assert (info.external_attr >> 16) & 0o170000 == 0o100000
print('ok')
)";
    std::string out;
    EXPECT_EQ(testing_support::RunPython(script, {f.archive, U8(src)}, &out), 0) << out;
}

// The header fields of one small entry under the settings that shape them.
struct ShapeCase {
    const char* label;
    std::string name;
    bool folder;
    std::string content;
    TZip64Mode zip64;
    bool unicodeNames;
    uint16_t extractVersion, madeBy, flag, method;
    uint32_t compSize, unCompSize;   // in the local header; compSize AnySize is not checked
    uint16_t extraLength;
};

constexpr uint32_t AnySize = 0x12345678;

class WriterShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(WriterShapes, LocalAndCentralHeaders) {
    const ShapeCase& c = GetParam();
    Fixture f;
    f.arc.SetZip64Mode(c.zip64);
    f.arc.SetUnicodeFilenames(c.unicodeNames);
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    TDirItem item = c.folder ? FolderItem(c.name) : FileItem(c.name, f.Source("s", c.content), 9);
    // Even a folder item that asks for deflate is stored: it has no data to deflate.
    if (c.folder) item.CompressionMethod = item.CentralDir.compMethod = CVMethodDeflated;
    Append(f.arc, item);
    Append(f.arc, FileItem("after.txt", f.Source("after", "after"), 9));
    f.arc.EndUpdate();
    f.arc.CloseArchive();
    f.ExpectValid();

    const std::vector<Entry> entries = ReadEntries(ReadBytes(f.archive));
    ASSERT_EQ(entries.size(), 2u);
    const Entry& e = entries[0];
    EXPECT_EQ(e.localName, c.name);
    EXPECT_EQ(e.local.extractVersion, c.extractVersion);
    EXPECT_EQ(e.central.extractVersion, c.extractVersion);
    EXPECT_EQ(e.central.versionMadeBy, c.madeBy);
    EXPECT_EQ(e.local.genPurposeFlag, c.flag);
    EXPECT_EQ(e.local.compMethod, c.method);
    EXPECT_EQ(e.central.compMethod, c.method);
    if (c.compSize != AnySize) {
        EXPECT_EQ(e.local.compSize, c.compSize);
    }
    EXPECT_EQ(e.local.compSize, e.central.compSize);
    EXPECT_EQ(e.local.crc32, e.central.crc32);
    EXPECT_EQ(e.local.unCompSize, c.unCompSize);
    EXPECT_EQ(e.local.extraLength, c.extraLength);
    if (c.content.empty()) {
        EXPECT_EQ(e.local.crc32, 0u);
        EXPECT_EQ(e.central.crc32, 0u);
        EXPECT_EQ(entries[1].offset, e.dataOffset) << "an entry without data must have no data bytes";
    }
    // The Unix mode is always there for a host-3 entry.
    const uint32_t mode = e.central.externalAttr >> 16;
    EXPECT_EQ(mode & 0170000, c.folder ? 0040000u : 0100000u);
    if (c.extraLength >= 20 && c.zip64 == zmAlways && !c.folder) {
        EXPECT_EQ(DecodeFixed16(reinterpret_cast<const uint8_t*>(e.localExtra.data())), 1);
        EXPECT_EQ(DecodeFixed64(reinterpret_cast<const uint8_t*>(e.localExtra.data()) + 4), c.content.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterShapes,
    ::testing::Values(
        ShapeCase{"EmptyFileIsStored", "empty.txt", false, "", zmDisabled, false, 0x14, 0x314, 0, 0, 0, 0, 0},
        ShapeCase{"Folder", "dir/", true, "", zmDisabled, false, 0x14, 0x314, 2, 0, 0, 0, 0},
        ShapeCase{"FolderWithUnicodeField", "dir/", true, "", zmDisabled, true, 0x14, 0x314, 2, 0, 0, 0, 4 + 8 + 8},
        ShapeCase{"ZipAlwaysFile", "one.txt", false, "x", zmAlways, false, 0x2D, 0x32D, 0, 8, 0xFFFFFFFF, 0xFFFFFFFF, 20},
        ShapeCase{"ZipAlwaysFolder", "dir/", true, "", zmAlways, false, 0x2D, 0x32D, 2, 0, 0, 0, 0},
        ShapeCase{"Utf8Name", "\xed\x95\x9c.txt", false, "hangul", zmDisabled, false, 0x14, 0x314, 0x800, 8, AnySize, 6, 0}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.label); });

// A source that fails is reported with its native error, left out, and leaves no bytes behind: the
// entry after it starts where the failed one began.
struct FailureCase {
    const char* label;
    int32_t native;
};

class WriterFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WriterFailures, ReportedAndLeftOut) {
    const FailureCase& c = GetParam();
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    std::vector<int32_t> natives;
    f.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, int32_t native,
                                      int32_t, const std::u16string&, TCVAction& action) {
        natives.push_back(native);
        action = fxaIgnore;
    });

    TDirItem bad;
    const std::string label = c.label;
    if (label == "Missing") {
        bad = FileItem("bad.txt", f.scratch.P16("src/none.txt"));
    } else if (label == "PathTooLong") {
        bad = FileItem("bad.txt", f.scratch.P16("src/" + std::string(4100, 'x')));
    } else if (label == "Fifo") {
        ASSERT_EQ(Shell("mkfifo " + Quote(f.scratch / "src/pipe")), 0);
        bad = FileItem("bad.txt", f.scratch.P16("src/pipe"));
    } else if (label == "NeedsZip64") {
        auto stream = std::make_shared<MisbehavingStream>("tiny");
        stream->claimedSize = 0x100000000LL;
        bad = StreamItem("bad.txt", stream);
    } else if (label == "GrowsWhileRead") {
        auto stream = std::make_shared<MisbehavingStream>(TextData(100000));
        stream->growAfterRead = 4096;
        bad = StreamItem("bad.txt", stream);
    }
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("first.txt", f.Source("first", TextData(1000, 1))));
    Append(f.arc, bad);
    Append(f.arc, FileItem("last.txt", f.Source("last", TextData(1000, 2))));
    f.arc.EndUpdate();
    EXPECT_EQ(Names(f.arc), (std::vector<std::string>{"first.txt", "last.txt"}));
    f.arc.CloseArchive();

    EXPECT_EQ(natives, std::vector<int32_t>{c.native});
    f.ExpectValid();
    const std::string bytes = ReadBytes(f.archive);
    EXPECT_EQ(bytes.find("bad.txt"), std::string::npos) << "the failed attempt left bytes behind";
    const std::vector<Entry> entries = ReadEntries(bytes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].offset, entries[0].dataOffset + entries[0].central.compSize);
}

INSTANTIATE_TEST_SUITE_P(Natives, WriterFailures,
                         ::testing::Values(FailureCase{"Missing", neCannotOpenSource}, FailureCase{"PathTooLong", neNameTooLong},
                                           FailureCase{"Fifo", neCannotOpenSource}, FailureCase{"NeedsZip64", neZip64DisabledStore},
                                           FailureCase{"GrowsWhileRead", neCompressedSizeMismatch}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.label); });

TEST(WriterEntry, RetryAfterAFailedAttemptWritesTheEntryOnce) {
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    const std::string data = TextData(200000, 9);
    auto stream = std::make_shared<MisbehavingStream>(data);
    stream->growAfterRead = 1;
    int failures = 0;
    f.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation, int32_t native,
                                      int32_t, const std::u16string&, TCVAction& action) {
        ++failures;
        EXPECT_EQ(native, neCompressedSizeMismatch);
        EXPECT_EQ(name, u"log.txt");   // an entry from memory has no source file to name
        stream->honest = true;
        action = fxaRetry;
    });
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("a.txt", f.Source("a", "alpha")));
    Append(f.arc, StreamItem("log.txt", stream));
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    EXPECT_EQ(failures, 1);
    f.ExpectValid();
    const std::string bytes = ReadBytes(f.archive);
    EXPECT_EQ(Count(bytes, "PK\x03\x04"), 2u);
    std::string out;
    ASSERT_EQ(Shell("unzip -p " + Quote(f.archive) + " log.txt", &out), 0);
    EXPECT_EQ(out, data);
}

TEST(WriterEntry, FullDiskWithoutHandlerIsReportedAndAbortRestoresTheArchive) {
    FullDevice device;
    device.capacity = 60000;
    Fixture f;
    f.arc.OpenArchive(&device, true);
    const std::vector<uint8_t> emptyArchive = device.Data();
    ASSERT_EQ(emptyArchive.size(), 22u);
    std::vector<int32_t> natives;
    f.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, int32_t native,
                                      int32_t, const std::u16string&, TCVAction& action) {
        natives.push_back(native);
        action = fxaAbort;
    });
    std::mt19937 rng(1);
    std::string noise(200000, '\0');
    for (char& ch : noise) ch = static_cast<char>(rng());
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("noise.bin", f.Source("noise", noise)));
    EXPECT_NO_THROW(f.arc.EndUpdate());
    EXPECT_EQ(natives, std::vector<int32_t>{neDiskFull});
    EXPECT_EQ(device.Data(), emptyArchive);
    EXPECT_EQ(f.arc.DMHandle()->CDir.Count(), 0);
}

TEST(WriterEntry, FullDiskCancelledByTheHandlerRollsBackQuietly) {
    FullDevice device;
    device.capacity = 60000;
    Fixture f;
    f.arc.OpenArchive(&device, true);
    const std::vector<uint8_t> emptyArchive = device.Data();
    int asked = 0, failures = 0;
    f.arc.SetOnDiskFull([&](TCVBaseArchiver*, int32_t volume, const std::u16string&, bool& cancel) {
        ++asked;
        EXPECT_EQ(volume, 0);   // hosts count from 1; a plain archive is volume -1
        cancel = true;
    });
    f.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, int32_t, int32_t,
                                      const std::u16string&, TCVAction&) { ++failures; });
    std::string noise(200000, '\0');
    std::mt19937 rng(2);
    for (char& ch : noise) ch = static_cast<char>(rng());
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("noise.bin", f.Source("noise", noise)));
    EXPECT_NO_THROW(f.arc.EndUpdate());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(device.Data(), emptyArchive);
}

TEST(WriterEntry, EntryWithAPasswordIsRefusedRatherThanStoredInTheClear) {
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    TDirItem item = FileItem("secret.txt", f.Source("secret", "secret"));
    item.Password = "pw";
    item.CentralDir.genPurposeFlag |= CVFlagEncrypted;
    Append(f.arc, item);
    EXPECT_THROW(f.arc.EndUpdate(), platform::Exception);
    EXPECT_EQ(f.arc.DMHandle()->CDir.Count(), 0);
    f.arc.CloseArchive();
    const std::string bytes = ReadBytes(f.archive);
    EXPECT_EQ(bytes.size(), 22u) << "not the empty archive it was before the update";
    EXPECT_EQ(bytes.substr(0, 4), "PK\x05\x06");
}

// The commit compresses the files it plans to store ahead of the writer. What lands in the archive
// is still each file as the writer finds it: a file that changed size after it was planned is read
// again, and the progress events come per item and per block in directory order, as without the pool.
TEST(WriterEntry, FilesCompressedAheadComeOutAsTheWriterFindsThem) {
    Fixture f;
    const std::string big = TextData(3500000), small = TextData(5000, 7), later = TextData(90000, 9);
    const std::u16string bigSrc = f.Source("big.txt", big), smallSrc = f.Source("small.txt", small);
    const std::u16string changing = f.Source("changing.txt", TextData(20000, 8));
    const auto planned = [](TDirItem item, size_t size) {
        item.CentralDir.unCompSize = static_cast<uint32_t>(size);
        return item;
    };
    std::vector<std::string> events;
    f.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) {
        const std::string file = std::filesystem::path(U8(name)).filename().string();
        events.push_back(file + ":" + std::to_string(int(phase)));
        // By now the pool has planned (and may have compressed) the last file as it was.
        if (file == "big.txt" && phase == ppStart) WriteBytes(f.scratch / "src/changing.txt", later);
    });
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    Append(f.arc, planned(FileItem("big.txt", bigSrc), big.size()));
    Append(f.arc, planned(FileItem("small.txt", smallSrc), small.size()));
    Append(f.arc, planned(FileItem("changing.txt", changing), 20000));
    f.arc.EndUpdate();
    f.ExpectValid();

    const std::pair<const char16_t*, const std::string*> expected[] = {
        {u"big.txt", &big}, {u"small.txt", &small}, {u"changing.txt", &later}};
    for (const auto& [name, bytes] : expected) {
        std::string text;
        f.arc.ExtractToString(name, text);
        EXPECT_TRUE(text == *bytes) << U8(name);
    }
    const std::vector<std::string> order = {"big.txt:0",   "big.txt:1",   "big.txt:1",      "big.txt:1",
                                            "big.txt:2",   "small.txt:0", "small.txt:1",    "small.txt:2",
                                            "changing.txt:0", "changing.txt:1", "changing.txt:2"};
    EXPECT_EQ(events, order);
    f.arc.CloseArchive();
}

}  // namespace
}  // namespace wrt_tests
