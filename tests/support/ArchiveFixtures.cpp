#include "support/ArchiveFixtures.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/TestSupport.h"
#include "support/ZlibReference.h"

namespace testing_support {

namespace {

void MustRun(const std::string& command) {
    std::string output;
    if (Run(command, &output) != 0) throw std::runtime_error("command failed: " + command + "\n" + output);
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Top-level names below root, so that tools which print "./" for "." get plain relative names.
std::string TopLevelNames(const std::string& root) {
    std::string names;
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(root)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    for (const std::string& name : found) names += " " + Quote(name);
    return names;
}

}  // namespace

std::vector<TreeEntry> StandardTree() {
    std::mt19937 random(20240611);
    std::string noise(20000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of a text that compresses well\n";
    return {
        {"readme.txt", text},
        {"empty.txt", ""},
        {"caf\xC3\xA9.txt", "caf\xC3\xA9\n"},
        {"docs/", ""},
        {"docs/notes.md", "# Notes\n"},
        {"docs/data/", ""},
        {"docs/data/noise.bin", noise},
        {"hollow/", ""},
    };
}

void WriteTree(const std::string& root, const std::vector<TreeEntry>& entries) {
    std::filesystem::create_directories(root);
    for (const TreeEntry& entry : entries) {
        const std::string path = root + "/" + entry.Name;
        if (entry.IsFolder())
            std::filesystem::create_directories(path);
        else
            WriteBytes(path, entry.Content);
    }
}

const char* ToolName(ZipTool tool) {
    switch (tool) {
        case ZipTool::InfoZip: return "InfoZip";
        case ZipTool::SevenZip: return "SevenZip";
        case ZipTool::Bsdtar: return "Bsdtar";
        case ZipTool::Python: return "Python";
        case ZipTool::PythonZip64: return "PythonZip64";
    }
    return "?";
}

std::vector<ZipTool> AllZipTools() {
    return {ZipTool::InfoZip, ZipTool::SevenZip, ZipTool::Bsdtar, ZipTool::Python, ZipTool::PythonZip64};
}

void PackWithTool(ZipTool tool, const std::string& root, const std::string& archive, const std::string& comment) {
    const std::string target = std::filesystem::absolute(archive).string();
    std::filesystem::remove(target);
    const std::string in = "cd " + Quote(root) + " && ";
    switch (tool) {
        case ZipTool::InfoZip:
            MustRun(in + "zip -r -q " + Quote(target) + TopLevelNames(root));
            if (!comment.empty()) MustRun("printf '%s' " + Quote(comment) + " | zip -z -q " + Quote(target));
            break;
        case ZipTool::SevenZip:
            MustRun(in + "7z a -tzip -bd -bso0 " + Quote(target) + TopLevelNames(root));
            break;
        case ZipTool::Bsdtar:
            MustRun(in + "bsdtar --format zip -cf " + Quote(target) + TopLevelNames(root));
            break;
        case ZipTool::Python:
        case ZipTool::PythonZip64: {
            const std::string script =
                "import os, sys, zipfile\n"
                "root, target, comment, force = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == '1'\n"
                "with zipfile.ZipFile(target, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                "    for base, dirs, files in os.walk(root):\n"
                "        dirs.sort()\n"
                "        for name in sorted(dirs) + sorted(files):\n"
                "            path = os.path.join(base, name)\n"
                "            rel = os.path.relpath(path, root)\n"
                "            if os.path.isdir(path):\n"
                "                z.write(path, rel)\n"
                "            else:\n"
                "                info = zipfile.ZipInfo.from_file(path, rel)\n"
                "                info.compress_type = zipfile.ZIP_DEFLATED\n"
                "                with open(path, 'rb') as src, z.open(info, 'w', force_zip64=force) as dst:\n"
                "                    dst.write(src.read())\n"
                "    z.comment = comment.encode()\n";
            MustRun("python3 -c " + Quote(script) + " " + Quote(root) + " " + Quote(target) + " " + Quote(comment) +
                    (tool == ZipTool::PythonZip64 ? " 1" : " 0"));
            break;
        }
    }
}

void PutBehindStub(const std::string& archive, const std::string& stub, const std::string& target,
                   StubOffsets offsets) {
    WriteBytes(target, stub + ReadBytes(archive));
    if (offsets == StubOffsets::FromFileStart) MustRun("zip -A -q " + Quote(target));
}

std::vector<ToolEntry> ListWithPython(const std::string& archive) {
    const std::string script =
        "import sys, zipfile\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    y, mo, d, h, mi, s = i.date_time\n"
        "    print(i.filename.encode().hex(), i.CRC, i.compress_size, i.file_size,\n"
        "          (h << 11) | (mi << 5) | (s // 2), ((y - 1980) << 9) | (mo << 5) | d, i.external_attr,\n"
        "          i.header_offset, i.flag_bits, i.compress_type, (i.create_system << 8) | i.create_version,\n"
        "          i.extra.hex() or '-', i.comment.hex() or '-')\n";
    std::string output;
    if (RunPython(script, {archive}, &output) != 0)
        throw std::runtime_error("zipfile cannot list " + archive + ":\n" + output);
    std::vector<ToolEntry> entries;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ToolEntry e;
        std::string name, extra, comment;
        fields >> name >> e.Crc >> e.CompSize >> e.Size >> e.DosTime >> e.DosDate >> e.ExternalAttr >> e.HeaderOffset >>
            e.Flags >> e.Method >> e.VersionMadeBy >> extra >> comment;
        if (!fields) throw std::runtime_error("unexpected zipfile listing line: " + line);
        e.Name = Unhex(name);
        e.Extra = extra == "-" ? "" : Unhex(extra);
        e.Comment = comment == "-" ? "" : Unhex(comment);
        entries.push_back(e);
    }
    return entries;
}

std::string ArchiveCommentWithPython(const std::string& archive) {
    std::string output;
    if (RunPython("import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).comment.hex())", {archive}, &output) != 0)
        throw std::runtime_error("zipfile cannot read " + archive + ":\n" + output);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return Unhex(output);
}

std::string Le16(uint16_t value) { return {static_cast<char>(value), static_cast<char>(value >> 8)}; }
std::string Le32(uint32_t value) { return Le16(static_cast<uint16_t>(value)) + Le16(static_cast<uint16_t>(value >> 16)); }
std::string Le64(uint64_t value) { return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32)); }

