// The build: a folder packed into a ZIP archive behind the stub program, the result appearing whole
// under its name or not at all. The window and the command line both run it.
//
//   maker::TMakerArchiver Archiver;                        // lives as long as the window
//   const maker::TStubFile stub = maker::MakerStub();      // written at start-up: WriteStubFile(stub)
//   if (std::u16string m = maker::CheckFolder(text); !m.empty()) { show m; return; }
//   maker::TBuildOutcome r = maker::Build(Archiver, text, maker::WindowOutput(text), stub);
//   show r.Message;                                        // errors arrive as exceptions
#pragma once

#include <string>

#include "maker/MakerArchiver.h"
#include "maker/StubFile.h"

namespace maker {

enum class TBuildResult { Built, Aborted };

struct TBuildOutcome {
    TBuildResult Result;
    std::u16string Message;   // what to tell the user
};

// The check in front of every build: the message to show for an empty text ("만들폴더선택~") or one
// that names no folder ("폴더가 없네~"; a symbolic link to a folder is a folder), else empty. The text
// is used as typed; a relative path counts from the current folder.
std::u16string CheckFolder(const std::u16string& FolderText);

// The name the outputs take from the folder text: the last part of its full path, so that "photos/",
// "photos" and, from inside it, "." all give "photos". Empty for a root, which has no name.
std::u16string FolderName(const std::u16string& FolderText);
// The executable the window writes for the folder text: named after the folder (FolderName, which
// must not be empty; trailing separators do not count). On
// Windows it goes next to the maker's own executable; elsewhere, where an installed maker's folder
// is not the user's to write, beside the chosen folder, in its parent folder.
std::u16string WindowOutput(const std::u16string& FolderText);
// The executable a command line build writes by default: the folder's own name (as its full path
// gives it, so "." and "photos/" name the folder itself) with the executable extension, in Dir.
// Empty when the folder has no name (the root).
std::u16string DefaultOutput(const std::u16string& FolderText, const std::u16string& Dir);

// Creates the archive sFileName from everything below sBaseDir: created empty (an existing file is
// truncated) or holding just the stub when the archiver's SFXStub names one, every file and folder
// added with paths relative to sBaseDir, closed.
void ZipCreate(TCVBaseArchiver& Archiver, const std::u16string& sFileName, const std::u16string& sBaseDir);

// Runs the build of FolderText (a folder that passed CheckFolder) into the executable Output. The
// archive is written straight behind the stub, under a temporary name beside Output, and takes
// Output's name (replacing a file there) only when complete and marked executable. The stub file is
// written again first when it has vanished, and the result is checked to begin with the stub's bytes
// (another maker may have been rewriting the shared file meanwhile). Aborted (the user answered
// Abort while files were being stored, or the host asked the archiver to stop): nothing is written.
// Built: the message says how many files and folders an Ignore answer left out, if any. A folder
// that cannot be listed fails (platform::FileError) before anything is written. Any other failure is
// raised (ECVException, platform::Exception). Whatever the outcome, no temporary file stays and an
// older Output is only ever replaced by a complete one.
TBuildOutcome Build(TMakerArchiver& Archiver, const std::u16string& FolderText, const std::u16string& Output,
                    const TStubFile& Stub);

}  // namespace maker
