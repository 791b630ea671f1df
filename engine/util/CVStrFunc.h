// CVStrFunc: the engine's small stateless utilities. Names, paths and masks; thin file-system wrappers
// over the platform layer; MS-DOS date and time; the compression-mode tables; CRC-32.
//
// None of them keeps state, none raises an engine error, all are re-entrant. Failures come back as
// results: false, -1, an empty text, or a nonzero platform error code.
//
// Path conventions. The functions that split or build paths take a TCVPathStyle, defaulting to the
// style of the system the engine runs on, so that the desktop conventions can be exercised anywhere:
//   psWindows  "\" separates; a drive is "X:" or "\\server\share"; ":" also ends a folder part.
//   psPosix    "/" separates; there are no drives and no network prefixes; ":" and "\" are ordinary
//              characters of a name; a path is absolute when it starts with "/".
// Stored names (the names inside an archive) always use "/".
//
// Where a path is resolved to a full one, the "current folder" of the process can be supplied as
// ProcessDir; empty means the real one. Only the native style has a real one, and only the native
// style looks at the disk: in the other style an empty ProcessDir leaves a relative path relative
// (normalised, but not made absolute), and no folder counts as existing.
//
// Files are split by concern:
//   CVWildcard.cpp          IsWildcardMatching
//   CVText.cpp              case mapping, ReplaceText, ByteLength
//   CVPaths.cpp             delimiters, splits, FullPath, RelativePath, ExpandPath
//   CVStoredNames.cpp       MakeStoredName, WideToAnsiName
//   CVFileSystem.cpp        wrappers over the platform layer, drives, RemoveEmptyFolders
//   CVDosTime.cpp           MS-DOS date and time packing
//   CVCompressionTables.cpp mode <-> level, block sizes, zlib headers
//   CVCrc32.cpp             UpdateCrc32
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/util/CVTypes.h"
#include "platform/Platform.h"

// ---------------------------------------------------------------------------------------------------
// Path styles

enum TCVPathStyle : uint8_t { psPosix, psWindows };

#if defined(_WIN32)
inline constexpr TCVPathStyle NativePathStyle = psWindows;
#else
inline constexpr TCVPathStyle NativePathStyle = psPosix;
#endif

// The separator of paths on disk in a style: "\" or "/".
constexpr char16_t PathDelimiter(TCVPathStyle Style = NativePathStyle) {
    return Style == psWindows ? u'\\' : u'/';
}

// ---------------------------------------------------------------------------------------------------
// Masks

// Whether Text matches Mask: "*" is any run of characters (separators and dots included), "?" exactly
// one character; a remaining mask of exactly "*" matches anything, and so does exactly "*.*" at the
// start of the mask or right behind a "*" (so "*.*" matches names without a dot, while "abc*.*" does
// not match "abc"). A "*" that is not the last mask character needs at least one text character after
// the run it takes. IgnoreCase folds only "A" to "Z". Time is O(length of text x length of mask) at
// worst; memory is constant.
bool IsWildcardMatching(const std::u16string& Text, const std::u16string& Mask, bool IgnoreCase);

// ---------------------------------------------------------------------------------------------------
// Text

// Only "A".."Z" <-> "a".."z"; every other character, accented letters included, is left alone.
std::u16string LowerCaseAscii(const std::u16string& S);
std::u16string UpperCaseAscii(const std::u16string& S);

// Flags of ReplaceText (combine with |).
using TCVReplaceFlags = uint8_t;
inline constexpr TCVReplaceFlags rfReplaceAll = 0x01;
inline constexpr TCVReplaceFlags rfIgnoreCase = 0x02;

// S with the first (or, with rfReplaceAll, every) occurrence of Old replaced by New. rfIgnoreCase
// compares with the platform's locale-aware case folding. An empty Old replaces nothing. Replaced
// text is never searched again, so New may contain Old.
std::u16string ReplaceText(const std::u16string& S, const std::u16string& Old, const std::u16string& New,
                           TCVReplaceFlags Flags);

// Size of S in bytes (UTF-16 code units x 2).
size_t ByteLength(const std::u16string& S);

