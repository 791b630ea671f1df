// Extraction when the disk gives out: the entry that does not fit fails with the disk-full error, the
// copy already on disk under its name survives, nothing partial is left under any name, and the other
// entries still come out. The disk is filled for real where a small file system can be mounted (as
// root), and by a file-size limit on the process everywhere.
#include "process_test_support.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <functional>

using namespace process_tests;

namespace {

// Writes past `bytes` in any file fail as on a full disk, until the scope ends.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FSaved);
        // Without this the process would be killed by the signal instead of seeing the short write.
        FOldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FSaved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FSaved);
        signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FSaved{};
    sighandler_t FOldHandler = SIG_DFL;
};

// A file system of one MiB mounted on `folder` until the scope ends; Mounted() says whether it could be.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& folder) : FFolder(folder) {
        std::filesystem::create_directories(folder);
        FMounted = geteuid() == 0 && mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallFileSystem() {
        if (FMounted) umount2(FFolder.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }

private:
    std::string FFolder;
    bool FMounted = false;
};

TEST(ExtractFaults, FullDiskFailsTheEntryKeepsTheOldCopyAndLeavesNothingPartial) {
    struct Case {
        const char* what;
        bool needsRoot;
    };
    for (const Case c : {Case{"file size limit", false}, Case{"small file system", true}}) {
        SCOPED_TRACE(c.what);
        ArchiveOnDisk a;
        a.Open(BuildZip({RawEntry("small.txt", "small"), RawEntry("big.bin", std::string(3 << 20, 'z')),
                         RawEntry("after.txt", "after")}));
        a.RecordFailures();
        SmallFileSystem fs(a.Out());
        if (c.needsRoot && !fs.Mounted()) {
            std::cout << "[ SKIPPED  ] " << c.what << ": no small file system can be mounted here\n";
            continue;
        }
        WriteBytes(a.Out("big.bin"), "the copy the user had");
        {
            std::optional<FileSizeLimit> limit;
            if (!c.needsRoot) limit.emplace(1 << 20);
            a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
        }
        ASSERT_EQ(a.failures.size(), 1u);
        EXPECT_EQ(a.failures[0].FileName, "big.bin");
        EXPECT_EQ(a.failures[0].NativeError, neDiskFull);
        EXPECT_EQ(ReadBytes(a.Out("big.bin")), "the copy the user had");
        EXPECT_EQ(ReadBytes(a.Out("small.txt")), "small");
        EXPECT_EQ(ReadBytes(a.Out("after.txt")), "after");
        EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"after.txt", "big.bin", "small.txt"}));
    }
}

// Each entry is written under a name of its own beside the target and renamed when whole, so the
// target never holds a partial file; the renamed file keeps the permissions a new file gets.
TEST(ExtractFaults, EntriesAreWrittenBesideTheTargetAndRenamedWhenWhole) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("d/one.txt", "one"), RawEntry("two.txt", "two")}));
    WriteBytes(a.Out("two.txt"), "older");
    std::vector<std::string> seen;
    a.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) {
        if (phase == ppEnd) return;
        for (const std::string& name : NamesIn(a.Out())) seen.push_back(name);
    });
    const mode_t mask = umask(022);
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    umask(mask);
    // While two.txt was being written, the old copy was still in place under its name.
    bool partSeen = false;
    for (const std::string& name : seen) partSeen = partSeen || name.find(".selfpack-part-") != std::string::npos;
    EXPECT_TRUE(partSeen);
    EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"d/", "d/one.txt", "two.txt"}));
    EXPECT_EQ(ReadBytes(a.Out("two.txt")), "two");
    EXPECT_EQ(ModeOf(a.Out("d/one.txt")), 0644u);
}

}  // namespace
