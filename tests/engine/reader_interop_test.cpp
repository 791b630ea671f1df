// Entries written by other tools read back byte-exactly: stored and deflated, with and without data
// descriptors, Zip64; ranges inside a large deflated entry; names carried in a Unicode Path field.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace {

using testing_support::Quote;
using testing_support::Run;
using testing_support::ScratchDir;
using testing_support::U16;

// Python's zipfile: stored or deflated into a file, or deflated into a pipe, where it cannot seek
// back and so writes a data descriptor behind each entry.
const char* const PythonPack =
    "import os, sys, zipfile\n"
    "root, mode, target = sys.argv[1], sys.argv[2], sys.argv[3]\n"
    "method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED\n"
    "out = sys.stdout.buffer if mode == 'streamed' else open(target, 'wb')\n"
    "with zipfile.ZipFile(out, 'w', method) as z:\n"
    "    for base, dirs, files in os.walk(root):\n"
    "        dirs.sort()\n"
    "        for name in sorted(dirs) + sorted(files):\n"
    "            path = os.path.join(base, name)\n"
    "            z.write(path, os.path.relpath(path, root))\n";

// Shell commands that pack everything in the current folder into $T.
struct Packer {
    const char* what;
    std::string command;
};

std::vector<Packer> Packers() {
    const std::string py = "python3 -c " + Quote(PythonPack) + " . ";
    return {
        {"zip -0", "zip -q -r -0 \"$T\" *"},
        {"zip -9", "zip -q -r -9 \"$T\" *"},
        {"zip to a pipe", "zip -q -r -6 - * | cat > \"$T\""},
        {"zip -fd", "zip -q -r -fd \"$T\" *"},
        {"7z deflate", "7z a -tzip -mx=9 -bd -bso0 \"$T\" *"},
        {"7z store", "7z a -tzip -mx=0 -bd -bso0 \"$T\" *"},
        {"bsdtar", "bsdtar --format zip -cf \"$T\" *"},
        {"bsdtar store", "bsdtar --format zip --options zip:compression=store -cf \"$T\" *"},
        {"python stored", py + "stored \"$T\""},
        {"python deflated", py + "deflated \"$T\""},
        {"python to a pipe", py + "streamed - | cat > \"$T\""},
    };
}

void Pack(const Packer& packer, const std::string& root, const std::string& target) {
    std::string output;
    const int status = Run("cd " + Quote(root) + " && T=" + Quote(target) + " && " + packer.command, &output);
    ASSERT_EQ(status, 0) << packer.what << ": " << output;
}

// Lines of random hex between plain words: compresses to a little over half, so a few MiB give a
// stored length of several input blocks.
std::string HalfCompressible(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char hex[] = "0123456789abcdef";
    std::string s;
    s.reserve(size + 64);
    while (s.size() < size) {
        s += "record ";
        for (int i = 0; i < 40; ++i) s += hex[rng() % 16];
        s += '\n';
    }
    s.resize(size);
    return s;
}

}  // namespace

TEST(ReaderInterop, EntriesOfOtherToolsReadBackByteExactly) {
    ScratchDir scratch;
    const auto tree = testing_support::StandardTree();
    testing_support::WriteTree(scratch / "tree", tree);

    std::vector<std::pair<std::string, std::string>> archives;
    for (const Packer& p : Packers()) {
        const std::string target = scratch / (std::string("a") + std::to_string(archives.size()) + ".zip");
        Pack(p, scratch / "tree", target);
        archives.push_back({p.what, target});
    }
    const std::string zip64 = scratch / "zip64.zip";
    testing_support::PackWithTool(testing_support::ZipTool::PythonZip64, scratch / "tree", zip64);
    archives.push_back({"python force_zip64", zip64});

    for (const auto& [what, path] : archives) {
        SCOPED_TRACE(what);
        TCorvane arc;
        arc.SetFileName(U16(path));
        arc.OpenArchive(cvOpenReadOnly);
        for (const auto& entry : tree) {
            if (entry.IsFolder()) continue;
            SCOPED_TRACE(entry.Name);
            std::string text;
            EXPECT_NO_THROW(arc.ExtractToString(U16(entry.Name), text));
            EXPECT_TRUE(text == entry.Content) << text.size() << " bytes, want " << entry.Content.size();
            platform::MemoryStream out;
            EXPECT_NO_THROW(arc.ExtractToStream(U16(entry.Name), &out));
            EXPECT_EQ(out.Size(), static_cast<int64_t>(entry.Content.size()));
        }
    }
}

