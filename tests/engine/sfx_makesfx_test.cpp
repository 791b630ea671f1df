// Self-extracting conversion: the stub followed by a finished archive, offsets shifted in the
// rewritten directory, the refusals and what each leaves on disk, and the append with its progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVCoding.h"
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

// Not a real program: conversion copies the stub's bytes and nothing reads them. The "PK" runs make
// sure that nothing in the stub is taken for a record of the archive behind it.
std::string FakeStub(size_t size = 5000) {
    std::string stub;
    for (size_t i = 0; stub.size() < size; ++i) stub += (i % 7 == 0) ? std::string("PK\x03\x04", 4) : std::string(1, char('a' + i % 26));
    stub.resize(size);
    return stub;
}

// An archive by Python's zipfile. With folderFirst the entry at offset 0 is a folder.
void WritePythonZip(const std::string& path, bool folderFirst, const std::string& comment = "") {
    std::string script =
        "import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "f=sys.argv[2]=='1'\n"
        "if f: z.writestr('docs/',b'')\n"
        "z.writestr('docs/a.txt',b'alpha '*300)\n"
        "if not f: z.writestr('docs/',b'')\n"
        "z.writestr('b.bin',bytes(range(256))*3)\n"
        "z.writestr('empty.txt',b'')\n"
        "z.comment=sys.argv[3].encode()\n"
        "z.close()\n";
    std::string out;
    ASSERT_EQ(testing_support::RunPython(script, {path, folderFirst ? "1" : "0", comment}, &out), 0)
        << out;
}

struct RawEntry {
    std::string Name;
    uint32_t Offset;
};

// The central directory exactly as stored: where the end record says it starts, and each entry's
// local header offset as written (no reader's correction in between).
struct RawDirectory {
    uint32_t StartOffset = 0;
    int64_t ActualStart = 0;
    std::vector<RawEntry> Entries;
};

RawDirectory ReadRawDirectory(const std::string& bytes) {
    RawDirectory dir;
    const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos) return dir;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint16_t count = DecodeFixed16(p + end + 10);
    const uint32_t size = DecodeFixed32(p + end + 12);
    dir.StartOffset = DecodeFixed32(p + end + 16);
    dir.ActualStart = static_cast<int64_t>(end) - size;
    size_t at = static_cast<size_t>(dir.ActualStart);
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t nameLength = DecodeFixed16(p + at + 28);
        const uint16_t extraLength = DecodeFixed16(p + at + 30);
        const uint16_t commentLength = DecodeFixed16(p + at + 32);
        dir.Entries.push_back({bytes.substr(at + 46, nameLength), DecodeFixed32(p + at + 42)});
        at += 46 + nameLength + extraLength + commentLength;
    }
    return dir;
}

// A prepared conversion: a stub file, a source archive, an archiver pointing at both.
struct Conversion {
    ScratchDir dir;
    std::string stub = FakeStub();
    TCorvane arc;

    explicit Conversion(bool folderFirst = false, const std::string& comment = "") {
        WriteBytes(dir / "stub.bin", stub);
        WritePythonZip(dir / "src.zip", folderFirst, comment);
        arc.SetFileName(dir.P16("src.zip"));
        arc.SetSFXStub(dir.P16("stub.bin"));
    }
};

