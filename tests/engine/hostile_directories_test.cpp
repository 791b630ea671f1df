// Directories that do not tell the truth about themselves: entries that share their data (a small
// archive that expands without bound), counts that disagree with the headers behind them, and pieces
// of archives split into volumes. Each is refused or reported as damaged, never passed as sound.
#include "process_test_support.h"

#include <random>

using namespace process_tests;
namespace ts = testing_support;

namespace {

// Where the central directory of a BuildZip archive starts: its offset is in the end record.
size_t CentralStart(const std::string& zip) {
    const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    return static_cast<uint8_t>(zip[end + 16]) | static_cast<uint8_t>(zip[end + 17]) << 8 |
           static_cast<uint8_t>(zip[end + 18]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(zip[end + 19])) << 24;
}

// The position of the n-th central header.
size_t CentralHeader(const std::string& zip, int n) {
    size_t at = CentralStart(zip);
    for (int i = 0; i < n; ++i) at = zip.find(std::string("PK\x01\x02", 4), at + 4);
    return at;
}

TEST(HostileDirectories, EntriesSharingTheirDataAreRefusedWhateverTheOpenAllows) {
    // Three honest-looking entries; the directory then points the later ones into the first one's data.
    const std::string kernel(20000, 'k');
    const std::vector<RawEntry> entries = {RawEntry("a.bin", kernel), RawEntry("b.bin", kernel), RawEntry("c.bin", kernel)};
    struct Case {
        const char* what;
        uint32_t secondOffset;   // where the second entry's local header is said to be
    };
    const std::string zip = BuildZip(entries);
    const Case cases[] = {
        {"two entries on the same local header", 0},
        {"an entry whose header lies inside another's data", 100},
    };
    for (const Case& c : cases) {
        for (const bool openCorrupted : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (openCorrupted ? ", corrupted archives allowed" : ""));
            std::string bomb = zip;
            ts::Patch(bomb, CentralHeader(bomb, 1) + 42, ts::Le32(c.secondOffset));
            ArchiveOnDisk a;
            a.arc.SetOpenCorruptedArchives(openCorrupted);
            WriteBytes(a.ArchivePath(), bomb);
            EXPECT_EQ(NativeErrorOf([&] { a.Reopen(); }), neDamagedArchive);
            EXPECT_FALSE(PathExists(a.Out()));
        }
    }
    // The same entries where the directory put them open and extract.
    ArchiveOnDisk a;
    a.Open(zip);
    a.RecordFailures();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_TRUE(a.failures.empty());
    EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));
}

// The loader's view of an archive: whether it opened, whether it had to rebuild, what it holds.
struct Loaded {
    int32_t native = -1;
    bool rebuilt = false;
    std::vector<std::string> names;
};

Loaded Load(const std::string& bytes, bool openCorrupted) {
    ArchiveOnDisk a;
    a.arc.SetOpenCorruptedArchives(openCorrupted);
    WriteBytes(a.ArchivePath(), bytes);
    Loaded result;
    result.native = NativeErrorOf([&] { a.Reopen(); });
    if (result.native == -1) {
        result.rebuilt = a.arc.DMHandle()->Rebuilt;
        result.names = a.Names();
    }
    return result;
}

TEST(HostileDirectories, CountsThatDisagreeWithTheDirectoryAreDamage) {
    const std::string two = BuildZip({RawEntry("a.txt", "alpha"), RawEntry("b.txt", "beta")});
    const size_t end = two.rfind(std::string("PK\x05\x06", 4));
    ts::RawArchive raw;
    raw.Entries = {ts::RawEntry{"only.txt", "one"}};
    raw.Zip64Records = true;
    const std::string zip64 = ts::BuildArchive(raw);
    const int64_t zip64End = ts::LayoutOf(raw).Zip64End;

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    {
        std::string b = two;   // both counts say one entry; two headers follow
        ts::Patch(b, end + 8, ts::Le16(1) + ts::Le16(1));
        cases.push_back({"a count below the headers present", b});
    }
    {
        std::string b = two;   // this volume's count disagrees with the total on a single volume
        ts::Patch(b, end + 8, ts::Le16(1));
        cases.push_back({"entries on this volume below the total", b});
    }
    {
        std::string b = zip64;   // 2^40 entries over a one-entry directory
        ts::Patch(b, static_cast<size_t>(zip64End) + 24, ts::Le64(uint64_t{1} << 40) + ts::Le64(uint64_t{1} << 40));
        cases.push_back({"a Zip64 count of 2^40", b});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Load(c.bytes, false).native, neDamagedArchive);
        // Allowed to open, the archive is rebuilt from its entries and says so.
        const Loaded rebuilt = Load(c.bytes, true);
        EXPECT_EQ(rebuilt.native, -1);
        EXPECT_TRUE(rebuilt.rebuilt);
        EXPECT_FALSE(rebuilt.names.empty());
    }
    // The honest archives load as they are.
    for (const std::string* sound : {&two, &zip64}) {
        const Loaded loaded = Load(*sound, true);
        EXPECT_EQ(loaded.native, -1);
        EXPECT_FALSE(loaded.rebuilt);
    }
}

TEST(HostileDirectories, PiecesOfSplitArchivesSayVolumesAreNotSupported) {
    ScratchDir dir;
    std::mt19937 random(13);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    WriteBytes(dir / "tree/big.bin", noise);
    std::string out;
    ASSERT_EQ(Sh("cd " + Quote(dir / "tree") + " && zip -q -s 64k ../split.zip big.bin", &out), 0) << out;
    // The last piece carries the directory and the end record; its volume number is not the first.
    const std::string last = ReadBytes(dir / "split.zip");

    std::string patched = BuildZip({RawEntry("a.txt", "alpha")});   // an end record that says volume 2 of 2
    const size_t end = patched.rfind(std::string("PK\x05\x06", 4));
    ts::Patch(patched, end + 4, ts::Le16(1));

    for (const std::string* bytes : {&last, static_cast<const std::string*>(&patched)}) {
        for (const bool openCorrupted : {true, false}) {
            ArchiveOnDisk a;
            a.arc.SetOpenCorruptedArchives(openCorrupted);
            WriteBytes(a.ArchivePath(), *bytes);
            try {
                a.Reopen();
                ADD_FAILURE() << "a piece of a split archive opened";
            } catch (const ECVException& e) {
                EXPECT_EQ(e.NativeError(), neMultiVolume);
                EXPECT_NE(U8(e.Message()).find("Multi-volume archives are not supported"), std::string::npos);
            }
        }
    }
}

TEST(HostileDirectories, WritingSplitOrSpannedArchivesIsRefusedBeforeAnythingIsWritten) {
    for (const TCVSpanningMode mode : {smSplitting, smSpanning}) {
        for (const bool inMemory : {false, true}) {
            ScratchDir dir;
            TCorvane arc;
            arc.SetFileName(dir.P16("new.zip"));
            arc.SetInMemory(inMemory);
            arc.SetSpanningMode(mode);
            try {
                arc.OpenArchive(cvOpenCreate);
                ADD_FAILURE() << "mode " << int(mode) << " opened for writing";
            } catch (const ECVException& e) {
                EXPECT_EQ(e.NativeError(), neSplitWrite);
                EXPECT_NE(U8(e.Message()).find("split or spanned archives is not supported"), std::string::npos);
            }
            EXPECT_FALSE(arc.Active());
            EXPECT_FALSE(PathExists(dir / "new.zip"));
        }
    }
}

}  // namespace
