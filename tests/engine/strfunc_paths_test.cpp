#include "engine/util/CVStrFunc.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::U8;

struct SplitCase {
    TCVPathStyle style;
    const char16_t* path;
    const char16_t* folder;
    const char16_t* name;
    const char16_t* extension;
    const char16_t* drive;
};

TEST(StrFuncPaths, SplitsInBothStyles) {
    const SplitCase cases[] = {
        {psWindows, u"C:\\Data\\a.txt", u"C:\\Data\\", u"a.txt", u".txt", u"C:"},
        {psWindows, u"C:a.txt", u"C:", u"a.txt", u".txt", u"C:"},
        {psWindows, u"\\\\srv\\share\\x\\c.txt", u"\\\\srv\\share\\x\\", u"c.txt", u".txt", u"\\\\srv\\share"},
        {psWindows, u"\\\\srv\\share", u"\\\\srv\\", u"share", u"", u"\\\\srv\\share"},
        {psWindows, u"\\\\srv", u"\\\\", u"srv", u"", u"\\\\srv"},
        {psWindows, u"a/b.txt", u"", u"a/b.txt", u".txt", u""},   // "/" does not split here
        {psWindows, u"dir.d\\file", u"dir.d\\", u"file", u"", u""},
        {psWindows, u"x\\archive.tar.gz", u"x\\", u"archive.tar.gz", u".gz", u""},
        {psWindows, u"name.", u"", u"name.", u".", u""},
        {psWindows, u"", u"", u"", u"", u""},
        {psPosix, u"/home/u/a.txt", u"/home/u/", u"a.txt", u".txt", u""},
        {psPosix, u"C:\\x\\a.txt", u"", u"C:\\x\\a.txt", u".txt", u""},   // no drives, "\" is a character
        {psPosix, u"a:b/c", u"a:b/", u"c", u"", u""},
        {psPosix, u"/", u"/", u"", u"", u""},
        {psPosix, u".profile", u"", u".profile", u".profile", u""},
        {psPosix, u"dir.d/", u"dir.d/", u"", u"", u""},
        {psPosix, u"", u"", u"", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_EQ(FolderPart(c.path, c.style), c.folder);
        EXPECT_EQ(FileNamePart(c.path, c.style), c.name);
        EXPECT_EQ(ExtensionPart(c.path, c.style), c.extension);
        EXPECT_EQ(DrivePart(c.path, c.style), c.drive);
    }
}

TEST(StrFuncPaths, DelimitersCountOnlyTheStylesSeparator) {
    EXPECT_EQ(IncludePathDelimiter(u"", psWindows), u"\\");
    EXPECT_EQ(IncludePathDelimiter(u"", psPosix), u"/");
    EXPECT_EQ(IncludePathDelimiter(u"C:\\x", psWindows), u"C:\\x\\");
    EXPECT_EQ(IncludePathDelimiter(u"C:\\x\\", psWindows), u"C:\\x\\");
    EXPECT_EQ(IncludePathDelimiter(u"a/", psWindows), u"a/\\");
    EXPECT_EQ(IncludePathDelimiter(u"a\\", psPosix), u"a\\/");
    EXPECT_EQ(IncludePathDelimiter(u"/a/", psPosix), u"/a/");

    EXPECT_EQ(ExcludePathDelimiter(u"", psWindows), u"");
    EXPECT_EQ(ExcludePathDelimiter(u"x\\\\", psWindows), u"x\\");   // one only
    EXPECT_EQ(ExcludePathDelimiter(u"x/", psWindows), u"x/");
    EXPECT_EQ(ExcludePathDelimiter(u"/a/", psPosix), u"/a");
    EXPECT_EQ(ExcludePathDelimiter(u"a\\", psPosix), u"a\\");

    EXPECT_EQ(DelimitedFolder(u"a", u"b", psPosix), u"a/");
    EXPECT_EQ(DelimitedFolder(u"", u"b", psPosix), u"b/");
    EXPECT_EQ(DelimitedFolder(u"", u"", psWindows), u"\\");
    EXPECT_EQ(PathDelimiter(), NativePathStyle == psWindows ? u'\\' : u'/');
}

struct FullPathCase {
    TCVPathStyle style;
    const char16_t* path;
    const char16_t* expected;
};

TEST(StrFuncPaths, FullPathIsLexical) {
    const FullPathCase windows[] = {
        {psWindows, u"a.txt", u"C:\\Cur\\Dir\\a.txt"},
        {psWindows, u"..\\a.txt", u"C:\\Cur\\a.txt"},
        {psWindows, u"\\a.txt", u"C:\\a.txt"},                 // rooted on the current drive
        {psWindows, u"D:\\x\\..\\y\\", u"D:\\y\\"},
        {psWindows, u"c:rel", u"c:\\Cur\\Dir\\rel"},           // drive-relative, current drive
        {psWindows, u"D:rel", u"D:\\rel"},                     // another drive: its root
        {psWindows, u"C:", u"C:\\Cur\\Dir"},
        {psWindows, u"\\\\srv\\share\\x\\..\\..\\y", u"\\\\srv\\share\\y"},
        {psWindows, u"\\\\srv\\share", u"\\\\srv\\share"},
        {psWindows, u"C:/a/./b", u"C:\\a\\b"},
        {psWindows, u"C:\\..\\..", u"C:\\"},
        {psWindows, u".", u"C:\\Cur\\Dir"},
        {psWindows, u".\\", u"C:\\Cur\\Dir\\"},
        {psWindows, u"C:\\a\\\\b", u"C:\\a\\b"},
        {psWindows, u"", u""},
    };
    for (const auto& c : windows) EXPECT_EQ(FullPath(c.path, c.style, u"C:\\Cur\\Dir"), c.expected) << U8(c.path);

    const FullPathCase posix[] = {
        {psPosix, u"a", u"/cur/dir/a"},
        {psPosix, u"../a", u"/cur/a"},
        {psPosix, u"/x/../../y/", u"/y/"},
        {psPosix, u"a\\b", u"/cur/dir/a\\b"},
        {psPosix, u"./", u"/cur/dir/"},
        {psPosix, u".", u"/cur/dir"},
        {psPosix, u"//x//y", u"/x/y"},
        {psPosix, u"/..", u"/"},
        {psPosix, u"C:\\x", u"/cur/dir/C:\\x"},
        {psPosix, u"", u""},
    };
    for (const auto& c : posix) EXPECT_EQ(FullPath(c.path, c.style, u"/cur/dir"), c.expected) << U8(c.path);

    // A foreign style has no current folder: a relative path stays relative.
    EXPECT_EQ(FullPath(u"a\\.\\b\\..\\c", psWindows), u"a\\c");
}

TEST(StrFuncPaths, NativeFullPathAgreesWithTheLexicalOne) {
    const std::u16string current = CurrentFolder();
    ASSERT_FALSE(current.empty());
    for (const char16_t* p : {u"a", u"a/", u"../x/./y", u"/abs/../z/", u".", u"./", u"/"})
        EXPECT_EQ(FullPath(p), FullPath(p, NativePathStyle, current)) << U8(p);
}

struct RelativeCase {
    TCVPathStyle style;
    const char16_t* base;
    const char16_t* dest;
    const char16_t* expected;
};

TEST(StrFuncPaths, RelativePath) {
    const RelativeCase cases[] = {
        {psWindows, u"C:\\Data\\Photos\\", u"C:\\Data\\Photos\\2014\\a.jpg", u"2014\\a.jpg"},
        {psWindows, u"C:\\Data\\Photos\\", u"C:\\Data\\b.txt", u"..\\b.txt"},
        {psWindows, u"C:\\a\\b\\c\\", u"C:\\a\\x\\y.txt", u"..\\..\\x\\y.txt"},
        {psWindows, u"C:\\DATA\\", u"c:\\data\\x.txt", u"x.txt"},        // names ignore case here
        {psWindows, u"C:\\Data\\", u"D:\\Data\\x.txt", u"D:\\Data\\x.txt"},   // other drive
        {psWindows, u"\\\\srv\\share\\a\\", u"\\\\srv\\share\\a\\b\\c.txt", u"b\\c.txt"},
        {psWindows, u"\\\\srv\\one\\", u"\\\\srv\\two\\c.txt", u"\\\\srv\\two\\c.txt"},
        {psWindows, u"C:\\Data", u"C:\\Data\\x.txt", u"Data\\x.txt"},   // Base without "\" names a file
        {psWindows, u"", u"", u""},
        {psPosix, u"/data/photos/", u"/data/photos/2014/a.jpg", u"2014/a.jpg"},
        {psPosix, u"/data/photos/", u"/data/b.txt", u"../b.txt"},
        {psPosix, u"/Data/", u"/data/x", u"../data/x"},                // case counts on POSIX
        {psPosix, u"/", u"/x/y", u"x/y"},
        {psPosix, u"/data/", u"/data/", u""},
        {psPosix, u"/a/", u"a/b", u"../../a/b"},                       // rooted and relative differ
        {psPosix, u"", u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RelativePath(c.base, c.dest, c.style), c.expected) << U8(c.base) << " -> " << U8(c.dest);
}

struct ExpandCase {
    const char16_t* baseDir;
    const char16_t* fileName;
    const char16_t* curDir;
    const char16_t* expected;
};

TEST(StrFuncPaths, ExpandPathWindowsStyle) {
    const ExpandCase cases[] = {
        {u"C:\\Base", u"a.txt", u"C:\\Data", u"C:\\Base\\a.txt"},
        {u"C:\\Base", u"sub\\..\\b.txt", u"C:\\Data", u"C:\\Base\\b.txt"},
        {u"C:\\Base", u"D:\\x.txt", u"C:\\Data", u"D:\\x.txt"},
        {u"C:\\Base", u"C:\\x\\..\\y", u"C:\\Data", u"C:\\x\\..\\y"},       // a drive path as written
        {u"C:\\Base", u"\\\\srv\\s\\x", u"C:\\Data", u"\\\\srv\\s\\x"},
        {u"C:\\Base", u"\\root.txt", u"C:\\Data", u"C:\\root.txt"},
        {u"", u"a.txt", u"C:\\Data", u"C:\\Data\\a.txt"},
        {u"C:\\Base", u"", u"C:\\Data", u"C:\\Base"},                      // nothing added or resolved
        {u"", u"", u"C:\\Data", u"C:\\Data\\"},
        {u"rel", u"", u"C:\\Data", u"rel"},                                // not a folder on any disk
        {u"rel", u"x", u"C:\\Data", u"C:\\Proc\\rel\\x"},                  // resolved by the process
        {u"", u"", u"\\", u"C:\\Proc\\"},                               // "\" alone: the current folder
        {u"", u"", u"", u"C:\\Proc\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandPath(c.baseDir, c.fileName, c.curDir, psWindows, u"C:\\Proc"), c.expected)
            << "'" << U8(c.baseDir) << "' + '" << U8(c.fileName) << "'";
}

TEST(StrFuncPaths, ExpandPathPosixStyle) {
    testing_support::ScratchDir scratch;
    const std::u16string real = scratch.Path16();
    const ExpandCase cases[] = {
        {u"/base", u"a.txt", u"/data", u"/base/a.txt"},
        {u"/base", u"/abs/../x", u"/data", u"/x"},
        {u"", u"a.txt", u"/data", u"/data/a.txt"},
        {u"/base", u"C:\\x", u"/data", u"/base/C:\\x"},          // no drives
        {u"/base", u"\\\\srv\\s", u"/data", u"/base/\\\\srv\\s"},  // no network paths
        {u"/nonexistent-folder-of-selfpack-tests", u"", u"/data", u"/nonexistent-folder-of-selfpack-tests"},
        {u"", u"", u"/data", u"/data/"},
        {u"/", u"", u"/data", u"/"},                              // the root stays the root
        {u"rel", u"x", u"/data", u"/pd/rel/x"},
        {u"", u"", u"", u"/pd/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandPath(c.baseDir, c.fileName, c.curDir, psPosix, u"/pd"), c.expected)
            << "'" << U8(c.baseDir) << "' + '" << U8(c.fileName) << "'";

    // An existing folder is resolved and gets its separator.
    EXPECT_EQ(ExpandPath(real + u"/./", u"", u"/data"), real + u"/");
    EXPECT_EQ(ExpandPath(real, u"", u"/data"), real + u"/");
}

TEST(StrFuncPaths, EmptyAndVeryLongInput) {
    for (TCVPathStyle style : {psPosix, psWindows}) {
        EXPECT_EQ(FolderPart(u"", style), u"");
        EXPECT_EQ(RelativePath(u"", u"x", style), u"x");
    }

    // Ten thousand folders deep: nothing here may be quadratic in stack or blow up.
    std::u16string deepWindows = u"C:";
    std::u16string deepPosix;
    for (int k = 0; k < 10000; ++k) {
        deepWindows += u"\\d" + std::u16string(1, char16_t(u'a' + k % 26));
        deepPosix += u"/d" + std::u16string(1, char16_t(u'a' + k % 26));
    }
    EXPECT_EQ(FileNamePart(deepWindows + u"\\f.txt", psWindows), u"f.txt");
    EXPECT_EQ(FullPath(deepWindows + u"\\..\\f", psWindows, u"C:\\"),
              FolderPart(deepWindows, psWindows) + u"f");
    EXPECT_EQ(RelativePath(deepPosix + u"/", deepPosix + u"/x/f", psPosix), u"x/f");
    EXPECT_EQ(RelativePath(deepPosix + u"/", u"/f", psPosix).size(), 10000u * 3 + 1);
    EXPECT_EQ(ExpandPath(deepPosix, u"f", u"/", psPosix, u"/"), deepPosix + u"/f");
    EXPECT_EQ(ExpandPath(deepWindows, u"f", u"C:\\", psWindows, u"C:\\"), deepWindows + u"\\f");
}

}  // namespace
