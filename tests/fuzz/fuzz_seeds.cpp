// Writes the seed corpora of the fuzz targets into the folder given: archives made now by the tools
// of the interoperability tests, the hand-assembled layouts no tool writes, and names in each coding.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
namespace ts = testing_support;

namespace {

void Save(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::pair<std::string, std::string>> Archives() {
    std::vector<std::pair<std::string, std::string>> archives;
    ts::ScratchDir scratch;
    // The standard tree is small enough for quick runs; its random file is cut down to keep seeds short.
    std::vector<ts::TreeEntry> tree = ts::StandardTree();
    for (ts::TreeEntry& e : tree)
        if (e.Content.size() > 2000) e.Content.resize(2000);
    ts::WriteTree(scratch / "tree", tree);
    for (ts::ZipTool tool : ts::AllZipTools()) {
        const std::string path = scratch / (std::string(ts::ToolName(tool)) + ".zip");
        try {
            ts::PackWithTool(tool, scratch / "tree", path, tool == ts::ZipTool::InfoZip ? "comment" : "");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fuzz seeds: %s skipped: %s\n", ts::ToolName(tool), e.what());
            continue;
        }
        archives.emplace_back(ts::ToolName(tool), ts::ReadBytes(path));
        const std::string behind = scratch / (std::string(ts::ToolName(tool)) + ".run");
        ts::PutBehindStub(path, std::string(300, 'S'), behind, ts::StubOffsets::FromArchiveStart);
        archives.emplace_back(std::string(ts::ToolName(tool)) + "-stub", ts::ReadBytes(behind));
    }
    ts::RawArchive raw;
    raw.Entries = {ts::RawEntry{"dir/", ""}, ts::RawEntry{"dir/a.txt", "alpha"}, ts::RawEntry{"b", std::string(300, 'b')}};
    raw.Entries[0].ExternalAttr = 0x10;
    raw.Entries[1].CentralExtra = ts::Le16(0x554E) + ts::Le16(12) + "NUCX" + ts::Le32(2) + ts::Le16('h') + ts::Le16('i');
    raw.Entries[2].CentralExtra = ts::Le16(1) + ts::Le16(8) + ts::Le64(300);
    raw.Stub = std::string(100, 'S');
    raw.OffsetsFromFileStart = false;
    archives.emplace_back("raw-stub", ts::BuildArchive(raw));
    raw.Stub.clear();
    raw.Zip64Records = true;
    archives.emplace_back("raw-zip64", ts::BuildArchive(raw));
    archives.emplace_back("empty", ts::kEmptyArchive);
    return archives;
}

// Inputs of the name target: flag byte, length byte, name, extra area.
std::vector<std::pair<std::string, std::string>> Names() {
    const std::string utf8 = "caf\xC3\xA9/\xED\x95\x9C.txt";
    const std::string cp437 = "caf\x82.txt";
    const auto input = [](int flags, const std::string& name, const std::string& extra) {
        return std::string(1, static_cast<char>(flags)) + std::string(1, static_cast<char>(name.size())) + name + extra;
    };
    // A Unicode Path field carries the CRC-32 of the header name it was written for.
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(cp437.data()), static_cast<uInt>(cp437.size())));
    const std::string path = "\x01" + ts::Le32(crc) + utf8;
    return {
        {"ascii", input(0, "dir/a.txt", "")},
        {"utf8-flag", input(1, utf8, "")},
        {"utf8-noflag", input(2, utf8, "")},
        {"cp437", input(2, cp437, "")},
        {"unicode-path", input(0, cp437, ts::Le16(0x7075) + ts::Le16(static_cast<uint16_t>(path.size())) + path)},
        {"unicode-name", input(0, "x", ts::Le16(0x554E) + ts::Le16(12) + "NUCX" + ts::Le32(2) + ts::Le16('h') + ts::Le16('i'))},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const auto& [name, bytes] : Archives()) Save(root / "archives", name, bytes);
    for (const auto& [name, bytes] : Names()) Save(root / "names", name, bytes);
    return 0;
}
