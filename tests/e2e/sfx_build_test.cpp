// The build as the window and the command line run it: output names, the folder check, repeated
// builds, a stub file that another maker deleted or is rewriting, an update answered with Abort, and
// outputs that appear whole or not at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <span>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "E2eSupport.h"
#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"
#include "maker/BuildCommand.h"
#include "maker/TerminalProgress.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/ScriptedAnswers.h"
#include "support/TestSupport.h"

using testing_support::PathExists;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::ScriptedAnswers;
using testing_support::WriteBytes;

namespace {

std::span<const uint8_t> AsBytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

size_t Occurrences(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++count;
    return count;
}

// The names in a folder, sorted, separated by blanks.
std::string Listing(const std::string& dir) {
    std::string out;
    testing_support::Run("ls -A " + testing_support::Quote(dir) + " | tr '\\n' ' ' | sed 's/ $//'", &out);
    return out;
}

int64_t StubSizeOf(const std::string& path) {
    platform::FileStream stream(platform::Utf8ToUtf16(path), platform::fmOpenRead | platform::fmShareDenyNone);
    TCVDirManager dm(&stream, nullptr, false);
    dm.LoadDir();
    return dm.StubSize;
}


// A build set up in a scratch folder: a small folder to pack and the real stub as the stub file.
struct BuildSetup {
    ScratchDir dir;
    std::string stubBytes = e2e::StubBytes();
    maker::TStubFile stub;
    maker::TMakerArchiver archiver;

    BuildSetup() {
        WriteBytes(dir / "Docs/a.txt", "alpha");
        WriteBytes(dir / "Docs/sub/b.txt", "beta");
        stub = {dir.P16("SFXStub.run"), AsBytes(stubBytes)};
        maker::WriteStubFile(stub);
    }
    maker::TBuildOutcome Build(const std::string& output) {
        return maker::Build(archiver, dir.P16("Docs"), platform::Utf8ToUtf16(output), stub);
    }
};

TEST(MakerBuild, OutputNames) {
    EXPECT_EQ(maker::DefaultOutput(u"/data/My.Data", u"/w"), u"/w/My.Data.run");
    EXPECT_EQ(maker::DefaultOutput(u"/data/Photos/", u"/w/"), u"/w/Photos.run");
    EXPECT_EQ(maker::DefaultOutput(u"/data/Photos/./sub/..", u"/w"), u"/w/Photos.run");
    EXPECT_EQ(maker::DefaultOutput(u"/", u"/w"), u"");

    // From the window: beside the chosen folder, named after it. A trailing separator names the same
    // folder (an executable called ".run" would unpack over the folder it lies in); a root has no
    // name, and the window refuses it.
    EXPECT_EQ(maker::WindowOutput(u"/data/My.Data"), u"/data/My.Data.run");
    EXPECT_EQ(maker::WindowOutput(u"/data/../data/Photos"), u"/data/Photos.run");
    EXPECT_EQ(maker::WindowOutput(u"/data/"), u"/data.run");
    EXPECT_EQ(maker::WindowOutput(u"/data/Photos//"), u"/data/Photos.run");
    EXPECT_EQ(maker::FolderName(u"/"), u"");
    EXPECT_EQ(maker::WindowOutput(u"Photos"), IncludePathDelimiter(platform::CurrentFolder()) + u"Photos.run");
}

TEST(MakerBuild, FolderCheck) {
    ScratchDir dir;
    WriteBytes(dir / "file.txt", "x");
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "folder").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(maker::CheckFolder(u""), u"만들폴더선택~");
    EXPECT_EQ(maker::CheckFolder(dir.P16("missing")), u"폴더가 없네~");
    EXPECT_EQ(maker::CheckFolder(dir.P16("file.txt")), u"폴더가 없네~");
    EXPECT_EQ(maker::CheckFolder(dir.P16("folder")), u"");
    EXPECT_EQ(maker::CheckFolder(dir.P16("link")), u"");
}

