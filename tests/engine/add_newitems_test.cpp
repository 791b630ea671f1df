// New directory items: the values an item starts with, the overwrite decision, the store event and
// the items made from memory. Looked at in the directory, inside an update that is never committed.
#include "tests/engine/add_test_support.h"

#include <cstdlib>
#include <ctime>

#include "engine/base/CVExcept.h"
#include "engine/format/CVZipRecords.h"

using namespace add_tests;

namespace {

// Within a few seconds of the present (the entry carries the time it was added).
bool IsAboutNow(uint32_t dosTime) {
    const std::time_t t = platform::DosTimeToTime(dosTime);
    return std::llabs(static_cast<long long>(std::time(nullptr) - t)) <= 4;
}

constexpr uint32_t UnixTypeBits = 0170000u << 16;

}  // namespace

TEST(AddNewItem, FileAndFolderItemsStartWithTheirInitialValues) {
    NewArchive a;
    WriteBytes(a.Tree("doc.txt"), "some text");
    Touch(a.Tree("doc.txt"), "2021-03-04 05:06:08");
    std::filesystem::create_directories(a.Tree("sub"));
    a.arc.SetCompressionMode(9);
    a.Hold();

    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("sub")), a.arc.BaseDir(), 0, 0, true), 1);
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"doc.txt", "sub/"}));

    const TDirItem& file = a.Item("doc.txt");
    EXPECT_TRUE(file.Modified);
    EXPECT_EQ(file.Operation, poAdd);
    EXPECT_EQ(file.SrcFileName, U16(a.Tree("doc.txt")));
    EXPECT_EQ(file.CompressionMode, 9);
    EXPECT_EQ(file.CompressionMethod, CVMethodDeflated);
    EXPECT_EQ(file.CentralDir.signature, CVCentralDirSignature);
    EXPECT_EQ(file.CentralDir.versionMadeBy, 0x0314);
    EXPECT_EQ(file.CentralDir.extractVersion, 0x0014);
    EXPECT_EQ(file.CentralDir.genPurposeFlag, 0);
    EXPECT_EQ(file.CentralDir.compMethod, CVMethodDeflated);
    EXPECT_EQ(file.CentralDir.crc32, 0xFFFFFFFFu);
    EXPECT_EQ(file.CentralDir.compSize, 0u);
    EXPECT_EQ(file.CentralDir.relOffsetLH, 0u);
    EXPECT_EQ(file.CentralDir.nameLength, 7);
    EXPECT_EQ(DosTimeOfItem(file), Dos(2021, 3, 4, 5, 6, 8));
    EXPECT_EQ(file.CentralDir.externalAttr & 0xFFFF, platform::faArchive);
    EXPECT_EQ(file.CentralDir.externalAttr & UnixTypeBits, 0100000u << 16);

    // A folder is stored, carries exactly flag 2, and the time it was added (not its own).
    const TDirItem& folder = a.Item("sub/");
    EXPECT_EQ(folder.CompressionMode, 0);
    EXPECT_EQ(folder.CentralDir.compMethod, CVMethodStored);
    EXPECT_EQ(folder.CentralDir.genPurposeFlag, CVFlagFolderEntry);
    EXPECT_EQ(folder.CentralDir.crc32, 0u);
    EXPECT_EQ(folder.CentralDir.externalAttr & 0xFFFF, platform::faDirectory);
    EXPECT_EQ(folder.CentralDir.externalAttr & UnixTypeBits, 0040000u << 16);
    EXPECT_TRUE(IsAboutNow(DosTimeOfItem(folder)));
    a.Drop();
}

TEST(AddNewItem, PasswordAndModeZeroAndVanishedSource) {
    NewArchive a;
    std::filesystem::create_directories(a.Tree("sub"));
    a.arc.SetPassword("secret");
    a.arc.SetCompressionMode(0);
    a.Hold();

    // A file that is gone by now still becomes an item: a plain file of the present time.
    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("gone.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("sub")), a.arc.BaseDir(), 0, 0, true), 1);
    const TDirItem& gone = a.Item("gone.txt");
    EXPECT_EQ(gone.CentralDir.externalAttr, platform::faArchive);
    EXPECT_TRUE(IsAboutNow(DosTimeOfItem(gone)));
    EXPECT_EQ(gone.CentralDir.genPurposeFlag, CVFlagEncrypted);
    EXPECT_EQ(gone.Password, "secret");
    EXPECT_EQ(gone.CentralDir.compMethod, CVMethodStored);
    EXPECT_EQ(a.Item("sub/").CentralDir.genPurposeFlag, CVFlagFolderEntry);
    a.Drop();
}

TEST(AddNewItem, SpecialFilesAreNeverMadeIntoItems) {
    NewArchive a;
    ASSERT_EQ(Sh("mkfifo " + Quote(a.Tree("pipe"))), 0);
    a.Hold();
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("pipe")), a.arc.BaseDir(), 0, 0, true), -1);
    EXPECT_EQ(a.Dir().Count(), 0);
    a.Drop();
}

