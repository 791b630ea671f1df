// Opening and closing archives: files, a caller's stream, memory; the refusals and what they leave.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/EngineErrors.h"
#include "support/TestSupport.h"

using testing_support::kEmptyArchive;
using testing_support::NativeErrorOf;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

// An archive written by Python's zipfile: two files and a folder entry.
void WritePythonZip(const std::string& path) {
    std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "z.writestr('docs/',b'')\n"
        "z.writestr('docs/a.txt',b'alpha '*100)\n"
        "z.writestr('b.bin',bytes(range(256)))\n"
        "z.close()\n";
    std::string out;
    ASSERT_EQ(testing_support::RunPython(script, {path}, &out), 0) << out;
}

// The number of entries Python's zipfile finds, as a second opinion.
int32_t PythonEntryCount(const std::string& path) {
    std::string out;
    if (testing_support::RunPython("import zipfile,sys; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))", {path}, &out) != 0)
        return -2;
    return std::stoi(out);
}

int32_t EntryCount(const TCVBaseArchiver& a) {
    return a.DMHandle() ? a.DMHandle()->CDir.Count() : -1;
}

// Whether nobody holds the file any more: an exclusive open succeeds only then.
bool FileIsFree(const std::u16string& path) {
    try {
        platform::FileStream probe(path, platform::fmOpenReadWrite | platform::fmShareExclusive);
        return true;
    } catch (const platform::Exception&) {
        return false;
    }
}

TEST(ArchiverOpen, CreateModeTruncatesAndCloseWritesAnEmptyArchive) {
    ScratchDir dir;
    WriteBytes(dir / "a.zip", "old contents that must go");
    TCorvane a;
    a.SetFileName(dir.P16("a.zip"));
    a.OpenArchive(cvOpenCreate);
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.FileOpenMode(), cvOpenCreate);
    EXPECT_EQ(ReadBytes(dir / "a.zip"), "");
    EXPECT_EQ(a.Size(), 0);
    EXPECT_EQ(EntryCount(a), 0);
    a.CloseArchive();
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.DMHandle(), nullptr);
    EXPECT_EQ(ReadBytes(dir / "a.zip"), kEmptyArchive);
    std::string out;
    EXPECT_EQ(testing_support::RunPython("import zipfile,sys; assert zipfile.ZipFile(sys.argv[1]).namelist()==[]",
                                         {dir / "a.zip"}, &out),
              0)
        << out;
}

TEST(ArchiverOpen, NewArchiveBehindAStubKeepsIt) {
    ScratchDir dir;
    const std::string stub(1000, 'S');
    WriteBytes(dir / "stub.run", stub);
    TCorvane a;
    a.SetSFXStub(dir.P16("stub.run"));
    a.SetFileName(dir.P16("a.zip"));
    a.OpenArchive(cvOpenCreate);
    EXPECT_EQ(ReadBytes(dir / "a.zip"), stub);
    a.CloseArchive();
    std::string bytes = ReadBytes(dir / "a.zip");
    ASSERT_EQ(bytes.size(), 1022u);
    EXPECT_EQ(bytes.substr(0, 1000), stub);
    EXPECT_EQ(bytes.substr(1000, 4), "PK\x05\x06");
    EXPECT_EQ(bytes.substr(1016, 4), std::string("\xE8\x03\0\0", 4));   // the directory starts behind the stub
}

TEST(ArchiverOpen, WithoutModeCreatesMissingFileAndOpensExistingOneForWriting) {
    ScratchDir dir;
    TCorvane a;
    a.SetFileName(dir.P16("new.zip"));
    EXPECT_FALSE(a.Exists());
    a.SetActive(true);
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.FileOpenMode(), cvOpenCreate);
    EXPECT_TRUE(a.Exists());
    a.SetActive(false);
    EXPECT_EQ(ReadBytes(dir / "new.zip"), kEmptyArchive);

    WritePythonZip(dir / "py.zip");
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    EXPECT_EQ(a.FileOpenMode(), cvOpenReadWrite);
    EXPECT_EQ(EntryCount(a), 3);
}

TEST(ArchiverOpen, FileHeldByAnotherOpenFallsBackToReadOnly) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    platform::FileStream holder(dir.P16("py.zip"), platform::fmOpenReadWrite | platform::fmShareExclusive);
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    EXPECT_EQ(a.FileOpenMode(), cvOpenReadOnly);
    EXPECT_EQ(EntryCount(a), 3);
    EXPECT_EQ(NativeErrorOf([&] { a.BeginUpdate(); }), neReadOnlyArchive);
    EXPECT_FALSE(a.InUpdate());
    std::string before = ReadBytes(dir / "py.zip");
    a.CloseArchive();
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
}

