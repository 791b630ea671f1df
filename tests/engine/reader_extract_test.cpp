// Reading one entry through the archiver, on archives built byte by byte: damaged, unsupported,
// encrypted and hostile entries, truncation, the in-memory methods and their errors, progress, cancel
// and a full output.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/extract/CVNullStream.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVCoding.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "support/ZlibReference.h"

namespace {

using testing_support::Crc;
using testing_support::RawDeflate;
using testing_support::U16;

// Raw deflate of `total` zero bytes, made without compressing them all: after the first chunks the
// compressor's window holds only zeros, so every further chunk flushed on a byte boundary gives the
// same bytes, which are simply repeated.
std::string ZeroBomb(uint64_t total) {
    const size_t chunk = 1 << 20;
    const std::string zeros(chunk, '\0');
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    auto step = [&](int flush, bool withInput) {
        std::string out(chunk, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        zs.avail_in = withInput ? static_cast<uInt>(chunk) : 0;
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, flush);
        out.resize(out.size() - zs.avail_out);
        return out;
    };
    const std::string first = step(Z_SYNC_FLUSH, true);
    const std::string second = step(Z_SYNC_FLUSH, true);
    const std::string third = step(Z_SYNC_FLUSH, true);
    EXPECT_EQ(second, third);
    std::string out = first;
    for (uint64_t i = 1; i < total / chunk; ++i) out += second;
    out += step(Z_FINISH, false);
    deflateEnd(&zs);
    return out;
}

// One entry of a hand-built archive. The header fields default to the truth about `data`.
struct EntrySpec {
    std::string name;
    std::string data;
    uint16_t method = 8;
    uint16_t flags = 0;
    std::optional<std::string> stored = {};   // the stored bytes; default: data, deflated for method 8
    std::optional<uint32_t> crc = {};
    std::optional<uint64_t> compSize = {};
    std::optional<uint64_t> unCompSize = {};
    uint16_t localExtraLength = 0;       // announced in the local header, no bytes written
    bool zip64 = false;                  // sizes and offset through the Zip64 extra field
    uint32_t attr = 0x20;
};

struct Built {
    std::string bytes;
    std::vector<int64_t> dataStarts;
    int64_t centralStart = 0;
};

Built BuildZip(const std::vector<EntrySpec>& specs) {
    Built b;
    std::string central;
    for (const EntrySpec& e : specs) {
        const std::string stored = e.stored ? *e.stored : e.method == 8 ? RawDeflate(e.data) : e.data;
        const uint64_t comp = e.compSize.value_or(stored.size());
        const uint64_t uncomp = e.unCompSize.value_or(e.data.size());
        const uint32_t crc = e.crc.value_or(Crc(e.data));
        const int64_t offset = static_cast<int64_t>(b.bytes.size());

        TCVZipLocalHeader lh;
        lh.signature = CVLocalHeaderSignature;
        lh.extractVersion = e.zip64 ? 45 : 20;
        lh.genPurposeFlag = e.flags;
        lh.compMethod = e.method;
        lh.lastModDate = 0x5A21;
        lh.crc32 = crc;
        lh.compSize = static_cast<uint32_t>(comp);
        lh.unCompSize = static_cast<uint32_t>(uncomp);
        lh.nameLength = static_cast<uint16_t>(e.name.size());
        lh.extraLength = e.localExtraLength;
        uint8_t raw[TCVZipCentralDir::RecordSize];
        lh.Encode(raw);
        b.bytes.append(reinterpret_cast<char*>(raw), TCVZipLocalHeader::RecordSize);
        b.bytes += e.name;
        b.dataStarts.push_back(static_cast<int64_t>(b.bytes.size()));
        b.bytes += stored;

        TCVZipCentralDir cd;
        cd.signature = CVCentralDirSignature;
        cd.versionMadeBy = 0x0314;
        cd.extractVersion = lh.extractVersion;
        cd.genPurposeFlag = e.flags;
        cd.compMethod = e.method;
        cd.lastModDate = lh.lastModDate;
        cd.crc32 = crc;
        cd.compSize = static_cast<uint32_t>(comp);
        cd.unCompSize = static_cast<uint32_t>(uncomp);
        cd.nameLength = lh.nameLength;
        cd.externalAttr = e.attr;
        cd.relOffsetLH = static_cast<uint32_t>(offset);
        std::vector<uint8_t> extra;
        if (e.zip64) {
            cd.compSize = cd.unCompSize = cd.relOffsetLH = CVSentinel32;
            PutFixed16(extra, 1);
            PutFixed16(extra, 24);
            PutFixed64(extra, uncomp);
            PutFixed64(extra, comp);
            PutFixed64(extra, static_cast<uint64_t>(offset));
        }
        cd.extraLength = static_cast<uint16_t>(extra.size());
        cd.Encode(raw);
        central.append(reinterpret_cast<char*>(raw), TCVZipCentralDir::RecordSize);
        central += e.name;
        central.append(extra.begin(), extra.end());
    }
    b.centralStart = static_cast<int64_t>(b.bytes.size());
    b.bytes += central;
    TCVZipCentralDirEnd end;
    end.signature = CVCentralDirEndSignature;
    end.entriesOnDisk = end.entriesCentralDir = static_cast<uint16_t>(specs.size());
    end.centralDirSize = static_cast<uint32_t>(central.size());
    end.offsetStartDir = static_cast<uint32_t>(b.centralStart);
    uint8_t raw[TCVZipCentralDirEnd::RecordSize];
    end.Encode(raw);
    b.bytes.append(reinterpret_cast<char*>(raw), sizeof raw);
    return b;
}

// An archiver with an archive in memory.
struct Opened {
    platform::MemoryStream stream;
    TCorvane arc;

