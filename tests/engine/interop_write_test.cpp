// Archives written by the engine, checked and unpacked by other tools: Info-ZIP unzip, 7z, bsdtar and
// Python's zipfile must accept them and give back the very tree they were made from.
#include "tests/engine/add_test_support.h"

#include <sys/stat.h>

#include <map>
#include <random>

using namespace add_tests;
namespace fs = std::filesystem;

namespace {

// Tools are run in a UTF-8 locale so that they write the Korean and accented names as such.
int Tool(const std::string& command, std::string* output = nullptr) {
    return Sh("LC_ALL=C.UTF-8 " + command, output);
}

const char* const FileTime = "2020-02-03 04:05:06";

std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Compressible, but not trivially: words from a small vocabulary in a random order.
std::string TextBytes(size_t n, uint32_t seed) {
    static const char* const words[] = {"archive ", "folder ", "entry ", "deflate ", "header\n", "name ", "zip "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < n) text += words[random() % 7];
    text.resize(n);
    return text;
}

// Everything a user's folder may hold that matters to a reader.
void MakeRichTree(const std::string& root) {
    WriteBytes(root + "/text.txt", TextBytes(60000, 1));
    WriteBytes(root + "/random.bin", RandomBytes(300000, 2));
    WriteBytes(root + "/empty.txt", "");
    fs::create_directories(root + "/emptydir");
    WriteBytes(root + "/nested/deeper/deepest/n.txt", "deep\n");
    WriteBytes(root + "/nested/sibling.txt", "sibling\n");
    WriteBytes(root + "/한글 문서.txt", "Korean name\n");
    WriteBytes(root + "/café.txt", "accented name\n");
    WriteBytes(root + "/readonly.txt", "read only\n");
    WriteBytes(root + "/run.sh", "#!/bin/sh\necho hi\n");
    WriteBytes(root + "/big.dat", TextBytes(5 * 1024 * 1024 + 12345, 3));
    fs::permissions(root + "/readonly.txt", fs::perms(0444));
    fs::permissions(root + "/run.sh", fs::perms(0755));
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) Touch(entry.path().string(), FileTime);
}

struct Node {
    bool folder = false;
    std::string bytes;
    unsigned mode = 0;
    long long mtime = 0;
};

std::map<std::string, Node> ReadTree(const std::string& root) {
    std::map<std::string, Node> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        Node node;
        struct stat st {};
        stat(entry.path().c_str(), &st);
        node.folder = entry.is_directory();
        node.mode = st.st_mode & 0777;
        node.mtime = st.st_mtime;
        if (!node.folder) node.bytes = testing_support::ReadBytes(entry.path().string());
        tree[fs::relative(entry.path(), root).string()] = std::move(node);
    }
    return tree;
}

struct Expect {
    bool times;   // the tool restores modification times
    bool modes;   // the tool restores permission bits
};

void ExpectSameTree(const std::string& source, const std::string& extracted, Expect expect) {
    const auto want = ReadTree(source);
    const auto got = ReadTree(extracted);
    std::vector<std::string> wantNames, gotNames;
    for (const auto& [name, node] : want) wantNames.push_back(name);
    for (const auto& [name, node] : got) gotNames.push_back(name);
    ASSERT_EQ(gotNames, wantNames);
    for (const auto& [name, node] : want) {
        SCOPED_TRACE(name);
        const Node& other = got.at(name);
        EXPECT_EQ(other.folder, node.folder);
        if (node.folder) continue;
        EXPECT_TRUE(other.bytes == node.bytes) << "contents differ";
        if (expect.times) {
            EXPECT_EQ(other.mtime, node.mtime);
        }
        if (expect.modes) {
            EXPECT_EQ(other.mode & 0555, node.mode & 0555);
        }
    }
}

// A new archive of `tree` as the maker makes it.
void MakeArchive(const std::string& archive, const std::string& tree) {
    TCorvane arc;
    arc.SetName(u"Archiver");
    arc.SetFileName(U16(archive));
    arc.OpenArchive(cvOpenCreate);
    arc.SetBaseDir(U16(tree));
    arc.SetCompressionMode(9);
    arc.AddFiles(u"*.*", 0x28BF, u"");
    arc.CloseArchive();
}

