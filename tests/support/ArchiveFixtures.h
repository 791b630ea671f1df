// Archives made at test time by the tools people use (Info-ZIP zip, 7-Zip, bsdtar, Python's zipfile),
// and what Python's zipfile reads back from any archive, so tests can check the engine against them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// One file or folder of a test tree; a folder's name ends in "/".
struct TreeEntry {
    std::string Name;      // relative path with "/" separators (UTF-8)
    std::string Content;   // ignored for folders
    bool IsFolder() const { return !Name.empty() && Name.back() == '/'; }
};

// A small tree that exercises the usual cases: text that compresses, random bytes that do not, an
// empty file, a nested folder, an empty folder and a name outside ASCII.
std::vector<TreeEntry> StandardTree();
// Creates the entries below `root` (folders first as needed).
void WriteTree(const std::string& root, const std::vector<TreeEntry>& entries);

enum class ZipTool {
    InfoZip,       // zip -r
    SevenZip,      // 7z a -tzip
    Bsdtar,        // bsdtar --format zip (streams: data descriptors behind compressed entries)
    Python,        // zipfile, deflated
    PythonZip64,   // zipfile with force_zip64=True on every entry
};
const char* ToolName(ZipTool tool);
std::vector<ZipTool> AllZipTools();

// Packs everything below `root` into `archive` (paths relative to root, without "./"). A non-empty
// `comment` becomes the archive comment (Info-ZIP and Python only). Throws std::runtime_error with
// the tool's output when it fails.
void PackWithTool(ZipTool tool, const std::string& root, const std::string& archive,
                  const std::string& comment = {});

// How the stored offsets of an archive behind leading bytes count.
enum class StubOffsets {
    FromArchiveStart,   // plain concatenation: offsets still count from the archive's own start
    FromFileStart,      // corrected by `zip -A`, as a self-extracting file carries them
};
// Writes `stub` followed by the archive file `archive` to `target`, then fixes the offsets as asked.
void PutBehindStub(const std::string& archive, const std::string& stub, const std::string& target,
                   StubOffsets offsets);

// An entry as Python's zipfile reads it from the central directory (offsets made absolute when the
// archive lies behind leading bytes, as zipfile does).
struct ToolEntry {
    std::string Name;          // as zipfile decodes it (UTF-8)
    uint32_t Crc = 0;
    uint64_t CompSize = 0;
    uint64_t Size = 0;
    uint16_t DosTime = 0;
    uint16_t DosDate = 0;
    uint32_t ExternalAttr = 0;
    uint64_t HeaderOffset = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t VersionMadeBy = 0;
    std::string Extra;         // the central extra area as stored
    std::string Comment;       // the entry comment
};
std::vector<ToolEntry> ListWithPython(const std::string& archive);
// The archive comment as zipfile reads it.
std::string ArchiveCommentWithPython(const std::string& archive);

// ---------------------------------------------------------------------------------------------------
// Hand-assembled archives, for layouts no tool writes: every field can be set, damaged or left out.

struct RawEntry {
    RawEntry(std::string name = {}, std::string data = {}) : Name(std::move(name)), Data(std::move(data)) {}

    std::string Name;                 // header bytes of the name
    std::string Data;                 // stored (method 0) unless Method says otherwise
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t Version = 20;            // versionMadeBy and extractVersion
    uint32_t ExternalAttr = 0x20;
    uint16_t DosTime = 0x6000;        // 12:00:00
    uint16_t DosDate = 0x5A21;        // 2025-01-01
    std::string LocalExtra;
    std::string CentralExtra;
    std::string Comment;
};

struct RawArchive {
    std::vector<RawEntry> Entries;
    std::string Comment;
    std::string Stub;                 // bytes in front of the archive
    bool OffsetsFromFileStart = true; // false: offsets count from the archive's own start
    bool Zip64Records = false;        // a Zip64 end record and locator before the end record, which
                                      // then holds the 0xFFFF and 0xFFFFFFFF sentinels
};

// An archive with no entries and no comment: the end record alone.
inline const std::string kEmptyArchive = std::string("PK\x05\x06", 4) + std::string(18, '\0');

// The archive's bytes.
std::string BuildArchive(const RawArchive& archive);
// Where the parts of a built archive begin (positions in the whole file).
struct RawLayout {
    std::vector<int64_t> LocalHeaders;
    int64_t CentralDir = 0;
    int64_t Zip64End = -1;
    int64_t End = 0;
};
RawLayout LayoutOf(const RawArchive& archive);

// Little-endian field images, for building extra fields and patching headers.
std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);
// Overwrites bytes of `image` at `at`.
void Patch(std::string& image, size_t at, const std::string& bytes);

// Runs Info-ZIP `unzip -t` on the archive (its report, one line per entry, in `output`); true when it
// reports neither error nor warning.
bool UnzipTestsClean(const std::string& archive, std::string* output = nullptr);
// Has Python's zipfile read every entry and check its CRC; true when all are sound.
bool ZipfileTestsClean(const std::string& archive, std::string* output = nullptr);

}  // namespace testing_support
