// The build: a folder packed into a ZIP archive, the stub put in front of it, the archive deleted.
// The window and the command line both run it.
//
//   maker::TMakerArchiver Archiver;                        // lives as long as the window
//   const maker::TStubFile stub = maker::MakerStub();      // written at start-up: WriteStubFile(stub)
//   if (std::u16string m = maker::CheckFolder(text); !m.empty()) { show m; return; }
//   maker::TBuildOutcome r = maker::Build(Archiver, text, maker::TargetsNextToMaker(text), stub);
//   show r.Message;                                        // errors arrive as exceptions
#pragma once

#include <string>

#include "maker/MakerArchiver.h"
#include "maker/StubFile.h"

namespace maker {

// The two files a build writes: the intermediate archive and the executable.
struct TBuildTargets {
    std::u16string Archive;
    std::u16string Executable;
};

enum class TBuildResult { Built, Aborted };

struct TBuildOutcome {
    TBuildResult Result;
    std::u16string Message;   // what to tell the user
};

// The check in front of every build: the message to show for an empty text ("만들폴더선택~") or one
// that names no folder ("폴더가 없네~"; a symbolic link to a folder is a folder), else empty. The text
// is used as typed; a relative path counts from the current folder.
std::u16string CheckFolder(const std::u16string& FolderText);

// Outputs named after the folder text (the part after its last separator, used as it stands, so a
// text ending in a separator gives the names ".zip" and ".run"), next to the maker's own executable.
TBuildTargets TargetsNextToMaker(const std::u16string& FolderText);
// Outputs for an executable named Output: the archive is Output with its executable extension (if
// any) replaced by ".zip", so the two never share a name.
TBuildTargets TargetsForOutput(const std::u16string& Output);
// The executable a command line build writes by default: the folder's own name (as its full path
// gives it, so "." and "photos/" name the folder itself) with the executable extension, in Dir.
// Empty when the folder has no name (the root).
std::u16string DefaultOutput(const std::u16string& FolderText, const std::u16string& Dir);

// Creates the archive sFileName from everything below sBaseDir: created empty (an existing file is
// truncated), every file and folder added with paths relative to sBaseDir, closed.
void ZipCreate(TCVBaseArchiver& Archiver, const std::u16string& sFileName, const std::u16string& sBaseDir);

// Runs the build of FolderText (a folder that passed CheckFolder) into Targets. The stub file is
// written again first when it has vanished, and the executable is checked to begin with the stub's
// bytes (another maker may have been rewriting the shared file meanwhile). Built: the executable is
// complete and marked executable, the archive deleted. Aborted (the user answered Abort while files
// were being stored): neither the executable nor the archive is left behind. Any other failure is
// raised (ECVException, platform::Exception); the archive may then be left, and the executable too
// when the conversion step failed.
TBuildOutcome Build(TMakerArchiver& Archiver, const std::u16string& FolderText, const TBuildTargets& Targets,
                    const TStubFile& Stub);

}  // namespace maker