    explicit Opened(const std::string& bytes) {
        stream.Data().assign(bytes.begin(), bytes.end());
        arc.SetName(u"Archiver");
        arc.OpenArchive(&stream, false);
    }
    explicit Opened(const Built& built) : Opened(built.bytes) {}
};

// What reading the entry gives: the native error raised (0: none) and the bytes written.
struct Outcome {
    int32_t native = 0;
    std::u16string message;
    std::string output;
};

Outcome ReadEntry(TCorvane& arc, const std::string& name) {
    Outcome o;
    platform::MemoryStream out;
    try {
        arc.ExtractToStream(U16(name), &out);
    } catch (const ECVException& e) {
        o.native = e.NativeError();
        o.message = e.Message();
    }
    o.output.assign(out.Data().begin(), out.Data().end());
    return o;
}

std::string Sample(size_t size, uint32_t seed = 5) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) s += "line " + std::to_string(rng() % 1000) + " of the sample text\n";
    s.resize(size);
    return s;
}

}  // namespace

TEST(ReaderEntries, SoundAndDamagedEntries) {
    const std::string text = Sample(300000);
    const std::string small = "small entry data\n";
    std::string garbage = RawDeflate(text);
    for (size_t i = 40; i < 90; ++i) garbage[i] = '\xFF';

    struct Case {
        const char* what;
        EntrySpec entry;
        int32_t native;                 // with ExtractCorruptedFiles off
        int32_t nativeCorruptedOn;      // with it on
        std::optional<std::string> output;   // what stays written with it on (unset: not checked)
    };
    const Case cases[] = {
        {"deflated", {.name = "e", .data = text}, 0, 0, text},
        {"stored", {.name = "e", .data = text, .method = 0}, 0, 0, text},
        {"empty stored", {.name = "e", .data = "", .method = 0}, 0, 0, std::string()},
        {"empty deflated", {.name = "e", .data = ""}, 0, 0, std::string()},
        {"zip64 sizes and offset", {.name = "e", .data = text, .zip64 = true}, 0, 0, text},
        {"crc mismatch", {.name = "e", .data = text, .crc = Crc(text) ^ 1}, neDamagedItem, 0, text},
        {"stored crc mismatch", {.name = "e", .data = small, .method = 0, .crc = Crc(small) ^ 0x100}, neDamagedItem, 0, small},
        {"size mismatch", {.name = "e", .data = text, .unCompSize = text.size() + 1}, neDamagedItem, 0, text},
        {"deflate garbage", {.name = "e", .data = text, .stored = garbage}, neDamagedItem, 0, {}},
        {"deflate64", {.name = "e", .data = text, .method = 9}, neDeflate64, neDeflate64, std::string()},
        {"method 12", {.name = "e", .data = text, .method = 12, .stored = text}, neDamagedItem, 0, std::string()},
        {"method 14", {.name = "e", .data = text, .method = 14, .stored = text}, neDamagedItem, 0, std::string()},
        {"encrypted", {.name = "e", .data = text, .flags = 0x0001}, neEncryptedItem, neEncryptedItem, std::string()},
        {"local lengths past the end", {.name = "e", .data = small, .method = 0, .localExtraLength = 0xFFFF}, neDamagedItem, 0, std::string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened z(BuildZip({c.entry, {.name = "next", .data = small}}));
        Outcome o = ReadEntry(z.arc, "e");
        EXPECT_EQ(o.native, c.native);
        if (c.native == 0) {
            EXPECT_TRUE(o.output == c.entry.data);
        }
        z.arc.SetExtractCorruptedFiles(true);
        o = ReadEntry(z.arc, "e");
        EXPECT_EQ(o.native, c.nativeCorruptedOn);
        if (c.output) {
            EXPECT_TRUE(o.output == *c.output) << o.output.size();
        }
        // Whatever happened, the next entry reads normally.
        z.arc.SetExtractCorruptedFiles(false);
        EXPECT_EQ(ReadEntry(z.arc, "next").output, small);
    }
}

TEST(ReaderEntries, EncryptedEntryIsRefusedWithAMessageThatSaysSo) {
    Opened z(BuildZip({{.name = "secret.txt", .data = "data", .method = 0, .flags = 0x0001}}));
    const Outcome o = ReadEntry(z.arc, "secret.txt");
    EXPECT_EQ(o.native, neEncryptedItem);
    EXPECT_NE(o.message.find(u"encrypted"), std::u16string::npos) << platform::Utf16ToUtf8(o.message);
    EXPECT_EQ(o.message.rfind(u"Archiver: ", 0), 0u);
}

TEST(ReaderEntries, StoredLengthEndsAtTheCentralDirectory) {
    // The directory claims ten bytes more than the entry holds, and a CRC that fits the entry followed
    // by the first ten bytes of the central directory: reading those bytes as data would pass.
    const std::string data = "0123456789abcdef";
    Built plain = BuildZip({{.name = "e", .data = data, .method = 0}});
    const std::string tail = plain.bytes.substr(static_cast<size_t>(plain.centralStart), 10);
    Built bad = BuildZip({{.name = "e", .data = data, .method = 0, .crc = Crc(data + tail), .compSize = data.size() + 10, .unCompSize = data.size() + 10}});
    ASSERT_EQ(bad.bytes.substr(static_cast<size_t>(bad.centralStart), 10), tail);
    Opened z(bad.bytes);
    EXPECT_EQ(ReadEntry(z.arc, "e").native, neDamagedItem);
    z.arc.SetExtractCorruptedFiles(true);
    EXPECT_EQ(ReadEntry(z.arc, "e").output, data);
}

TEST(ReaderEntries, ABombEndsAtTheRecordedSize) {
    // 2 GiB of zeros in about 2 MB; the directory says 1000 bytes.
    const std::string bomb = ZeroBomb(2ull << 30);
    ASSERT_LT(bomb.size(), 8u << 20);
    const std::string claimed(1000, '\0');
    Opened z(BuildZip({{.name = "bomb", .data = claimed, .stored = bomb}}));
    EXPECT_EQ(ReadEntry(z.arc, "bomb").native, neDamagedItem);
    z.arc.SetExtractCorruptedFiles(true);
    const Outcome o = ReadEntry(z.arc, "bomb");
    EXPECT_EQ(o.native, 0);
    EXPECT_EQ(o.output, claimed);
    // Testing it into the null sink ends the same way.
    TNullStream sink;
    z.arc.SetExtractCorruptedFiles(false);
    try {
        z.arc.ExtractItem(0, sink, 0, 0);
        FAIL() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neDamagedItem);
    }
    EXPECT_EQ(sink.Size(), 1000);
}

