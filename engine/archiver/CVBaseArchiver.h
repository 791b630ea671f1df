// TCVBaseArchiver: the archive component. One instance works on one archive at a time: it opens or
// creates it, records changes in the in-memory directory inside update transactions and commits them,
// adds files from the disk or from memory, searches, extracts and tests entries, and turns an archive
// into a self-extracting file.
//
// Where each group of members is implemented:
//   archiver/CVBaseArchiver.cpp      construction, properties, checks
//   archiver/CVOpenClose.cpp         OpenArchive, CreateNewArchive, OpenExistingArchive, CloseArchive
//   archiver/CVDispatchers.cpp       the Do... event dispatchers and their default dialogs
//   archiver/CVUpdate.cpp            BeginUpdate, EndUpdate, CancelUpdate, CommitUpdate, RunInUpdate
//   archiver/CVCommit.cpp            the commit's steps (TCVCommit), roll-back
//   archiver/CVSfx.cpp               MakeSFX, FastFileAppend
//   add/CVScan.cpp                   AddFiles, MoveFiles and the file-system scan
//   add/CVNewItems.cpp               AddNewItem, InitNewItem, AddFromStream/Buffer/String
//   add/CVItemWriter.cpp             WriteNewItem, CompressItem, WriteToStream
//   extract/CVSearch.cpp             FindFirst, FindNext, TagFiles, FindItemIndex
//   extract/CVProcess.cpp            ExtractFiles, TestFiles, DeleteFiles, UpdateFiles, the driver
//   extract/CVItemReader.cpp         ExtractItem, DecompressItem, ExtractToStream/Buffer/String
//   archiver/CVMaintenance.cpp       RenameFile, ChangeFilesAttr, ChangeFilesIntAttr, ChangeFilesComment
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/CVComponent.h"
#include "engine/archiver/CVEvents.h"
#include "engine/archiver/CVOptions.h"
#include "engine/extract/CVArchiveItem.h"
#include "engine/format/CVDirHost.h"
#include "engine/util/CVStrFunc.h"
#include "engine/util/CVTypes.h"

#include "platform/Platform.h"

class ECVException;
class TCVDeflatePool;

class TCVDirManager;
struct TCVNewEntry;
struct TDirItem;

// A list of masks (the component's FileMasks, ExclusionMasks, NoCompressionMasks).
using TCVStringList = std::vector<std::u16string>;

// Dates of entries added from memory are calendar times; 0 stands for "now".
// Open-mode words the engine uses for the archive file.
inline constexpr uint16_t cvOpenCreate = 0xFF00;      // create or truncate, no sharing
inline constexpr uint16_t cvOpenReadWrite = 0x0022;   // read and write; others may only read
inline constexpr uint16_t cvOpenReadOnly = 0x0040;    // read only, others may read and write

class TCVBaseArchiver : public TComponent, public TCVDirHost {
public:
    explicit TCVBaseArchiver(TComponent* AOwner = nullptr);
    ~TCVBaseArchiver() override;
    TCVBaseArchiver(const TCVBaseArchiver&) = delete;
    TCVBaseArchiver& operator=(const TCVBaseArchiver&) = delete;

