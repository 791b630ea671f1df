// The stub's start-up: the target folder's name, and what one start reports and returns when every
// entry comes out, when some do not, and when there is nothing to extract.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "engine/Corvane.h"
#include "platform/Platform.h"
#include "stub/FileBaseName.h"
#include "stub/OwnPath.h"
#include "stub/StubMain.h"
#include "support/ArchiveFixtures.h"
#include "support/ScriptedAnswers.h"
#include "support/TestSupport.h"

using testing_support::PathExists;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::ScriptedAnswers;
using testing_support::WriteBytes;

namespace {

TEST(StubFileBaseName, NameWithoutExtensionInBothConventions) {
    struct Case {
        const char16_t* path;
        TCVPathStyle style;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"C:\\Downloads\\Photos.exe", psWindows, u"Photos"},
        {u"C:\\Downloads\\My.Data.exe", psWindows, u"My.Data"},
        {u"C:\\Downloads\\Photos (2).exe", psWindows, u"Photos (2)"},
        {u"C:Photos.exe", psWindows, u"Photos"},
        {u"C:\\tools.v2\\unpack", psWindows, u"unpack"},
        {u"/home/me/Photos.run", psPosix, u"Photos"},
        {u"/home/me/My.Data.run", psPosix, u"My.Data"},
        {u"/home/me/noextension", psPosix, u"noextension"},
        {u"/home/tools.v2/unpack", psPosix, u"unpack"},
        {u"/home/me/a\\b:c.run", psPosix, u"a\\b:c"},   // ordinary characters on POSIX
        {u"relative.run", psPosix, u"relative"},
        {u"/home/me/trailing.", psPosix, u"trailing"},
        {u"/home/me/.run", psPosix, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stub::FileBaseName(c.path, c.style), c.expected) << platform::Utf16ToUtf8(c.path);
}

// Without the system's word on it, the stub goes by its first argument as the shell did: a path as it
// stands, a bare name along PATH (skipping a same-named file nobody may run), else the current folder.
TEST(StubOwnPath, SystemPathElseFirstArgumentResolvedAsTheShellDid) {
    ScratchDir dir;
    testing_support::Run("mkdir -p " + Quote(dir / "plain") + " " + Quote(dir / "bin"));
    WriteBytes(dir / "plain/Photos.run", "not executable");
    WriteBytes(dir / "bin/Photos.run", "executable");
    testing_support::Run("chmod +x " + Quote(dir / "bin/Photos.run"));
    const std::u16string search = dir.P16("missing") + u"::" + dir.P16("plain") + u":" + dir.P16("bin");
    const std::u16string here = platform::CurrentFolder();
    struct Case {
        std::u16string system, argument0, search, expected;
    };
    const Case cases[] = {
        {u"/opt/Photos.run", u"whatever", search, u"/opt/Photos.run"},
        {u"", u"/srv/x/../Photos.run", search, u"/srv/Photos.run"},
        {u"", u"sub/Photos.run", search, IncludePathDelimiter(here) + u"sub/Photos.run"},
        {u"", u"Photos.run", search, dir.P16("bin/Photos.run")},
        {u"", u"Photos.run", dir.P16("plain"), IncludePathDelimiter(here) + u"Photos.run"},
        {u"", u"", search, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stub::OwnPath(c.system, c.argument0, c.search), c.expected)
            << testing_support::U8(c.argument0) << " along " << testing_support::U8(c.search);
}

// A self-extracting file made from Python's zipfile output behind a stand-in stub (the in-process
// start-up never runs the stub's bytes). With damaged, the data of "b/bad.txt" no longer matches
// its CRC.
std::string MakeSelfExtractor(const ScratchDir& dir, const std::string& name, bool damaged) {
    std::string out;
    const std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_STORED)\n"
        "z.writestr('a.txt',b'first entry')\n"
        "z.writestr('b/',b'')\n"
        "z.writestr('b/bad.txt',b'THE-DATA-OF-THE-SECOND-ENTRY')\n"
        "z.writestr('c.txt',b'last entry')\n"
        "z.close()\n";
    EXPECT_EQ(testing_support::Run("python3 -c " + Quote(script) + " " + Quote(dir / "src.zip"), &out), 0) << out;
    if (damaged) {
        std::string zip = ReadBytes(dir / "src.zip");
        zip[zip.find("SECOND")] = 's';
        WriteBytes(dir / "src.zip", zip);
    }
    WriteBytes(dir / "stub.bin", "a stand-in for the stub program");
    TCorvane arc;
    arc.SetFileName(dir.P16("src.zip"));
    arc.SetSFXStub(dir.P16("stub.bin"));
    arc.MakeSFX(dir.P16(name));
    return dir / name;
}

TEST(StubStartup, EveryEntryExtractedGivesZeroAndAsksNothing) {
    ScratchDir dir;
    const std::string exe = MakeSelfExtractor(dir, "Set.v1.run", false);
    ScriptedAnswers answers({});
    EXPECT_EQ(stub::RunStub(platform::Utf8ToUtf16(exe)), 0);
    EXPECT_TRUE(answers.Shown().empty());
    EXPECT_EQ(ReadBytes(dir / "Set.v1/a.txt"), "first entry");
    EXPECT_EQ(ReadBytes(dir / "Set.v1/b/bad.txt"), "THE-DATA-OF-THE-SECOND-ENTRY");
    EXPECT_EQ(ReadBytes(dir / "Set.v1/c.txt"), "last entry");
}

// A copy renamed without an extension (or to nothing but one) cannot unpack into a folder of its
// own name, nor into the folder it lies in: it gets "<name>.d" beside it.
TEST(StubStartup, ExecutableWithoutExtensionUnpacksBesideItself) {
    for (const char* name : {"photos-installer", ".run"}) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        const std::string exe = MakeSelfExtractor(dir, name, false);
        stub::TFmMain form(platform::Utf8ToUtf16(exe));
        EXPECT_EQ(form.TargetFolder(), platform::Utf8ToUtf16(exe + ".d"));
        EXPECT_FALSE(form.TargetIsPlainName());
        ScriptedAnswers answers({});
        EXPECT_EQ(stub::RunStub(platform::Utf8ToUtf16(exe)), 0);
        EXPECT_EQ(ReadBytes(exe + ".d/b/bad.txt"), "THE-DATA-OF-THE-SECOND-ENTRY");
        EXPECT_FALSE(PathExists(dir / "a.txt"));
    }
    EXPECT_TRUE(stub::TFmMain(u"/x/Photos.run").TargetIsPlainName());
    EXPECT_EQ(stub::TFmMain(u"/x/Photos.run").TargetFolder(), u"/x/Photos");
}

