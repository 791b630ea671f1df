// Archives written by other tools load with the names, sizes, CRCs, times, attributes, offsets and
// extra fields those tools stored, plain and behind leading bytes in both offset conventions; saved
// again in place they still read the same in the tools' eyes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace ts = testing_support;

namespace {

enum class Placement { Plain, StubArchiveOffsets, StubFileOffsets };

const char* PlacementName(Placement p) {
    switch (p) {
        case Placement::Plain: return "Plain";
        case Placement::StubArchiveOffsets: return "StubArchiveOffsets";
        case Placement::StubFileOffsets: return "StubFileOffsets";
    }
    return "?";
}

const std::string kComment = "made for the loader";

std::string StubBytes() {
    // Like an executable: a header, then bytes that contain ZIP-like signatures without being records.
    std::string stub = "\x7F" "ELF";
    for (int i = 0; stub.size() < 7777; ++i) stub += (i % 97 == 0) ? std::string("PK\3\4PK\5\6", 8) : std::string(1, char(i * 31));
    return stub;
}

class ToolArchives : public ::testing::TestWithParam<std::tuple<ts::ZipTool, Placement>> {
protected:
    static void SetUpTestSuite() {
        scratch_ = new ts::ScratchDir();
        ts::WriteTree(*scratch_ / "tree", ts::StandardTree());
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }

    // The archive for this case, made once per tool and placement.
    std::string ArchivePath() {
        const auto [tool, placement] = GetParam();
        const std::string plain = *scratch_ / (std::string(ts::ToolName(tool)) + ".zip");
        if (!ts::PathExists(plain)) ts::PackWithTool(tool, *scratch_ / "tree", plain, kComment);
        if (placement == Placement::Plain) return plain;
        const std::string placed = *scratch_ / (std::string(ts::ToolName(tool)) + PlacementName(placement) + ".run");
        if (!ts::PathExists(placed))
            ts::PutBehindStub(plain, StubBytes(), placed,
                              placement == Placement::StubFileOffsets ? ts::StubOffsets::FromFileStart
                                                                      : ts::StubOffsets::FromArchiveStart);
        return placed;
    }

    static bool CarriesComment(ts::ZipTool tool) {
        return tool == ts::ZipTool::InfoZip || tool == ts::ZipTool::Python || tool == ts::ZipTool::PythonZip64;
    }