    // ---- Properties ------------------------------------------------------------------------------
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    const std::u16string& BaseDir() const { return FBaseDir; }
    void SetBaseDir(const std::u16string& Value) { FBaseDir = Value; }
    std::string Comment() const;
    void SetComment(const std::string& Value);
    TCVCompressionLevel CompressionLevel() const { return FCompressionLevel; }
    void SetCompressionLevel(TCVCompressionLevel Value);
    uint8_t CompressionMode() const { return FCompressionMode; }
    void SetCompressionMode(uint8_t Value);
    uint16_t CompressionMethod() const { return FCompressionMethod; }
    // Deflated entries at the best-compression level (BestDeflateLevel) instead of the mode's: smaller,
    // slower.
    bool BestCompression() const { return FBestCompression; }
    void SetBestCompression(bool Value) { FBestCompression = Value; }
    std::u16string CurrentVersion() const;
    TCVCryptoAlgorithm EncryptionMethod() const { return FCVCryptoAlgorithm; }
    void SetEncryptionMethod(TCVCryptoAlgorithm Value) { FCVCryptoAlgorithm = Value; }
    const TCVStringList& ExclusionMasks() const { return FExclusionMasks; }
    void SetExclusionMasks(const TCVStringList& Value) { FExclusionMasks = Value; }
    const TCVStringList& FileMasks() const { return FFileMasks; }
    void SetFileMasks(const TCVStringList& Value) { FFileMasks = Value; }
    const TCVStringList& NoCompressionMasks() const { return FNoCompressionMasks; }
    void SetNoCompressionMasks(const TCVStringList& Value) { FNoCompressionMasks = Value; }
    bool ExtractCorruptedFiles() const { return FExtractCorruptedFiles; }
    void SetExtractCorruptedFiles(bool Value) { FExtractCorruptedFiles = Value; }
    bool Exists() const;
    int32_t FileCount();
    // Entries in the open archive's directory, files and folders; 0 when none is open.
    int32_t EntryCount() const;
    // Whether the open archive's file ends with an end of central directory record. Without one,
    // opening rebuilds the directory from whatever local headers it finds, and finding none at all
    // gives an empty archive rather than an error.
    bool HasEndRecord() const;
    // Whether opening had to rebuild the directory from the local headers: it was missing, or it
    // disagreed with itself (counts that do not match its headers), so entries may be missing.
    bool DirectoryRebuilt() const;
    // The most disk space extracting every entry below Folder takes at any one moment. Each file is
    // written whole beside its old copy before it replaces it; with CountReplaced, the space of old
    // copies already replaced counts as given back (which looks at every target on disk).
    int64_t ExtractSpaceNeeded(const std::u16string& Folder, bool CountReplaced) const;
    const std::u16string& FileName() const { return FFileName; }
    void SetFileName(const std::u16string& Value) { FFileName = Value; }
    bool InMemory() const { return FInMemory; }
    void SetInMemory(bool Value);
    bool InUpdate() const { return FUpdateCount > 0; }
    bool OpenCorruptedArchives() const { return FOpenCorruptedArchives; }
    void SetOpenCorruptedArchives(bool Value) { FOpenCorruptedArchives = Value; }
    TCVOptions& Options() { return FOptions; }
    const TCVOptions& Options() const { return FOptions; }
    const std::string& Password() const { return FPassword; }
    virtual void SetPassword(const std::string& Value);
    const std::u16string& SFXStub() const { return FSFXStub; }
    void SetSFXStub(const std::u16string& Value) { FSFXStub = Value; }
    int64_t Size();
    TCVSpanningMode SpanningMode() const { return FSpanningMode; }
    void SetSpanningMode(TCVSpanningMode Value);
    TCVSpanningOptions& SpanningOptions() { return FSpanningOptions; }
    const std::u16string& TempDir() const { return FTempDir; }
    void SetTempDir(const std::u16string& Value) { FTempDir = Value; }
    bool UnicodeFilenames() const { return FUnicodeFilenames; }
    void SetUnicodeFilenames(bool Value) { FUnicodeFilenames = Value; }
    const TCVVolumeNumberInfo& VolumeNumberInfo() const { return FVolumeNumberInfo; }
    TZip64Mode Zip64Mode() const { return FZip64Mode; }
    void SetZip64Mode(TZip64Mode Value) { FZip64Mode = Value; }
    // The system the archive is meant to be unpacked on. With psWindows, adding files checks each
    // name against what Windows can hold, and a name it cannot is a failure of that file or folder
    // (Abort, Retry, Ignore), so the packer learns of it instead of the recipient.
    TCVPathStyle NameTarget() const { return FNameTarget; }
    void SetNameTarget(TCVPathStyle Value) { FNameTarget = Value; }