TEST(AddNewItem, OverwriteModesDecideAboutANameAlreadyThere) {
    struct Case {
        const char* label;
        TCVOverwriteMode mode;
        const char* secondTime;   // the file's time when it is added the second time
        bool replaced;
    };
    const Case cases[] = {
        {"always", omAlways, "2021-03-04 05:06:08", true},
        {"never", omNever, "2022-01-01 00:00:00", false},
        {"if newer, equal", omIfNewer, "2021-03-04 05:06:08", false},
        {"if older, equal", omIfOlder, "2021-03-04 05:06:08", false},
        {"if newer, newer", omIfNewer, "2022-01-01 00:00:00", true},
        {"if newer, older", omIfNewer, "2020-01-01 00:00:00", false},
        {"if older, older", omIfOlder, "2020-01-01 00:00:00", true},
        {"if older, newer", omIfOlder, "2022-01-01 00:00:00", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        NewArchive a;
        WriteBytes(a.Tree("doc.txt"), "x");
        Touch(a.Tree("doc.txt"), "2021-03-04 05:06:08");
        a.Hold();
        ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);

        a.arc.Options().SetOverwriteMode(c.mode);
        Touch(a.Tree("doc.txt"), c.secondTime);
        const int32_t index = a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true);
        ASSERT_EQ(a.Dir().Count(), 1);
        const TDirItem& item = a.Dir().GetItemPtr(0);
        EXPECT_EQ(index, c.replaced ? 0 : -1);
        EXPECT_EQ(item.Operation, c.replaced ? poUpdate : poAdd);
        EXPECT_EQ(DosTimeOfItem(item), c.replaced ? static_cast<uint32_t>(FileDosTime(U16(a.Tree("doc.txt"))))
                                                  : Dos(2021, 3, 4, 5, 6, 8));
        a.Drop();
    }
}

TEST(AddNewItem, PromptAsksTheUserAndNoToAllSticks) {
    NewArchive a;
    WriteBytes(a.Tree("doc.txt"), "x");
    ScriptedAnswers dialogs({platform::Button::Yes, platform::Button::No, platform::Button::NoToAll});
    a.Hold();
    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    a.arc.Options().SetOverwriteMode(omPrompt);

    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), -1);
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), -1);
    EXPECT_EQ(a.arc.Options().OverwriteMode(), omNever);
    ASSERT_EQ(dialogs.Script().Messages.size(), 3u);
    EXPECT_EQ(dialogs.Script().Messages[0].Text,
              u"Overwrite file \"doc.txt\" with \"" + U16(a.Tree("doc.txt")) + u"\"");
    a.Drop();
}

TEST(AddNewItem, AnOverwriteHandlerThatRenamesKeepsTheOldEntry) {
    NewArchive a;
    WriteBytes(a.Tree("doc.txt"), "x");
    a.Hold();
    ASSERT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    a.arc.Options().SetOverwriteMode(omPrompt);
    a.arc.SetOnConfirmOverwrite([](TCVBaseArchiver*, const std::u16string&, std::u16string& dest, bool& confirm) {
        dest = u"copy of " + dest;
        confirm = true;
    });
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 1);
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"doc.txt", "copy of doc.txt"}));
    EXPECT_EQ(a.Item("doc.txt").Operation, poAdd);
    EXPECT_EQ(a.Item("copy of doc.txt").Operation, poAdd);
    a.Drop();
}

TEST(AddNewItem, StoreHandlerRenamesSetsAttributesAndComment) {
    NewArchive a;
    WriteBytes(a.Tree("doc.txt"), "x");
    WriteBytes(a.Tree("skip.txt"), "x");
    WriteBytes(a.Tree("rooted.txt"), "x");
    std::vector<std::u16string> seenNames, seenOriginals;
    a.arc.SetOnStoreFile([&](TCVBaseArchiver*, std::u16string& name, int32_t& attr, std::string& comment,
                             const std::u16string& original) {
        seenNames.push_back(name);
        seenOriginals.push_back(original);
        if (name == u"doc.txt") {
            name = u"renamed/doc.txt";
            attr = platform::faArchive | platform::faReadOnly;
            comment = "hello";
        } else if (name == u"skip.txt") {
            name.clear();
        } else {
            name = u"/" + name;
        }
    });
    a.Hold();
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("doc.txt")), a.arc.BaseDir(), 0, 0, true), 0);
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("skip.txt")), a.arc.BaseDir(), 0, 0, true), -1);
    EXPECT_EQ(a.arc.AddNewItem(U16(a.Tree("rooted.txt")), a.arc.BaseDir(), 0, 0, true), 1);

    EXPECT_EQ(seenNames[0], u"doc.txt");
    EXPECT_EQ(seenOriginals[0], U16(a.Tree("doc.txt")));
    // No entry with an empty name, and none that starts at the root.
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"renamed/doc.txt", "rooted.txt"}));
    const TDirItem& item = a.Item("renamed/doc.txt");
    EXPECT_EQ(item.CentralDir.externalAttr, platform::faArchive | platform::faReadOnly);
    EXPECT_EQ(item.Comment, "hello");
    EXPECT_EQ(item.CentralDir.commentLength, 5);
    EXPECT_EQ(item.CentralDir.nameLength, 15);
    a.Drop();
}