    static ts::ScratchDir* scratch_;
};

ts::ScratchDir* ToolArchives::scratch_ = nullptr;

std::string ExtraBytes(const TDirItem& item) {
    std::vector<uint8_t> bytes;
    AppendExtraFields(bytes, item.ExtraFields);
    return std::string(bytes.begin(), bytes.end());
}

uint64_t Value64(uint32_t field, int64_t wide) { return field == CVSentinel32 ? static_cast<uint64_t>(wide) : field; }

// Every item against what zipfile reads from the same file.
void ExpectMatchesTool(const TCVDirManager& dm, const std::vector<ts::ToolEntry>& expected) {
    ASSERT_EQ(dm.CDir.Count(), static_cast<int32_t>(expected.size()));
    for (int32_t i = 0; i < dm.CDir.Count(); ++i) {
        const TDirItem& item = dm.CDir.GetItemPtr(i);
        const TCVZipCentralDir& h = item.CentralDir;
        const ts::ToolEntry& e = expected[static_cast<size_t>(i)];
        SCOPED_TRACE(e.Name);
        EXPECT_EQ(h.crc32, e.Crc);
        EXPECT_EQ(Value64(h.compSize, item.Zip64ExtInfo.compSize), e.CompSize);
        EXPECT_EQ(Value64(h.unCompSize, item.Zip64ExtInfo.uncompSize), e.Size);
        EXPECT_EQ(h.lastModTime, e.DosTime);
        EXPECT_EQ(h.lastModDate, e.DosDate);
        EXPECT_EQ(h.externalAttr, e.ExternalAttr);
        EXPECT_EQ(static_cast<uint64_t>(ItemLocalHeaderOffset(item)), e.HeaderOffset);
        EXPECT_EQ(h.genPurposeFlag, e.Flags);
        EXPECT_EQ(item.CompressionMethod, e.Method);
        EXPECT_EQ(h.versionMadeBy, e.VersionMadeBy);
        EXPECT_EQ(ExtraBytes(item), e.Extra);
        EXPECT_EQ(item.Comment, e.Comment);
    }
}

std::set<std::u16string> TreeNames() {
    std::set<std::u16string> names;
    for (const ts::TreeEntry& entry : ts::StandardTree()) names.insert(platform::Utf8ToUtf16(entry.Name));
    return names;
}

TEST_P(ToolArchives, LoadWithWhatTheToolStored) {
    const auto [tool, placement] = GetParam();
    const std::string path = ArchivePath();
    const std::vector<ts::ToolEntry> expected = ts::ListWithPython(path);

    platform::FileStream stream(platform::Utf8ToUtf16(path), platform::fmOpenRead | platform::fmShareDenyNone);
    TCVPlainDirHost host;
    TCVDirManager dm(&stream, &host, false);
    dm.LoadDir();
    ExpectMatchesTool(dm, expected);

    std::set<std::u16string> names;
    for (int32_t i = 0; i < dm.CDir.Count(); ++i) names.insert(dm.CDir.GetItemPtr(i).Name);
    EXPECT_EQ(names, TreeNames());

    const int64_t stub = placement == Placement::Plain ? 0 : static_cast<int64_t>(StubBytes().size());
    EXPECT_EQ(dm.StubSize, stub);
    const std::string bytes = ts::ReadBytes(path);
    EXPECT_EQ(dm.CentralDirOffset, static_cast<int64_t>(bytes.rfind(std::string("PK\1\2", 4), dm.CentralDirOffset)));
    EXPECT_EQ(bytes.substr(static_cast<size_t>(dm.CentralDirOffset), 4), std::string("PK\1\2", 4));
    if (CarriesComment(tool)) {
        EXPECT_EQ(dm.ArchiveComment, kComment);
    }
    EXPECT_FALSE(dm.FZip64);
}

TEST_P(ToolArchives, SavedInPlaceReadsTheSameToOtherTools) {
    const std::string copy = ArchivePath() + ".saved";
    ts::WriteBytes(copy, ts::ReadBytes(ArchivePath()));
    TCVPlainDirHost host;
    {
        platform::FileStream stream(platform::Utf8ToUtf16(copy), platform::fmOpenReadWrite);
        TCVDirManager dm(&stream, &host, false);
        dm.LoadDir();
        dm.SaveDir(false);
    }
    // unzip notes, as a warning, entries whose names are UTF-8 without the flag in their local
    // headers: the directory now flags them. Every entry must still test OK.
    std::string output;
    if (!ts::UnzipTestsClean(copy, &output)) {
        size_t tested = 0, ok = 0;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("testing: ") == std::string::npos) continue;
            ++tested;
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, "OK") == 0) ++ok;
        }
        EXPECT_NE(output.find("mismatch between local and central GPF bit 11"), std::string::npos) << output;
        EXPECT_EQ(tested, ts::StandardTree().size()) << output;
        EXPECT_EQ(ok, tested) << output;
    }

    // What the tools read now is exactly what the engine holds.
    platform::FileStream stream(platform::Utf8ToUtf16(copy), platform::fmOpenRead | platform::fmShareDenyNone);
    TCVDirManager dm(&stream, &host, false);
    dm.LoadDir();
    const std::vector<ts::ToolEntry> listed = ts::ListWithPython(copy);
    ExpectMatchesTool(dm, listed);
    for (int32_t i = 0; i < dm.CDir.Count(); ++i)
        EXPECT_EQ(platform::Utf8ToUtf16(listed[static_cast<size_t>(i)].Name), dm.CDir.GetItemPtr(i).Name);
    if (CarriesComment(std::get<0>(GetParam()))) {
        EXPECT_EQ(ts::ArchiveCommentWithPython(copy), kComment);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllTools, ToolArchives,
    ::testing::Combine(::testing::ValuesIn(ts::AllZipTools()),
                       ::testing::Values(Placement::Plain, Placement::StubArchiveOffsets, Placement::StubFileOffsets)),
    [](const auto& info) {
        return std::string(ts::ToolName(std::get<0>(info.param))) + PlacementName(std::get<1>(info.param));
    });

}  // namespace
