// Testing entries without writing them, and the validity question that rests on it.
#include "process_test_support.h"

using namespace process_tests;

namespace {

TEST(ProcessTest, SoundEntriesPassAndNothingIsWritten) {
    ArchiveOnDisk a;
    std::string noise;
    for (int i = 0; i < 50000; ++i) noise.push_back(static_cast<char>((i * 7919) >> 3));
    RawEntry stored("docs/stored.bin", noise);
    stored.Deflate = false;
    a.Open(BuildZip({Folder("docs/"), RawEntry("docs/a.txt", std::string(100000, 'a')), stored, RawEntry("empty.txt")}));
    a.RecordFailures();
    std::vector<std::string> tested;
    a.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double, TCVProcessOperation op,
                                TCVProgressPhase phase, bool&) {
        EXPECT_EQ(op, poTest);
        if (phase == ppEnd) tested.push_back(U8(name));
    });
    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    EXPECT_TRUE(a.failures.empty());
    EXPECT_EQ(tested, (std::vector<std::string>{"docs/", "docs/a.txt", "docs/stored.bin", "empty.txt"}));
    EXPECT_EQ(NamesIn(a.scratch.Path()), std::vector<std::string>{"test.zip"});
}

TEST(ProcessTest, DamagedEntriesAreReportedOneByOneAsNative8) {
    ArchiveOnDisk a;
    RawEntry badCrc("bad-crc.txt", "some text");
    badCrc.CrcValue = 42;
    RawEntry badSize("bad-size.txt", "some text");
    badSize.Size = 4;
    RawEntry badStream("bad-stream.txt", "some text");
    badStream.Stored = std::string("\xFF\xFF\xFF\xFF", 4);
    // Folders are not tested, whatever their data would say.
    RawEntry folder = Folder("docs/");
    folder.CrcValue = 42;
    a.Open(BuildZip({badCrc, RawEntry("good.txt", "fine"), badSize, badStream, folder}));
    a.RecordFailures();
    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 3u);
    EXPECT_EQ(a.failures[0].FileName, "bad-crc.txt");
    EXPECT_EQ(a.failures[1].FileName, "bad-size.txt");
    EXPECT_EQ(a.failures[2].FileName, "bad-stream.txt");
    for (const Failure& f : a.failures) EXPECT_EQ(f.NativeError, neDamagedItem) << f.FileName;
    EXPECT_EQ(NamesIn(a.scratch.Path()), std::vector<std::string>{"test.zip"});
}

TEST(ProcessTest, AbortStopsAtTheFirstDamagedEntry) {
    ArchiveOnDisk a;
    RawEntry bad("bad.txt", "x");
    bad.CrcValue = 1;
    a.Open(BuildZip({bad, bad}));
    a.RecordFailures();
    a.answers = {fxaAbort};
    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(a.failures.size(), 1u);
}

struct ValidityCase {
    const char* What;
    std::string Bytes;
    bool Valid;
    bool IsZip = true;
};

TEST(ProcessValidArchive, AnswersFromTheDirectoryAndTheTestOfEveryEntry) {
    RawEntry bad("bad.txt", "some text");
    bad.CrcValue = 42;
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise.push_back(static_cast<char>(i * 2654435761u >> 24));
    const std::vector<ValidityCase> cases = {
        {"sound", BuildZip({Folder("d/"), RawEntry("d/a.txt", "alpha"), RawEntry("b.txt", "beta")}), true},
        {"empty archive", BuildZip({}), true},
        {"damaged entry", BuildZip({RawEntry("a.txt", "alpha"), bad}), false},
        {"noise", noise, false, false},
        {"empty file", "", false, false},
    };
    for (const ValidityCase& c : cases) {
        ArchiveOnDisk a;
        WriteBytes(a.ArchivePath(), c.Bytes);
        a.arc.SetFileName(U16(a.ArchivePath()));
        bool hostAsked = false;
        a.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, int32_t, int32_t,
                                          const std::u16string&, TCVAction&) { hostAsked = true; });
        ScriptedAnswers dialogs({});
        EXPECT_EQ(a.arc.IsValidArchiveFile(), c.Valid) << c.What;
        // The question asks nobody, and leaves the component as it found it.
        EXPECT_TRUE(dialogs.Script().Messages.empty()) << c.What;
        EXPECT_FALSE(a.arc.Active()) << c.What;
        EXPECT_TRUE(a.arc.OpenCorruptedArchives()) << c.What;
        EXPECT_EQ(a.arc.SpanningMode(), smNone) << c.What;
        if (!c.IsZip) continue;
        // The host's handler is back in place.
        a.arc.OpenArchive(cvOpenReadOnly);
        a.arc.TestFiles(u"*.*", 0x28BF, u"");
        EXPECT_EQ(hostAsked, !c.Valid) << c.What;
        a.arc.CloseArchive();
    }
}

TEST(ProcessValidArchive, MissingFileIsNotAndAnOpenArchiveIs) {
    ArchiveOnDisk a;
    a.arc.SetFileName(U16(a.ArchivePath()));
    EXPECT_FALSE(a.arc.IsValidArchiveFile());
    a.Open(BuildZip({RawEntry("a.txt", "alpha")}));
    EXPECT_TRUE(a.arc.IsValidArchiveFile());
    EXPECT_TRUE(a.arc.Active());
}

}  // namespace