TEST(ReaderInterop, RangesInsideALaterBlockOfALargeDeflatedEntry) {
    ScratchDir scratch;
    const std::string data = HalfCompressible(6 << 20, 17);
    testing_support::WriteTree(scratch / "tree", {{"big/data.txt", data}});
    const Packer packers[] = {{"zip -9", "zip -q -r -9 \"$T\" *"},
                              {"python deflated", "python3 -c " + Quote(PythonPack) + " . deflated \"$T\""}};
    for (const Packer& p : packers) {
        SCOPED_TRACE(p.what);
        const std::string target = scratch / "big.zip";
        std::filesystem::remove(target);
        Pack(p, scratch / "tree", target);
        TCorvane arc;
        arc.SetFileName(U16(target));
        arc.OpenArchive(cvOpenReadOnly);
        TCVArchiveItem item;
        ASSERT_TRUE(arc.FindFirst(u"big/data.txt", item, 0x28BF, u""));
        ASSERT_GT(item.CompressedSize, 3 << 20);   // the ranges below lie in the fourth input block or later

        const int64_t mib = 1 << 20;
        struct Case {
            int64_t start;
            int32_t count;
        } cases[] = {{5 * mib + 4321, 1000}, {6 * mib - 1, 1}, {4 * mib - 3, 7}, {0, 16}};
        for (const Case& c : cases) {
            std::string buffer(static_cast<size_t>(c.count), '?');
            arc.ExtractToBuffer(u"big\\data.txt", buffer.data(), c.count, c.start);
            EXPECT_EQ(buffer, data.substr(static_cast<size_t>(c.start), static_cast<size_t>(c.count))) << c.start;
        }
        char past[10];
        EXPECT_THROW(arc.ExtractToBuffer(u"big/data.txt", past, 10, 6 * mib - 5), platform::StreamError);
        std::string whole;
        arc.ExtractToString(u"big/data.txt", whole);
        EXPECT_TRUE(whole == data);
    }
}

TEST(ReaderInterop, NameFromAUnicodePathFieldWhoseCrcMatches) {
    // The header name is "caf\xE9.txt" in a one-byte code page; the field carries it in UTF-8 with
    // the CRC-32 of those header bytes. A field whose CRC does not match was left behind by a rename
    // and is not taken.
    const std::string raw = "caf\xE9.txt";
    const std::string utf8 = "caf\xC3\xA9.txt";
    auto field = [&](uint32_t crc) {
        const std::string body = std::string(1, '\x01') + testing_support::Le32(crc) + utf8;
        return testing_support::Le16(0x7075) + testing_support::Le16(static_cast<uint16_t>(body.size())) + body;
    };
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())));
    testing_support::RawArchive archive;
    testing_support::RawEntry matching;
    matching.Name = raw;
    matching.Data = "matching\n";
    matching.CentralExtra = field(crc);
    testing_support::RawEntry stale = matching;
    stale.Name = "old\xE9.txt";
    stale.Data = "stale\n";
    stale.CentralExtra = field(crc ^ 1);
    archive.Entries = {matching, stale};

    ScratchDir scratch;
    const std::string path = scratch / "names.zip";
    testing_support::WriteBytes(path, testing_support::BuildArchive(archive));
    TCorvane arc;
    arc.SetFileName(U16(path));
    arc.OpenArchive(cvOpenReadOnly);
    std::string text;
    arc.ExtractToString(U16(utf8), text);
    EXPECT_EQ(text, "matching\n");
    EXPECT_EQ(platform::Utf16ToUtf8(arc.DMHandle()->CDir.GetItemPtr(1).Name), "old\xCE\x98.txt");   // code page 437
    arc.ExtractToString(arc.DMHandle()->CDir.GetItemPtr(1).Name, text);
    EXPECT_EQ(text, "stale\n");
}