// ---------------------------------------------------------------------------------------------------
// Paths (pure functions of text, except FullPath and CurrentFolder which may ask the platform)

// S with one separator at its end ("\" or "/" by style; the other character does not count). An empty
// S gives the separator alone.
std::u16string IncludePathDelimiter(const std::u16string& S, TCVPathStyle Style = NativePathStyle);
// S without one trailing separator; an empty S stays empty.
std::u16string ExcludePathDelimiter(const std::u16string& S, TCVPathStyle Style = NativePathStyle);
// IncludePathDelimiter(A) when A is not empty, else IncludePathDelimiter(B).
std::u16string DelimitedFolder(const std::u16string& A, const std::u16string& B,
                               TCVPathStyle Style = NativePathStyle);

// Everything up to and including the last separator (or, in the Windows style, the last ":").
std::u16string FolderPart(const std::u16string& P, TCVPathStyle Style = NativePathStyle);
// Everything after it.
std::u16string FileNamePart(const std::u16string& P, TCVPathStyle Style = NativePathStyle);
// From the last "." of the name part, dot included; empty when the name part has no dot.
std::u16string ExtensionPart(const std::u16string& P, TCVPathStyle Style = NativePathStyle);
// Windows style: "X:" when the second character is ":", or for "\\server\share\..." the text before
// the separator that follows the share name; else empty. Always empty in the POSIX style.
std::u16string DrivePart(const std::u16string& P, TCVPathStyle Style = NativePathStyle);

// The absolute form of P with "." and ".." removed; links are not resolved. Relative paths are joined
// to ProcessDir (empty: the process's current folder, see the head of this file). A trailing separator
// of P is kept. An empty P gives an empty result.
std::u16string FullPath(const std::u16string& P, TCVPathStyle Style = NativePathStyle,
                        const std::u16string& ProcessDir = {});
// The process's current folder (no trailing separator except for a root); empty when unknown.
std::u16string CurrentFolder();

// Dest relative to the folder part of Base: "..\" (or "../") once per folder of Base not shared with
// Dest, then Dest's own remaining folders, then Dest's name. When the drives differ, Dest unchanged.
// Components compare as the file system compares names: ignoring case in the Windows style, exactly
// in the POSIX style.
std::u16string RelativePath(const std::u16string& Base, const std::u16string& Dest,
                            TCVPathStyle Style = NativePathStyle);

// The absolute path that FileName names when taken relative to BaseDir (or, when BaseDir is empty,
// to CurDir; when CurDir is empty too, to the current folder). An empty FileName asks for the base
// folder itself.
std::u16string ExpandPath(const std::u16string& BaseDir, const std::u16string& FileName,
                          const std::u16string& CurDir, TCVPathStyle Style = NativePathStyle,
                          const std::u16string& ProcessDir = {});

// ---------------------------------------------------------------------------------------------------
// Stored names

// The name under which the file or folder FileName is stored: relative to BaseDir, bare, or with its
// full path, as StorePath says; "/" separators; never a leading separator; a drive only with
// spFullPathWithDrive in the Windows style. A folder gives its name without the trailing "/" (the
// caller adds it). Empty when nothing is left of the path.
std::u16string MakeStoredName(const std::u16string& FileName, const std::u16string& BaseDir,
                              TCVStorePathMode StorePath, const std::u16string& CurDir,
                              TCVPathStyle Style = NativePathStyle, const std::u16string& ProcessDir = {});

// What keeps a stored name from being a path on Windows, as a reason to show, or empty when every
// part of it can be a file or folder name there: a character Windows refuses in names (control
// characters and : \ * ? " < > |), a part ending in a dot or a blank, or a reserved device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any extension). "/" separates the parts.
std::u16string NameProblemOnWindows(const std::u16string& StoredName);

// The bytes of a name as written into a header. False with A in the system's ANSI code page when W
// survives the round trip through it; otherwise true with A the UTF-8 form of W (the caller then sets
// the UTF-8 flag bit of the entry).
bool WideToAnsiName(const std::u16string& W, std::string& A);

// ---------------------------------------------------------------------------------------------------
// File system (native paths; each is one call of the platform layer)

