// The produced executable when the disk cannot take what it holds: too little space stops it before
// it writes anything, a disk that fills while it writes ends it with a message, and neither that nor
// killing it ever leaves a partial file under an entry's name.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "E2eSupport.h"
#include "engine/Corvane.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testing_support::PathExists;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

// The real stub in front of an archive of `files` (each a name and its size in zeros, deflated), as
// `dir`/`name`.
std::string MakeRun(const ScratchDir& dir, const std::string& name,
                    const std::vector<std::pair<std::string, size_t>>& files) {
    std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n";
    for (const auto& [file, size] : files)
        script += "z.writestr('" + file + "',b'\\0'*" + std::to_string(size) + ")\n";
    script += "z.close()\n";
    std::string out;
    EXPECT_EQ(testing_support::Run("python3 -c " + Quote(script) + " " + Quote(dir / "src.zip"), &out), 0) << out;
    TCorvane arc;
    arc.SetFileName(dir.P16("src.zip"));
    arc.SetSFXStub(platform::Utf8ToUtf16(e2e::StubPath()));
    arc.MakeSFX(dir.P16(name));
    std::filesystem::remove(dir / "src.zip");
    std::filesystem::permissions(dir / name, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    return dir / name;
}

// Names below `root` that an unfinished entry is written under.
std::vector<std::string> PartFiles(const std::string& root) {
    std::vector<std::string> parts;
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->path().filename().string().rfind(".selfpack-part-", 0) == 0) parts.push_back(it->path().string());
    return parts;
}

constexpr size_t MiB = 1 << 20;

TEST(StubFaults, TooLittleSpaceStopsBeforeAnythingIsWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    ScratchDir dir;
    const std::string exe = MakeRun(dir, "Big.run", {{"a.bin", 2 * MiB}, {"b.bin", 8 * MiB}});
    const uintmax_t exeSize = std::filesystem::file_size(exe);
    const std::string small = dir / "small";
    std::filesystem::create_directories(small);
    const std::string options = "size=" + std::to_string(exeSize + 4 * MiB);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, options.c_str()) != 0) GTEST_SKIP() << "no small file system here";
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{small};
    std::filesystem::copy_file(exe, small + "/Big.run");

    std::string out, err;
    EXPECT_EQ(e2e::RunIn(small, "./Big.run", &out, &err), 1);
    EXPECT_NE(err.find("Not enough free space"), std::string::npos) << err;
    EXPECT_NE(err.find("Nothing was extracted"), std::string::npos) << err;
    EXPECT_FALSE(PathExists(small + "/Big"));
}

TEST(StubFaults, DiskFillingUpWhileUnpackingEndsWithAMessageAndNoPartialFile) {
    ScratchDir dir;
    const std::string exe = MakeRun(dir, "Fill.run", {{"first.bin", 1000}, {"big.bin", 3 * MiB}});
    // A file-size limit stands in for the full disk: each write past it fails as a full disk does.
    std::string out, err;
    EXPECT_EQ(e2e::RunIn(dir.Path(), "trap '' XFSZ; ulimit -f 1024; " + Quote(exe), &out, &err), 1);
    EXPECT_NE(err.find("Disk is full"), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(dir / "Fill/first.bin"), std::string(1000, '\0'));
    EXPECT_FALSE(PathExists(dir / "Fill/big.bin"));
    EXPECT_TRUE(PartFiles(dir / "Fill").empty());
}

// An end record that counts fewer entries than its directory holds: everything is extracted from the
// rebuilt directory, and the start still reports the damage and fails.
TEST(StubFaults, DirectoryCountsThatDisagreeAreReportedAsDamage) {
    ScratchDir dir;
    const std::string exe = MakeRun(dir, "Counted.run", {{"a.bin", 10}, {"b.bin", 20}});
    std::string bytes = ReadBytes(exe);
    const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    bytes.replace(end + 8, 4, std::string("\x01\x00\x01\x00", 4));
    WriteBytes(exe, bytes);
    std::string out, err;
    EXPECT_EQ(e2e::RunIn(dir.Path(), Quote(exe), &out, &err), 1);
    EXPECT_NE(err.find("The archive is damaged"), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(dir / "Counted/a.bin"), std::string(10, '\0'));
    EXPECT_EQ(ReadBytes(dir / "Counted/b.bin"), std::string(20, '\0'));
}

TEST(StubFaults, KilledWhileWritingLeavesNoPartialFileUnderTheEntrysName) {
    ScratchDir dir;
    const std::string exe = MakeRun(dir, "Killed.run", {{"huge.bin", 256 * MiB}});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Killed as soon as the entry is being written.
    bool writing = false;
    for (int i = 0; i < 20000 && !writing; ++i) {
        for (const std::string& part : PartFiles(dir / "Killed")) {
            std::error_code ignored;
            writing = writing || std::filesystem::file_size(part, ignored) > 0;
        }
        if (!writing) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (!writing || !WIFSIGNALED(status)) GTEST_SKIP() << "the stub finished before it could be killed";
    EXPECT_FALSE(PathExists(dir / "Killed/huge.bin"));
    EXPECT_EQ(PartFiles(dir / "Killed").size(), 1u);
}

}  // namespace
