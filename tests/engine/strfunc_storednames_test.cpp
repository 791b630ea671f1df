#include "engine/util/CVStrFunc.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing_support::U8;

struct StoredCase {
    const char16_t* fileName;
    TCVStorePathMode mode;
    const char16_t* expected;
};

constexpr TCVStorePathMode AllModes[] = {spNoPath, spRelativePath, spFullPath, spFullPathWithDrive};

TEST(StrFuncStoredNames, WindowsStyle) {
    // CurDir and BaseDir both C:\Data, as in the worked examples.
    const StoredCase cases[] = {
        {u"C:\\Data\\Photos\\a.jpg", spRelativePath, u"Photos/a.jpg"},
        {u"C:\\Data\\Photos\\a.jpg", spNoPath, u"a.jpg"},
        {u"C:\\Data\\Photos\\a.jpg", spFullPath, u"Data/Photos/a.jpg"},
        {u"C:\\Data\\Photos\\a.jpg", spFullPathWithDrive, u"C:/Data/Photos/a.jpg"},
        {u"D:\\Other\\b.txt", spRelativePath, u"Other/b.txt"},          // other drive: no "../"
        {u"C:\\Other\\b.txt", spRelativePath, u"Other/b.txt"},          // outside the base: full path
        {u"C:\\Data\\Photos\\", spRelativePath, u"Photos"},              // a folder, "/" added by the caller
        {u"C:\\Data\\a.txt", spRelativePath, u"a.txt"},
        {u"Photos\\a.jpg", spRelativePath, u"Photos/a.jpg"},             // relative to the base
        {u"Photos\\..\\..\\up.txt", spRelativePath, u"up.txt"},
        {u"\\\\srv\\share\\x\\c.txt", spFullPath, u"share/x/c.txt"},     // server name dropped
        {u"\\\\srv\\share\\x\\c.txt", spRelativePath, u"share/x/c.txt"},
        {u"C:\\", spFullPath, u""},
        {u"", spRelativePath, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeStoredName(c.fileName, u"C:\\Data", c.mode, u"C:\\Data", psWindows, u"C:\\Proc"), c.expected)
            << U8(c.fileName) << " mode " << int(c.mode);
}

TEST(StrFuncStoredNames, PosixStyle) {
    const StoredCase cases[] = {
        {u"/data/Photos/a.jpg", spRelativePath, u"Photos/a.jpg"},
        {u"/data/Photos/a.jpg", spNoPath, u"a.jpg"},
        {u"/data/Photos/a.jpg", spFullPath, u"data/Photos/a.jpg"},
        {u"/data/Photos/a.jpg", spFullPathWithDrive, u"data/Photos/a.jpg"},   // no drive, no leading "/"
        {u"/data/Photos/", spRelativePath, u"Photos"},
        {u"/other/b.txt", spRelativePath, u"other/b.txt"},
        {u"Photos/a.jpg", spRelativePath, u"Photos/a.jpg"},
        {u"../sibling/x", spRelativePath, u"sibling/x"},
        {u"/data/notes.", spRelativePath, u"notes."},          // a trailing dot is part of the name
        {u"/data/...", spRelativePath, u"..."},
        {u"/data/a\\b.txt", spRelativePath, u"a\\b.txt"},      // "\" is a character, not a folder
        {u"/data/x../a.txt", spRelativePath, u"x../a.txt"},    // not a step up
        {u"/data/C:/a.txt", spFullPath, u"data/C:/a.txt"},     // no drive to strip
        {u"/data//sub//a.txt", spFullPath, u"data/sub/a.txt"},
        {u"/", spFullPath, u""},
        {u"/data", spRelativePath, u"data"},                   // the base itself
        {u"", spRelativePath, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeStoredName(c.fileName, u"/data", c.mode, u"/data", psPosix), c.expected)
            << U8(c.fileName) << " mode " << int(c.mode);
}

TEST(StrFuncStoredNames, RealBaseFolderAndNeverALeadingSeparator) {
    testing_support::ScratchDir scratch;
    testing_support::WriteBytes(scratch / "Photos/a.jpg", "x");
    const std::u16string base = scratch.Path16();

    EXPECT_EQ(MakeStoredName(scratch.P16("Photos/a.jpg"), base, spRelativePath, u""), u"Photos/a.jpg");
    EXPECT_EQ(MakeStoredName(scratch.P16("Photos/"), base + u"/", spRelativePath, base), u"Photos");
    EXPECT_EQ(MakeStoredName(u"Photos/a.jpg", base, spRelativePath, u"/elsewhere"), u"Photos/a.jpg");
    EXPECT_EQ(MakeStoredName(scratch.P16("Photos/a.jpg"), base, spFullPath, u""),
              base.substr(1) + u"/Photos/a.jpg");

    const char16_t* names[] = {u"/", u"//x", u"/data/../..", u"a", u"./a", u"../../../../..", u"\\\\srv\\s\\x",
                               u"C:\\x", u"/data/"};
    for (const char16_t* name : names) {
        for (TCVStorePathMode mode : AllModes) {
            const std::u16string posix = MakeStoredName(name, u"/data", mode, u"/cur", psPosix);
            EXPECT_TRUE(posix.empty() || posix[0] != u'/') << U8(name) << " -> " << U8(posix);
            const std::u16string windows = MakeStoredName(name, u"C:\\Data", mode, u"C:\\Cur", psWindows, u"C:\\P");
            if (mode != spFullPathWithDrive) {
                EXPECT_TRUE(windows.empty() || windows[0] != u'/') << U8(name) << " -> " << U8(windows);
                EXPECT_EQ(windows.find(u':'), std::u16string::npos) << U8(name) << " -> " << U8(windows);
            }
        }
    }
}

TEST(StrFuncStoredNames, VeryLongPaths) {
    std::u16string deep;
    for (int k = 0; k < 5000; ++k) deep += u"/folder";
    EXPECT_EQ(MakeStoredName(u"/data" + deep + u"/f.txt", u"/data", spRelativePath, u"/data", psPosix),
              deep.substr(1) + u"/f.txt");
    std::u16string deepWindows = deep;
    for (char16_t& c : deepWindows)
        if (c == u'/') c = u'\\';
    EXPECT_EQ(MakeStoredName(u"C:\\Data" + deepWindows + u"\\f.txt", u"C:\\Data", spFullPath, u"C:\\Data",
                             psWindows),
              u"Data" + deep + u"/f.txt");
}

TEST(StrFuncStoredNames, WideToAnsiName) {
    std::string bytes;
    EXPECT_FALSE(WideToAnsiName(u"readme.txt", bytes));
    EXPECT_EQ(bytes, "readme.txt");

    EXPECT_FALSE(WideToAnsiName(u"", bytes));
    EXPECT_EQ(bytes, "");

    EXPECT_TRUE(WideToAnsiName(u"\u00C4rger.txt", bytes));
    EXPECT_EQ(bytes, "\xC3\x84rger.txt");

    // Longer than 255 bytes once encoded: still the whole name.
    const std::u16string hangul(300, u'\uD55C');
    EXPECT_TRUE(WideToAnsiName(hangul, bytes));
    EXPECT_EQ(bytes.size(), 900u);
    EXPECT_EQ(platform::Utf8ToUtf16(bytes), hangul);
}

}  // namespace

TEST(StrFuncStoredNames, NamesWindowsCannotHold) {
    const struct {
        std::u16string name;
        bool allowed;
    } cases[] = {
        {u"docs/readme.txt", true},       {u"docs/", true},             {u"NUL.tar.gz/x", false},
        {u"CONSOLE", true},               {u"COM0", true},              {u"a.b c", true},
        {u"c:d.txt", false},              {u"a\\b", false},             {u"what?", false},
        {u"star*", false},                {u"say\"hi\"", false},        {u"<tag>", false},
        {u"pipe|", false},                {u"tab\there", false},        {u"trail.", false},
        {u"trail /x.txt", false},         {u"CON", false},              {u"docs/nul.txt", false},
        {u"Com1.log", false},             {u"lpt9", false},             {u"aux .txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameProblemOnWindows(c.name).empty(), c.allowed) << U8(c.name) << ": " << U8(NameProblemOnWindows(c.name));
}
