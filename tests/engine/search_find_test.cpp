// The archive item search over a directory built in memory: masks with and without recursion, "*."
// selections, exclusions, name-part matches, the attribute filter, the facts copied into the record,
// tagging and resolving one entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

using testing_support::U16;
using testing_support::U8;

constexpr int32_t All = 0x28BF;

struct Entry {
    const char* name;
    uint32_t attr;
    uint32_t compSize = 10;
    uint32_t unCompSize = 20;
};

// An archiver on an empty archive in memory whose directory is then filled by hand: the search reads
// nothing but the directory.
class SearchTest : public testing::Test {
protected:
    void SetUp() override {
        arc.SetName(u"Archiver");
        arc.OpenArchive(&stream, true);
    }
    void TearDown() override {
        // Nothing of the hand-made directory is meant for the stream.
        Dir().Clear();
        arc.CloseArchive();
    }

    TCVDirArray& Dir() { return arc.DMHandle()->CDir; }

    TDirItem& Add(const Entry& e) {
        TDirItem item;
        item.Name = U16(e.name);
        item.CentralDir.signature = CVCentralDirSignature;
        item.CentralDir.externalAttr = e.attr;
        item.CentralDir.compSize = e.compSize;
        item.CentralDir.unCompSize = e.unCompSize;
        const int32_t index = Dir().Count();
        Dir().SetCount(index + 1);
        Dir().SetItem(index, item);
        return Dir().GetItemPtr(index);
    }

    void AddTree() {
        for (const Entry& e : std::vector<Entry>{
                 {"README.TXT", 0x20},
                 {"a.txt", 0x20},
                 {"noext", 0x20},
                 {"docs/", 0x10},
                 {"docs/readme.txt", 0x20},
                 {"docs/a.txt", 0x21},   // read-only
                 {"docs/sub/", 0x10},
                 {"docs/sub/deep.dat", 0x22},   // hidden
                 {"arch.tar.gz", 0x20},
                 {"sys.bin", 0x24},   // system
             })
            Add(e);
    }

    // Every name a mask search finds, in order.
    std::vector<std::string> Find(const std::string& mask, int32_t attr = All, const std::string& exclusion = "") {
        std::vector<std::string> names;
        TCVArchiveItem f;
        for (bool found = arc.FindFirst(U16(mask), f, attr, U16(exclusion)); found; found = arc.FindNext(f))
            names.push_back(U8(Dir().GetItemPtr(f.Handle.ItemNo).Name));
        return names;
    }

    std::vector<std::string> FindByLists() {
        std::vector<std::string> names;
        TCVArchiveItem f;
        for (bool found = arc.FindFirst(f); found; found = arc.FindNext(f))
            names.push_back(U8(Dir().GetItemPtr(f.Handle.ItemNo).Name));
        return names;
    }

    platform::MemoryStream stream;
    TCorvane arc;
};

using Names = std::vector<std::string>;