TEST(ReaderEntries, TruncatedArchives) {
    testing_support::ScratchDir scratch;
    const std::string text = Sample(400000, 9);
    const Built b = BuildZip({{.name = "first", .data = "first entry\n", .method = 0},
                              {.name = "second", .data = text},
                              {.name = "third", .data = text, .method = 0}});
    const std::string path = scratch / "cut.zip";

    // Cut while the archive is open: the directory still promises data that is no longer there.
    testing_support::WriteBytes(path, b.bytes);
    {
        TCorvane arc;
        arc.SetFileName(U16(path));
        arc.OpenArchive(cvOpenReadOnly);
        std::filesystem::resize_file(path, static_cast<uintmax_t>(b.dataStarts[1] + 1000));
        EXPECT_EQ(ReadEntry(arc, "first").output, "first entry\n");
        EXPECT_EQ(ReadEntry(arc, "second").native, neDamagedItem);
        EXPECT_EQ(ReadEntry(arc, "third").native, neDamagedItem);
        arc.SetExtractCorruptedFiles(true);
        EXPECT_LT(ReadEntry(arc, "second").output.size(), text.size());
        const Outcome third = ReadEntry(arc, "third");
        EXPECT_EQ(third.native, 0);
        EXPECT_TRUE(third.output.empty());
    }

    // Bytes missing in front of the central directory: the last entry's stored length now runs into
    // the directory and is cut there, so it comes up short.
    std::string cut = b.bytes.substr(0, static_cast<size_t>(b.centralStart - 100)) +
                      b.bytes.substr(static_cast<size_t>(b.centralStart));
    EncodeFixed32(reinterpret_cast<uint8_t*>(cut.data()) + cut.size() - 6, static_cast<uint32_t>(b.centralStart - 100));
    testing_support::WriteBytes(path, cut);
    TCorvane arc;
    arc.SetFileName(U16(path));
    arc.OpenArchive(cvOpenReadOnly);
    ASSERT_EQ(arc.DMHandle()->CDir.Count(), 3);
    EXPECT_EQ(ReadEntry(arc, "first").output, "first entry\n");
    EXPECT_EQ(ReadEntry(arc, "second").output, text);
    EXPECT_EQ(ReadEntry(arc, "third").native, neDamagedItem);
    arc.SetExtractCorruptedFiles(true);
    EXPECT_EQ(ReadEntry(arc, "third").output, text.substr(0, text.size() - 100));
}

