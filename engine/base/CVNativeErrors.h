// The native errors: each number names where and why the engine raised an ECVException. The numbers
// are what users see in a message ("Native error: 00012") and what hosts may test, so they never
// change; rows marked reserved are raised nowhere but keep their number.
#pragma once

#include <cstdint>

// reserved: the row of "Unknown error"
inline constexpr int32_t neUnknown = 0;
// the directory array: storing an item (or sizing the array) outside its bounds
inline constexpr int32_t neDirPutIndex = 1;
// the directory array: copying an item out from outside its bounds
inline constexpr int32_t neDirGetIndex = 2;
// the directory array: taking a reference to an item outside its bounds
inline constexpr int32_t neDirItemIndex = 3;
// the directory array: deleting an item outside its bounds
inline constexpr int32_t neDirDeleteIndex = 4;
// a compression level or mode above the highest
inline constexpr int32_t neCompressionMode = 5;
// a null stream or buffer where one is needed
inline constexpr int32_t neNilPointer = 6;
// the commit: an entry to copy has no pre-update copy (or its data lies outside it)
inline constexpr int32_t neCommitSourceMissing = 7;
// reading one entry: its size or checksum does not match
inline constexpr int32_t neDamagedItem = 8;
// opening (or renaming to) a name without a file-name part
inline constexpr int32_t neBlankFileName = 9;
// opening with a mode: FileName has no file-name part
inline constexpr int32_t neBlankFileNameForMode = 10;
// reserved
inline constexpr int32_t neReserved11 = 11;
// opening an existing archive that does not exist
inline constexpr int32_t neArchiveNotFound = 12;
// an operation that needs an open archive, with none open
inline constexpr int32_t neArchiveNotOpen = 13;
// reserved
inline constexpr int32_t neReserved14 = 14;
// extracting to a stream, buffer or string: no entry of that name
inline constexpr int32_t neItemNotFound = 15;
// reading one entry: index outside the directory
inline constexpr int32_t neItemIndex = 16;
// MakeSFX without SFXStub
inline constexpr int32_t neNoSFXStub = 17;
// MakeSFX: the stub file does not exist
inline constexpr int32_t neSFXStubNotFound = 18;
// an output file cannot be created (when extracting, or the target of MakeSFX)
inline constexpr int32_t neCannotCreateFile = 19;
// processing: an output folder cannot be created
inline constexpr int32_t neCannotCreateFolder = 20;
// deleting an entry by index outside the directory
inline constexpr int32_t neDeleteIndex = 21;
// deleting an entry by index outside an update
inline constexpr int32_t neDeleteOutsideUpdate = 22;
// reserved
inline constexpr int32_t neReserved23 = 23;
// re-storing an entry by index outside the directory
inline constexpr int32_t neUpdateIndex = 24;
// re-storing an entry by index outside an update
inline constexpr int32_t neUpdateOutsideUpdate = 25;
// extracting or testing inside an update
inline constexpr int32_t neInUpdate = 26;
// the commit: the source file of a moved entry cannot be deleted
inline constexpr int32_t neCannotDeleteMovedFile = 27;
// an in-memory archive opened in a mode other than create
inline constexpr int32_t neInMemoryNotCreate = 28;
// clearing InMemory on an open archive while FileName is empty
inline constexpr int32_t neInMemoryBlankName = 29;
// RenameFile: no entry of that name
inline constexpr int32_t neRenameNotFound = 30;
// changing attributes or comments: no matching entry
inline constexpr int32_t neChangeNotFound = 31;
// BeginUpdate on an archive opened without write access
inline constexpr int32_t neReadOnlyArchive = 32;
// storing one entry: its source file cannot be opened
inline constexpr int32_t neCannotOpenSource = 33;
// compressing one entry: the compressed size does not add up
inline constexpr int32_t neCompressedSizeMismatch = 34;
// loading the directory: nothing that looks like an archive
inline constexpr int32_t neInvalidArchive = 35;
// repairing: the output file cannot be created
inline constexpr int32_t neRepairCannotCreate = 36;
// repairing an open archive
inline constexpr int32_t neRepairOnOpenArchive = 37;
// changing internal attributes: no matching entry
inline constexpr int32_t neIntAttrNotFound = 38;
// reserved
inline constexpr int32_t neReserved39 = 39;
// loading the directory: the Zip64 end record is missing
inline constexpr int32_t neZip64EndMissing = 40;
// compressing an entry that needs Zip64 while Zip64 is disabled
inline constexpr int32_t neZip64DisabledCompress = 41;
// checking a password: no entry of that name
inline constexpr int32_t nePasswordItemNotFound = 42;
// storing an entry that needs Zip64 while Zip64 is disabled
inline constexpr int32_t neZip64DisabledStore = 43;
// loading the directory: opening aborted or invalid file
inline constexpr int32_t neOpenAborted = 44;
// opening a volume: the request for it was cancelled
inline constexpr int32_t neVolumeRequestCancelled = 45;
// writing to the archive wrote fewer bytes than asked
inline constexpr int32_t neShortWrite = 46;
// saving the directory: the stub does not fit on the first volume
inline constexpr int32_t neStubExceedsVolume = 47;
// opening: no end record, and damaged archives are not to be opened
inline constexpr int32_t neNoEndRecord = 48;
// MakeSFX on a spanned or split archive
inline constexpr int32_t neSFXOnMultiVolume = 49;
// MakeSFX on an archive that already has a stub
inline constexpr int32_t neAlreadySFX = 50;
// opening a caller's stream with spanning set
inline constexpr int32_t neMultiVolumeCustomStream = 51;
// changing a multi-volume archive outside an update
inline constexpr int32_t neMultiVolumeOutsideUpdate = 52;
// reserved
inline constexpr int32_t neReserved53 = 53;
// reserved
inline constexpr int32_t neReserved54 = 54;
// reading an entry stored with Deflate64
inline constexpr int32_t neDeflate64 = 55;
// MakeSFX: appending the archive behind the stub failed
inline constexpr int32_t neSFXAppendFailed = 56;
// loading the directory: the archive is damaged
inline constexpr int32_t neDamagedArchive = 57;
// the directory array: the name index does not match when storing an item
inline constexpr int32_t neNameIndexOnPut = 58;
// the directory array: the name index does not match when renaming (the name is taken)
inline constexpr int32_t neNameIndexOnRename = 59;
// the commit: the source folder of a moved entry cannot be removed
inline constexpr int32_t neCannotRemoveMovedFolder = 60;
// a stored name (or what is written with it) too long for its field
inline constexpr int32_t neNameTooLong = 61;
// BeginUpdate on a multi-volume archive that has had an update
inline constexpr int32_t neMultiVolumeSecondUpdate = 62;
// reserved
inline constexpr int32_t neReserved63 = 63;
// reserved
inline constexpr int32_t neReserved64 = 64;
// writing came up short (disk full), with no handler to ask
inline constexpr int32_t neDiskFull = 65;
// reserved
inline constexpr int32_t neReserved66 = 66;
// reading an encrypted entry: this engine has no decryption, and the message says it cannot decompress
inline constexpr int32_t neEncryptedItem = 67;
// loading the directory: the archive is one volume of a split or spanned archive
inline constexpr int32_t neMultiVolume = 68;
// creating an archive with a spanning mode: volumes are never written
inline constexpr int32_t neSplitWrite = 69;