TEST_F(SearchTest, MaskSearches) {
    AddTree();
    struct Case {
        bool recurse;
        const char* mask;
        int32_t attr;
        const char* exclusion;
        Names want;
    };
    const Names everything = {"README.TXT", "a.txt", "noext", "docs/", "docs/readme.txt", "docs/a.txt",
                              "docs/sub/", "docs/sub/deep.dat", "arch.tar.gz", "sys.bin"};
    const Case cases[] = {
        {true, "*.*", All, "", everything},
        {true, "*", All, "", everything},
        {false, "*.*", All, "", {"README.TXT", "a.txt", "noext", "docs/", "arch.tar.gz", "sys.bin"}},
        // "*." selects entries without an extension, folder entries included.
        {true, "*.", All, "", {"noext", "docs/", "docs/sub/"}},
        {false, "*.", All, "", {"noext", "docs/"}},
        // Letters A to Z fold; a mask also matches the name part of an entry in a folder.
        {true, "readme.txt", All, "", {"README.TXT", "docs/readme.txt"}},
        {true, "docs\\readme.txt", All, "", {"docs/readme.txt"}},
        {true, "?.txt", All, "", {"a.txt", "docs/a.txt"}},
        {true, "*.GZ", All, "", {"arch.tar.gz"}},
        // Without recursion a mask reaches only its own folder.
        {false, "*.txt", All, "", {"README.TXT", "a.txt"}},
        {false, "docs\\*.txt", All, "", {"docs/readme.txt", "docs/a.txt"}},
        {false, "docs/*", All, "", {"docs/readme.txt", "docs/a.txt", "docs/sub/"}},
        {false, "DOCS/SUB/*.dat", All, "", {"docs/sub/deep.dat"}},
        // The attribute filter: folder, hidden and system bits exclude; read-only never does.
        {true, "*.*", All & ~0x10, "", {"README.TXT", "a.txt", "noext", "docs/readme.txt", "docs/a.txt",
                                         "docs/sub/deep.dat", "arch.tar.gz", "sys.bin"}},
        {true, "*.*", 0, "", {"README.TXT", "a.txt", "noext", "docs/readme.txt", "docs/a.txt", "arch.tar.gz"}},
        {true, "*.*", 0x10, "", {"README.TXT", "a.txt", "noext", "docs/", "docs/readme.txt", "docs/a.txt",
                                  "docs/sub/", "arch.tar.gz"}},
        // Exclusions test the whole name only.
        {true, "*.*", All, "*.txt", {"noext", "docs/", "docs/sub/", "docs/sub/deep.dat", "arch.tar.gz", "sys.bin"}},
        {true, "*.*", All, "docs/*", {"README.TXT", "a.txt", "noext", "docs/", "arch.tar.gz", "sys.bin"}},
        {true, "*.txt", All, "a.txt", {"README.TXT", "docs/readme.txt", "docs/a.txt"}},
        {true, "missing.txt", All, "", {}},
        {true, "", All, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mask '" << c.mask << "' recurse " << c.recurse << " attr " << c.attr
                                        << " exclusion '" << c.exclusion << "'");
        arc.Options().SetRecurse(c.recurse);
        EXPECT_EQ(Find(c.mask, c.attr, c.exclusion), c.want);
    }
}

TEST_F(SearchTest, ExactNameWithoutRecursionFindsOneEntryThroughTheIndex) {
    AddTree();
    arc.Options().SetRecurse(false);
    // The index lookup applies neither the attribute filter nor the exclusion mask.
    TCVArchiveItem f;
    ASSERT_TRUE(arc.FindFirst(u"DOCS\\A.TXT", f, 0, u"*"));
    EXPECT_EQ(f.Handle.ItemNo, 5);
    EXPECT_FALSE(arc.FindNext(f));
    EXPECT_EQ(Find("docs/a.txt"), Names{"docs/a.txt"});
    EXPECT_EQ(Find("docs/"), Names{"docs/"});
    EXPECT_EQ(Find("a.txt/"), Names{});
}

TEST(SearchEscapes, MasksThatNeedBackslashesOnlyWhereTheyAreSeparators) {
    // Where "/" is the disk's separator, an exclusion typed with "\" means the same folder.
    if (NativePathStyle != psPosix) GTEST_SKIP();
    platform::MemoryStream stream;
    TCorvane arc;
    arc.OpenArchive(&stream, true);
    TDirItem item;
    item.Name = u"docs/x.tmp";
    arc.DMHandle()->CDir.SetCount(1);
    arc.DMHandle()->CDir.SetItem(0, item);
    TCVArchiveItem f;
    EXPECT_FALSE(arc.FindFirst(u"*.*", f, All, u"docs\\*.tmp"));
    EXPECT_TRUE(arc.FindFirst(u"*.*", f, All, u"other\\*.tmp"));
    arc.DMHandle()->CDir.Clear();
}

