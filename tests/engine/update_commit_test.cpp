// Update transactions and the commit: nesting, refusal on a read-only archive, what a failure answered
// Ignore or Abort leaves, when the temporary tail file is used, and entries copied, moved back, renamed
// and removed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "support/EngineErrors.h"
#include "support/ScriptedAnswers.h"
#include "writer_test_support.h"

namespace wrt_tests {
namespace {

using testing_support::ScriptedAnswers;

std::string Content(const std::string& name) { return "content of " + name + "\n" + std::string(3000, name[0]); }

// An archive of the named entries written by the engine itself, then opened again for writing.
void MakeArchive(Fixture& f, const std::vector<std::string>& names) {
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    for (const std::string& n : names) Append(f.arc, FileItem(n, f.Source(n, Content(n))));
    f.arc.EndUpdate();
    f.arc.CloseArchive();
    f.arc.OpenArchive(cvOpenReadWrite);
}

std::string Extract(const std::string& archive, const std::string& name) {
    std::string out;
    EXPECT_EQ(Shell("unzip -p " + Quote(archive) + " " + Quote(name), &out), 0) << out;
    return out;
}

TEST(UpdateCommit, NestedUpdatesCommitOnceAtTheOutermostEnd) {
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    int commits = 0;
    f.arc.SetOnOverallProgress([&](TCVBaseArchiver*, double, TCVProcessOperation, TCVProgressPhase phase, bool&) {
        if (phase == ppStart) ++commits;
    });
    f.arc.EndUpdate();   // without a BeginUpdate: nothing
    EXPECT_EQ(commits, 0);
    f.arc.BeginUpdate();
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("a.txt", f.Source("a.txt", "a")));
    f.arc.EndUpdate();
    EXPECT_TRUE(f.arc.InUpdate());
    EXPECT_EQ(commits, 0);
    EXPECT_EQ(std::filesystem::file_size(f.archive), 0u);
    f.arc.EndUpdate();
    EXPECT_FALSE(f.arc.InUpdate());
    EXPECT_EQ(commits, 1);
    f.arc.CloseArchive();
    f.ExpectValid();
}

TEST(UpdateCommit, ReadOnlyArchiveRefusesAnUpdate) {
    Fixture f;
    MakeArchive(f, {"a.txt"});
    f.arc.CloseArchive();
    f.arc.OpenArchive(cvOpenReadOnly);
    try {
        f.arc.BeginUpdate();
        FAIL() << "BeginUpdate on a read-only archive";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neReadOnlyArchive);
    }
    EXPECT_FALSE(f.arc.InUpdate());
}

// Exposes the spanning mode, which the setter refuses to change on an open archive.
class SpannedProbe : public TCorvane {
public:
    void ForceSpanningMode(TCVSpanningMode mode) { FSpanningMode = mode; }
};

// Every operation that changes an archive refuses one that may not change before it does anything: a
// read-only archive, and a multi-volume one outside an update (which the directory operations of the
// maintenance unit do not check). Moving in particular must leave its source files where they are.
TEST(UpdateCommit, ArchiveThatMayNotChangeRefusesEveryChangingOperation) {
    struct Op {
        const char* what;
        std::function<void(TCorvane&)> run;
        bool refusesMultiVolume;
    };
    const char buffer[] = "data";
    const Op ops[] = {
        {"AddFiles", [](TCorvane& a) { a.AddFiles(); }, true},
        {"AddFiles with a mask", [](TCorvane& a) { a.AddFiles(u"*.*", 0x28BF, u""); }, true},
        {"MoveFiles", [](TCorvane& a) { a.MoveFiles(); }, true},
        {"MoveFiles with a mask", [](TCorvane& a) { a.MoveFiles(u"*.*", 0x28BF, u""); }, true},
        {"DeleteFiles", [](TCorvane& a) { a.DeleteFiles(u"*.*", 0x28BF, u""); }, true},
        {"UpdateFiles", [](TCorvane& a) { a.UpdateFiles(u"*.*", 0x28BF, u""); }, true},
        {"AddFromBuffer", [&](TCorvane& a) { a.AddFromBuffer(u"b.txt", buffer, 4, 0x20, 0); }, true},
        {"RenameFile", [](TCorvane& a) { a.RenameFile(u"a.txt", u"b.txt"); }, false},
        {"ChangeFilesAttr", [](TCorvane& a) { a.ChangeFilesAttr(u"*.*", 0x21); }, false},
    };
    Fixture f;
    MakeArchive(f, {"a.txt"});
    f.arc.CloseArchive();
    const std::string before = ReadBytes(f.archive);
    const std::string source = f.scratch / "src/a.txt";
    const std::string sourceBytes = ReadBytes(source);
    for (const Op& op : ops) {
        SCOPED_TRACE(op.what);
        // Each operation starts from the same archive and sources, whatever the one before did.
        WriteBytes(f.archive, before);
        WriteBytes(source, sourceBytes);
        SpannedProbe a;
        a.SetFileName(U16(f.archive));
        a.SetBaseDir(f.scratch.P16("src"));
        a.SetFileMasks({u"*.*"});
        a.OpenArchive(cvOpenReadOnly);
        EXPECT_EQ(testing_support::NativeErrorOf([&] { op.run(a); }), neReadOnlyArchive);
        EXPECT_FALSE(a.InUpdate());
        a.CloseArchive();
        if (op.refusesMultiVolume) {
            a.OpenArchive(cvOpenReadWrite);
            a.ForceSpanningMode(smSplitting);
            EXPECT_EQ(testing_support::NativeErrorOf([&] { op.run(a); }), neMultiVolumeOutsideUpdate);
            EXPECT_FALSE(a.InUpdate());
            a.ForceSpanningMode(smNone);
            a.CloseArchive();
        }
        EXPECT_TRUE(std::filesystem::exists(source));
        EXPECT_EQ(ReadBytes(f.archive), before);
    }
}

