// Archives written by the tools people use extract to the very tree they were made from: names
// (Korean and accented ones included), bytes, folders, modification times, and the execute and
// read-only bits where the tool stored a Unix mode. Testing them passes; a flipped data byte is
// reported by the test and leaves no partial file when extracted.
#include "process_test_support.h"

#include "support/ArchiveFixtures.h"

using namespace process_tests;

namespace {

struct Tool {
    const char* Name;
    // Packs the names given (relative to the current folder) into the archive $OUT.
    const char* Command;
};

const char* const kPythonToPipe =
    "python3 -c 'import os, sys, zipfile\n"
    "with zipfile.ZipFile(sys.stdout.buffer, \"w\", zipfile.ZIP_DEFLATED) as z:\n"
    "    for top in sorted(sys.argv[1:]):\n"
    "        z.write(top)\n"
    "        for base, dirs, files in os.walk(top):\n"
    "            dirs.sort()\n"
    "            for name in sorted(dirs) + sorted(files):\n"
    "                z.write(os.path.join(base, name))\n"
    "' $NAMES | cat > \"$OUT\"";

const char* const kPythonToFile =
    "python3 -c 'import os, sys, zipfile\n"
    "with zipfile.ZipFile(os.environ[\"OUT\"], \"w\", zipfile.ZIP_DEFLATED) as z:\n"
    "    for top in sorted(sys.argv[1:]):\n"
    "        z.write(top)\n"
    "        for base, dirs, files in os.walk(top):\n"
    "            dirs.sort()\n"
    "            for name in sorted(dirs) + sorted(files):\n"
    "                z.write(os.path.join(base, name))\n"
    "' $NAMES";

const std::vector<Tool>& Tools() {
    static const std::vector<Tool> tools = {
        {"zip -9", "zip -r -9 -q \"$OUT\" $NAMES"},
        {"zip -0", "zip -r -0 -q \"$OUT\" $NAMES"},
        // Written to a pipe, zip cannot go back to fill in sizes: data descriptors follow the data.
        {"zip to a pipe", "zip -r -q - $NAMES | cat > \"$OUT\""},
        {"7z", "7z a -tzip -bd -bso0 \"$OUT\" $NAMES"},
        {"bsdtar", "bsdtar --format zip -cf \"$OUT\" $NAMES"},
        {"python zipfile", kPythonToFile},
        {"python zipfile to a pipe", kPythonToPipe},
    };
    return tools;
}

// The tree every tool packs: the usual cases, names outside ASCII, an executable and a read-only file.
void MakeSourceTree(const std::string& root) {
    std::vector<testing_support::TreeEntry> tree = testing_support::StandardTree();
    tree.push_back({"한국어/", ""});
    tree.push_back({"한국어/문서.txt", "한국어 문서\n"});
    tree.push_back({"naïve/", ""});
    tree.push_back({"naïve/Ünïcödé.txt", std::string(5000, 'u')});
    tree.push_back({"bin/", ""});
    tree.push_back({"bin/run.sh", "#!/bin/sh\necho hello\n"});
    tree.push_back({"readonly.txt", "do not touch\n"});
    testing_support::WriteTree(root, tree);
    ASSERT_EQ(chmod((root + "/bin/run.sh").c_str(), 0755), 0);
    ASSERT_EQ(chmod((root + "/readonly.txt").c_str(), 0444), 0);
    // An even second: MS-DOS times have a resolution of two.
    ASSERT_EQ(Sh("find " + Quote(root) + " -type f -exec touch -d '2020-02-03 04:05:06' {} +"), 0);
}

// The tree's top-level names, blank-separated (none of them holds a blank or a shell character).
std::string TopLevelNames(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(root)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    std::string names;
    for (const std::string& name : found) names += (names.empty() ? "" : " ") + name;
    return names;
}

void Pack(const Tool& tool, const std::string& root, const std::string& archive) {
    const std::string command = "cd " + Quote(root) + " && export OUT=" + Quote(archive) + " && NAMES=" +
                                Quote(TopLevelNames(root)) + " && " + tool.Command;
    std::string output;
    ASSERT_EQ(Sh(command, &output), 0) << tool.Name << ": " << output;
}

// Where an entry's data begins, from its local header.
size_t DataStart(const std::string& bytes, uint64_t headerOffset) {
    const auto at = [&](size_t i) { return static_cast<size_t>(static_cast<uint8_t>(bytes[i])); };
    const size_t h = static_cast<size_t>(headerOffset);
    return h + 30 + (at(h + 26) | at(h + 27) << 8) + (at(h + 28) | at(h + 29) << 8);
}

class ExtractInterop : public ::testing::TestWithParam<size_t> {};

TEST_P(ExtractInterop, ToolArchiveExtractsToTheTreeItWasMadeFrom) {
    const Tool& tool = Tools()[GetParam()];
    ArchiveOnDisk a;
    const std::string source = a.scratch / "source";
    MakeSourceTree(source);
    Pack(tool, source, a.ArchivePath());
    a.Reopen();
    a.RecordFailures();

    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    EXPECT_TRUE(a.failures.empty()) << tool.Name;
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_TRUE(a.failures.empty()) << tool.Name;

    std::map<std::string, bool> storesMode;
    for (const testing_support::ToolEntry& e : testing_support::ListWithPython(a.ArchivePath())) {
        std::string name = e.Name;
        if (!name.empty() && name.back() == '/') name.pop_back();
        storesMode[name] = (e.ExternalAttr >> 16) != 0;
    }
    const auto expected = Snapshot(source);
    const auto extracted = Snapshot(a.Out());
    ASSERT_EQ(NamesIn(a.Out()), NamesIn(source)) << tool.Name;
    for (const auto& [name, want] : expected) {
        const DiskEntry& got = extracted.at(name);
        EXPECT_EQ(got.IsFolder, want.IsFolder) << tool.Name << " " << name;
        if (want.IsFolder) continue;
        EXPECT_EQ(got.Content, want.Content) << tool.Name << " " << name;
        EXPECT_EQ(got.MTime, want.MTime) << tool.Name << " " << name;
        if (storesMode[name]) {
            EXPECT_EQ(got.Mode, want.Mode) << tool.Name << " " << name;
        }
    }
    for (const std::string& name : a.ElsewhereNames()) EXPECT_EQ(name.rfind("source/", 0), 0u) << name;
}

TEST_P(ExtractInterop, FlippedDataByteIsReportedAndLeavesNoPartialFile) {
    const Tool& tool = Tools()[GetParam()];
    ArchiveOnDisk a;
    const std::string source = a.scratch / "source";
    MakeSourceTree(source);
    Pack(tool, source, a.ArchivePath());

    std::string bytes = ReadBytes(a.ArchivePath());
    for (const testing_support::ToolEntry& e : testing_support::ListWithPython(a.ArchivePath())) {
        if (e.Name != "readme.txt") continue;
        ASSERT_GT(e.CompSize, 4u);
        bytes[DataStart(bytes, e.HeaderOffset) + e.CompSize / 2] ^= 0x5A;
    }
    WriteBytes(a.ArchivePath(), bytes);
    a.Reopen();
    a.RecordFailures();

    a.arc.TestFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 1u) << tool.Name;
    EXPECT_EQ(a.failures[0].FileName, "readme.txt");
    EXPECT_EQ(a.failures[0].NativeError, neDamagedItem);

    a.failures.clear();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 1u) << tool.Name;
    EXPECT_EQ(a.failures[0].NativeError, neDamagedItem);
    EXPECT_FALSE(PathExists(a.Out("readme.txt"))) << tool.Name;
    EXPECT_EQ(ReadBytes(a.Out("docs/data/noise.bin")), ReadBytes(source + "/docs/data/noise.bin"));

    // A copy already there is not lost to the damaged entry: it is back in place afterwards, and the
    // name it was moved aside to is gone.
    WriteBytes(a.Out("readme.txt"), "the copy the user had\n");
    a.failures.clear();
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 1u) << tool.Name;
    EXPECT_EQ(ReadBytes(a.Out("readme.txt")), "the copy the user had\n") << tool.Name;
    std::string listing;
    testing_support::Run("ls -A " + testing_support::Quote(a.Out("")), &listing);
    EXPECT_EQ(listing.find(".selfpack-old-"), std::string::npos) << listing;
}

INSTANTIATE_TEST_SUITE_P(Tools, ExtractInterop, ::testing::Range(size_t(0), Tools().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string name;
                             for (char c : std::string(Tools()[info.param].Name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