TEST(AddFromMemory, NamesTimesAndAttributes) {
    struct Case {
        std::u16string given;
        int32_t attr;
        const char* stored;   // null: nothing is added
    };
    const Case cases[] = {
        {u"note.txt", 0x20, "note.txt"},
        {u"dir\\sub\\x.txt", 0x20, "dir/sub/x.txt"},
        {u"/abs/y.txt", 0x20, "abs/y.txt"},
        {u"trailing/", 0x20, "trailing"},
        {u"folder", 0x10, "folder/"},
        {u"", 0x20, nullptr},
        {u"/", 0x20, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.given));
        NewArchive a;
        a.Hold();
        a.arc.AddFromString(c.given, "", c.attr, 0);
        if (!c.stored) {
            EXPECT_EQ(a.Dir().Count(), 0);
        } else {
            ASSERT_EQ(a.Names(), (std::vector<std::string>{c.stored}));
            const TDirItem& item = a.Dir().GetItemPtr(0);
            EXPECT_EQ(item.CentralDir.externalAttr, static_cast<uint32_t>(c.attr));
            EXPECT_EQ(item.CentralDir.unCompSize, 0u);
            EXPECT_TRUE(item.SrcFileName.empty());
            EXPECT_TRUE(IsAboutNow(DosTimeOfItem(item)));
        }
        a.Drop();
    }

    NewArchive a;
    a.Hold();
    a.arc.AddFromString(u"dated.txt", "abc", 0x20, testing_support::LocalTime(2019, 7, 14, 13, 45, 31));
    EXPECT_EQ(DosTimeOfItem(a.Item("dated.txt")), Dos(2019, 7, 14, 13, 45, 30));
    EXPECT_EQ(a.Item("dated.txt").CentralDir.unCompSize, 3u);
    a.Drop();
}

TEST(AddFromMemory, StreamIsCopiedOrReferred) {
    NewArchive a;
    platform::StringStream caller("0123456789");
    caller.SetPosition(7);
    a.Hold();

    // A copy of the range, the caller's position untouched.
    a.arc.AddFromStream(u"range.bin", &caller, true, 3, 4, 0x20, 0);
    EXPECT_EQ(caller.Position(), 7);
    // Count 0: the whole stream from its first byte, whatever the position says.
    a.arc.AddFromStream(u"whole.bin", &caller, true, 5, 0, 0x20, 0);
    // No copy: the item refers to the caller's stream and does not own it.
    a.arc.AddFromStream(u"ref.bin", &caller, false, 2, 0, 0x20, 0);

    auto contents = [](const TDirItem& item) {
        std::string bytes(static_cast<size_t>(item.Stream->Size()), '\0');
        item.Stream->SetPosition(0);
        item.Stream->ReadBuffer(bytes.data(), bytes.size());
        return bytes;
    };
    const TDirItem& range = a.Item("range.bin");
    EXPECT_EQ(contents(range), "3456");
    EXPECT_TRUE(range.bDestroyStream);
    EXPECT_EQ(range.Position, 0);
    EXPECT_EQ(range.CentralDir.unCompSize, 4u);
    EXPECT_EQ(contents(a.Item("whole.bin")), "0123456789");
    const TDirItem& ref = a.Item("ref.bin");
    EXPECT_EQ(ref.Stream.get(), &caller);
    EXPECT_FALSE(ref.bDestroyStream);
    EXPECT_EQ(ref.Position, 2);
    EXPECT_EQ(ref.CentralDir.unCompSize, 10u);

    // A range the stream cannot deliver fails before the directory changes.
    caller.SetPosition(1);
    EXPECT_THROW(a.arc.AddFromStream(u"short.bin", &caller, true, 8, 5, 0x20, 0), platform::StreamError);
    EXPECT_THROW(a.arc.AddFromStream(u"negative.bin", &caller, true, -1, 2, 0x20, 0), platform::StreamError);
    EXPECT_EQ(caller.Position(), 1);
    EXPECT_EQ(a.Dir().Count(), 3);
    a.Drop();
}

TEST(AddFromMemory, BufferAndZip64Always) {
    NewArchive a;
    a.arc.SetZip64Mode(zmAlways);
    a.Hold();
    const char bytes[] = {'a', 'b', '\0', 'c'};
    a.arc.AddFromBuffer(u"buf.bin", bytes, 4, 0x20, 0);
    const TDirItem& item = a.Item("buf.bin");
    EXPECT_TRUE(item.bHugeFile);
    EXPECT_EQ(item.CentralDir.unCompSize, 0xFFFFFFFFu);
    EXPECT_EQ(item.Zip64ExtInfo.uncompSize, 4);
    EXPECT_THROW(a.arc.AddFromBuffer(u"bad.bin", nullptr, 3, 0x20, 0), platform::StreamError);
    a.Drop();
}

TEST(AddFromMemory, NeedsAnOpenArchive) {
    TCorvane arc;
    try {
        arc.AddFromString(u"x.txt", "x", 0x20, 0);
        FAIL() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neArchiveNotOpen);
    }
}