TEST(MakeSFX, StubThenArchiveWithEveryOffsetShiftedByTheStubSize) {
    for (const bool folderFirst : {false, true}) {
        SCOPED_TRACE(folderFirst ? "folder entry first" : "file entry first");
        Conversion c(folderFirst, "the archive comment");
        const std::string source = ReadBytes(c.dir / "src.zip");
        c.arc.MakeSFX(c.dir.P16("out.run"));
        const std::string out = ReadBytes(c.dir / "out.run");
        const size_t n = c.stub.size();

        const RawDirectory before = ReadRawDirectory(source);
        const RawDirectory after = ReadRawDirectory(out);
        ASSERT_EQ(out.substr(0, n), c.stub);
        ASSERT_EQ(out.substr(n, before.ActualStart), source.substr(0, before.ActualStart));
        EXPECT_EQ(after.StartOffset, after.ActualStart);
        EXPECT_EQ(after.ActualStart, before.ActualStart + static_cast<int64_t>(n));
        ASSERT_EQ(after.Entries.size(), before.Entries.size());
        for (size_t i = 0; i < before.Entries.size(); ++i) {
            EXPECT_EQ(after.Entries[i].Name, before.Entries[i].Name);
            // Folder entries too: they have local headers, and other readers look there.
            EXPECT_EQ(after.Entries[i].Offset, before.Entries[i].Offset + n) << before.Entries[i].Name;
        }
        EXPECT_EQ(before.Entries[0].Offset, 0u);

        // Loaded again, the stub is measured and nothing needs shifting any more.
        platform::FileStream stream(c.dir.P16("out.run"), platform::fmOpenRead | platform::fmShareDenyNone);
        TCVDirManager dm(&stream, nullptr, false);
        dm.LoadDir();
        EXPECT_EQ(dm.StubSize, static_cast<int64_t>(n));
        EXPECT_EQ(ItemLocalHeaderOffset(dm.CDir.GetItemPtr(0)), static_cast<int64_t>(n));

        EXPECT_TRUE(testing_support::UnzipTestsClean(c.dir / "out.run"));
        EXPECT_EQ(testing_support::ArchiveCommentWithPython(c.dir / "out.run"), "the archive comment");
        EXPECT_EQ(ReadBytes(c.dir / "src.zip"), source);   // only read
    }
}

TEST(MakeSFX, EmptyArchiveGivesTheStubAndAnEndRecordPointingBehindIt) {
    Conversion c;
    WriteBytes(c.dir / "src.zip", kEmptyArchive);
    c.arc.MakeSFX(c.dir.P16("out.run"));
    const std::string out = ReadBytes(c.dir / "out.run");
    ASSERT_EQ(out.size(), c.stub.size() + kEmptyArchive.size());
    EXPECT_EQ(out.substr(0, c.stub.size()), c.stub);
    const auto* end = reinterpret_cast<const uint8_t*>(out.data()) + c.stub.size();
    EXPECT_EQ(DecodeFixed32(end), 0x06054B50u);
    EXPECT_EQ(DecodeFixed16(end + 10), 0u);
    EXPECT_EQ(DecodeFixed32(end + 16), c.stub.size());
}

