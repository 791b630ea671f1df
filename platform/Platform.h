// The platform layer: everything the engine and the two programs need from the operating system.
//
// One header of interfaces and value types; one source file per service and operating system
// (platform/posix/*.cpp, platform/win32/*.cpp). Nothing above this layer includes an OS header.
//
// Text: UTF-16 (std::u16string) everywhere; file names cross to the OS as UTF-8 on POSIX, where bytes
// that are not valid UTF-8 map reversibly to the lone surrogates U+DC80..U+DCFF.
// Failures of streams and of operations that say "throws" raise platform::Exception (or a subclass)
// carrying a readable message; the Boolean and integer helpers report failure through their result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------------------------------
// Exceptions

// The layer's base exception: holds the message text (UTF-16; what() gives it as UTF-8).
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);
    const std::u16string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

protected:
    void SetMessage(std::u16string message);

private:
    std::u16string message_;
    std::string utf8_;
};

// A failed OS call on a file: names the file and the system's reason.
class FileError : public Exception {
public:
    FileError(std::u16string message, int systemError);
    int SystemError() const noexcept { return systemError_; }

private:
    int systemError_;
};

// The error number the last failed call of this layer left (errno on POSIX), and the system's own
// text for an error number ("Permission denied", "Not a directory"...).
int LastSystemError();
std::u16string SystemReason(int systemError);

// A read or write that moved fewer bytes than asked (ReadBuffer / WriteBuffer).
class StreamError : public Exception {
public:
    using Exception::Exception;
};

// ---------------------------------------------------------------------------------------------------
// Text

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes become U+DC80..U+DCFF and come back as the same bytes, so
// bytes -> text -> bytes is exact for any input. Other lone surrogates have no byte form and encode as
// U+FFFD (EF BF BD).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// True when the bytes are valid UTF-8 and hold at least one multi-byte sequence.
bool IsMultiByteUtf8(std::string_view bytes);

// The "ANSI" code page. On POSIX it holds ASCII only when encoding: WideToAnsi succeeds (returns true,
// out = the bytes) only when every character maps and maps back; otherwise it returns false and `out`
// holds the lossy form. AnsiToWide decodes bytes of the code page (code page 437 on POSIX).
bool WideToAnsi(std::u16string_view text, std::string& out);
std::u16string AnsiToWide(std::string_view bytes);
// ANSI <-> OEM, in place, same length (identity on POSIX).
void CharToOem(std::string& bytes);
void OemToChar(std::string& bytes);
// Code page 437 (the code page ZIP readers assume for names without the UTF-8 flag).
std::u16string Cp437ToWide(std::string_view bytes);

// Locale-aware case folding, used where a caller asks for "ignore case" the platform's way.
std::u16string LowerCaseLocale(std::u16string_view text);

// ---------------------------------------------------------------------------------------------------
// Streams

enum class SeekOrigin { Begin, Current, End };