TEST(ReaderMethods, ErrorsBeforeReading) {
    Opened z(BuildZip({{.name = "docs/readme.txt", .data = "read me\n"}}));
    struct Case {
        const char* what;
        std::function<void()> call;
        int32_t native;
    };
    platform::MemoryStream out;
    char buffer[16];
    std::string text;
    const Case cases[] = {
        {"stream: missing", [&] { z.arc.ExtractToStream(u"nope.txt", &out); }, neItemNotFound},
        {"buffer: missing", [&] { z.arc.ExtractToBuffer(u"nope.txt", buffer, 1, 0); }, neItemNotFound},
        {"string: missing", [&] { z.arc.ExtractToString(u"docs/nope.txt", text); }, neItemNotFound},
        {"stream: null", [&] { z.arc.ExtractToStream(u"docs/readme.txt", nullptr); }, neNilPointer},
        {"index below", [&] { z.arc.ExtractItem(-1, out, 0, 0); }, neItemIndex},
        {"index past", [&] { z.arc.ExtractItem(1, out, 0, 0); }, neItemIndex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.call();
            ADD_FAILURE() << "no exception";
        } catch (const ECVException& e) {
            EXPECT_EQ(e.NativeError(), c.native);
        }
    }
    try {
        z.arc.ExtractToString(u"nope.txt", text);
    } catch (const ECVException& e) {
        EXPECT_EQ(platform::Utf16ToUtf8(e.Message()), "Archiver: File \"nope.txt\" not found - Native error: 00015");
    }
    // Recursion is switched off only for the call.
    EXPECT_TRUE(z.arc.Options().Recurse());

    TCorvane closed;
    try {
        closed.ExtractToString(u"x", text);
        ADD_FAILURE() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neArchiveNotOpen);
    }
}