// Each refusal, and what it leaves of a target that held something before.
TEST(MakeSFX, RefusalsAndWhatTheyLeaveOfTheTarget) {
    struct Case {
        const char* what;
        int32_t native;
        bool targetEmptied;   // created (and so emptied) before the refusal
        void (*prepare)(Conversion&);
    };
    const Case cases[] = {
        {"no stub named", neNoSFXStub, false, [](Conversion& c) { c.arc.SetSFXStub(u""); }},
        {"stub file missing", neSFXStubNotFound, false, [](Conversion& c) { c.arc.SetSFXStub(c.dir.P16("nowhere.bin")); }},
        {"split archive", neSFXOnMultiVolume, false, [](Conversion& c) { c.arc.SetSpanningMode(smSplitting); }},
        {"source already behind a stub", neAlreadySFX, true,
         [](Conversion& c) {
             c.arc.MakeSFX(c.dir.P16("first.run"));
             c.arc.SetFileName(c.dir.P16("first.run"));
         }},
        {"source missing", -1, true, [](Conversion& c) { c.arc.SetFileName(c.dir.P16("missing.zip")); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Conversion c(true);
        WriteBytes(c.dir / "out.run", "an older file");
        k.prepare(c);
        bool platformError = false;
        int32_t native = -1;
        try {
            c.arc.MakeSFX(c.dir.P16("out.run"));
        } catch (const ECVException& e) {
            native = e.NativeError();
        } catch (const platform::Exception&) {
            platformError = true;
        }
        if (k.native >= 0) {
            EXPECT_EQ(native, k.native);
        } else {
            EXPECT_TRUE(platformError);
        }
        EXPECT_EQ(ReadBytes(c.dir / "out.run"), k.targetEmptied ? "" : "an older file");
    }
}

// The target is emptied before the source is read: were it the source (or the stub) under any of its
// names, the conversion would destroy what it is about to copy.
TEST(MakeSFX, TargetThatIsTheSourceOrTheStubIsRefusedBeforeAnythingIsTouched) {
    Conversion c;
    ASSERT_EQ(symlink((c.dir / "src.zip").c_str(), (c.dir / "link.zip").c_str()), 0);
    ASSERT_EQ(link((c.dir / "src.zip").c_str(), (c.dir / "hard.zip").c_str()), 0);
    const std::string source = ReadBytes(c.dir / "src.zip");
    struct InFolder {
        std::u16string saved = platform::CurrentFolder();
        explicit InFolder(const std::u16string& f) { platform::SetCurrentFolder(f); }
        ~InFolder() { platform::SetCurrentFolder(saved); }
    } inFolder(c.dir.Path16());
    const std::u16string names[] = {c.dir.P16("src.zip"), u"src.zip", u"./sub/../src.zip", c.dir.P16("link.zip"),
                                    c.dir.P16("hard.zip"), c.dir.P16("stub.bin")};
    for (const bool open : {false, true}) {
        if (open) c.arc.OpenArchive(cvOpenReadOnly);
        for (const std::u16string& name : names) {
            SCOPED_TRACE(platform::Utf16ToUtf8(name) + (open ? " (archive open)" : ""));
            EXPECT_EQ(NativeErrorOf([&] { c.arc.MakeSFX(name); }), neCannotCreateFile);
            EXPECT_EQ(ReadBytes(c.dir / "src.zip"), source);
            EXPECT_EQ(ReadBytes(c.dir / "stub.bin"), c.stub);
        }
        EXPECT_EQ(c.arc.Active(), open);
    }
}

TEST(MakeSFX, OpenArchiveStaysOpenAndItsPendingUpdateIsCommittedFirst) {
    Conversion c;
    c.arc.SetFileName(c.dir.P16("new.zip"));
    c.arc.SetSFXStub(u"");
    c.arc.OpenArchive(cvOpenCreate);
    c.arc.BeginUpdate();
    c.arc.AddFromString(u"note.txt", "written by the pending update", 0x20, 0);
    c.arc.SetSFXStub(c.dir.P16("stub.bin"));
    c.arc.MakeSFX(c.dir.P16("out.run"));
    EXPECT_TRUE(c.arc.Active());
    EXPECT_FALSE(c.arc.InUpdate());

    TCorvane check;
    check.SetFileName(c.dir.P16("out.run"));
    check.OpenArchive(cvOpenReadOnly);
    std::string text;
    check.ExtractToString(u"note.txt", text);
    EXPECT_EQ(text, "written by the pending update");
    EXPECT_EQ(check.DMHandle()->StubSize, static_cast<int64_t>(c.stub.size()));
}

// A memory stream that claims more than it holds, or takes only so many bytes.
class ShortStream : public platform::MemoryStream {
public:
    int64_t claimedSize = -1;
    int64_t writeLimit = -1;
    int64_t Size() override { return claimedSize >= 0 ? claimedSize : MemoryStream::Size(); }
    size_t Write(const void* buffer, size_t count) override {
        if (writeLimit >= 0) {
            const int64_t room = std::max<int64_t>(0, writeLimit - MemoryStream::Size());
            count = std::min<size_t>(count, static_cast<size_t>(room));
        }
        return MemoryStream::Write(buffer, count);
    }
};

struct ProgressEvent {
    bool file;
    double percent;
    TCVProgressPhase phase;
};

// The conversion switches the notifications on before it appends.
struct ProgressArchiver : TCorvane {
    void EnableProgress() { FProgressEnabled = true; }
};

TEST(MakeSFXAppend, ReportsProgressPerMebibyteAndFailsOnShortReadsAndWrites) {
    ProgressArchiver arc;
    std::vector<ProgressEvent> events;
    arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double p, TCVProcessOperation op,
                              TCVProgressPhase phase, bool&) {
        EXPECT_EQ(name, u"src.zip");
        EXPECT_EQ(op, poMakeSFX);
        events.push_back({true, p, phase});
    });
    arc.SetOnOverallProgress([&](TCVBaseArchiver*, double p, TCVProcessOperation, TCVProgressPhase phase, bool&) {
        events.push_back({false, p, phase});
    });

    const std::string data(2 * 1048576 + 100, 'x');
    ShortStream in;
    in.WriteBuffer(data.data(), data.size());
    ShortStream out;
    out.WriteBuffer("head", 4);
    EXPECT_TRUE(arc.FastFileAppend(out, in, u"src.zip"));   // notifications are off: no events
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), out.Size()), "head" + data);

    arc.EnableProgress();
    ShortStream out2;
    EXPECT_TRUE(arc.FastFileAppend(out2, in, u"src.zip"));
    // Start, three blocks (0 %, after 1 MiB, after 2 MiB), end: each as a file and an overall event.
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[0].phase, ppStart);
    EXPECT_EQ(events[2].phase, ppProcess);
    EXPECT_DOUBLE_EQ(events[2].percent, 0);
    EXPECT_NEAR(events[4].percent, 100.0 * 1048576 / data.size(), 1e-9);
    EXPECT_EQ(events[9].phase, ppEnd);
    EXPECT_DOUBLE_EQ(events[9].percent, 100);

    ShortStream liar;
    liar.WriteBuffer(data.data(), data.size());
    liar.claimedSize = static_cast<int64_t>(data.size()) + 1048576;
    ShortStream sink;
    EXPECT_FALSE(arc.FastFileAppend(sink, liar, u"src.zip"));

    ShortStream full;
    full.writeLimit = 1000;
    EXPECT_FALSE(arc.FastFileAppend(full, in, u"src.zip"));
}