    // ---- Events ----------------------------------------------------------------------------------
    void SetOnFileProgress(TCVFileProgressEvent Handler) { FOnFileProgress = std::move(Handler); }
    void SetOnOverallProgress(TCVProgressEvent Handler) { FOnOverallProgress = std::move(Handler); }
    void SetOnCopyTempFileProgress(TCVCopyTempFileProgressEvent Handler) { FOnCopyTempFileProgress = std::move(Handler); }
    void SetOnConfirmOverwrite(TCVConfirmOverwriteEvent Handler) { FOnConfirmOverwrite = std::move(Handler); }
    void SetOnConfirmProcessFile(TCVConfirmProcessFileEvent Handler) { FOnConfirmProcessFile = std::move(Handler); }
    void SetAfterOpen(TCVNotifyEvent Handler) { FAfterOpen = std::move(Handler); }
    void SetOnPassword(TCVOnPasswordEvent Handler) { FOnPassword = std::move(Handler); }
    void SetOnProcessFileFailure(TCVProcessFileFailureEvent Handler) { FOnProcessFileFailure = std::move(Handler); }
    void SetOnRequestFirstVolume(TCVOnRequestFirstVolumeEvent Handler) { FOnRequestFirstVolume = std::move(Handler); }
    void SetOnRequestLastVolume(TCVOnRequestLastVolumeEvent Handler) { FOnRequestLastVolume = std::move(Handler); }
    void SetOnRequestMiddleVolume(TCVOnRequestMiddleVolumeEvent Handler) { FOnRequestMiddleVolume = std::move(Handler); }
    void SetOnRequestBlankVolume(TCVOnRequestBlankVolumeEvent Handler) { FOnRequestBlankVolume = std::move(Handler); }
    void SetOnDiskFull(TCVOnDiskFullEvent Handler) { FOnDiskFull = std::move(Handler); }
    void SetOnProcessVolumeFailure(TCVProcessVolumeFailureEvent Handler) { FOnProcessVolumeFailure = std::move(Handler); }
    void SetOnStoreFile(TCVOnStoreFileEvent Handler) { FOnStoreFile = std::move(Handler); }
    void SetOnExtractFile(TCVOnExtractFileEvent Handler) { FOnExtractFile = std::move(Handler); }

    // ---- Opening and closing ---------------------------------------------------------------------
    void OpenArchive();
    void OpenArchive(uint16_t Mode);
    void OpenArchive(platform::Stream* Stream, bool Create);
    void CloseArchive();
    bool IsValidArchiveFile();

    // ---- Update transactions ---------------------------------------------------------------------
    void BeginUpdate();
    void EndUpdate();
    void CancelUpdate();

    // ---- Adding ----------------------------------------------------------------------------------
    void AddFiles();
    void AddFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    void MoveFiles();
    void MoveFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    void AddFromStream(const std::u16string& FileName, platform::Stream* Stream, bool CopyToBuffer,
                       int64_t Position, int64_t Count, int32_t Attr, std::time_t DateTime);
    void AddFromBuffer(const std::u16string& FileName, const void* Buffer, int32_t Count, int32_t Attr,
                       std::time_t DateTime);
    void AddFromString(const std::u16string& FileName, const std::string& Text, int32_t Attr, std::time_t DateTime);

    // ---- Searching -------------------------------------------------------------------------------
    bool FindFirst(TCVArchiveItem& F);
    bool FindFirst(const std::u16string& FileMask, TCVArchiveItem& F, int32_t SearchAttr,
                   const std::u16string& ExclusionMask);
    bool FindNext(TCVArchiveItem& F);

