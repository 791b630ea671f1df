// Shared by the processing, maintenance and hostile-archive tests: archives written byte by byte (so
// a test can say exactly what a header holds, sane or not), an archiver opened on one, scripted
// dialogs, and a snapshot of a folder tree to compare extractions by.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/DirectoryLooks.h"
#include "support/EngineErrors.h"
#include "support/ScriptedAnswers.h"
#include "support/TestSupport.h"
#include "support/ZlibReference.h"

namespace process_tests {

using testing_support::Crc;
using testing_support::Dos;
using testing_support::NativeErrorOf;
using testing_support::PathExists;
using testing_support::Quote;
using testing_support::RawDeflate;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::ScriptedAnswers;
using testing_support::U16;
using testing_support::U8;
using testing_support::WriteBytes;

// Runs a shell command in a UTF-8 locale, so tools store and print names outside ASCII as UTF-8.
inline int Sh(const std::string& command, std::string* output = nullptr) {
    return testing_support::Run("export LC_ALL=C.UTF-8; " + command, output);
}

// ---- Archives written byte by byte -------------------------------------------------------------------

// One entry as a test wants it on disk. Sizes and CRC follow from Data unless overridden; Stored is
// written as it stands when given (deflated or not, damaged or not).
struct RawEntry {
    RawEntry() = default;
    RawEntry(std::string name, std::string data = {}) : Name(std::move(name)), Data(std::move(data)) {}

    std::string Name;
    std::string Data;
    bool Deflate = true;
    uint32_t DosTime = Dos(2021, 3, 4, 5, 6, 8);
    uint32_t ExternalAttr = 0x20;
    uint16_t MadeBy = 0x0014;
    uint16_t Flags = 0;
    std::string CentralExtra;
    std::string Comment;
    std::optional<std::string> Stored;
    std::optional<uint32_t> CrcValue;
    std::optional<uint32_t> Size;
};

inline RawEntry Folder(const std::string& name) {
    RawEntry e(name);
    e.Deflate = false;
    e.ExternalAttr = 0x10;
    return e;
}

// A file entry made on Linux: the Unix mode in the high 16 bits, as the tools there store it.
inline RawEntry UnixFile(const std::string& name, const std::string& data, uint32_t mode) {
    RawEntry e(name, data);
    e.MadeBy = 0x0314;
    e.ExternalAttr = (mode << 16) | 0x20;
    return e;
}

// Appends the low 16 or all 32 bits of `v`, little-endian.
inline void Put16(std::string& out, uint32_t v) { out += testing_support::Le16(static_cast<uint16_t>(v)); }
inline void Put32(std::string& out, uint32_t v) { out += testing_support::Le32(v); }

inline std::string BuildZip(const std::vector<RawEntry>& entries, const std::string& archiveComment = {}) {
    std::string out;
    std::string central;
    for (const RawEntry& e : entries) {
        const std::string stored = e.Stored ? *e.Stored : e.Deflate ? RawDeflate(e.Data) : e.Data;
        const uint16_t method = e.Deflate ? 8 : 0;
        const uint32_t crc = e.CrcValue ? *e.CrcValue : Crc(e.Data);
        const uint32_t size = e.Size ? *e.Size : static_cast<uint32_t>(e.Data.size());
        const uint32_t offset = static_cast<uint32_t>(out.size());
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, method);
        Put32(out, e.DosTime);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(stored.size()));
        Put32(out, size);
        Put16(out, static_cast<uint32_t>(e.Name.size()));
        Put16(out, 0);
        out += e.Name;
        out += stored;

        Put32(central, 0x02014B50);
        Put16(central, e.MadeBy);
        Put16(central, 20);
        Put16(central, e.Flags);
        Put16(central, method);
        Put32(central, e.DosTime);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(stored.size()));
        Put32(central, size);
        Put16(central, static_cast<uint32_t>(e.Name.size()));
        Put16(central, static_cast<uint32_t>(e.CentralExtra.size()));
        Put16(central, static_cast<uint32_t>(e.Comment.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, e.ExternalAttr);
        Put32(central, offset);
        central += e.Name + e.CentralExtra + e.Comment;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, static_cast<uint32_t>(archiveComment.size()));
    return out + archiveComment;
}

// ---- An archiver on an archive in a scratch folder ---------------------------------------------------

// The failure events a batch raised.
struct Failure {
    std::string FileName;
    int32_t NativeError;
};

struct ArchiveOnDisk {
    ScratchDir scratch;
    TCorvane arc;
    std::vector<Failure> failures;
    // Answers for the failure events in turn; once used up, Ignore.
    std::vector<TCVAction> answers;

    ArchiveOnDisk() { arc.SetName(u"Archiver"); }

    std::string ArchivePath() const { return scratch / "test.zip"; }
    std::string Out(const std::string& name = "") const { return scratch / ("out/" + name); }

    // Writes `bytes` as the archive and opens it (read and write), extracting to out/.
    void Open(const std::string& bytes) {
        WriteBytes(ArchivePath(), bytes);
        Reopen();
    }
    void Reopen() {
        arc.CloseArchive();
        arc.SetFileName(U16(ArchivePath()));
        arc.OpenArchive();
        arc.SetBaseDir(U16(Out()));
    }
    // Records every failure instead of asking the user.
    void RecordFailures() {
        arc.SetOnProcessFileFailure([this](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation,
                                           int32_t native, int32_t, const std::u16string&, TCVAction& action) {
            failures.push_back({U8(name), native});
            action = answers.size() >= failures.size() ? answers[failures.size() - 1] : fxaIgnore;
        });
    }
    TCVDirArray& Dir() { return arc.DMHandle()->CDir; }
    // Everything in the scratch folder but the destination and the archive.
    std::vector<std::string> ElsewhereNames() const;
    std::vector<std::string> Names() { return testing_support::NamesOf(Dir()); }
    TDirItem& Item(const std::string& name) { return testing_support::ItemNamed(Dir(), name); }
};

// ---- Trees on disk -----------------------------------------------------------------------------------

struct DiskEntry {
    bool IsFolder = false;
    bool IsLink = false;
    std::string Content;
    uint32_t Mode = 0;        // permission bits
    int64_t MTime = 0;        // seconds
    bool operator==(const DiskEntry&) const = default;
};

// Everything below `root`, by relative path ("/" separators, folders without a trailing "/"). Links
// are listed as links, never followed.
inline std::map<std::string, DiskEntry> Snapshot(const std::string& root) {
    std::map<std::string, DiskEntry> entries;
    if (!std::filesystem::exists(root)) return entries;
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        DiskEntry e;
        e.IsLink = S_ISLNK(st.st_mode);
        e.IsFolder = S_ISDIR(st.st_mode);
        e.Mode = st.st_mode & 07777;
        e.MTime = st.st_mtime;
        if (S_ISREG(st.st_mode)) e.Content = ReadBytes(path);
        entries[std::filesystem::relative(it->path(), root).string()] = e;
    }
    return entries;
}

inline std::vector<std::string> NamesIn(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& [name, entry] : Snapshot(root)) names.push_back(entry.IsFolder ? name + "/" : name);
    return names;
}

inline int64_t MTimeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

inline uint32_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFFFFF;
}

inline bool IsLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

inline std::vector<std::string> ArchiveOnDisk::ElsewhereNames() const {
    std::vector<std::string> names;
    for (const std::string& name : NamesIn(scratch.Path()))
        if (name.rfind("out/", 0) != 0 && name != "test.zip") names.push_back(name);
    return names;
}

}  // namespace process_tests