// A cancel from a progress handler stops the append without counting as a failure of it; the
// conversion must not then pass a file holding part of the archive for a finished one.
TEST(MakeSFXAppend, CancelledAppendFailsTheConversion) {
    Conversion c;
    std::string big(3 * 1048576, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteBytes(c.dir / "big.bin", big);
    std::string out;
    ASSERT_EQ(testing_support::Run("cd " + Quote(c.dir.Path()) + " && zip -q -0 src.zip big.bin", &out), 0) << out;
    c.arc.SetOnFileProgress([](TCVBaseArchiver*, const std::u16string&, double p, TCVProcessOperation,
                               TCVProgressPhase phase, bool& cancel) { cancel = phase == ppProcess && p > 0; });
    EXPECT_EQ(NativeErrorOf([&] { c.arc.MakeSFX(c.dir.P16("out.run")); }), neSFXAppendFailed);
}

// Without any entry that holds data, the first entry decides whether offsets count from the archive's
// start; the converted file is as readable as any other.
TEST(MakeSFX, ArchiveOfFoldersAndEmptyFilesOnly) {
    Conversion c;
    std::string out;
    ASSERT_EQ(testing_support::RunPython("import zipfile,sys\n"
                                         "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                                         "z.writestr('d/', b''); z.writestr('d/e.txt', b''); z.writestr('f.txt', b'')\n"
                                         "z.close()\n",
                                         {c.dir / "src.zip"}, &out),
              0)
        << out;
    c.arc.MakeSFX(c.dir.P16("out.run"));
    EXPECT_EQ(testing_support::Run("unzip -tqq " + Quote(c.dir / "out.run"), &out), 0) << out;
    EXPECT_TRUE(testing_support::ZipfileTestsClean(c.dir / "out.run", &out)) << out;
}

// 65535 entries need the Zip64 end records, whose locator counts from the source's own start. Behind
// the stub the record is found in front of the locator, so the conversion works like any other and
// every tool reads the result.
TEST(MakeSFX, ArchiveWithZip64EndRecordsConvertsWhole) {
    Conversion c;
    std::string out;
    ASSERT_EQ(testing_support::RunPython("import zipfile,sys\n"
                                         "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                                         "for i in range(65535): z.writestr('f%05d' % i, b'x')\n"
                                         "z.close()\n",
                                         {c.dir / "src.zip"}, &out),
              0)
        << out;
    c.arc.MakeSFX(c.dir.P16("out.run"));
    EXPECT_EQ(testing_support::ListWithPython(c.dir / "out.run").size(), 65535u);
    EXPECT_EQ(testing_support::Run("unzip -tqq " + Quote(c.dir / "out.run"), &out), 0) << out;
}

}  // namespace