    // ---- Processing selected entries -------------------------------------------------------------
    void ExtractFiles();
    void ExtractFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    void TestFiles();
    void TestFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    void DeleteFiles();
    void DeleteFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    void UpdateFiles();
    void UpdateFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);

    // ---- Reading one entry into memory -----------------------------------------------------------
    void ExtractToStream(const std::u16string& FileName, platform::Stream* Stream);
    void ExtractToBuffer(const std::u16string& FileName, void* Buffer, int32_t Count, int64_t StartPosition);
    void ExtractToString(const std::u16string& FileName, std::string& Text);

    // ---- Maintenance -----------------------------------------------------------------------------
    void RenameFile(const std::u16string& OldName, const std::u16string& NewName);
    void ChangeFilesAttr(const std::u16string& FileMask, uint32_t NewAttr);
    void ChangeFilesIntAttr(const std::u16string& FileMask, uint32_t NewAttr);
    void ChangeFilesComment(const std::u16string& FileMask, const std::string& NewComment);

    // ---- Self-extracting conversion --------------------------------------------------------------
    void MakeSFX(const std::u16string& SFXFileName);

    // ---- Event dispatchers (virtual: a host may override them) ------------------------------------
    virtual void UpdateCompressionMethod();
    virtual void DoOverallProgress(double Progress, TCVProcessOperation Operation,
                                   TCVProgressPhase ProgressPhase, bool& Cancel);
    virtual void DoFileProgress(const std::u16string& FileName, double Progress, TCVProcessOperation Operation,
                                TCVProgressPhase ProgressPhase, bool& Cancel);
    virtual void DoCopyTempFileProgress(double Progress, TCVProgressPhase ProgressPhase, bool& Cancel);
    virtual void DoConfirmOverwrite(const std::u16string& SourceFileName, std::u16string& DestFileName,
                                    bool& Confirm);
    virtual void DoConfirmProcessFile(const std::u16string& FileName, TCVProcessOperation Operation,
                                      bool& Confirm);
    virtual void DoPassword(const std::u16string& FileName, std::string& NewPassword, bool& SkipFile);
    virtual void DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                                      int32_t NativeError, int32_t ErrorCode,
                                      const std::u16string& ErrorMessage, TCVAction& Action);
    virtual void DoRequestBlankVolume(int32_t VolumeNumber, std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoRequestFirstVolume(std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoRequestLastVolume(std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoRequestMiddleVolume(int32_t VolumeNumber, std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoDiskFull(int32_t VolumeNumber, const std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoProcessVolumeFailure(TCVProcessOperation Operation, int32_t VolumeNumber,
                                        const std::u16string& VolumeFileName, bool& Cancel);
    virtual void DoStoreFile(std::u16string& FileName, int32_t& FileAttr, std::string& Comment,
                             const std::u16string& OriginalFileName);
    virtual void DoExtractFile(std::u16string& FileName, uint32_t& FileAttr, const std::string& Comment);

    // ---- Engine internals ------------------------------------------------------------------------
    // Used by the engine's own units and by tests; a host has no reason to call them.
    void CheckActive() const;
    void CheckNotInUpdate() const;
    void CheckModifiable() const;
    TCVDirManager* DMHandle() const { return FDMHandle.get(); }
    platform::Stream* CompressedStream() const { return FCompressedStream; }
    uint16_t FileOpenMode() const { return FFileOpenMode; }
    bool IsCustomStream() const { return FIsCustomStream; }
    bool Updated() const { return FUpdated; }
    const std::u16string& CurrentDir() const { return FCurrentDir; }
    void SetCurrentDir(const std::u16string& Value) { FCurrentDir = Value; }

    // Opening (CVOpenClose.cpp).
    void CreateNewArchive();
    void OpenExistingArchive();
    void OpenVolumeFile(const std::u16string& VolumeName);
    // What closing writes before it lets go of the stream: the pending commit, and the empty directory
    // of an archive that holds nothing behind its stub. Raises what they raise.
    void FinishPendingWrites();
    // Frees the archive stream (unless it is the caller's) and the directory manager.
    void ReleaseArchiveStream();

    // The commit (CVUpdate.cpp).
    void CommitUpdate();
    // The frame of every public operation that changes the archive: begins an update (nesting inside a
    // caller's), runs Change, ends the update (the outermost end commits); on an exception it cancels
    // the update and passes the exception on. The operation's own checks come before it.
    void RunInUpdate(const std::function<void()>& Change);

    // The file-system scan (CVScan.cpp).
    void ScanInUpdate(const TCVStringList& Masks, int32_t SearchAttr, bool Move, const TCVStringList& Exclusions);
    void ScanFileMasks(const TCVStringList& Masks, int32_t SearchAttr, bool Recurse, bool Move,
                       const TCVStringList& Exclusions);
    void SearchFolder(const std::u16string& StartDir, const std::u16string& BaseDir, std::u16string Mask,
                      const std::u16string& CurDir, bool Recurse);
    bool ProcessFoundEntry(const platform::SearchRec& Entry, const std::u16string& Dir,
                           const std::u16string& BaseDir, const std::u16string& CurDir);
    void AddFoundFile(const std::u16string& FullName, const std::u16string& BaseDir,
                      const platform::SearchRec& Entry);
    bool MatchesFileMask(const std::u16string& FileName, std::u16string Mask, bool IsDir);
    // A file or folder the scan cannot take, put to the failure question; Abort ends the scan.
    TCVAction ScanFailure(const std::u16string& FileName, const ECVException& Error);
    // Whether Folder can be listed; one that cannot is a failure of that folder (Retry lists again).
    bool ScanFolderReadable(const std::u16string& Folder);
    // Whether the name FullName would be stored under suits NameTarget (Retry looks again).
    bool ScanNameAllowed(const std::u16string& FullName, const std::u16string& BaseDir);
    void ResolveMaskPath(const std::u16string& Mask, const std::u16string& Dir, std::u16string& FullMask,
                         bool& IsRelative);

    // New directory items (CVNewItems.cpp).
    int32_t AddNewItem(const std::u16string& FileName, const std::u16string& BaseDir, std::time_t DateTime,
                       int32_t Attr, bool FromFile);
    void InitNewItem(int32_t Index, const std::u16string& FileName, std::time_t DateTime, int32_t Attr,
                     bool FromFile);
    void AddStreamItem(const std::u16string& FileName, std::shared_ptr<platform::Stream> Stream,
                       std::time_t DateTime, int32_t Attr, int64_t Count, int64_t Position, bool OwnStream,
                       bool CopyToBuffer);
    // FIFOs, sockets and devices are never archived: reading one could block forever.
    static bool IsSpecialFileAttr(int32_t Attr);

    // The per-item writer (CVItemWriter.cpp). WriteNewItem stores one entry in steps: open its source
    // and encode its name, place its local header at the archive's position, write the header, make
    // the data (CompressItem, which writes to any stream), then complete the header with the sizes and
    // CRC. A failure is answered through DoProcessFileFailure; false when the entry was not stored.
    bool WriteNewItem(int32_t Index);
    void OpenNewEntry(TDirItem& Item, TCVNewEntry& Entry);
    void PlaceNewEntry(TDirItem& Item, TCVNewEntry& Entry, int64_t Start);
    bool WriteLocalHeader(platform::Stream& Archive, const TCVNewEntry& Entry);
    // Starts compressing the files the commit will store from index First on (see TCVDeflatePool).
    void StartDeflatePool(int32_t First);
    // The deflate level an item is compressed at.
    int DeflateLevel(const TDirItem& Item) const;
    bool CompressItem(platform::Stream& Source, platform::Stream& Output, TDirItem& Item);
    bool CompleteLocalHeader(platform::Stream& Archive, TDirItem& Item, TCVNewEntry& Entry);
    bool WriteToStream(platform::Stream& Stream, const void* Buffer, int64_t Count);

    // Searching (CVSearch.cpp).
    bool InternalFind(TCVArchiveItem& F);
    bool IsItemMatching(int32_t ItemNo, const TCVArchiveItem& F);
    bool IsNameMatching(const std::u16string& Name, const std::u16string& Mask);
    bool IsAttrMatching(uint32_t Attr, int32_t FindAttr);
    void TagFiles();
    void TagFiles(const std::u16string& FileMask, int32_t SearchAttr, const std::u16string& ExclusionMask);
    bool FindItemIndex(const std::u16string& FileName, int32_t& ItemNo);

    // Processing (CVProcess.cpp).
    void ProcessTaggedFiles(TCVProcessOperation Operation, int32_t ItemNo);
    void ProcessTaggedInUpdate(TCVProcessOperation Operation);
    void ExtractItemToFile(int32_t ItemNo, std::u16string FileName, std::u16string DestDir);
    void TestItem(int32_t ItemNo, const std::u16string& FileName);
    void DeleteArchiveItem(int32_t ItemNo);
    void UpdateItem(int32_t ItemNo, const std::u16string& FileName, const std::u16string& DestDir);
    void MarkItemForUpdate(int32_t ItemNo, const std::u16string& SourceFileName);

    // Reading one entry (CVItemReader.cpp).
    void ExtractItem(int32_t ItemNo, platform::Stream& Stream, int32_t Count, int64_t StartPosition);
    bool DecompressItem(platform::Stream& ArchiveStream, platform::Stream& OutStream, TDirItem& Item,
                        int32_t Count, int64_t StartPosition);

    // Self-extracting conversion (CVSfx.cpp).
    bool FastFileAppend(platform::Stream& Output, platform::Stream& InFileStream,
                        const std::u16string& FileName);

    // TCVDirHost: what the directory manager asks of its archiver.
    bool DirOEMFileNames() const override { return FOptions.OEMFileNames(); }
    bool DirOpenCorruptedArchives() const override { return FOpenCorruptedArchives; }
    TCVSpanningMode DirSpanningMode() const override { return FSpanningMode; }
    std::u16string DirSFXStub() const override { return FSFXStub; }
    int32_t DirVolumeNumber() const override { return FVolumeNumberInfo.VolumeNumber(); }
    void DirSetFirstVolume() override { FVolumeNumberInfo.SetFirstVolume(); }
    const platform::Stream* DirArchiveStream() const override { return FCompressedStream; }

protected:
    // The commit's steps work on the archive's state as its own code does.
    friend class TCVCommit;

    // State, in the order the design lists it.
    std::u16string FCurrentDir;
    int32_t FUpdateCount = 0;
    bool FActive = false;
    bool isZIPFormat = false;
    bool FIsCustomStream = false;
    std::u16string FFileName;
    std::u16string VolumeFileName;
    TCVVolumeNumberInfo FVolumeNumberInfo;
    uint16_t FFileOpenMode = 0;
    std::u16string FTempDir;
    std::u16string FBaseDir;
    std::u16string FSFXStub;
    TCVOptions FOptions;
    TCVStringList FFileMasks;
    TCVStringList FExclusionMasks;
    TCVStringList FNoCompressionMasks;
    bool FInMemory = false;
    int32_t FProcessedFileNo = 0;
    int32_t FProcessedFileCount = 0;
    int64_t FProcessedFilesTotalSize = 0;
    int64_t FProcessedFilesSize = 0;
    bool FProgressCancel = false;
    bool FProgressEnabled = false;
    bool FSkipFile = false;
    TCVSpanningMode FSpanningMode = smNone;
    TCVSpanningOptions FSpanningOptions;
    bool FExtractCorruptedFiles = false;
    bool FOpenCorruptedArchives = true;
    bool FUnicodeFilenames = false;
    int64_t FProgress = 0;
    int64_t FProgressMax = 0;
    bool FNoProgress = false;
    TCVFileProgressEvent FOnFileProgress;
    TCVProgressEvent FOnOverallProgress;
    TCVCopyTempFileProgressEvent FOnCopyTempFileProgress;
    TCVConfirmOverwriteEvent FOnConfirmOverwrite;
    TCVConfirmProcessFileEvent FOnConfirmProcessFile;
    TCVNotifyEvent FAfterOpen;
    TCVOnPasswordEvent FOnPassword;
    TCVProcessFileFailureEvent FOnProcessFileFailure;
    TCVOnRequestFirstVolumeEvent FOnRequestFirstVolume;
    TCVOnRequestLastVolumeEvent FOnRequestLastVolume;
    TCVOnRequestMiddleVolumeEvent FOnRequestMiddleVolume;
    TCVOnRequestBlankVolumeEvent FOnRequestBlankVolume;
    TCVOnDiskFullEvent FOnDiskFull;
    TCVProcessVolumeFailureEvent FOnProcessVolumeFailure;
    TCVOnStoreFileEvent FOnStoreFile;
    TCVOnExtractFileEvent FOnExtractFile;
    bool FSuppressPasswordEvent = false;
    bool FUpdated = false;
    std::unique_ptr<TCVDirManager> FDMHandle;
    uint16_t FCompressionMethod = 0;
    TCVCompressionAlgorithm FCompressionAlgorithm = caZLIB;
    TCVCryptoAlgorithm FCVCryptoAlgorithm = caPkzipClassic;
    uint8_t FCompressionMode = 0;
    TCVCompressionLevel FCompressionLevel = clNone;
    bool FBestCompression = false;
    std::string FPassword;
    platform::Stream* FCompressedStream = nullptr;   // owned unless FIsCustomStream
    TZip64Mode FZip64Mode = zmAuto;

    // The commit's answer to the last failure of the per-item writer.
    TCVAction FCommitAction = fxaIgnore;
    // While an extraction batch runs: the target folder last made and checked for an entry.
    std::u16string FMadeFolders;
    // While a commit runs: the files it stores, compressed ahead on the other cores.
    std::unique_ptr<TCVDeflatePool> FDeflatePool;
    // The scan's settings while it runs (read by the routines below ScanFileMasks).
    int32_t FScanSearchAttr = 0;
    bool FScanMove = false;
    TCVStringList FScanExclusions;
    // The archive's own file(s) as full paths and as file identities: never added to the archive.
    TCVStringList FScanOwnFiles;
    std::vector<platform::FolderId> FScanOwnIds;
    // The folders from the base folder down to the one being listed: a folder met again through a
    // symbolic link is a loop and is not entered.
    std::vector<platform::FolderId> FScanFolderPath;
    // Set when a failure during the scan was answered Abort: the scan stops and its update is
    // cancelled, as an abort of the commit rolls back.
    bool FScanAborted = false;
    TCVPathStyle FNameTarget = NativePathStyle;

    // Folders an extraction batch has made for folder entries. Their times and modes are set when the
    // batch ends: writing the contents would change the times, and a folder without write permission
    // would refuse its contents.
    struct TCVExtractedFolder {
        std::u16string Path;
        uint32_t Attr = 0;
        uint32_t DosTime = 0;
        bool HasUtcTime = false;
        std::time_t UtcTime = 0;
    };
    std::vector<TCVExtractedFolder> FExtractedFolders;
    void FinishExtractedFolders();
};