// Runs a Python snippet with `archive` as sys.argv[1]; its output is returned.
std::string Python(const std::string& script, const std::string& archive, int* status = nullptr) {
    ScratchDir dir;
    WriteBytes(dir / "check.py", script);
    std::string output;
    const int rc = Tool("python3 " + Quote(dir / "check.py") + " " + Quote(archive), &output);
    if (status) *status = rc;
    return output;
}

}  // namespace

TEST(InteropWrite, AFolderTreeComesBackWholeFromEveryReader) {
    ScratchDir s;
    const std::string tree = s / "tree";
    const std::string archive = s / "tree.zip";
    MakeRichTree(tree);
    MakeArchive(archive, tree);

    std::string output;
    EXPECT_EQ(Tool("unzip -t " + Quote(archive), &output), 0) << output;
    EXPECT_EQ(Tool("7z t " + Quote(archive), &output), 0) << output;

    // Names as UTF-8 with flag bit 11 where they need it, made on UNIX by version 2.0, with the times
    // of the files.
    int status = 0;
    output = Python(R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None, z.testzip()
for i in z.infolist():
    assert (i.create_system, i.create_version) == (3, 20), (i.filename, i.create_system, i.create_version)
    wide = any(ord(c) > 127 for c in i.filename)
    assert bool(i.flag_bits & 0x800) == wide, (i.filename, i.flag_bits)
    if not i.is_dir():
        assert i.date_time == (2020, 2, 3, 4, 5, 6), (i.filename, i.date_time)
        assert i.compress_type == (0 if i.file_size == 0 else 8), (i.filename, i.compress_type)
names = sorted(z.namelist())
print(len(names))
print("\n".join(names))
)",
                    archive, &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("한글 문서.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("emptydir/"), std::string::npos) << output;

    ASSERT_EQ(Tool("unzip -q " + Quote(archive) + " -d " + Quote(s / "unzip"), &output), 0) << output;
    ASSERT_EQ(Tool("7z x -y -o" + Quote(s / "7z") + " " + Quote(archive), &output), 0) << output;
    fs::create_directories(s / "bsdtar");
    ASSERT_EQ(Tool("bsdtar -xf " + Quote(archive) + " -C " + Quote(s / "bsdtar"), &output), 0) << output;
    Python("import sys, zipfile\nzipfile.ZipFile(sys.argv[1]).extractall(sys.argv[1] + '.py')\n", archive);

    {
        SCOPED_TRACE("unzip");
        ExpectSameTree(tree, s / "unzip", {true, true});
    }
    {
        SCOPED_TRACE("7z");
        ExpectSameTree(tree, s / "7z", {true, false});
    }
    {
        SCOPED_TRACE("bsdtar");
        ExpectSameTree(tree, s / "bsdtar", {true, true});
    }
    {
        SCOPED_TRACE("python");
        ExpectSameTree(tree, archive + ".py", {false, false});
    }
}

TEST(InteropWrite, EmptyArchiveOneEntryAndThousands) {
    ScratchDir s;
    const std::string count = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
print(len(z.namelist()))
)";

    // Nothing to add: just the end record.
    fs::create_directories(s / "empty");
    MakeArchive(s / "empty.zip", s / "empty");
    EXPECT_EQ(fs::file_size(s / "empty.zip"), 22u);
    EXPECT_EQ(Python(count, s / "empty.zip"), "0\n");
    EXPECT_EQ(Tool("7z t " + Quote(s / "empty.zip")), 0);

    WriteBytes(s / "one/only.txt", "only");
    MakeArchive(s / "one.zip", s / "one");
    EXPECT_EQ(Tool("unzip -t " + Quote(s / "one.zip")), 0);
    EXPECT_EQ(Python(count, s / "one.zip"), "1\n");

    // 3000 files in 30 folders.
    for (int folder = 0; folder < 30; ++folder)
        for (int file = 0; file < 100; ++file)
            WriteBytes(s / ("many/d" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt"),
                       "file " + std::to_string(folder * 100 + file));
    MakeArchive(s / "many.zip", s / "many");
    std::string output;
    EXPECT_EQ(Tool("unzip -tq " + Quote(s / "many.zip"), &output), 0) << output;
    EXPECT_EQ(Python(count, s / "many.zip"), "3030\n");
    EXPECT_EQ(Tool("unzip -p " + Quote(s / "many.zip") + " d17/f42.txt", &output), 0);
    EXPECT_EQ(output, "file 1742");
}

TEST(InteropWrite, EntriesFromMemory) {
    ScratchDir s;
    const std::string archive = s / "memory.zip";
    platform::StringStream caller("0123456789");
    {
        TCorvane arc;
        arc.SetFileName(U16(archive));
        arc.OpenArchive(cvOpenCreate);
        arc.SetCompressionMode(6);
        arc.AddFromString(u"note.txt", "", 0x20, 0);
        arc.AddFromString(u"docs\\hello.txt", TextBytes(20000, 4), 0x20, 0);
        const std::string binary = RandomBytes(70000, 5);
        arc.AddFromBuffer(u"buffer.bin", binary.data(), static_cast<int32_t>(binary.size()), 0x20, 0);
        arc.AddFromStream(u"range.bin", &caller, true, 3, 4, 0x20, 0);
        // Without a copy the writer reads the caller's stream when the update ends, from its start.
        arc.AddFromStream(u"whole.bin", &caller, false, 0, 0, 0x20, 0);
        arc.CloseArchive();
    }
    int status = 0;
    const std::string output = Python(R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
for name in z.namelist():
    data = z.read(name)
    print(name, len(data), data[:10].decode('latin-1') if name.endswith('.bin') and len(data) < 20 else '')
)",
                                      archive, &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "note.txt 0 \ndocs/hello.txt 20000 \nbuffer.bin 70000 \nrange.bin 4 3456\n"
                      "whole.bin 10 0123456789\n");
    EXPECT_EQ(Tool("unzip -t " + Quote(archive)), 0);
}

