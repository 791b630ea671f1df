// FileCount: entries that are not folders, as the search sees folders.
#include <gtest/gtest.h>

#include <string>

#include "engine/Corvane.h"
#include "support/TestSupport.h"

using testing_support::Quote;
using testing_support::ScratchDir;

namespace {

TEST(ArchiverFileCount, FoldersAreLeftOutUnlessTheSearchCannotSeeThem) {
    ScratchDir dir;
    // Two plain folders, a hidden folder (which the folder-only search skips, so it counts as a file)
    // and three files, one of them with a name that has no dot.
    std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w')\n"
        "def add(name, attr):\n"
        "    i=zipfile.ZipInfo(name); i.external_attr=attr; z.writestr(i,b'' if name.endswith('/') else b'x')\n"
        "add('docs/',0x10)\n"
        "add('docs/sub/',0x10)\n"
        "add('.cache/',0x12)\n"
        "add('docs/a.txt',0x20)\n"
        "add('docs/sub/README',0x20)\n"
        "add('b.bin',0x01)\n"
        "z.close()\n";
    std::string out;
    ASSERT_EQ(testing_support::RunPython(script, {dir / "f.zip"}, &out), 0) << out;

    TCorvane a;
    a.SetFileName(dir.P16("f.zip"));
    a.OpenArchive();
    a.Options().SetRecurse(false);
    EXPECT_EQ(a.FileCount(), 4);
    EXPECT_FALSE(a.Options().Recurse());   // forced on for the count only
}

TEST(ArchiverFileCount, ClosedArchiveRaisesThirteen) {
    TCorvane a;
    try {
        a.FileCount();
        FAIL() << "FileCount needs an open archive";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neArchiveNotOpen);
    }
}

}  // namespace
