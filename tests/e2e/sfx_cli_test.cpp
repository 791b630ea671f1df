// The built programs as a user runs them: the maker's command line packs a folder, and the produced
// executable, started from anywhere, unpacks it next to itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "E2eSupport.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

using e2e::MakerPath;
using e2e::RunIn;
using e2e::StubPath;
using testing_support::PathExists;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

// The maker with its temporary stub file kept in `tmp`, so that parallel tests do not share it.
std::string Maker(const std::string& tmp) { return "TMPDIR=" + Quote(tmp) + " " + Quote(MakerPath()); }

void ExpectSameTree(const std::string& expected, const std::string& actual) {
    std::string why;
    EXPECT_TRUE(e2e::SameTree(e2e::Snapshot(expected), e2e::Snapshot(actual), why)) << actual << ": " << why;
}

bool ToolAccepts(const std::string& command) {
    std::string out;
    const int status = testing_support::Run(command, &out);
    EXPECT_EQ(status, 0) << command << "\n" << out;
    return status == 0;
}

TEST(SfxEndToEnd, PackedFolderComesOutWholeWhereverTheExecutableIsStartedFrom) {
    ScratchDir dir;
    e2e::WriteSampleTree(dir / "Photos");
    testing_support::Run("mkdir -p " + Quote(dir / "out") + " " + Quote(dir / "elsewhere"));
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -o out/Photos.run Photos", &out, &err), 0) << err;
    const std::string exe = dir / "out/Photos.run";
    EXPECT_EQ(out, "SFX archive " + exe + " created successfully.\n");
    EXPECT_FALSE(PathExists(dir / "out/Photos.zip"));
    EXPECT_FALSE(PathExists(dir / "SFXStub.run"));   // the maker cleans up after itself
    struct stat st {};
    ASSERT_EQ(stat(exe.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0111u);

    ASSERT_EQ(RunIn(dir / "elsewhere", Quote(exe), &out, &err), 0) << err;
    EXPECT_EQ(out + err, "");
    ExpectSameTree(dir / "Photos", dir / "out/Photos");

    EXPECT_TRUE(ToolAccepts("unzip -tqq " + Quote(exe)));
    EXPECT_TRUE(ToolAccepts("7z t " + Quote(exe)));
    EXPECT_TRUE(ToolAccepts("python3 -c 'import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                            "sys.exit(z.testzip() is not None)' " + Quote(exe)));

    // Started again, it extracts over what the first start left, changed files included.
    WriteBytes(dir / "out/Photos/readme.txt", "changed by the user");
    ASSERT_EQ(std::remove((dir / "out/Photos/data/big.bin").c_str()), 0);
    ASSERT_EQ(RunIn(dir / "elsewhere", Quote(exe), &out, &err), 0) << err;
    ExpectSameTree(dir / "Photos", dir / "out/Photos");

    // A renamed copy extracts into a folder of its own name.
    ASSERT_EQ(RunIn(dir / "out", "cp Photos.run 'Holiday (2).v1.run' && ./'Holiday (2).v1.run'", &out, &err), 0) << err;
    ExpectSameTree(dir / "Photos", dir / "out/Holiday (2).v1");
}

TEST(SfxEndToEnd, DefaultOutputIsTheFolderNameInTheCurrentFolder) {
    ScratchDir dir;
    WriteBytes(dir / "src/My.Data/notes.txt", "dots in the folder name stay");
    testing_support::Run("mkdir -p " + Quote(dir / "work"));
    std::string out, err;
    ASSERT_EQ(RunIn(dir / "work", Maker(dir.Path()) + " ../src/My.Data/", &out, &err), 0) << err;
    EXPECT_EQ(out, "SFX archive " + (dir / "work/My.Data.run") + " created successfully.\n");
    EXPECT_FALSE(PathExists(dir / "work/My.Data.zip"));
    ASSERT_EQ(RunIn(dir / "work", "./My.Data.run", &out, &err), 0) << err;
    EXPECT_EQ(ReadBytes(dir / "work/My.Data/notes.txt"), "dots in the folder name stay");
}

TEST(SfxEndToEnd, EmptyFolderGivesAnExecutableThatMakesAnEmptyFolder) {
    ScratchDir dir;
    testing_support::Run("mkdir -p " + Quote(dir / "Nothing"));
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -o Nothing.run Nothing", &out, &err), 0) << err;
    EXPECT_TRUE(ToolAccepts("python3 -c 'import zipfile,sys; sys.exit(len(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
                            Quote(dir / "Nothing.run")));
    ASSERT_EQ(RunIn(dir.Path(), "rmdir Nothing && ./Nothing.run", &out, &err), 0) << err;
    struct stat st {};
    ASSERT_EQ(stat((dir / "Nothing").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_TRUE(e2e::Snapshot(dir / "Nothing").empty());
}

TEST(SfxCommandLine, ArgumentsItCannotUse) {
    ScratchDir dir;
    WriteBytes(dir / "Docs/a.txt", "a");
    struct Case {
        const char* args;
        int status;
        const char* says;   // in standard output for status 0, else in standard error
    };
    const Case cases[] = {
        {"--help", 0, "Usage: selfpack [-q] [-o OUTPUT] [--best] FOLDER"},
        {"-h", 0, "Usage: selfpack [-q] [-o OUTPUT] [--best] FOLDER"},
        {"--version", 0, "selfpack 0."},
        {"-o", 2, "-o needs"},
        {"-o x.run", 2, "no FOLDER"},
        {"-x Docs", 2, "unknown option -x"},
        {"Docs Docs", 2, "only one FOLDER"},
        {"Missing", 1, "selfpack: folder \"Missing\" not found"},
        {"Docs/a.txt", 1, "selfpack: \"Docs/a.txt\" is not a folder"},
        {"-o Docs Docs", 1, "it is a folder"},
        {"-o nowhere/x.run Docs", 1, "nowhere/x.run"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out, err;
        EXPECT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " " + c.args, &out, &err), c.status);
        EXPECT_NE((c.status == 0 ? out : err).find(c.says), std::string::npos) << out << err;
    }
    std::string listing;
    testing_support::Run("ls -A " + Quote(dir.Path()), &listing);
    EXPECT_EQ(listing, "Docs\n");   // nothing written by any of them
    for (const Case& c : cases) {
        std::string out, err;
        RunIn(dir.Path(), Maker(dir.Path()) + " " + c.args, &out, &err);
        EXPECT_EQ((out + err).find("폴더"), std::string::npos) << c.args << ": the window's words";
    }
}

// Nobody there to answer (no terminal): the failure question answers Abort, and an aborted build
// leaves nothing behind and fails.
TEST(SfxCommandLine, AbortedBuildFailsAndLeavesNothing) {
    ScratchDir dir;
    WriteBytes(dir / "Docs/a.txt", "a");
    WriteBytes(dir / "Docs/locked.txt", "held by another program");
    const int fd = open((dir / "Docs/locked.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::string out, err;
    EXPECT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -o Docs.run Docs </dev/null", &out, &err), 1);
    close(fd);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("File processing error"), std::string::npos) << err;
    EXPECT_NE(err.find("Build aborted"), std::string::npos) << err;
    std::string listing;
    testing_support::Run("ls -A " + Quote(dir.Path()), &listing);
    EXPECT_EQ(listing, "Docs\n");
}

// Into a pipe the maker prints its outcome and nothing else; -q leaves out the success message too.
// An interrupted build and one that runs out of room leave an older executable as it was and no
// temporary file behind.
TEST(SfxCommandLine, OutputsWholeOrNotAtAllWhateverStopsTheBuild) {
    ScratchDir dir;
    WriteBytes(dir / "Docs/a.txt", "a");
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -q Docs", &out, &err), 0) << err;
    EXPECT_EQ(out + err, "");
    const std::string older = ReadBytes(dir / "Docs.run");

    // Bytes that do not compress, so the archive grows past the file size limit below.
    testing_support::Run("head -c 3000000 /dev/urandom > " + Quote(dir / "Docs/noise.bin"));
    // A file size limit fails writes the way a full disk does (EFBIG, the signal ignored).
    EXPECT_EQ(RunIn(dir.Path(), "trap '' XFSZ; ulimit -f 1000; " + Maker(dir.Path()) + " Docs </dev/null", &out, &err), 1);
    EXPECT_NE(err.find("selfpack: "), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(dir / "Docs.run"), older);

    // Interrupted while the temporary file is being written.
    const std::string script = Maker(dir.Path()) + " Docs & pid=$!; "
                               "for i in $(seq 1 600); do ls -A | grep -q '^\\.Docs\\.run\\.' && break; sleep 0.01; done; "
                               "kill -TERM $pid; wait $pid; echo status=$?";
    RunIn(dir.Path(), script, &out, &err);
    EXPECT_NE(out.find("status=143"), std::string::npos) << out << err;
    EXPECT_EQ(ReadBytes(dir / "Docs.run"), older);

    std::string listing;
    testing_support::Run("ls -A " + Quote(dir.Path()), &listing);
    EXPECT_EQ(listing, "Docs\nDocs.run\n");
}

// Makers started at the same moment share one stub file: each writes it as it starts and deletes it
// as it ends. Every one of them must still produce a whole executable.
TEST(SfxCommandLine, MakersRunningAtOnceDoNotSpoilEachOthersBuilds) {
    ScratchDir dir;
    // Each its own folder: the maker reads its files without sharing them.
    for (int i = 1; i <= 6; ++i) WriteBytes(dir / ("Docs" + std::to_string(i) + "/a.txt"), std::string(200000, 'a'));
    const std::string script = "pids=; for i in 1 2 3 4 5 6; do " + Maker(dir.Path()) +
                               " -o out$i.run Docs$i >/dev/null & pids=\"$pids $!\"; done; "
                               "fail=0; for p in $pids; do wait $p || fail=1; done; exit $fail";
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), script, &out, &err), 0) << err;
    const std::string stub = e2e::StubBytes();
    for (int i = 1; i <= 6; ++i) {
        const std::string exe = dir / ("out" + std::to_string(i) + ".run");
        EXPECT_EQ(ReadBytes(exe).substr(0, stub.size()), stub) << exe;
        EXPECT_TRUE(testing_support::UnzipTestsClean(exe)) << exe;
    }
}

// A file over 4 GiB (sparse: it takes no room on disk) is stored in the Zip64 form, listed with its
// full size, and reads back whole; a check reads every byte without writing any.
TEST(SfxCommandLine, FileOver4GiBIsPackedAndComesBackWhole) {
    ScratchDir dir;
    const std::string huge = dir / "Big/huge.bin";
    WriteBytes(dir / "Big/small.txt", "small");
    const std::string size = "4294967401";   // 4 GiB + 105 bytes
    if (testing_support::Run("truncate -s " + size + " " + Quote(huge) + " && printf 'the end' >> " + Quote(huge)) != 0)
        GTEST_SKIP() << "this file system cannot hold a sparse file over 4 GiB";
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -q Big", &out, &err), 0) << err;
    ASSERT_EQ(RunIn(dir.Path(), "./Big.run --list", &out, &err), 0) << err;
    EXPECT_NE(out.find("    4294967408  "), std::string::npos) << out;
    EXPECT_TRUE(ToolAccepts("python3 -c 'import zipfile,sys; i=zipfile.ZipFile(sys.argv[1]).getinfo(\"huge.bin\"); "
                            "sys.exit(i.file_size != 4294967408)' " + Quote(dir / "Big.run")));
    ASSERT_EQ(RunIn(dir.Path(), "./Big.run --test", &out, &err), 0) << err;
    EXPECT_EQ(out, "No errors: 2 entries tested.\n");
}

// The produced executable's own options: each does its one thing, and none of them unpacks.
TEST(SfxStubProgram, OptionsListTestOrUnpackElsewhere) {
    ScratchDir dir;
    WriteBytes(dir / "Docs/a.txt", "first");
    WriteBytes(dir / "Docs/한글 문서/b.txt", "THE-DATA-OF-THE-SECOND-FILE");
    testing_support::Run("touch -d '2024-03-01 12:34:56' " + Quote(dir / "Docs/a.txt"));
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -q Docs", &out, &err), 0) << err;
    // A copy with one byte of the second file's compressed data changed.
    const std::string damage =
        "import zipfile,sys\n"
        "i=zipfile.ZipFile(sys.argv[1]).getinfo('한글 문서/b.txt')\n"
        "d=bytearray(open(sys.argv[1],'rb').read())\n"
        "o=i.header_offset\n"
        "d[o+30+int.from_bytes(d[o+26:o+28],'little')+int.from_bytes(d[o+28:o+30],'little')+i.compress_size//2]^=0x55\n"
        "open(sys.argv[2],'wb').write(d)\n";
    ASSERT_EQ(testing_support::RunPython(damage, {dir / "Docs.run", dir / "Bad.run"}, &out), 0) << out;
    ASSERT_EQ(chmod((dir / "Bad.run").c_str(), 0755), 0);

    struct Case {
        const char* command;
        int status;
        const char* out;   // found in standard output
        const char* err;   // found in standard error
    };
    const Case cases[] = {
        {"./Docs.run --help", 0, "Usage: Docs.run [-d FOLDER]", ""},
        {"./Docs.run /?", 0, "--list", ""},
        {"./Docs.run --version", 0, "Docs.run (Selfpack self-extracting archive) 0.", ""},
        {"./Docs.run --list", 0, "2024-03-01 12:34  a.txt\n", ""},
        {"./Docs.run -l", 0, "  한글 문서/b.txt\n", ""},
        {"./Docs.run --test", 0, "No errors: 3 entries tested.", ""},
        {"./Bad.run --test", 1, "", "1 of 3 entries damaged:\n  한글 문서/b.txt: "},
        {"./Docs.run -x", 2, "", "Docs.run: unknown option -x\nUsage: Docs.run"},
        {"./Docs.run Docs", 2, "", "unexpected argument"},
        {"./Docs.run -d", 2, "", "-d needs the folder"},
        {"./Docs.run --list --test", 2, "", "only one of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(RunIn(dir.Path(), std::string(c.command) + " </dev/null", &out, &err), c.status) << err;
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
    std::string listing;
    testing_support::Run("ls -A " + Quote(dir.Path()), &listing);
    EXPECT_EQ(listing, "Bad.run\nDocs\nDocs.run\n");   // nothing unpacked by any of them

    ASSERT_EQ(RunIn(dir.Path(), "./Docs.run -q -y -d 'out/deep'", &out, &err), 0) << err;
    EXPECT_EQ(out + err, "");
    ExpectSameTree(dir / "Docs", dir / "out/deep");
    ASSERT_EQ(RunIn(dir / "out", "../Docs.run --target=here", &out, &err), 0) << err;
    ExpectSameTree(dir / "Docs", dir / "out/here");
    EXPECT_EQ(RunIn(dir.Path(), "./Bad.run -y -d bad", &out, &err), 1);
    EXPECT_NE(err.find("Extraction aborted"), std::string::npos) << err;
}

TEST(SfxStubProgram, StubInFrontOfAnInfoZipArchiveExtractsIt) {
    ScratchDir dir;
    e2e::WriteSampleTree(dir / "Tree");
    std::string out, err;
    ASSERT_EQ(RunIn(dir / "Tree", "zip -qr ../tree.zip .", &out, &err), 0) << err;
    ASSERT_EQ(RunIn(dir.Path(), "cat " + Quote(StubPath()) + " tree.zip > Copy.run && chmod +x Copy.run && ./Copy.run",
                    &out, &err),
              0)
        << err;
    ExpectSameTree(dir / "Tree", dir / "Copy");
}

// What the stub cannot do, it says on standard error (nobody to show a box to), and it fails.
TEST(SfxStubProgram, FailuresAreReportedAndEndInAFailureStatus) {
    ScratchDir dir;
    WriteBytes(dir / "Docs/a.txt", "first");
    WriteBytes(dir / "Docs/b.txt", "THE-DATA-OF-THE-SECOND-FILE");
    std::string out, err;
    ASSERT_EQ(RunIn(dir.Path(), "cd Docs && zip -q0 ../docs.zip a.txt b.txt", &out, &err), 0) << err;
    std::string damaged = ReadBytes(dir / "docs.zip");
    damaged[damaged.find("SECOND")] = 's';
    WriteBytes(dir / "damaged.zip", damaged);

    struct Case {
        const char* what;
        const char* prepare;   // shell commands run in the scratch folder
        const char* exe;
        const char* says;
    };
    const std::string stub = Quote(StubPath());
    const Case cases[] = {
        {"no archive behind the stub", "cp STUB Bare.run", "Bare.run", "Invalid archive file"},
        {"damaged entry", "cat STUB damaged.zip > Bad.run", "Bad.run", "Extraction aborted: 1 of 2 entries"},
        {"a folder where a file goes", "cat STUB docs.zip > Busy.run && mkdir -p Busy/b.txt/inside", "Busy.run",
         "Extraction aborted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string prepare = c.prepare;
        prepare.replace(prepare.find("STUB"), 4, stub);
        ASSERT_EQ(RunIn(dir.Path(), prepare + " && chmod +x " + c.exe, &out, &err), 0) << err;
        EXPECT_EQ(RunIn(dir.Path(), std::string("./") + c.exe + " </dev/null", &out, &err), 1);
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
}

// One file that starts on any Linux: no program interpreter and no shared library to load with it.
TEST(SfxStubProgram, IsOneStaticExecutable) {
    std::string out;
    if (testing_support::Run("command -v readelf", &out) != 0) GTEST_SKIP() << "no readelf";
    ASSERT_EQ(testing_support::Run("readelf -lW " + Quote(StubPath()), &out), 0) << out;
    EXPECT_EQ(out.find("INTERP"), std::string::npos) << out;
    ASSERT_EQ(testing_support::Run("readelf -dW " + Quote(StubPath()), &out), 0) << out;
    EXPECT_EQ(out.find("(NEEDED)"), std::string::npos) << out;
}

// A produced executable alone in an empty root (only an empty /tmp beside it), as on a machine with no
// C library at all. Without /proc it finds itself from its first argument: the path it was started by,
// or its bare name looked up along PATH. Needs root for chroot; mounting /proc needs a private mount
// namespace as well, which some containers do not allow.
TEST(SfxStubProgram, UnpacksInAnEmptyRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "chroot needs root; IsOneStaticExecutable covers the rest";
    std::string out, err;
    if (testing_support::Run("command -v chroot", &out) != 0) GTEST_SKIP() << "no chroot";
    const std::string chroot = out.substr(0, out.find('\n'));
    ScratchDir dir;
    e2e::WriteSampleTree(dir / "Photos");
    ASSERT_EQ(RunIn(dir.Path(), Maker(dir.Path()) + " -o Photos.run Photos", &out, &err), 0) << err;
    const std::string root = dir / "root";
    ASSERT_EQ(testing_support::Run("mkdir -p " + Quote(root + "/tmp") + " " + Quote(root + "/proc") + " && cp " +
                                       Quote(dir / "Photos.run") + " " + Quote(root + "/"), &out), 0) << out;

    struct Case {
        const char* what;
        std::string command;
    };
    std::vector<Case> cases = {
        {"no /proc, started by its path", "env -i " + Quote(chroot) + " " + Quote(root) + " /Photos.run"},
        {"no /proc, started by its name along PATH", "env -i PATH=/nowhere:/ " + Quote(chroot) + " " + Quote(root) + " Photos.run"},
    };
    if (testing_support::Run("unshare --mount true", &out) == 0)
        cases.push_back({"/proc mounted", "unshare --mount sh -c " + Quote("mount -t proc proc " + Quote(root + "/proc") +
                                                                           " && exec env -i " + Quote(chroot) + " " +
                                                                           Quote(root) + " /Photos.run")});
    else
        std::printf("no private mount namespace here: the run with /proc mounted is left out\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(testing_support::Run("rm -rf " + Quote(root + "/Photos"), &out), 0) << out;
        EXPECT_EQ(RunIn(dir.Path(), c.command + " </dev/null", &out, &err), 0) << out << err;
        EXPECT_EQ(out + err, "");
        ExpectSameTree(dir / "Photos", root + "/Photos");
    }
}

}  // namespace