TEST(ReaderMethods, NotInsideAnUpdate) {
    testing_support::ScratchDir scratch;
    const std::string path = scratch / "u.zip";
    testing_support::WriteBytes(path, BuildZip({{.name = "a.txt", .data = "aaa"}}).bytes);
    TCorvane arc;
    arc.SetFileName(U16(path));
    arc.OpenArchive();
    arc.BeginUpdate();
    std::string text;
    try {
        arc.ExtractToString(u"a.txt", text);
        ADD_FAILURE() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neInUpdate);
    }
    arc.CancelUpdate();
    arc.ExtractToString(u"a.txt", text);
    EXPECT_EQ(text, "aaa");
}

TEST(ReaderMethods, NamesStreamsAndStrings) {
    const std::string text = Sample(5000);
    std::string binary;
    for (int i = 0; i < 512; ++i) binary += static_cast<char>(i);
    Opened z(BuildZip({{.name = "docs/readme.txt", .data = text},
                        {.name = "bin/all.bytes", .data = binary, .method = 0},
                        {.name = "README", .data = "root"}}));

    // A name given with "\" finds the entry stored with "/"; letters A to Z fold.
    platform::MemoryStream out;
    out.WriteBuffer("head:", 5);
    z.arc.ExtractToStream(u"DOCS\\README.TXT", &out);
    EXPECT_EQ(std::string(out.Data().begin(), out.Data().end()), "head:" + text);

    std::string s;
    z.arc.ExtractToString(u"bin/all.bytes", s);
    EXPECT_EQ(s, binary);   // the bytes as they stand, zeros and high bytes included
    z.arc.ExtractToString(u"readme", s);
    EXPECT_EQ(s, "root");
    // A name with wildcards reads the first match in the folder it names.
    z.arc.ExtractToString(u"docs/*.txt", s);
    EXPECT_EQ(s, text);
}

TEST(ReaderMethods, ExtractToBufferRanges) {
    const std::string text = Sample(100000);
    Opened z(BuildZip({{.name = "t.txt", .data = text}, {.name = "bad.txt", .data = text, .crc = Crc(text) ^ 1}}));
    struct Case {
        int64_t start;
        int32_t count;
    } cases[] = {{0, 100}, {0, 100000}, {1, 1}, {54321, 777}, {99990, 10}};
    for (const Case& c : cases) {
        std::string buffer(static_cast<size_t>(c.count), '?');
        z.arc.ExtractToBuffer(u"t.txt", buffer.data(), c.count, c.start);
        EXPECT_EQ(buffer, text.substr(static_cast<size_t>(c.start), static_cast<size_t>(c.count))) << c.start;
    }
    // A range reaching past the end leaves fewer bytes than asked: the stream's read error.
    const Case past[] = {{99990, 20}, {99999, 64}, {200000, 20}, {0, 100001}, {INT64_MAX - 2, 20}};
    for (const Case& c : past) {
        std::string buffer(static_cast<size_t>(c.count), '?');
        EXPECT_THROW(z.arc.ExtractToBuffer(u"t.txt", buffer.data(), c.count, c.start), platform::StreamError)
            << c.start;
    }
    char buffer[16];
    EXPECT_THROW(z.arc.ExtractToBuffer(u"t.txt", buffer, -1, 0), platform::StreamError);
    // A range checks no CRC; Count 0 copies nothing but reads and checks the whole entry.
    z.arc.ExtractToBuffer(u"bad.txt", buffer, 10, 0);
    EXPECT_EQ(std::string(buffer, 10), text.substr(0, 10));
    z.arc.ExtractToBuffer(u"t.txt", nullptr, 0, 0);
    try {
        z.arc.ExtractToBuffer(u"bad.txt", nullptr, 0, 0);
        ADD_FAILURE() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neDamagedItem);
    }
}

