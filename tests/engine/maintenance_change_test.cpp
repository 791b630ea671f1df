// Changing the external attributes, the internal attributes and the comments of selected entries:
// the central directory carries the change, the local headers and the data stay byte for byte.
#include "process_test_support.h"

using namespace process_tests;

namespace {

// The archive up to its central directory: local headers and data.
std::string EntriesPart(const std::string& archive) {
    const std::string bytes = ReadBytes(archive);
    const std::string end = bytes.substr(bytes.size() - 22);
    const uint32_t offset = static_cast<uint8_t>(end[16]) | static_cast<uint8_t>(end[17]) << 8 |
                            static_cast<uint8_t>(end[18]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(end[19])) << 24;
    return bytes.substr(0, offset);
}

std::vector<RawEntry> Mixed() {
    return {Folder("docs/"), RawEntry("docs/a.txt", std::string(3000, 'a')), RawEntry("b.bin", "bee"),
            RawEntry("c.txt", "sea")};
}

TEST(MaintenanceChange, AttributesOfEveryMatchKeepTheFolderBitAndTheDataStays) {
    ArchiveOnDisk a;
    a.Open(BuildZip(Mixed()));
    const std::string entriesBefore = EntriesPart(a.ArchivePath());
    a.arc.ChangeFilesAttr(u"*.*", 0x01);
    a.arc.CloseArchive();

    EXPECT_EQ(EntriesPart(a.ArchivePath()), entriesBefore);
    const auto listed = testing_support::ListWithPython(a.ArchivePath());
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].ExternalAttr & 0xFFFF, 0x11u) << listed[0].Name;
    for (size_t i = 1; i < listed.size(); ++i) EXPECT_EQ(listed[i].ExternalAttr & 0xFFFF, 0x01u) << listed[i].Name;

    // Extracted, a read-only entry gives a file nobody may write.
    a.Reopen();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(ModeOf(a.Out("c.txt")) & 0222, 0u);
}

TEST(MaintenanceChange, InternalAttributesTakeTheLow16Bits) {
    ArchiveOnDisk a;
    a.Open(BuildZip(Mixed()));
    a.arc.ChangeFilesIntAttr(u"*.txt", 0x12345);
    a.Reopen();
    EXPECT_EQ(a.Item("docs/a.txt").CentralDir.internalAttr, 0x2345);
    EXPECT_EQ(a.Item("c.txt").CentralDir.internalAttr, 0x2345);
    EXPECT_EQ(a.Item("b.bin").CentralDir.internalAttr, 0);
}

TEST(MaintenanceChange, CommentGoesToTheMatchingEntriesOnly) {
    ArchiveOnDisk a;
    a.Open(BuildZip(Mixed()));
    const std::string entriesBefore = EntriesPart(a.ArchivePath());
    a.arc.ChangeFilesComment(u"*.txt", "note");
    a.arc.CloseArchive();

    EXPECT_EQ(EntriesPart(a.ArchivePath()), entriesBefore);
    for (const testing_support::ToolEntry& e : testing_support::ListWithPython(a.ArchivePath())) {
        const bool txt = e.Name.size() > 4 && e.Name.substr(e.Name.size() - 4) == ".txt";
        EXPECT_EQ(e.Comment, txt ? "note" : "") << e.Name;
    }
    std::string output;
    EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
}

TEST(MaintenanceChange, ChangesInsideAnOuterUpdateWaitForItsEnd) {
    ArchiveOnDisk a;
    a.Open(BuildZip(Mixed()));
    const std::string before = ReadBytes(a.ArchivePath());
    a.arc.BeginUpdate();
    a.arc.ChangeFilesComment(u"c.txt", "later");
    a.arc.ChangeFilesAttr(u"c.txt", 0x20);
    EXPECT_EQ(ReadBytes(a.ArchivePath()), before);
    EXPECT_EQ(a.Item("c.txt").Operation, poChangeComment);   // the first mark stays
    a.arc.EndUpdate();
    a.Reopen();
    EXPECT_EQ(a.Item("c.txt").Comment, "later");
    EXPECT_EQ(a.Item("c.txt").CentralDir.externalAttr & 0xFFFF, 0x20u);
}

TEST(MaintenanceChange, NothingMatchingOrNoArchiveIsAnError) {
    ArchiveOnDisk a;
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ChangeFilesAttr(u"*.*", neDirPutIndex); }), 13);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ChangeFilesComment(u"*.*", "x"); }), neArchiveNotOpen);
    a.Open(BuildZip(Mixed()));
    const std::string before = ReadBytes(a.ArchivePath());
    try {
        a.arc.ChangeFilesAttr(u"*.none", 1);
        ADD_FAILURE() << "no error";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neChangeNotFound);
        EXPECT_NE(U8(e.Message()).find("File \"*.none\" not found"), std::string::npos) << U8(e.Message());
    }
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ChangeFilesIntAttr(u"*.none", neDirPutIndex); }), 38);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ChangeFilesComment(u"*.none", "x"); }), neChangeNotFound);
    // A comment longer than its 16-bit length field could say is refused before anything changes.
    EXPECT_THROW(a.arc.ChangeFilesComment(u"*.*", std::string(0x10000, 'c')), platform::Exception);
    EXPECT_FALSE(a.arc.InUpdate());
    EXPECT_EQ(ReadBytes(a.ArchivePath()), before);
}

}  // namespace