// The same archiver builds again and again, as the window's does: each archive is made without a
// stub, and each executable carries exactly one.
TEST(MakerBuild, EveryBuildInARowCarriesExactlyOneStub) {
    BuildSetup b;
    const std::string stubHead = b.stubBytes.substr(0, 4096);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        const std::string exe = b.dir / ("out" + std::to_string(i) + ".run");
        const maker::TBuildOutcome outcome = b.Build(exe);
        EXPECT_EQ(outcome.Result, maker::TBuildResult::Built);
        EXPECT_EQ(outcome.Message, u"SFX archive " + platform::Utf8ToUtf16(exe) + u" created successfully.");
        const std::string bytes = ReadBytes(exe);
        EXPECT_EQ(bytes.substr(0, b.stubBytes.size()), b.stubBytes);
        EXPECT_EQ(Occurrences(bytes, stubHead), 1u);
        EXPECT_EQ(StubSizeOf(exe), static_cast<int64_t>(b.stubBytes.size()));
        struct stat st {};
        ASSERT_EQ(stat(exe.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0111, 0111u);
    }
}

// The stub file is shared by every maker of the user: one that closes deletes it, one that starts
// rewrites it. Neither may spoil a build that is running.
TEST(MakerBuild, StubFileDeletedOrChangedMeanwhileStillGivesTheRightStub) {
    BuildSetup b;
    ASSERT_TRUE(platform::DeleteFile(b.stub.FileName));
    EXPECT_EQ(b.Build(b.dir / "one.run").Result, maker::TBuildResult::Built);
    EXPECT_EQ(ReadBytes(b.dir / "one.run").substr(0, b.stubBytes.size()), b.stubBytes);

    // Same size, other bytes: what a copy caught halfway through a rewrite looks like.
    WriteBytes(b.dir / "SFXStub.run", std::string(b.stubBytes.size(), 'Z'));
    EXPECT_EQ(b.Build(b.dir / "two.run").Result, maker::TBuildResult::Built);
    EXPECT_EQ(ReadBytes(b.dir / "two.run").substr(0, b.stubBytes.size()), b.stubBytes);
    EXPECT_EQ(ReadBytes(b.dir / "SFXStub.run"), b.stubBytes);
}