TEST(ReaderProgress, EventsCancelAndAFullOutput) {
    const std::string text = Sample(3 << 20);
    Opened z(BuildZip({{.name = "big.txt", .data = text}, {.name = "bad.txt", .data = "xyz", .method = 0, .crc = 0}}));

    // Progress: the start, the file's process steps rising to 100, its end.
    std::vector<std::pair<TCVProgressPhase, double>> file;
    std::vector<TCVProgressPhase> overall;
    z.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double p, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) { file.push_back({phase, p}); });
    z.arc.SetOnOverallProgress([&](TCVBaseArchiver*, double, TCVProcessOperation, TCVProgressPhase phase, bool&) {
        overall.push_back(phase);
    });
    EXPECT_EQ(ReadEntry(z.arc, "big.txt").output.size(), text.size());
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(overall.front(), ppStart);
    EXPECT_EQ(overall.back(), ppEnd);
    EXPECT_EQ(file.back(), std::make_pair(ppEnd, 100.0));
    for (size_t i = 1; i + 1 < file.size(); ++i) {
        EXPECT_EQ(file[i].first, ppProcess);
        EXPECT_GE(file[i].second, file[i - 1].second);
        EXPECT_LE(file[i].second, 100.0);
    }

    // A handler's cancel ends the entry quietly, with part of it written.
    int calls = 0;
    z.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation,
                                TCVProgressPhase, bool& cancel) {
        if (++calls == 2) cancel = true;
    });
    z.arc.SetOnOverallProgress([](TCVBaseArchiver*, double, TCVProcessOperation, TCVProgressPhase, bool&) {});
    const Outcome cancelled = ReadEntry(z.arc, "big.txt");
    EXPECT_EQ(cancelled.native, 0);
    EXPECT_LT(cancelled.output.size(), text.size());
    // That cancel does not linger: the next read of a damaged entry is reported, even to handlers that
    // leave Cancel alone.
    EXPECT_EQ(ReadEntry(z.arc, "bad.txt").native, neDamagedItem);
    z.arc.SetOnFileProgress(nullptr);

    // An output that takes nothing: without a handler, the disk-full error; with a handler that
    // cancels, the entry ends quietly.
    struct FullStream : platform::MemoryStream {
        size_t Write(const void*, size_t) override { return 0; }
    } full;
    try {
        z.arc.ExtractToStream(u"big.txt", &full);
        ADD_FAILURE() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neDiskFull);
    }
    int asked = 0;
    z.arc.SetOnDiskFull([&](TCVBaseArchiver*, int32_t volume, const std::u16string&, bool& cancel) {
        EXPECT_EQ(volume, 0);   // the single volume, counted from 1 for hosts
        ++asked;
        cancel = true;
    });
    EXPECT_NO_THROW(z.arc.ExtractToStream(u"big.txt", &full));
    EXPECT_GE(asked, 1);
}

TEST(ReaderMethods, EntriesWrittenInThisSessionReadBack) {
    // Written and read without closing in between, on a plain archive and on one behind a stub: the
    // directory's position after the commit is where the reader's cut rule expects it.
    testing_support::ScratchDir scratch;
    testing_support::WriteBytes(scratch / "stub.bin", std::string(4096, '\x7F'));
    const std::string text = Sample(200000, 3);
    for (bool stub : {false, true}) {
        SCOPED_TRACE(stub);
        TCorvane arc;
        arc.SetFileName(U16(scratch / (stub ? "s.zip" : "p.zip")));
        if (stub) arc.SetSFXStub(U16(scratch / "stub.bin"));
        arc.OpenArchive(cvOpenCreate);
        arc.SetCompressionMode(9);
        arc.AddFromString(u"docs/a.txt", text, 0x20, 0);
        arc.AddFromString(u"b.txt", "bee", 0x20, 0);
        std::string s;
        arc.ExtractToString(u"docs/a.txt", s);
        EXPECT_TRUE(s == text);
        arc.ExtractToString(u"b.txt", s);
        EXPECT_EQ(s, "bee");
        arc.CloseArchive();
        arc.OpenArchive(cvOpenReadOnly);
        arc.ExtractToString(u"docs/a.txt", s);
        EXPECT_TRUE(s == text);
    }
}