class Stream {
public:
    virtual ~Stream() = default;
    // Read up to `count` bytes; returns the number read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Write up to `count` bytes; returns the number written (fewer only when the device is full).
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Move the position; returns the new position. Seeking past the end is allowed; a position before
    // the start throws.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    // Set the size (truncate or extend with zeros); the position is clamped to the new size.
    virtual void SetSize(int64_t size) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
    // Exactly `count` bytes or StreamError.
    void ReadBuffer(void* buffer, size_t count);
    // Up to `count` bytes, reading again after a short read until the end: fewer only at the end.
    size_t ReadFully(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
    // Stream-to-stream copy: copies `count` bytes from `source`'s current position; with count 0 the
    // source is first rewound and copied whole. Returns the bytes copied; a short read or write, or a
    // negative count, throws.
    int64_t CopyFrom(Stream& source, int64_t count);
};

// Open-mode words of file streams (the low byte: access | share).
inline constexpr uint16_t fmCreate = 0xFF00;         // create or truncate, no sharing
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

// A file opened with an open-mode word. Sharing on POSIX is advisory (non-blocking flock): deny-none
// takes no lock, deny-write a shared lock, compat/exclusive/deny-read an exclusive lock; a lock that
// cannot be had fails the open like a sharing violation. Throws FileError when the file cannot be
// created ("Cannot create file "<name>". <reason>") or opened ("Cannot open file "<name>". <reason>").
class FileStream : public Stream {
public:
    FileStream(const std::u16string& fileName, uint16_t mode);
    // A new file under a fresh name in `folder` (the name is `prefix` and a unique tail), open for
    // reading and writing, with the permissions a newly created file gets. FileName() tells the name.
    static std::unique_ptr<FileStream> CreateUnique(const std::u16string& folder, const std::u16string& prefix);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override;
    // Flush the OS buffers to the device.
    void Flush();
    const std::u16string& FileName() const noexcept { return fileName_; }

private:
    struct Adopt {};
    FileStream(Adopt, std::u16string fileName, int handle) : fileName_(std::move(fileName)), handle_(handle) {}
    std::u16string fileName_;
    int handle_ = -1;
};

// A growable block of memory.
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    const uint8_t* Memory() const noexcept { return data_.data(); }
    std::vector<uint8_t>& Data() noexcept { return data_; }

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// An 8-bit string as a stream.
class StringStream : public Stream {
public:
    explicit StringStream(std::string data = {});
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    const std::string& DataString() const noexcept { return data_; }

private:
    std::string data_;
    int64_t position_ = 0;
};

// Swallows every write (counting it as a growing size); reads give nothing.
class NullStream : public Stream {
public:
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return size_; }

private:
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// ---------------------------------------------------------------------------------------------------
// Files and folders (paths in the native convention; each returns false on failure)

inline constexpr char16_t PathDelim = u'/';

bool FileExists(const std::u16string& path);       // something that is not a folder (links followed)
bool FolderExists(const std::u16string& path);     // a folder (links followed)
bool CreateFolder(const std::u16string& path);     // one level
bool RemoveFolder(const std::u16string& path);     // an empty folder
bool DeleteFile(const std::u16string& path);
// Fails when something exists at newPath: a rename never replaces a file.
bool RenameFile(const std::u16string& oldPath, const std::u16string& newPath);
// Renames `source` to `dest` in one step, replacing whatever is at `dest` (a file, or a link itself:
// the link is not followed). False when it cannot (missing source, another device, no permission).
bool ReplaceFile(const std::u16string& source, const std::u16string& dest);
// Regular files only; keeps the permission bits and the modification time. Copying a file onto itself
// fails and leaves it intact; a copy that fails half-way leaves no target behind.
bool CopyFile(const std::u16string& source, const std::u16string& dest, bool failIfExists);
// The bytes an unprivileged user may still write on the file system that holds `path` (the nearest
// existing folder above it when it does not exist yet); -1 when that cannot be told.
int64_t FreeSpace(const std::u16string& path);

// Attribute bits as the desktop system has them.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// Attributes of a path: folder 0x10, regular file 0x20, read-only 0x01 when the owner cannot write,
// hidden 0x02 for a name starting with "."; the Unix mode (st_mode, type bits included) in the high
// 16 bits. -1 when the path cannot be examined. Compare with -1, not with 0: a regular file's mode sets
// the top bit, so its attributes are negative as a signed value. Something that is neither a file nor a
// folder (a FIFO, a socket, a device) carries the system bit 0x04 instead of 0x20.
int32_t ReadAttributes(const std::u16string& path);
// Apply attributes: the read-only bit (clear every write bit, or give the owner write permission), or,
// when the high 16 bits hold a Unix mode of a regular file or folder, its permission bits (0777).
bool WriteAttributes(const std::u16string& path, uint32_t attributes);

// Modification time as a 32-bit MS-DOS date and time in local time (time low word, date high word);
// -1 when the path is missing, is a folder, or its time cannot be converted.
int32_t FileDosTime(const std::u16string& path);
// Set the modification time from an MS-DOS date and time (local time).
bool SetFileDosTime(const std::u16string& path, uint32_t dosTime);
// Modification time in seconds since 1970 UTC, of a file or a folder (links followed); false when the
// path cannot be examined.
bool FileTime(const std::u16string& path, std::time_t& t);
// Set the modification time of a file or a folder (links followed); the access time stays.
bool SetFileTime(const std::u16string& path, std::time_t t);
// MS-DOS date and time <-> calendar time (local time). DosTime of a time outside 1980..2107 gives 0;
// DosTimeToTime of impossible fields (month 13, 30 February, hour 24...) gives -1.
uint32_t TimeToDosTime(std::time_t t);
std::time_t DosTimeToTime(uint32_t dosTime);
// The current local time as an MS-DOS date and time.
uint32_t NowDosTime();

// Directory listing. Pattern: a folder path followed by a name mask ("*" and "?" as the engine's own
// wildcard rules). Entries carrying the hidden, system or folder bit not in `attr` are skipped;
// "." and ".." are never returned. Entries come back sorted by name with A-Z folded, ties in byte order.
// Special files (FIFOs, sockets, devices) are never returned.
struct SearchRec {
    std::u16string Name;
    uint32_t Attr = 0;      // as ReadAttributes
    int64_t Size = 0;
    uint32_t Time = 0;      // MS-DOS date and time of the last write (local)
    uint32_t ExcludeAttr = 0;
    std::shared_ptr<void> Handle;   // the layer's own state
};
// 0 on success, else a nonzero platform error code (no more entries included; ENOENT when nothing or
// nothing more matches).
int FindFirst(const std::u16string& pattern, uint32_t attr, SearchRec& rec);
int FindNext(SearchRec& rec);
void FindClose(SearchRec& rec);   // safe to call twice

// 0 when the folder can be listed, else the system's error number (a folder without read permission,
// a path that is no folder). Unlike FindFirst, an empty folder is not an error.
int FolderListError(const std::u16string& folder);

// Identity of a folder (device and inode on POSIX), to detect folder loops through symbolic links.
struct FolderId {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const FolderId&) const = default;
};
bool GetFolderId(const std::u16string& path, FolderId& id);