// A file that cannot be read while the archive is written: the failure question decides. Ignore
// leaves the file out and the build goes on; Abort empties the archive, and an executable made from
// it would pass for the folder's contents, so the older executable stays as it was.
TEST(MakerBuild, AbortedUpdateLeavesNeitherExecutableNorArchive) {
    using platform::Button;
    for (const Button answer : {Button::Abort, Button::Ignore}) {
        SCOPED_TRACE(answer == Button::Abort ? "Abort" : "Ignore");
        BuildSetup b;
        // The maker asks for no sharing, so a lock held elsewhere keeps it from reading the file.
        const int fd = open((b.dir / "Docs/sub/b.txt").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(flock(fd, LOCK_EX), 0);
        WriteBytes(b.dir / "Docs.run", "an older build");
        ScriptedAnswers answers({answer});
        const maker::TBuildOutcome outcome = b.Build(b.dir / "Docs.run");
        close(fd);
        EXPECT_EQ(answers.Shown().size(), 1u);
        EXPECT_EQ(Listing(b.dir.Path()), "Docs Docs.run SFXStub.run");   // no temporary file left
        if (answer == Button::Abort) {
            EXPECT_EQ(outcome.Result, maker::TBuildResult::Aborted);
            EXPECT_NE(platform::Utf16ToUtf8(outcome.Message).find("aborted"), std::string::npos);
            EXPECT_EQ(ReadBytes(b.dir / "Docs.run"), "an older build");
        } else {
            EXPECT_EQ(outcome.Result, maker::TBuildResult::Built);
            TCorvane check;
            check.SetFileName(b.dir.P16("Docs.run"));
            check.OpenArchive(cvOpenReadOnly);
            TCVArchiveItem item;
            EXPECT_TRUE(check.FindFirst(u"a.txt", item, 0x28BF, u""));
            EXPECT_FALSE(check.FindFirst(u"sub/b.txt", item, 0x28BF, u""));
        }
    }
}

// The output appears under its name only when complete: a file of the intermediate archive's old
// name is a user's and stays, an older output is replaced in one step, and a build stopped halfway
// (the window's Exit) leaves the older output and nothing else.
TEST(MakerBuild, OutputIsWholeOrNotThereAndNoUserFileIsTouched) {
    BuildSetup b;
    WriteBytes(b.dir / "Docs.zip", "a user's own archive");
    WriteBytes(b.dir / "Docs.run", "an older build");
    ASSERT_EQ(b.Build(b.dir / "Docs.run").Result, maker::TBuildResult::Built);
    EXPECT_EQ(ReadBytes(b.dir / "Docs.zip"), "a user's own archive");
    EXPECT_TRUE(testing_support::UnzipTestsClean(b.dir / "Docs.run"));
    EXPECT_EQ(Listing(b.dir.Path()), "Docs Docs.run Docs.zip SFXStub.run");
    struct stat st {};
    ASSERT_EQ(stat((b.dir / "Docs.run").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, (0777 & ~mask));   // as a new program gets it, not a private file's 0700

    const std::string built = ReadBytes(b.dir / "Docs.run");
    WriteBytes(b.dir / "Docs/big.bin", std::string(3 << 20, 'x'));
    bool sawTemporary = false;
    b.archiver.SetProgressHandler([&](const maker::TBuildProgress& step) {
        if (step.Percent > 0 && step.Percent < 100 && !b.archiver.StopRequested()) {
            sawTemporary = Listing(b.dir.Path()).find(".Docs.run.") != std::string::npos;
            b.archiver.RequestStop();
        }
    });
    EXPECT_EQ(b.Build(b.dir / "Docs.run").Result, maker::TBuildResult::Aborted);
    EXPECT_TRUE(sawTemporary);
    EXPECT_EQ(ReadBytes(b.dir / "Docs.run"), built);
    EXPECT_EQ(Listing(b.dir.Path()), "Docs Docs.run Docs.zip SFXStub.run");

    // A folder where the output goes cannot be replaced: an error, and nothing left behind.
    b.archiver.ClearStop();
    b.archiver.SetProgressHandler(nullptr);
    ASSERT_EQ(mkdir((b.dir / "Taken.run").c_str(), 0755), 0);
    EXPECT_THROW(b.Build(b.dir / "Taken.run"), platform::Exception);
    EXPECT_THROW(b.Build(b.dir / "missing/Docs.run"), platform::Exception);
    EXPECT_EQ(Listing(b.dir.Path()), "Docs Docs.run Docs.zip SFXStub.run Taken.run");
}

// The command line's progress line: the file named below the packed folder, the rate only once it
// can be measured, and a name too long for the terminal cut at its start (Hangul takes two columns).
TEST(MakerProgress, LineFitsTheTerminal) {
    maker::TBuildProgress step;
    step.FileName = u"/w/Photos/docs/a.txt";
    step.Percent = 42.7;
    step.BytesDone = 4 << 20;
    EXPECT_EQ(maker::ProgressLine(step, 0.1, u"/w/Photos", 80), " 42%  docs/a.txt");
    EXPECT_EQ(maker::ProgressLine(step, 2.0, u"/w/Photos/", 80), " 42%  2.0 MiB/s  docs/a.txt");
    EXPECT_EQ(maker::ProgressLine(step, 0.1, u"/elsewhere", 80), " 42%  /w/Photos/docs/a.txt");

    step.FileName = u"/w/Photos/" + std::u16string(40, u'x') + u"/한글 문서.txt";
    const std::string line = maker::ProgressLine(step, 0.1, u"/w/Photos", 40);
    EXPECT_EQ(line.substr(0, 9), " 42%  ...") << line;
    EXPECT_EQ(line.substr(line.size() - 18), "/한글 문서.txt") << line;
    size_t columns = 0;
    for (const char16_t c : platform::Utf8ToUtf16(line)) columns += c >= 0x1100 ? 2 : 1;
    EXPECT_LE(columns, 39u) << line;
}

}  // namespace