TEST(ArchiverOpen, RefusalsBeforeOpeningLeaveThePreviousArchiveOpen) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    const std::string before = ReadBytes(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive(cvOpenReadWrite);
    TCVDirManager* manager = a.DMHandle();

    struct Case {
        std::u16string fileName;
        std::function<void()> open;
        int32_t native;
    };
    const std::vector<Case> cases = {
        {dir.Path16() + u"/", [&] { a.OpenArchive(); }, neBlankFileName},
        {u"", [&] { a.OpenArchive(); }, neBlankFileName},
        {dir.Path16() + u"/", [&] { a.OpenArchive(cvOpenCreate); }, neBlankFileNameForMode},
        {dir.Path16() + u"/", [&] { a.OpenArchive(cvOpenReadWrite); }, neBlankFileNameForMode},
        {dir.P16("missing.zip"), [&] { a.OpenArchive(cvOpenReadOnly); }, neArchiveNotFound},
    };
    for (const Case& c : cases) {
        a.SetFileName(c.fileName);
        EXPECT_EQ(NativeErrorOf(c.open), c.native);
        EXPECT_TRUE(a.Active());
        EXPECT_EQ(a.DMHandle(), manager);
        EXPECT_EQ(EntryCount(a), 3);
    }
    EXPECT_FALSE(FileIsFree(dir.P16("py.zip")));
    a.CloseArchive();
    EXPECT_TRUE(FileIsFree(dir.P16("py.zip")));
    EXPECT_EQ(ReadBytes(dir / "py.zip"), before);
    EXPECT_FALSE(testing_support::PathExists(dir / "missing.zip"));
}

TEST(ArchiverOpen, MissingFileMessageNamesIt) {
    ScratchDir dir;
    TCorvane a;
    a.SetName(u"Archiver");
    a.SetFileName(dir.P16("x.zip"));
    try {
        a.OpenArchive(cvOpenReadOnly);
        FAIL() << "a missing file must not open";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.Message(), u"Archiver: File \"" + dir.P16("x.zip") + u"\" not found - Native error: 00012");
    }
}

TEST(ArchiverOpen, InMemoryArchiveRefusesToOpenAFile) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    TCorvane a;
    a.SetInMemory(true);
    a.OpenArchive();   // no file name needed in memory
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.FileOpenMode(), cvOpenCreate);
    platform::Stream* memory = a.CompressedStream();

    a.SetFileName(dir.P16("py.zip"));
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(cvOpenReadWrite); }), neInMemoryNotCreate);
    a.SetFileName(dir.P16("missing.zip"));
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(cvOpenReadWrite); }), neArchiveNotFound);
    EXPECT_TRUE(a.Active());
    EXPECT_EQ(a.CompressedStream(), memory);
    EXPECT_FALSE(testing_support::PathExists(dir / "missing.zip"));
}

TEST(ArchiverOpen, FileWithoutEndRecordIsRefusedUnlessCorruptArchivesMayOpen) {
    ScratchDir dir;
    // Local-header bytes but no end record: nothing for the open to find its directory by.
    WriteBytes(dir / "bad.zip", std::string("PK\x03\x04", 4) + std::string(200, 'x'));
    WriteBytes(dir / "noise.bin", std::string(300, 'n'));
    WritePythonZip(dir / "py.zip");
    TCorvane a;
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive();
    ASSERT_TRUE(a.OpenCorruptedArchives());
    a.SetOpenCorruptedArchives(false);
    a.SetFileName(dir.P16("bad.zip"));
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(); }), neNoEndRecord);
    EXPECT_FALSE(a.OpenCorruptedArchives());
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.DMHandle(), nullptr);
    EXPECT_EQ(a.CompressedStream(), nullptr);
    EXPECT_TRUE(FileIsFree(dir.P16("bad.zip")));
    EXPECT_TRUE(FileIsFree(dir.P16("py.zip")));   // the previous archive was closed first

    // With the switch on (the default) the directory is rebuilt from the local headers instead: the
    // one header here claims more data than the file holds, so nothing is taken from it.
    a.SetOpenCorruptedArchives(true);
    a.OpenArchive();
    EXPECT_TRUE(a.Active());
    EXPECT_TRUE(a.OpenCorruptedArchives());
    a.CloseArchive();
    // Bytes without any local header are no archive at all.
    a.SetFileName(dir.P16("noise.bin"));
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(cvOpenReadOnly); }), neInvalidArchive);
    EXPECT_FALSE(a.Active());
    EXPECT_TRUE(FileIsFree(dir.P16("noise.bin")));
}