bool IsExistingFolder(const std::u16string& P);   // a folder exists at P (links followed)
bool IsExistingFile(const std::u16string& P);     // something that is not a folder exists at P
// Creates every missing folder of P, outermost first; true when P is a folder afterwards. False for
// an empty P.
bool ForceFolders(const std::u16string& P);
bool DeleteDiskFile(const std::u16string& P);
bool RenameDiskFile(const std::u16string& OldName, const std::u16string& NewName);
bool CopyDiskFile(const std::u16string& Src, const std::u16string& Dst, bool FailIfExists);

// Directory listing. Pattern is a folder followed by a name mask. Entries carrying the hidden (0x02),
// system (0x04) or directory (0x10) bit when Attr lacks it are skipped. 0 on success, else the
// platform's nonzero error code (the end of the listing included).
int FindFirstEntry(const std::u16string& Pattern, uint32_t Attr, platform::SearchRec& Rec);
int FindNextEntry(platform::SearchRec& Rec);
void CloseFind(platform::SearchRec& Rec);   // safe to call twice

// Attribute bits of P; -1 when they cannot be read, but 4 (the system bit) for a path that exists as
// a file all the same. On POSIX the high 16 bits carry the Unix mode, so valid attributes may be
// negative as signed values: only exactly -1 means failure.
int32_t ReadAttributes(const std::u16string& P);
bool WriteAttributes(const std::u16string& P, uint32_t Attr);

// True for a path on drive "A:" or "B:" (Windows style only).
bool IsFloppyDrive(const std::u16string& P, TCVPathStyle Style = NativePathStyle);
// A floppy drive, or a drive the platform reports as removable.
bool IsRemovableDrive(const std::u16string& P);

// Removes the folder F (ending in a separator) and every folder below it, innermost first, as long as
// no file is met; files are never deleted. Stops at the first folder that cannot go and gives false;
// true when F is gone afterwards. A link back to a folder above it counts as a file. An empty F gives
// false.
bool RemoveEmptyFolders(const std::u16string& F);

// ---------------------------------------------------------------------------------------------------
// MS-DOS date and time: local time, two-second resolution, years 1980 to 2107. As a 32-bit value the
// time is in the low 16 bits (hour << 11 | minute << 5 | second / 2) and the date in the high 16 bits
// ((year - 1980) << 9 | month << 5 | day). As a signed 32-bit value, times from 2044 on are negative.

struct TCVDateTime {
    int year = 0;
    int month = 0;    // 1..12
    int day = 0;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;   // 0..59
    int second = 0;   // 0..59 (a leap second 60 counts as 59)
    bool operator==(const TCVDateTime&) const = default;
};

// Last-write time of the file P in local time; -1 when P is missing, is a folder, or its time does not
// fit.
int32_t FileDosTime(const std::u16string& P);
// Packs T; seconds are halved, rounded down. 0 for a year outside 1980..2107 or a field out of range.
int32_t DateTimeToDosTime(const TCVDateTime& T);
// The same for a calendar time, taken as local time.
int32_t DateTimeToDosTime(std::time_t T);
// Unpacks the fields as they stand (a damaged value may give a month 0 or 13..15, a day 0).
TCVDateTime DosTimeToDateTime(uint32_t DosTime);
// The current local time, to two seconds.
TCVDateTime CurrentDateTime();

// ---------------------------------------------------------------------------------------------------
// Compression modes (0 stored, 1..9 deflate level) and checksums

int ModeForLevel(TCVCompressionLevel Level);        // clNone 0, clFastest 1, clNormal 6, clMax 9
TCVCompressionLevel LevelForMode(int Mode);         // 0 none, 1-3 fastest, 4-6 normal, 7-9 max, else none
uint32_t BufferSizeForMode(int Mode);               // bytes the compressor reads at once
std::array<uint8_t, 2> ZlibHeaderForMode(int Mode); // the zlib stream header, first byte first

// Feeds Count bytes into the running CRC-32 register Crc (standard reflected polynomial 0xEDB88320).
// Start at 0xFFFFFFFF and complement at the end; the register is not complemented between calls, so
// data may be fed in pieces of any size.
uint32_t UpdateCrc32(uint32_t Crc, const void* Buffer, size_t Count);