TEST(UpdateCommit, UnreadableSourceAnsweredIgnoreIsLeftOut) {
    Fixture f;
    ScriptedAnswers dialogs({platform::Button::Ignore});
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("a.txt", f.Source("a.txt", Content("a.txt"))));
    Append(f.arc, FileItem("gone.txt", f.scratch.P16("src/gone.txt")));
    Append(f.arc, FileItem("c.txt", f.Source("c.txt", Content("c.txt"))));
    EXPECT_NO_THROW(f.arc.EndUpdate());
    f.arc.CloseArchive();

    ASSERT_EQ(dialogs.Script().Messages.size(), 1u);
    const auto& shown = dialogs.Script().Messages[0];
    EXPECT_NE(shown.Text.find(u"gone.txt"), std::u16string::npos);
    EXPECT_TRUE(shown.Text.ends_with(u". File processing error, possibly disk is full"));
    EXPECT_EQ(shown.Buttons, platform::Button::Abort | platform::Button::Retry | platform::Button::Ignore);
    f.ExpectValid();
    EXPECT_EQ(Extract(f.archive, "c.txt"), Content("c.txt"));
    std::string list;
    Shell("unzip -Z1 " + Quote(f.archive), &list);
    EXPECT_EQ(list, "a.txt\nc.txt\n");
}

// Abort puts back the very bytes the archive had: from the saved tail when entries had to move, by
// writing the old directory again when the update only appended.
class AbortRestores : public ::testing::TestWithParam<bool> {};

TEST_P(AbortRestores, TheArchiveAsItWas) {
    const bool deleteFirst = GetParam();
    Fixture f;
    MakeArchive(f, {"a.txt", "b.txt", "c.txt"});
    const std::string before = ReadBytes(f.archive);
    ScriptedAnswers dialogs({platform::Button::Abort});
    size_t tempFilesDuringCommit = 0;
    f.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) {
        if (phase == ppStart) tempFilesDuringCommit = f.TempFiles();
    });
    f.arc.BeginUpdate();
    if (deleteFirst) f.arc.DMHandle()->CDir.DeleteItem(0);
    Append(f.arc, FileItem("gone.txt", f.scratch.P16("src/gone.txt")));
    EXPECT_NO_THROW(f.arc.EndUpdate());

    EXPECT_EQ(tempFilesDuringCommit, deleteFirst ? 1u : 0u);
    EXPECT_EQ(f.TempFiles(), 0u);
    EXPECT_EQ(Names(f.arc), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    f.arc.CloseArchive();
    EXPECT_TRUE(ReadBytes(f.archive) == before) << "the archive's bytes changed";
}

INSTANTIATE_TEST_SUITE_P(AppendOrMove, AbortRestores, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "EntriesMoved" : "OnlyAppended");
                         });

TEST(UpdateCommit, AppendingKeepsTheOldEntriesInPlaceWithoutATemporaryFile) {
    Fixture f;
    MakeArchive(f, {"a.txt", "b.txt"});
    const std::string before = ReadBytes(f.archive);
    const std::vector<Entry> old = ReadEntries(before);
    size_t tempFilesDuringCommit = 99;
    f.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) {
        if (phase == ppStart) tempFilesDuringCommit = f.TempFiles();
    });
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("c.txt", f.Source("c.txt", Content("c.txt"))));
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    EXPECT_EQ(tempFilesDuringCommit, 0u);
    const std::string after = ReadBytes(f.archive);
    const int64_t oldDirectory = old[1].dataOffset + old[1].central.compSize;
    EXPECT_EQ(after.substr(0, oldDirectory), before.substr(0, oldDirectory));
    const std::vector<Entry> entries = ReadEntries(after);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].offset, oldDirectory) << "the new entry goes where the old directory began";
    f.ExpectValid();
}