TEST(ArchiverOpen, FailedOpenReleasesTheFile) {
    ScratchDir dir;
    // An end record that claims a directory bigger than the file: loading it fails.
    std::string record = std::string("PK\x05\x06", 4) + std::string(4, '\0') + std::string("\x05\0\x05\0", 4) +
                         std::string("\x08\0\0\0", 4) + std::string(4, '\0') + std::string(2, '\0');
    WriteBytes(dir / "short.zip", std::string(10, 'z') + record);
    TCorvane a;
    a.SetFileName(dir.P16("short.zip"));
    EXPECT_THROW(a.OpenArchive(), platform::Exception);
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.CompressedStream(), nullptr);
    EXPECT_TRUE(FileIsFree(dir.P16("short.zip")));
}

TEST(ArchiverOpen, OpeningAnotherArchiveClosesTheFirst) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    TCorvane a;
    int opened = 0;
    a.SetAfterOpen([&](TCVBaseArchiver* sender) {
        EXPECT_EQ(sender, &a);
        EXPECT_TRUE(a.Active());
        ++opened;
    });
    a.SetFileName(dir.P16("new.zip"));
    a.OpenArchive(cvOpenCreate);
    a.SetFileName(dir.P16("py.zip"));
    a.OpenArchive(cvOpenReadWrite);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(ReadBytes(dir / "new.zip"), kEmptyArchive);   // closed, and so completed
    EXPECT_TRUE(FileIsFree(dir.P16("new.zip")));
    EXPECT_EQ(EntryCount(a), 3);
}

TEST(ArchiverOpen, ArchivesFromOtherToolsShowTheirEntries) {
    ScratchDir dir;
    WriteBytes(dir / "tree/one.txt", "one");
    WriteBytes(dir / "tree/sub/two.txt", std::string(5000, 't'));
    WriteBytes(dir / "tree/sub/deeper/three.txt", "");
    std::string out;
    ASSERT_EQ(testing_support::Run("cd " + Quote(dir / "tree") + " && zip -qr ../zip.zip . && 7z a -tzip -bso0 ../7z.zip . && "
                  "bsdtar --format zip -cf ../tar.zip .", &out), 0) << out;
    WritePythonZip(dir / "py.zip");
    // Python's archive behind a stub whose offsets still count from the archive's own start.
    WriteBytes(dir / "stubbed.run", std::string(777, '\x90') + ReadBytes(dir / "py.zip"));

    struct Case {
        const char* file;
        int64_t stub;
    };
    const Case cases[] = {{"zip.zip", 0}, {"7z.zip", 0}, {"tar.zip", 0}, {"py.zip", 0}, {"stubbed.run", 777}};
    for (const Case& c : cases) {
        TCorvane a;
        a.SetFileName(dir.P16(c.file));
        a.OpenArchive();
        EXPECT_EQ(EntryCount(a), PythonEntryCount(dir / c.file)) << c.file;
        EXPECT_EQ(a.DMHandle()->StubSize, c.stub) << c.file;
        EXPECT_EQ(a.Size(), static_cast<int64_t>(ReadBytes(dir / c.file).size()));
        a.CloseArchive();
    }
}

TEST(ArchiverOpen, CallersStream) {
    platform::MemoryStream stream;
    stream.WriteBuffer("garbage", 7);
    TCorvane a;
    a.OpenArchive(&stream, true);
    EXPECT_TRUE(a.Active());
    EXPECT_TRUE(a.IsCustomStream());
    EXPECT_EQ(a.CompressedStream(), &stream);
    std::string bytes(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
    EXPECT_EQ(bytes, kEmptyArchive);
    a.CloseArchive();
    EXPECT_EQ(stream.Size(), 22);   // still the caller's, and not written twice

    // Reopened for reading, the stream gives back its (empty) directory.
    a.OpenArchive(&stream, false);
    EXPECT_EQ(EntryCount(a), 0);
    a.CloseArchive();

    a.SetSpanningMode(smSplitting);
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(&stream, true); }), neMultiVolumeCustomStream);
    EXPECT_EQ(stream.Size(), 22);
    a.SetSpanningMode(smNone);
    EXPECT_EQ(NativeErrorOf([&] { a.OpenArchive(nullptr, true); }), neNilPointer);
}

TEST(ArchiverOpen, CallersStreamWithEntries) {
    ScratchDir dir;
    WritePythonZip(dir / "py.zip");
    platform::StringStream stream(ReadBytes(dir / "py.zip"));
    TCorvane a;
    a.OpenArchive(&stream, false);
    EXPECT_EQ(EntryCount(a), 3);
}

}  // namespace