// Lexical full path: joined to the current folder, "." and ".." removed, links not resolved; a trailing
// separator stays. Empty for an empty path, or for a relative one when the current folder is gone.
std::u16string FullPath(const std::u16string& path);
std::u16string CurrentFolder();
bool SetCurrentFolder(const std::u16string& path);

// The user's own temporary folder, with a trailing separator ($TMPDIR, else /tmp/selfpack-<uid>
// created 0700 and checked to be the user's). Throws FileError when it cannot be made safe.
std::u16string TempFolder();
// Create a new, empty, unique file in `folder` whose name starts with `prefix`; returns its path.
// Throws FileError on failure.
std::u16string CreateTempFile(const std::u16string& folder, const std::u16string& prefix);
// Write a file with a fixed name in a folder of the user's without following a symbolic link there.
// The file ends with exactly the permission bits mode & 0777. Throws FileError (a link, a FIFO or
// anything but a regular file in its place, a full disk); a file cut short is removed.
void WriteFileNoFollow(const std::u16string& path, const void* data, size_t size, uint32_t mode);

// The running executable's own path.
std::u16string ExecutablePath();
// ".run" on POSIX, ".exe" on Windows.
std::u16string ExecutableExtension();
// Removable drives do not exist on POSIX.
bool IsRemovableDrive(const std::u16string& drive);
// Mark a file executable (POSIX: add the x bits where r bits are set).
bool MakeExecutable(const std::u16string& path);
// Give a file the permissions a file newly created by name gets (POSIX: 0666 less the umask). A
// temporary file starts private; one that becomes a user's output must not stay that way.
bool GiveNewFilePermissions(const std::u16string& path);
// Whether standard output or standard error is a terminal (a progress line may redraw itself there).
bool StdOutIsTerminal();
bool StdErrIsTerminal();
// One status line on standard error, redrawn in place: the carriage return, the text, then an erase of
// whatever a longer line before left to its right. ClearStatusLine removes it again.
void DrawStatusLine(const std::string& text);
void ClearStatusLine();

// ---------------------------------------------------------------------------------------------------
// Dialogs: message boxes and the password prompt, installed by each program at start-up.

enum class Button : uint32_t {
    None = 0,
    Ok = 1 << 0,
    Cancel = 1 << 1,
    Yes = 1 << 2,
    No = 1 << 3,
    NoToAll = 1 << 4,
    YesToAll = 1 << 5,
    Abort = 1 << 6,
    Retry = 1 << 7,
    Ignore = 1 << 8,
};
constexpr uint32_t operator|(Button a, Button b) { return uint32_t(a) | uint32_t(b); }
constexpr uint32_t operator|(uint32_t a, Button b) { return a | uint32_t(b); }

enum class MessageKind { Information, Warning, Error, Confirmation };

// The caption of one button: "OK", "Cancel", "Yes", "No", "No to All", "Yes to All", "Abort", "Retry",
// "Ignore"; empty for None.
std::u16string ButtonCaption(Button button);
// The buttons of a set, in the order a box shows them (the order of the Button values).
std::vector<Button> ButtonsOf(uint32_t buttons);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Show `text` with the buttons in `buttons` (a set of Button bits); returns the button chosen, or
    // Button::None when the box was closed otherwise.
    virtual Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) = 0;
    // Ask for a password; true with `value` set only when confirmed (OK).
    virtual bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                                std::u16string& value) = 0;
};

// The dialogs in force (default: the terminal when standard input and error are a terminal, else the
// non-interactive policy). Install takes ownership and returns the previous one.
Dialogs& CurrentDialogs();
std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs);

// The program's name, which every message written to a terminal or standard error starts with
// ("selfpack: Error: ..."); empty (no prefix) until a program sets it.
void SetProgramName(std::u16string name);
const std::u16string& ProgramName();

// Terminal prompts on standard error, answers read from standard input: the buttons are numbered and
// an answer is a number, a button's name or an unambiguous start of one. End of input, or five answers
// that fit no button, close the box (Button::None); the password is read without echo, and end of input
// cancels it.
std::unique_ptr<Dialogs> MakeTerminalDialogs();
// Non-interactive: failure questions (Abort among the buttons) answer Abort, overwrite questions
// (Yes/No) answer No, OK/Cancel questions Cancel, OK-only boxes answer OK, password prompts cancel;
// every text is written to standard error with the answer given.
std::unique_ptr<Dialogs> MakeNonInteractiveDialogs();

// Scripted answers for tests: each MessageBox pops the next answer (None when the script is empty)
// and records the text and button set it was shown.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        std::u16string Text;
        MessageKind Kind;
        uint32_t Buttons;
    };
    std::vector<Button> Answers;
    std::vector<std::u16string> Passwords;   // answers to PasswordPrompt; none left = cancel
    std::vector<Shown> Messages;
    std::vector<std::u16string> PasswordCaptions;

    Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) override;
    bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                        std::u16string& value) override;
};

}  // namespace platform
