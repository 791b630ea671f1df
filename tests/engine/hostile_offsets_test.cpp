// Local header offsets that point far beyond the archive, or near the end of what 64 bits hold: the
// archive opens, its sound entries stay readable, and a commit next to such an entry fails without
// growing, cutting or otherwise changing the file on disk.
#include "process_test_support.h"

#include <limits>

using namespace process_tests;

namespace {

// Sets the local header offset of the central header number `index` (counted from 0).
void PatchCentralOffset(std::string& zip, int index, uint32_t offset) {
    size_t at = 0;
    for (int i = 0; i <= index; ++i) {
        at = zip.find(std::string("PK\x01\x02", 4), i == 0 ? 0 : at + 4);
        ASSERT_NE(at, std::string::npos);
    }
    testing_support::Patch(zip, at + 42, testing_support::Le32(offset));
}

// "a.txt" sound, then "b.txt" whose offset is `offset`: in the 32-bit field when it fits, else in
// its Zip64 field behind the sentinel.
std::string ArchiveWithFarEntry(uint64_t offset) {
    RawEntry far("b.txt", "bravo");
    const bool zip64 = offset >= 0xFFFFFFFFu;
    if (zip64) far.CentralExtra = testing_support::Le16(1) + testing_support::Le16(8) + testing_support::Le64(offset);
    std::string zip = BuildZip({RawEntry("a.txt", "alpha"), far});
    PatchCentralOffset(zip, 1, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(offset));
    return zip;
}

const uint64_t FarOffsets[] = {
    uint64_t{1} << 26,                                             // 64 MiB past a file of 200 bytes
    static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) - 8,
    static_cast<uint64_t>(std::numeric_limits<int64_t>::max()),
};

}  // namespace

TEST(HostileOffsets, CommitNextToAnEntryBeyondTheEndLeavesTheArchiveAsItWas) {
    for (const uint64_t offset : FarOffsets) {
        SCOPED_TRACE(offset);
        ArchiveOnDisk a;
        const std::string bytes = ArchiveWithFarEntry(offset);
        a.Open(bytes);
        ASSERT_EQ(a.Dir().Count(), 2);
        EXPECT_ANY_THROW(a.arc.AddFromString(u"new.txt", "new", 0x20, 0));
        a.arc.CloseArchive();
        const std::string after = ReadBytes(a.ArchivePath());
        EXPECT_EQ(after.size(), bytes.size());
        EXPECT_TRUE(after == bytes);
        a.Reopen();
        EXPECT_EQ(a.Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    }
}

TEST(HostileOffsets, ExtractionReportsTheFarEntryAndExtractsTheOthers) {
    // Behind a stub, offsets counting from the archive's own start are shifted by the stub's size.
    for (const std::string& stub : {std::string(), std::string(100, 'S')}) {
        for (const uint64_t offset : FarOffsets) {
            SCOPED_TRACE(offset);
            SCOPED_TRACE(stub.size());
            ArchiveOnDisk a;
            a.Open(stub + ArchiveWithFarEntry(offset));
            ASSERT_EQ(a.Dir().Count(), 2);
            a.RecordFailures();
            a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
            EXPECT_EQ(ReadBytes(a.Out("a.txt")), "alpha");
            ASSERT_EQ(a.failures.size(), 1u);
            EXPECT_EQ(a.failures[0].FileName, "b.txt");
        }
    }
}