TEST(UpdateCommit, DeletingTheFirstOfThreeMovesTheOthersToItsOffset) {
    Fixture f;
    MakeArchive(f, {"a.txt", "b.txt", "c.txt"});
    const std::vector<Entry> old = ReadEntries(ReadBytes(f.archive));
    f.arc.BeginUpdate();
    f.arc.DMHandle()->CDir.DeleteItem(0);
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    EXPECT_EQ(f.TempFiles(), 0u);
    f.ExpectValid();
    const std::vector<Entry> entries = ReadEntries(ReadBytes(f.archive));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "b.txt");
    EXPECT_EQ(entries[0].offset, old[0].offset);
    EXPECT_EQ(entries[1].offset, entries[0].dataOffset + entries[0].central.compSize);
    EXPECT_EQ(Extract(f.archive, "c.txt"), Content("c.txt"));
}

TEST(UpdateCommit, SkippedReplacementKeepsTheOldEntry) {
    Fixture f;
    MakeArchive(f, {"a.txt", "b.txt"});
    ScriptedAnswers dialogs({platform::Button::Ignore});
    f.arc.BeginUpdate();
    TDirItem& a = f.arc.DMHandle()->CDir.GetItemPtr(0);
    a.Modified = true;
    a.Operation = poUpdate;
    a.SrcFileName = f.scratch.P16("src/vanished.txt");
    a.CompressionMode = 9;
    a.CompressionMethod = 8;
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    EXPECT_EQ(dialogs.Script().Messages.size(), 1u);
    f.ExpectValid();
    EXPECT_EQ(Extract(f.archive, "a.txt"), Content("a.txt"));
    EXPECT_EQ(Extract(f.archive, "b.txt"), Content("b.txt"));
}

TEST(UpdateCommit, RenamedEntryGetsANewLocalHeader) {
    Fixture f;
    MakeArchive(f, {"a.txt", "b.txt"});
    const std::string renamed = "docs/\xc3\xa4rger.txt";   // not ASCII: stored as UTF-8 with bit 11
    f.arc.BeginUpdate();
    TCVDirArray& dir = f.arc.DMHandle()->CDir;
    dir.GetItemPtr(0).OldName = dir.GetItemPtr(0).Name;
    dir.SetItemName(0, U16(renamed));
    dir.GetItemPtr(0).Modified = true;
    dir.GetItemPtr(0).Operation = poRename;
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    f.ExpectValid();
    const std::vector<Entry> entries = ReadEntries(ReadBytes(f.archive));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].localName, renamed);
    EXPECT_EQ(entries[0].name, renamed);
    EXPECT_TRUE(entries[0].local.genPurposeFlag & CVFlagUtf8Name);
    EXPECT_EQ(Extract(f.archive, renamed), Content("a.txt"));
}

TEST(UpdateCommit, MovedSourcesAreRemovedAfterTheCommit) {
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    const std::u16string file = f.Source("m.txt", "moved");
    const std::u16string inner = f.Source("sub/deep/x.txt", "inside");
    f.arc.BeginUpdate();
    for (auto [name, source] : {std::pair{std::string("m.txt"), file}, std::pair{std::string("sub/deep/x.txt"), inner}}) {
        TDirItem item = FileItem(name, source);
        item.Operation = poMove;
        Append(f.arc, item);
    }
    TDirItem folder = FolderItem("sub/");
    folder.Operation = poMove;
    folder.SrcFileName = f.scratch.P16("src/sub/");
    Append(f.arc, folder);
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    f.ExpectValid();
    EXPECT_FALSE(testing_support::PathExists(f.scratch / "src/m.txt"));
    EXPECT_FALSE(testing_support::PathExists(f.scratch / "src/sub"));
    EXPECT_EQ(Extract(f.archive, "sub/deep/x.txt"), "inside");
}

TEST(UpdateCommit, CancelledUpdateLeavesNoEntryThatWasNeverWritten) {
    Fixture f;
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    Append(f.arc, FileItem("a.txt", f.Source("a.txt", "a")));
    f.arc.CancelUpdate();
    EXPECT_FALSE(f.arc.InUpdate());
    EXPECT_EQ(f.arc.DMHandle()->CDir.Count(), 0);
    f.arc.CloseArchive();
    EXPECT_EQ(std::filesystem::file_size(f.archive), 22u);
}