void Patch(std::string& image, size_t at, const std::string& bytes) { image.replace(at, bytes.size(), bytes); }

namespace {

std::string Assemble(const RawArchive& archive, RawLayout& layout) {
    std::string out = archive.Stub;
    const int64_t bias = archive.OffsetsFromFileStart ? 0 : static_cast<int64_t>(archive.Stub.size());
    for (const RawEntry& e : archive.Entries) {
        layout.LocalHeaders.push_back(static_cast<int64_t>(out.size()));
        const uint32_t crc = Crc(e.Data);
        out += Le32(0x04034B50) + Le16(e.Version) + Le16(e.Flags) + Le16(e.Method) + Le16(e.DosTime) +
               Le16(e.DosDate) + Le32(crc) + Le32(static_cast<uint32_t>(e.Data.size())) +
               Le32(static_cast<uint32_t>(e.Data.size())) + Le16(static_cast<uint16_t>(e.Name.size())) +
               Le16(static_cast<uint16_t>(e.LocalExtra.size())) + e.Name + e.LocalExtra + e.Data;
    }
    layout.CentralDir = static_cast<int64_t>(out.size());
    for (size_t i = 0; i < archive.Entries.size(); ++i) {
        const RawEntry& e = archive.Entries[i];
        const uint32_t crc = Crc(e.Data);
        out += Le32(0x02014B50) + Le16(e.Version) + Le16(e.Version) + Le16(e.Flags) + Le16(e.Method) +
               Le16(e.DosTime) + Le16(e.DosDate) + Le32(crc) + Le32(static_cast<uint32_t>(e.Data.size())) +
               Le32(static_cast<uint32_t>(e.Data.size())) + Le16(static_cast<uint16_t>(e.Name.size())) +
               Le16(static_cast<uint16_t>(e.CentralExtra.size())) + Le16(static_cast<uint16_t>(e.Comment.size())) +
               Le16(0) + Le16(0) + Le32(e.ExternalAttr) +
               Le32(static_cast<uint32_t>(layout.LocalHeaders[i] - bias)) + e.Name + e.CentralExtra + e.Comment;
    }
    const int64_t dirSize = static_cast<int64_t>(out.size()) - layout.CentralDir;
    const auto count = static_cast<uint64_t>(archive.Entries.size());
    const auto dirStart = static_cast<uint64_t>(layout.CentralDir - bias);
    if (archive.Zip64Records) {
        layout.Zip64End = static_cast<int64_t>(out.size());
        out += Le32(0x06064B50) + Le64(44) + Le16(45) + Le16(45) + Le32(0) + Le32(0) + Le64(count) + Le64(count) +
               Le64(static_cast<uint64_t>(dirSize)) + Le64(dirStart);
        out += Le32(0x07064B50) + Le32(0) + Le64(static_cast<uint64_t>(layout.Zip64End - bias)) + Le32(1);
    }
    layout.End = static_cast<int64_t>(out.size());
    const uint16_t count16 = archive.Zip64Records ? 0xFFFF : static_cast<uint16_t>(count);
    const uint32_t start32 = archive.Zip64Records ? 0xFFFFFFFF : static_cast<uint32_t>(dirStart);
    const uint32_t size32 = archive.Zip64Records ? 0xFFFFFFFF : static_cast<uint32_t>(dirSize);
    out += Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(count16) + Le16(count16) + Le32(size32) + Le32(start32) +
           Le16(static_cast<uint16_t>(archive.Comment.size())) + archive.Comment;
    return out;
}

}  // namespace

std::string BuildArchive(const RawArchive& archive) {
    RawLayout layout;
    return Assemble(archive, layout);
}

RawLayout LayoutOf(const RawArchive& archive) {
    RawLayout layout;
    Assemble(archive, layout);
    return layout;
}

bool UnzipTestsClean(const std::string& archive, std::string* output) {
    return Run("unzip -t " + Quote(archive), output) == 0;
}

bool ZipfileTestsClean(const std::string& archive, std::string* output) {
    return RunPython("import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)", {archive},
                     output) == 0;
}

}  // namespace testing_support