TEST(InteropWrite, MovingAFolderLeavesTheArchiveInIt) {
    ScratchDir s;
    WriteBytes(s / "tree/a.txt", "a");
    WriteBytes(s / "tree/s/b.txt", "b");
    const std::string archive = s / "tree/moved.zip";
    {
        TCorvane arc;
        arc.SetFileName(U16(archive));
        arc.OpenArchive(cvOpenCreate);
        arc.SetBaseDir(s.P16("tree"));
        arc.MoveFiles(u"*.*", 0x28BF, u"");
        arc.CloseArchive();
    }
    std::string output;
    ASSERT_EQ(Tool("unzip -Z1 " + Quote(archive), &output), 0) << output;
    EXPECT_EQ(output, "a.txt\ns/\ns/b.txt\n");
    EXPECT_EQ(Tool("unzip -t " + Quote(archive)), 0);
    EXPECT_FALSE(fs::exists(s / "tree/a.txt"));
    EXPECT_FALSE(fs::exists(s / "tree/s"));
}

TEST(InteropWrite, SpecialFilesAndLoopsDoNotStopAnArchive) {
    ScratchDir s;
    WriteBytes(s / "tree/a.txt", "a");
    WriteBytes(s / "tree/s/b.txt", "b");
    ASSERT_EQ(Sh("mkfifo " + Quote(s / "tree/pipe")), 0);
    fs::create_directory_symlink("..", s / "tree/s/loop");
    MakeArchive(s / "out.zip", s / "tree");
    std::string output;
    ASSERT_EQ(Tool("unzip -Z1 " + Quote(s / "out.zip"), &output), 0) << output;
    EXPECT_EQ(output, "a.txt\ns/\ns/b.txt\n");
    EXPECT_EQ(Tool("unzip -t " + Quote(s / "out.zip")), 0);
}