// A new archive starts at its stub (none for a plain archive): an empty commit leaves just the end
// record behind it, and the first entry follows the stub.
class NewArchiveCommit : public ::testing::TestWithParam<bool> {};

TEST_P(NewArchiveCommit, StartsBehindTheStub) {
    Fixture f;
    const std::string stub = GetParam() ? std::string("#!stub\n") + std::string(5000, 'S') : std::string();
    if (!stub.empty()) f.arc.SetSFXStub(f.Source("stub.run", stub));
    f.arc.OpenArchive(cvOpenCreate);
    f.arc.BeginUpdate();
    f.arc.EndUpdate();
    std::string bytes = ReadBytes(f.archive);
    ASSERT_EQ(bytes.size(), stub.size() + 22);
    EXPECT_EQ(bytes.substr(0, stub.size()), stub);
    EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(bytes.data()) + stub.size() + 16), stub.size());

    f.arc.BeginUpdate();
    Append(f.arc, FileItem("a.txt", f.Source("a.txt", Content("a.txt"))));
    f.arc.EndUpdate();
    f.arc.CloseArchive();
    bytes = ReadBytes(f.archive);
    EXPECT_EQ(bytes.substr(0, stub.size()), stub);
    const std::vector<Entry> entries = ReadEntries(bytes);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].offset, int64_t(stub.size()));
    std::string out;
    EXPECT_EQ(testing_support::RunPython("import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                                         "sys.exit(z.read(\"a.txt\") != open(sys.argv[2], \"rb\").read())",
                                         {f.archive, f.scratch / "src/a.txt"}, &out),
              0)
        << out;
}

INSTANTIATE_TEST_SUITE_P(PlainOrSelfExtracting, NewArchiveCommit, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithStub" : "Plain");
                         });

// Archives written elsewhere need not keep their entries in directory order. Here the directory
// lists them backwards; dropping the last listed entry (the first in the file) must not cut away the
// entries that stay.
TEST(UpdateCommit, EntriesOutOfDirectoryOrderSurviveADeletion) {
    Fixture f;
    const char* script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for n in 'abc':
        z.writestr(n + '.txt', ('content of %s.txt\n' % n) + n * 3000)
    z.filelist.reverse()
)";
    std::string out;
    ASSERT_EQ(testing_support::RunPython(script, {f.archive}, &out), 0) << out;
    f.arc.OpenArchive(cvOpenReadWrite);
    ASSERT_EQ(Names(f.arc), (std::vector<std::string>{"c.txt", "b.txt", "a.txt"}));
    f.arc.BeginUpdate();
    f.arc.DMHandle()->CDir.DeleteItem(2);
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    f.ExpectValid();
    EXPECT_EQ(Extract(f.archive, "b.txt"), Content("b.txt"));
    EXPECT_EQ(Extract(f.archive, "c.txt"), Content("c.txt"));
}

// Entries whose sizes follow their data in a descriptor keep it when they are copied, so a reader
// that walks the entries in order still finds each one.
TEST(UpdateCommit, CopiedEntryKeepsItsDataDescriptor) {
    Fixture f;
    f.Source("a.txt", Content("a.txt"));
    f.Source("b.txt", Content("b.txt"));
    f.Source("c.txt", Content("c.txt"));
    std::string out;
    // Through a pipe, zip cannot seek back to its headers and writes descriptors instead.
    ASSERT_EQ(Shell("cd " + Quote(f.scratch / "src") + " && zip -q - a.txt b.txt c.txt | cat > " + Quote(f.archive), &out), 0)
        << out;
    f.arc.OpenArchive(cvOpenReadWrite);
    ASSERT_TRUE(f.arc.DMHandle()->CDir.GetItemPtr(1).CentralDir.genPurposeFlag & CVFlagDataDescriptor);
    f.arc.BeginUpdate();
    f.arc.DMHandle()->CDir.DeleteItem(0);
    f.arc.EndUpdate();
    f.arc.CloseArchive();

    f.ExpectValid();
    ASSERT_EQ(Shell("mkdir " + Quote(f.scratch / "out") + " && cd " + Quote(f.scratch / "out") +
                        " && bsdtar -xf - < " + Quote(f.archive),
                    &out),
              0)
        << out;
    EXPECT_EQ(ReadBytes(f.scratch / "out/b.txt"), Content("b.txt"));
    EXPECT_EQ(ReadBytes(f.scratch / "out/c.txt"), Content("c.txt"));
}

}  // namespace
}  // namespace wrt_tests
