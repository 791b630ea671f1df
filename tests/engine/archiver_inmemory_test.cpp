// The in-memory switch, and the archive comment that is written at once.
#include <gtest/gtest.h>

#include <string>

#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/EngineErrors.h"
#include "support/TestSupport.h"

using testing_support::kEmptyArchive;
using testing_support::NativeErrorOf;
using testing_support::PathExists;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

void WritePythonZip(const std::string& path) {
    std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "z.writestr('a.txt',b'alpha '*100)\n"
        "z.writestr('b/c.txt',b'gamma')\n"
        "z.close()\n";
    std::string out;
    ASSERT_EQ(testing_support::RunPython(script, {path}, &out), 0) << out;
}

// The archive's comment and entry names as Python's zipfile reads them, after it has tested every entry.
std::string PythonView(const std::string& path) {
    std::string out;
    testing_support::RunPython("import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; "
                               "print(z.comment.decode(), *z.namelist())",
                               {path}, &out);
    return out;
}

TEST(ArchiverInMemory, NewArchiveLivesInMemoryUntilSwitchedOff) {
    ScratchDir dir;
    TCorvane a;
    a.SetFileName(dir.P16("m.zip"));
    a.SetInMemory(true);
    EXPECT_FALSE(a.Active());
    a.OpenArchive();
    EXPECT_TRUE(a.Active());
    EXPECT_FALSE(PathExists(dir / "m.zip"));

    // Nothing was ever committed: the file must still come out as a valid archive and open again.
    a.SetInMemory(false);
    EXPECT_FALSE(a.InMemory());
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.FileOpenMode(), cvOpenReadWrite);
    EXPECT_NE(dynamic_cast<platform::FileStream*>(a.CompressedStream()), nullptr);
    EXPECT_EQ(a.DMHandle()->CDir.Count(), 0);
    a.CloseArchive();
    EXPECT_EQ(ReadBytes(dir / "m.zip"), kEmptyArchive);
}

TEST(ArchiverInMemory, SwitchingOffKeepsWhatTheMemoryHeld) {
    ScratchDir dir;
    TCorvane a;
    a.SetInMemory(true);
    a.OpenArchive();
    a.SetComment("kept");
    a.SetFileName(dir.P16("m.zip"));
    a.SetInMemory(false);
    EXPECT_EQ(a.Comment(), "kept");
    a.CloseArchive();
    EXPECT_EQ(PythonView(dir / "m.zip"), "kept\n");
}

TEST(ArchiverInMemory, SwitchingOffWithoutAFileNameIsRefused) {
    TCorvane a;
    a.SetInMemory(true);
    a.OpenArchive();
    platform::Stream* memory = a.CompressedStream();
    EXPECT_EQ(NativeErrorOf([&] { a.SetInMemory(false); }), neInMemoryBlankName);
    EXPECT_TRUE(a.InMemory());
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.CompressedStream(), memory);
}

TEST(ArchiverInMemory, SwitchingOnLeavesTheFileAndStartsEmpty) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    const std::string before = ReadBytes(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    ASSERT_EQ(a.DMHandle()->CDir.Count(), 2);
    a.SetInMemory(true);
    EXPECT_TRUE(a.Active());
    EXPECT_NE(dynamic_cast<platform::MemoryStream*>(a.CompressedStream()), nullptr);
    EXPECT_EQ(a.DMHandle()->CDir.Count(), 0);
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
    platform::FileStream free(dir.P16("py.zip"), platform::fmOpenReadWrite | platform::fmShareExclusive);
}

TEST(ArchiverComment, IsWrittenAtOnceInPlace) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    a.SetComment("a long first comment");
    EXPECT_EQ(PythonView(dir / "py.zip"), "a long first comment a.txt b/c.txt\n");
    a.SetComment("short");   // the longer tail must not survive behind the shorter one
    EXPECT_EQ(PythonView(dir / "py.zip"), "short a.txt b/c.txt\n");
    a.CloseArchive();
    a.OpenArchive();
    EXPECT_EQ(a.Comment(), "short");
}

TEST(ArchiverComment, InsideAnUpdateWaitsForTheCommit) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    const std::string before = ReadBytes(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    a.BeginUpdate();
    a.SetComment("later");
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
    a.EndUpdate();
    EXPECT_EQ(PythonView(dir / "py.zip"), "later a.txt b/c.txt\n");

    // Closing commits what an unfinished update holds.
    a.BeginUpdate();
    a.SetComment("at close");
    a.CloseArchive();
    EXPECT_EQ(PythonView(dir / "py.zip"), "at close a.txt b/c.txt\n");
}

// Exposes the spanning mode field, which the setter refuses to change on an open archive.
class MultiVolumeProbe : public TCorvane {
public:
    void ForceSpanningMode(TCVSpanningMode mode) { FSpanningMode = mode; }
};

TEST(ArchiverComment, MultiVolumeArchiveChangesOnlyInsideAnUpdate) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    const std::string before = ReadBytes(dir / "py.zip");
    MultiVolumeProbe a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    a.ForceSpanningMode(smSplitting);
    EXPECT_EQ(NativeErrorOf([&] { a.SetComment("x"); }), neMultiVolumeOutsideUpdate);
    a.BeginUpdate();
    EXPECT_NO_THROW(a.CheckModifiable());
    a.CancelUpdate();
    a.ForceSpanningMode(smNone);
    a.CloseArchive();
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
}

TEST(ArchiverComment, ReadOnlyArchiveKeepsItsComment) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    const std::string before = ReadBytes(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive(cvOpenReadOnly);
    EXPECT_THROW(a.SetComment("refused"), platform::Exception);
    EXPECT_EQ(a.Comment(), "");
    a.CloseArchive();
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
}

TEST(ArchiverComment, OnACallersStream) {
    platform::MemoryStream stream;
    TCorvane a;
    a.OpenArchive(&stream, true);
    a.SetComment("note");
    std::string bytes(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
    EXPECT_EQ(bytes, std::string("PK\x05\x06", 4) + std::string(16, '\0') + std::string("\x04\0note", 6));
}

}  // namespace
