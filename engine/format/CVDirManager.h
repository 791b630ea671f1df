// TCVDirManager: the directory of one open archive: the current items (CDir), the copy an update
// rolls back to (RBCDir), the archive comment, the end records last read or written, and the number of
// bytes in front of the archive proper (StubSize).
//
// Where its members are implemented:
//   CVDirManager.cpp   construction, ClearDir, WriteStub, IsEncrypted, SetStream
//   CVLoadDir.cpp      LoadDir and the end-record search, stub measuring and offset checks
//   CVLocalScan.cpp    RebuildDir: the directory made again from the local headers
//   CVSaveDir.cpp      SaveDir, IsSFXArchive, MergeWith
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirHost.h"
#include "engine/format/CVZipRecords.h"

namespace platform {
class Stream;
}
class TComponent;
class TCVStreamWindow;

class TCVDirManager {
public:
    // Works on Stream (not owned) for Arc. With bCreate the archiver is set to its first volume and,
    // when it names an SFXStub, the stub is written at once: the stream then holds exactly the stub.
    TCVDirManager(platform::Stream* Stream, TCVDirHost* Arc, bool bCreate);
    ~TCVDirManager();
    TCVDirManager(const TCVDirManager&) = delete;
    TCVDirManager& operator=(const TCVDirManager&) = delete;

    platform::Stream* CompressedStream() const noexcept { return FCompressedStream; }
    bool IsCustomStream() const noexcept { return FIsCustomStream; }
    // Hands the manager another stream (the archiver's after a commit has replaced it, say).
    void SetStream(platform::Stream* Stream);

    // True when there is an item and the first one is encrypted.
    bool IsEncrypted() const;

    // ---- Loading --------------------------------------------------------------------------------
    // Fills CDir from the stream. Raises ECVException: neInvalidArchive (nothing that looks like
    // an archive), neZip64EndMissing (Zip64 locator without its record), neOpenAborted (rebuild of a
    // multi-volume archive), neDamagedArchive, neNameIndexOnPut/neNameIndexOnRename (names out of step); with OpenCorruptedArchives a damaged directory is rebuilt from the local
    // headers instead. Read errors of the stream propagate as the stream raises them.
    void LoadDir();
    // Looks for an end record (into CentralDirEnd); with OpenCorruptedArchives always true.
    bool HasCentralDirEnd();
    // Adds StubSize to every item's local header offset.
    void ApplyStubOffset();

    // ---- Saving ---------------------------------------------------------------------------------
    // Writes the central directory, the Zip64 end records when counts or offsets need them, the end
    // record and the comment: at the end of the stream (RecreateCDirEnd), or over the existing tail.
    // A non-null Stream becomes the manager's stream first. The stream ends after the comment.
    void SaveDir(bool RecreateCDirEnd, platform::Stream* Stream = nullptr);
    // True when the first item's local header is not at the start of the file.
    bool IsSFXArchive() const;
    // Appends the other directory's items; the tagged ones among them get CentralDirOffset added to
    // their offsets.
    void MergeWith(TCVDirManager& DMHandleToAdd);

    // ---- Steps of loading (used by LoadDir and by tests) ----------------------------------------
    void ClearDir();
    void WriteStub();
    // Backward search of the last 65600 bytes for the end record nearest to the end that passes
    // ValidateCentralDirEnd; reads the archive comment behind it. P is its position, or -1.
    bool FindCentralDirEnd(TCVZipCentralDirEnd& Rec, int64_t& P);
    // Reads the 22 bytes at C into Rec; whether they can be an end record at C.
    bool ValidateCentralDirEnd(int64_t C, TCVZipCentralDirEnd& Rec);
    static bool IsPlausibleCentralDirEnd(const TCVZipCentralDirEnd& Rec, int64_t C, int64_t StreamSize);
    // The Zip64 locator right before P, and the Zip64 record it points at; each moves P back to the
    // record it found.
    bool ReadZip64Locator(int64_t& P);
    bool ReadZip64CentralDirEnd(int64_t& P);
    void DetectStubSize(int64_t P);
    // Moves X to the next occurrence of the signature at or after X.
    bool FindSignature(int64_t& X, uint32_t Sig);
    // Whether a local header at X carries the values of the central header Ref (only its signature
    // and a complete name are asked for at X = 0).
    bool MatchLocalHeader(int64_t X, const TCVZipCentralDir& Ref);
    bool CheckOffsetsAbsolute();
    void CheckCompressedSizes();
    // Native error 57 when two entries' data share bytes: honest sizes over shared data would let a
    // small archive expand without bound.
    void CheckOverlaps();
    void RebuildDir();
    void ScanLocalHeaders();
    int64_t FindLocalHeader(int64_t X);
    bool FindDataDescriptor(int64_t X, TCVZipDataDescriptor& Descriptor);

    // ---- State ----------------------------------------------------------------------------------
    TCVDirArray RBCDir;
    TCVDirArray CDir;
    std::string ArchiveComment;
    TCVZip64CentralDirEndLocator Zip64CentralDirEndLocator{};
    TCVZip64CentralDirEnd Zip64CentralDirEnd{};
    TCVZipCentralDirEnd CentralDirEnd{};
    int64_t StubSize = 0;
    bool FZip64 = false;
    int64_t CentralDirOffset = 0;
    // Set when the last load had to rebuild the directory from the local headers: the directory was
    // missing or disagreed with itself, so entries may be missing even when all found are whole.
    bool Rebuilt = false;

private:
    const TComponent* Component() const;
    bool MultiVolume() const;
    TCVStreamWindow& Window();
    void LoadCentralHeaders(int64_t Start, int64_t End, uint64_t Count);
    bool SpansVolumes() const;
    static void ReadExtraFields(TDirItem& Item, const uint8_t* Area, size_t Length);
    bool LocalHeaderMatches(int64_t X, const TCVZipCentralDir& Ref);
    int64_t InPlaceTailStart(int64_t P);

    platform::Stream* FCompressedStream = nullptr;
    bool FIsCustomStream = false;
    TCVDirHost* FArc = nullptr;
    // The read-ahead of one load (and, apart, of the data-descriptor search); dropped when the load
    // ends, as the stream may change afterwards.
    std::unique_ptr<TCVStreamWindow> FWindow;
    std::unique_ptr<TCVStreamWindow> FDescriptorWindow;
    // The data-descriptor search of one rebuild: where the last search began and what it found.
    int64_t FDescriptorFrom = -1;
    int64_t FDescriptorAt = -1;
};