TEST_F(SearchTest, RecordFacts) {
    TDirItem& folder = Add({"docs/sub/", 0x10, 0, 0});
    folder.CentralDir.lastModDate = 0x5A21;
    folder.CentralDir.lastModTime = 0x7BCD;
    TDirItem& file = Add({"docs/sub/x.bin", 0x8000'01A4 | 0x20, 250, 1000});
    file.CentralDir.crc32 = 0xCBF43926;
    file.CentralDir.genPurposeFlag = 0x0809;
    file.Comment = "a comment";
    Add({"grew.bin", 0x20, 120, 100});
    TDirItem& huge = Add({"huge.iso", 0x20, CVSentinel32, CVSentinel32});
    huge.Zip64ExtInfo.compSize = 5'000'000'000;
    huge.Zip64ExtInfo.uncompSize = 10'000'000'000;
    Add({"root/", 0x10, 0, 0});
    const std::u16string sep(1, PathDelimiter());

    TCVArchiveItem f;
    ASSERT_TRUE(arc.FindFirst(u"*.*", f, All, u""));
    EXPECT_EQ(f.FileName, u"sub");
    EXPECT_EQ(f.StoredPath, u"docs" + sep);
    EXPECT_EQ(f.CompressionRate, 100.0);   // an empty entry
    EXPECT_EQ(f.LastModFileDate, 0x5A21);
    EXPECT_EQ(f.LastModFileTime, 0x7BCD);
    EXPECT_FALSE(f.Encrypted);

    ASSERT_TRUE(arc.FindNext(f));
    EXPECT_EQ(f.FileName, u"x.bin");
    EXPECT_EQ(f.StoredPath, u"docs" + sep + u"sub" + sep);
    EXPECT_EQ(f.CompressedSize, 250);
    EXPECT_EQ(f.UncompressedSize, 1000);
    EXPECT_DOUBLE_EQ(f.CompressionRate, 75.0);
    EXPECT_EQ(f.CRC, static_cast<int32_t>(0xCBF43926));
    EXPECT_TRUE(f.Encrypted);
    EXPECT_EQ(f.ExternalFileAttributes, 0x8000'01A4u | 0x20u);
    EXPECT_EQ(f.Comment, "a comment");

    ASSERT_TRUE(arc.FindNext(f));
    EXPECT_EQ(f.FileName, u"grew.bin");
    EXPECT_EQ(f.CompressionRate, 0.0);   // the entry grew

    ASSERT_TRUE(arc.FindNext(f));
    EXPECT_EQ(f.CompressedSize, 5'000'000'000);
    EXPECT_EQ(f.UncompressedSize, 10'000'000'000);
    EXPECT_DOUBLE_EQ(f.CompressionRate, 50.0);

    ASSERT_TRUE(arc.FindNext(f));
    EXPECT_EQ(f.FileName, u"root");
    EXPECT_EQ(f.StoredPath, u"");

    // Past the last entry: False, and the record's facts stay those of the last hit.
    EXPECT_FALSE(arc.FindNext(f));
    EXPECT_EQ(f.FileName, u"root");
    EXPECT_FALSE(arc.FindNext(f));
}

TEST_F(SearchTest, EmptyArchiveAndUnusableMasks) {
    TCVArchiveItem f;
    EXPECT_FALSE(arc.FindFirst(u"*.*", f, All, u""));
    arc.SetFileMasks({u"*.*"});
    EXPECT_FALSE(arc.FindFirst(f));

    // A mask longer than the record holds is refused, not shortened into one that finds other names.
    AddTree();
    const std::u16string longMask = std::u16string(300, u'x') + u"*";
    EXPECT_FALSE(arc.FindFirst(longMask, f, All, u""));
    EXPECT_FALSE(arc.FindNext(f));
    std::u16string withZero = u"noext";
    withZero += u'\0';
    withZero += u"*";
    EXPECT_FALSE(arc.FindFirst(withZero, f, All, u""));
    const std::u16string fits = std::u16string(250, u'?') + u"*.*";
    EXPECT_FALSE(arc.FindFirst(fits, f, All, u""));
    EXPECT_TRUE(arc.FindFirst(std::u16string(255, u'*') + u"*.*", f, All, u""));
}

TEST_F(SearchTest, SearchByTheComponentsLists) {
    AddTree();
    struct Case {
        bool recurse;
        std::vector<std::u16string> masks;
        std::vector<std::u16string> exclusions;
        Names want;
    };
    const Case cases[] = {
        {true, {u"*.txt", u"*.dat"}, {}, {"README.TXT", "a.txt", "docs/readme.txt", "docs/a.txt", "docs/sub/deep.dat"}},
        // An exclusion that matches wins over every file mask.
        {true, {u"*.txt", u"*.dat", u"docs/*"}, {u"docs/*"}, {"README.TXT", "a.txt"}},
        {true, {u"*.*"}, {u"*.txt", u"*.gz"}, {"noext", "docs/", "docs/sub/", "docs/sub/deep.dat", "sys.bin"}},
        // Whole names only: a bare name mask does not reach into folders.
        {true, {u"readme.txt"}, {}, {"README.TXT"}},
        {true, {}, {}, {}},
        // Without recursion every mask keeps to its own folder.
        {false, {u"*.txt"}, {}, {"README.TXT", "a.txt"}},
        {false, {u"*.txt", u"docs\\*.txt"}, {}, {"README.TXT", "a.txt", "docs/readme.txt", "docs/a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "recurse " << c.recurse << " masks " << c.masks.size());
        arc.Options().SetRecurse(c.recurse);
        arc.SetFileMasks(c.masks);
        arc.SetExclusionMasks(c.exclusions);
        EXPECT_EQ(FindByLists(), c.want);
    }
    // The lists search uses Options.SearchAttr.
    arc.Options().SetRecurse(true);
    arc.SetFileMasks({u"*.*"});
    arc.SetExclusionMasks({});
    arc.Options().SetSearchAttr(0);
    EXPECT_EQ(FindByLists(), (Names{"README.TXT", "a.txt", "noext", "docs/readme.txt", "docs/a.txt", "arch.tar.gz"}));
}

TEST_F(SearchTest, TagFilesMarksExactlyTheHits) {
    AddTree();
    auto tagged = [&] {
        Names names;
        for (int32_t i = 0; i < Dir().Count(); ++i)
            if (Dir().GetItemPtr(i).Tagged) names.push_back(U8(Dir().GetItemPtr(i).Name));
        return names;
    };
    arc.TagFiles(u"*.txt", All, u"docs/*");
    EXPECT_EQ(tagged(), (Names{"README.TXT", "a.txt"}));
    // A new selection clears the last one.
    arc.SetFileMasks({u"*.dat", u"*.gz"});
    arc.TagFiles();
    EXPECT_EQ(tagged(), (Names{"docs/sub/deep.dat", "arch.tar.gz"}));
    arc.TagFiles(u"nothing", All, u"");
    EXPECT_EQ(tagged(), Names{});
}

TEST_F(SearchTest, FindItemIndexResolvesOneEntry) {
    AddTree();
    arc.Options().SetRecurse(false);   // as its callers set it
    struct Case {
        const char* name;
        int32_t want;   // -1: not found
    } cases[] = {
        {"docs/readme.txt", 4},
        {"DOCS/README.TXT", 4},
        {"docs\\readme.txt", 4},
        {"docs/*.txt", 4},   // the first match inside the folder the name names
        {"*.gz", 8},
        {"readme.txt", 0},    // names fold A to Z
        {"deep.dat", -1},     // only the root is searched
        {"docs/missing.txt", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t index = -1;
        const bool found = arc.FindItemIndex(U16(c.name), index);
        EXPECT_EQ(found, c.want >= 0);
        if (c.want >= 0) {
            EXPECT_EQ(index, c.want);
        }
    }
}

TEST(SearchClosed, FindFirstOnAClosedArchiveRaisesNotOpen) {
    TCorvane arc;
    TCVArchiveItem f;
    try {
        arc.FindFirst(u"*.*", f, All, u"");
        FAIL() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neArchiveNotOpen);
    }
    EXPECT_THROW(arc.FindNext(f), ECVException);
}

TEST(SearchNames, IsNameMatchingRules) {
    TCorvane arc;
    struct Case {
        const char* name;
        const char* mask;
        bool want;
    } cases[] = {
        {"readme", "*.*", true},
        {"readme", "*.", true},
        {"read.me", "*.", false},
        {"read.", "*.", true},
        {"dir.d/file", "*.", NativePathStyle == psPosix},   // the extension is taken after the last separator
        {"a.txt", "A.TXT", true},
        {"\xc3\x89.txt", "\xc3\xa9.txt", false},   // only A to Z fold
        {"abc", "abc*.*", true},   // the first "*.*" stands for "*"
        {"abc.txt", "abc*.*", true},
        {"x.tar.gz", "*.*.*", true},
        {"anything", "", false},
        {"", "*", true},
        {"name.", "name", true},   // a trailing dot of the name is dropped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " ~ " << c.mask);
        EXPECT_EQ(arc.IsNameMatching(U16(c.name), U16(c.mask)), c.want);
    }
}

TEST(SearchNames, IsAttrMatchingRules) {
    TCorvane arc;
    struct Case {
        uint32_t attr;
        int32_t filter;
        bool want;
    } cases[] = {
        {0x20, 0, true},
        {0x01, 0, true},
        {0x21, 0, true},
        {0x10, 0, false},
        {0x10, 0x10, true},
        {0x02, 0x10, false},
        {0x06, 0x02, false},
        {0x06, 0x06, true},
        {0x08, 0x28BF, true},
        {0x81ED'0000u | 0x20, 0, true},   // a Unix mode in the high bits never excludes
    };
    for (const Case& c : cases) EXPECT_EQ(arc.IsAttrMatching(c.attr, c.filter), c.want) << c.attr << " " << c.filter;
}

}  // namespace