// The failure question decides as it always does; whatever it leaves out is said at the end, and
// the start does not count as a success.
TEST(StubStartup, EntriesLeftOutAreReportedAndFailTheStart) {
    using platform::Button;
    struct Case {
        const char* what;
        std::vector<Button> answers;
        size_t questions;
        const char* summary;
        bool lastEntryExtracted;
    };
    const Case cases[] = {
        {"ignored", {Button::Ignore}, 1, "Extraction incomplete: 3 of 4 entries extracted to ", true},
        {"retried, then ignored", {Button::Retry, Button::Ignore}, 2, "Extraction incomplete: 3 of 4 entries", true},
        {"aborted", {Button::Abort}, 1, "Extraction aborted: 2 of 4 entries extracted to ", false},
        {"box closed", {Button::None}, 1, "Extraction aborted: ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::string exe = MakeSelfExtractor(dir, "Set.run", true);
        ScriptedAnswers answers(c.answers);
        EXPECT_EQ(stub::RunStub(platform::Utf8ToUtf16(exe)), 1);
        ASSERT_EQ(answers.Shown().size(), c.questions + 1);
        EXPECT_NE(answers.Shown()[0].Buttons & uint32_t(Button::Abort), 0u);
        const std::string summary = platform::Utf16ToUtf8(answers.Shown().back().Text);
        EXPECT_EQ(summary.rfind(c.summary, 0), 0u) << summary;
        EXPECT_FALSE(PathExists(dir / "Set/b/bad.txt"));
        EXPECT_EQ(PathExists(dir / "Set/c.txt"), c.lastEntryExtracted);
    }
}

TEST(StubStartup, NothingToExtractIsAnErrorButAnEmptyArchiveIsNot) {
    ScratchDir dir;
    WriteBytes(dir / "bare.run", "only a program, no archive behind it: PK\x03\x04 inside is no entry");
    {
        ScriptedAnswers answers({});
        EXPECT_EQ(stub::RunStub(dir.P16("bare.run")), 1);
        ASSERT_EQ(answers.Shown().size(), 1u);
        EXPECT_NE(platform::Utf16ToUtf8(answers.Shown()[0].Text).find("Invalid archive file"), std::string::npos);
    }

    WriteBytes(dir / "stub.bin", "stand-in");
    WriteBytes(dir / "empty.zip", testing_support::kEmptyArchive);
    TCorvane arc;
    arc.SetFileName(dir.P16("empty.zip"));
    arc.SetSFXStub(dir.P16("stub.bin"));
    arc.MakeSFX(dir.P16("Nothing.run"));
    ScriptedAnswers answers({});
    EXPECT_EQ(stub::RunStub(dir.P16("Nothing.run")), 0);
    EXPECT_TRUE(answers.Shown().empty());
    EXPECT_TRUE(platform::FolderExists(dir.P16("Nothing")));
    EXPECT_TRUE(e2e::Snapshot(dir / "Nothing").empty());
}

// A download cut short loses the end of the archive and its directory: what the local headers still
// show is extracted, but the start reports the damage and fails, since more may have been there.
TEST(StubStartup, ArchiveCutShortExtractsWhatIsFoundAndFails) {
    ScratchDir dir;
    const std::string exe = MakeSelfExtractor(dir, "Cut.run", false);
    std::string bytes = ReadBytes(exe);
    const size_t last = bytes.rfind("last entry");
    ASSERT_NE(last, std::string::npos);
    WriteBytes(exe, bytes.substr(0, last + 4));   // inside the last entry's data
    ScriptedAnswers answers({});
    EXPECT_EQ(stub::RunStub(platform::Utf8ToUtf16(exe)), 1);
    ASSERT_FALSE(answers.Shown().empty());
    const std::string summary = platform::Utf16ToUtf8(answers.Shown().back().Text);
    EXPECT_EQ(summary.rfind("The archive is damaged", 0), 0u) << summary;
    EXPECT_EQ(ReadBytes(dir / "Cut/a.txt"), "first entry");
    EXPECT_EQ(ReadBytes(dir / "Cut/b/bad.txt"), "THE-DATA-OF-THE-SECOND-ENTRY");
}

}  // namespace
