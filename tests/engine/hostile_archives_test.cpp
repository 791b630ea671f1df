// Archives that lie: a bomb whose directory understates its size, archives cut short, offsets that
// point nowhere, and noise. Each ends with an error (on opening, or per entry through the failure
// event), leaves no partial file and writes nothing outside the destination.
#include "process_test_support.h"

#include <random>

using namespace process_tests;

namespace {

// Raw deflate data that inflates to `mebibytes` MiB of zeros: one fully flushed block of 1 MiB,
// repeated (a full flush leaves nothing for the next copy to refer back to), then an empty final block.
std::string ZeroBomb(int mebibytes) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string zeros(1 << 20, '\0');
    std::string chunk(1 << 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(zeros.data());
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_out = static_cast<uInt>(chunk.size());
    deflate(&z, Z_FULL_FLUSH);
    chunk.resize(z.total_out);
    deflateEnd(&z);
    std::string bomb;
    bomb.reserve(chunk.size() * static_cast<size_t>(mebibytes) + 2);
    for (int i = 0; i < mebibytes; ++i) bomb += chunk;
    return bomb + std::string("\x03\x00", 2);
}

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Opens the archive if it can be opened; extracts and tests it if so. Returns whether it opened.
bool TryEverything(ArchiveOnDisk& a) {
    try {
        a.Reopen();
    } catch (const ECVException&) {
        return false;
    }
    a.RecordFailures();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    return true;
}

TEST(HostileArchives, BombStopsAtTheSizeItsDirectoryGives) {
    ArchiveOnDisk a;
    RawEntry bomb("bomb.bin");
    bomb.Stored = ZeroBomb(2048);   // 2 GiB of zeros
    bomb.Size = 1000;
    bomb.CrcValue = Crc(std::string(1000, '\0'));
    a.Open(BuildZip({bomb, RawEntry("after.txt", "after")}));
    a.RecordFailures();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    a.arc.TestFiles(u"*.*", 0x28BF, u"");

    ASSERT_EQ(a.failures.size(), 2u);
    for (const Failure& f : a.failures) {
        EXPECT_EQ(f.FileName, "bomb.bin");
        EXPECT_EQ(f.NativeError, neDamagedItem);
    }
    EXPECT_EQ(NamesIn(a.Out()), std::vector<std::string>{"after.txt"});
}

TEST(HostileArchives, ArchivesCutShortNeverLeaveAPartialFile) {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i) + "\n";
    const std::vector<RawEntry> entries = {Folder("d/"), RawEntry("d/text.txt", text), RawEntry("noise.bin", Noise(30000, 1)),
                                           RawEntry("small.txt", "small")};
    const std::string whole = BuildZip(entries);
    std::map<std::string, std::string> original;
    for (const RawEntry& e : entries) original[e.Name] = e.Data;

    for (size_t cut : {size_t(0), size_t(10), size_t(100), whole.size() / 2, whole.size() - 60, whole.size() - 23,
                       whole.size() - 1}) {
        ArchiveOnDisk a;
        WriteBytes(a.ArchivePath(), whole.substr(0, cut));
        TryEverything(a);
        // Whatever was written is whole and right.
        for (const auto& [name, entry] : Snapshot(a.Out())) {
            if (entry.IsFolder) continue;
            EXPECT_EQ(entry.Content, original[name]) << name << " cut at " << cut;
        }
        EXPECT_TRUE(a.ElsewhereNames().empty()) << "cut at " << cut;
    }

    // The entries' data cut short while the directory behind them survives: the archive opens (its
    // directory as it stands, or rebuilt from the local headers that are left), and every entry
    // whose data is gone fails on its own.
    const size_t centralStart = whole.find(std::string("PK\x01\x02", 4));
    for (size_t keep : {size_t(200), centralStart / 2, centralStart - 10}) {
        ArchiveOnDisk a;
        WriteBytes(a.ArchivePath(), whole.substr(0, keep) + whole.substr(centralStart));
        ASSERT_TRUE(TryEverything(a)) << "data kept " << keep;
        for (const Failure& f : a.failures) EXPECT_EQ(f.NativeError, neDamagedItem) << f.FileName;
        for (const auto& [name, entry] : Snapshot(a.Out())) {
            if (entry.IsFolder) continue;
            EXPECT_EQ(entry.Content, original[name]) << name << " data kept " << keep;
        }
        EXPECT_TRUE(a.ElsewhereNames().empty());
    }
}

TEST(HostileArchives, EntriesWhoseDataLiesElsewhereFailAlone) {
    ArchiveOnDisk a;
    std::string bytes = BuildZip({RawEntry("first.txt", "first"), RawEntry("second.txt", "second"), RawEntry("third.txt", "third")});
    // Point the second central header's local header offset past the end of the file, and the
    // third's into the central directory.
    const size_t central = bytes.find(std::string("PK\x01\x02", 4));
    const size_t second = bytes.find(std::string("PK\x01\x02", 4), central + 4);
    const size_t third = bytes.find(std::string("PK\x01\x02", 4), second + 4);
    auto setOffset = [&](size_t header, uint32_t value) {
        std::string field;
        Put32(field, value);
        bytes.replace(header + 42, 4, field);
    };
    setOffset(second, 0x7FFFFFF0);
    setOffset(third, static_cast<uint32_t>(central));
    a.Open(bytes);
    a.RecordFailures();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    std::vector<std::string> failed;
    for (const Failure& f : a.failures) {
        failed.push_back(f.FileName);
        EXPECT_EQ(f.NativeError, neDamagedItem) << f.FileName;
    }
    EXPECT_EQ(failed, (std::vector<std::string>{"second.txt", "third.txt"}));
    EXPECT_EQ(NamesIn(a.Out()), std::vector<std::string>{"first.txt"});
    EXPECT_EQ(ReadBytes(a.Out("first.txt")), "first");
}

TEST(HostileArchives, NoiseIsRefusedOrYieldsOnlyFailures) {
    std::vector<std::string> samples = {Noise(65536, 7), Noise(100, 8)};
    // Noise behind an end record that promises more entries than the file could hold.
    std::string promise = Noise(4096, 9);
    Put32(promise, 0x06054B50);
    Put16(promise, 0);
    Put16(promise, 0);
    Put16(promise, 0xFFFE);
    Put16(promise, 0xFFFE);
    Put32(promise, 4000);
    Put32(promise, 0);
    Put16(promise, 0);
    samples.push_back(promise);
    // Noise with local header signatures sprinkled in.
    std::string sprinkled = Noise(20000, 10);
    for (size_t at = 100; at + 4 < sprinkled.size(); at += 997) sprinkled.replace(at, 4, std::string("PK\x03\x04", 4));
    samples.push_back(sprinkled);

    for (const std::string& sample : samples) {
        ArchiveOnDisk a;
        WriteBytes(a.ArchivePath(), sample);
        bool opened = false;
        try {
            opened = TryEverything(a);
        } catch (const platform::Exception&) {
            // A stream error while the directory is read is a refusal too.
        }
        if (!opened) {
            EXPECT_TRUE(NamesIn(a.Out()).empty());
        }
        EXPECT_TRUE(a.ElsewhereNames().empty());
    }
}

}  // namespace
