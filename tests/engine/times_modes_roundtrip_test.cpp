// Times and folder modes that come back: packed in one time zone and unpacked in another, by this
// engine and by other readers, files and folders keep their modification times (also before 1980),
// and folders keep their modes.
#include "tests/engine/add_test_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "engine/format/CVExtraFields.h"

using namespace add_tests;

namespace {

// Sets TZ for the process (and for the tools it runs) until the scope ends.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        Set(zone);
    }
    ~TimeZone() { Set(saved_ ? saved_->c_str() : nullptr); }
    static void Set(const char* zone) {
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

struct Stamp {
    time_t mtime;
    mode_t mode;
};

Stamp StampOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_mtime, st.st_mode & 07777};
}

// Seconds since 1970 UTC of a UTC calendar time given as "YYYY-MM-DD hh:mm:ss".
void TouchUtc(const std::string& path, const std::string& when) {
    ASSERT_EQ(Sh("TZ=UTC touch -d " + Quote(when) + " " + Quote(path)), 0);
}

const std::vector<std::string> Paths = {"old.txt", "dir/new.txt", "dir", "private", "private/p.txt"};

}  // namespace

TEST(TimesAndModes, SurviveTimeZonesForEveryReader) {
    NewArchive a;
    WriteBytes(a.Tree("old.txt"), "from before the MS-DOS years");
    WriteBytes(a.Tree("dir/new.txt"), "new");
    WriteBytes(a.Tree("private/p.txt"), "p");
    TouchUtc(a.Tree("old.txt"), "1975-06-01 12:00:00");
    TouchUtc(a.Tree("dir/new.txt"), "2020-01-02 03:04:05");
    TouchUtc(a.Tree("private/p.txt"), "2021-07-08 09:10:11");
    // Folders last: writing into them above would move their times.
    TouchUtc(a.Tree("dir"), "2019-05-05 05:05:05");
    TouchUtc(a.Tree("private"), "2018-04-04 04:04:04");
    ASSERT_EQ(chmod(a.Tree("private").c_str(), 0700), 0);
    ASSERT_EQ(chmod(a.Tree("dir").c_str(), 0750), 0);
    std::map<std::string, Stamp> before;
    for (const std::string& p : Paths) before[p] = StampOf(a.Tree(p));

    {
        TimeZone zone("UTC");
        a.arc.AddFiles(u"*.*", 0x28BF, u"");
        // The MS-DOS fields stay as they are: local time of the packing machine.
        EXPECT_EQ(DosTimeOfItem(a.Item("dir/new.txt")), Dos(2020, 1, 2, 3, 4, 4));
        std::time_t utc = 0;
        ASSERT_TRUE(ReadExtendedTime(a.Item("old.txt").ExtraFields, utc));
        EXPECT_EQ(utc, before["old.txt"].mtime);
        a.arc.CloseArchive();
    }
    const std::string archive = a.scratch / "out/test.zip";

    TimeZone zone("Asia/Seoul");
    auto check = [&](const std::string& root, bool modes) {
        for (const std::string& p : Paths) {
            SCOPED_TRACE(root + "/" + p);
            const Stamp after = StampOf(root + "/" + p);
            EXPECT_EQ(after.mtime, before[p].mtime);
            if (modes) {
                EXPECT_EQ(after.mode, before[p].mode);
            }
        }
    };
    {
        SCOPED_TRACE("this engine");
        TCorvane reader;
        reader.SetFileName(U16(archive));
        reader.OpenArchive(cvOpenReadOnly);
        reader.SetBaseDir(a.scratch.P16("engine"));
        reader.ExtractFiles(u"*.*", 0x28BF, u"");
        reader.CloseArchive();
        check(a.scratch / "engine", true);
    }
    {
        SCOPED_TRACE("unzip");
        std::string out;
        ASSERT_EQ(Sh("unzip -q -o " + Quote(archive) + " -d " + Quote(a.scratch / "unzip"), &out), 0) << out;
        check(a.scratch / "unzip", true);
    }
    {
        SCOPED_TRACE("Python");
        // zipfile reads the MS-DOS fields only: they hold the packing machine's local time.
        std::string out;
        ASSERT_EQ(testing_support::RunPython("import zipfile,sys\n"
                                             "z=zipfile.ZipFile(sys.argv[1])\n"
                                             "i=z.getinfo('dir/new.txt')\n"
                                             "print(i.date_time, b'UT' in i.extra)\n",
                                             {archive}, &out),
                  0)
            << out;
        EXPECT_EQ(out, "(2020, 1, 2, 3, 4, 4) True\n");
    }
}
