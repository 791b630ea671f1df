#include "maker/BuildCommand.h"

#include <string>

#include "engine/Corvane.h"
#include "maker/PendingOutput.h"
#include "platform/Platform.h"

namespace maker {

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

// Lets go of an archive a failed build left open, so that its file can be deleted. What closing
// would raise now says nothing more than the failure already being reported.
void ReleaseArchive(TCVBaseArchiver& Archiver) {
    try {
        Archiver.CloseArchive();
    } catch (...) {
    }
}

// Whether a failure is the stub file missing as the archive was created: the engine's open of it
// names the file.
bool StubFileVanished(const platform::FileError& e, const TStubFile& Stub) {
    return e.Message().find(Stub.FileName) != std::u16string::npos;
}

}  // namespace

std::u16string CheckFolder(const std::u16string& FolderText) {
    if (FolderText.empty()) return u"만들폴더선택~";
    if (!IsExistingFolder(FolderText)) return u"폴더가 없네~";
    return {};
}

std::u16string FolderName(const std::u16string& FolderText) {
    return FileNamePart(ExcludePathDelimiter(FullPath(FolderText)));
}

std::u16string WindowOutput(const std::u16string& FolderText) {
    // Trailing separators go before the name is taken: "photos/" is the folder photos, and an
    // executable named ".run" would unpack over the folder it lies in.
    const std::u16string full = ExcludePathDelimiter(FullPath(FolderText));
    const std::u16string folder = NativePathStyle == psWindows ? FolderPart(platform::ExecutablePath()) : FolderPart(full);
    return FullPath(folder + FileNamePart(full) + platform::ExecutableExtension());
}

std::u16string DefaultOutput(const std::u16string& FolderText, const std::u16string& Dir) {
    const std::u16string name = FolderName(FolderText);
    if (name.empty()) return {};
    return IncludePathDelimiter(Dir) + name + platform::ExecutableExtension();
}

void ZipCreate(TCVBaseArchiver& Archiver, const std::u16string& sFileName, const std::u16string& sBaseDir) {
    Archiver.SetFileName(sFileName);
    Archiver.OpenArchive(cvOpenCreate);
    Archiver.SetBaseDir(sBaseDir);
    Archiver.AddFiles(u"*.*", AllEntriesAttr, u"");
    Archiver.CloseArchive();
}

// The archive goes straight behind the stub: no intermediate archive that would have to be copied
// (and that could meet a user's file of its name), and one temporary file that becomes the output.
//
// The stub file is shared by every maker of the user: one that closes deletes it, one that starts
// replaces it, at any moment. A build that found the stub file gone, or whose result does not begin
// with this maker's stub (another maker's stub of another version), is made again with the file
// written anew. Each maker deletes the file once, so a few attempts outlast all but a crowd of makers
// closing at the same moment.
TBuildOutcome Build(TMakerArchiver& Archiver, const std::u16string& FolderText, const std::u16string& Output,
                    const TStubFile& Stub) {
    constexpr int MaxAttempts = 5;
    const std::u16string aborted = u"Build aborted: SFX archive " + Output + u" was not created.";
    // A folder that cannot be listed would give an empty executable that passes for its contents.
    if (const int error = platform::FolderListError(FolderText); error != 0)
        throw platform::FileError(u"Cannot open folder \"" + FolderText + u"\": " + platform::SystemReason(error), error);
    TPendingOutput pending(Output);
    for (int attempt = 1;; ++attempt) {
        EnsureStubFile(Stub);
        Archiver.SetSFXStub(Stub.FileName);
        Archiver.ClearAbort();
        try {
            ZipCreate(Archiver, pending.TempName(), FolderText);
        } catch (const platform::FileError& e) {
            ReleaseArchive(Archiver);
            if (!StubFileVanished(e, Stub) || attempt >= MaxAttempts) throw;
            continue;
        } catch (...) {
            ReleaseArchive(Archiver);
            throw;
        }
        // An abort rolled the archive back to empty: an executable made from it would pass for the
        // folder's contents.
        if (Archiver.AbortAnswered() || Archiver.StopRequested()) return {TBuildResult::Aborted, aborted};
        if (FileStartsWith(pending.TempName(), Stub.Bytes)) break;
        if (attempt >= MaxAttempts)
            throw platform::Exception(u"The stub file \"" + Stub.FileName + u"\" does not hold this maker's stub");
        WriteStubFile(Stub);
    }
    pending.Commit();
    std::u16string message = u"SFX archive " + Output + u" created successfully.";
    if (const int32_t ignored = Archiver.IgnoredCount(); ignored == 1)
        message += u" 1 file or folder was left out.";
    else if (ignored > 1)
        message += u" " + platform::Utf8ToUtf16(std::to_string(ignored)) + u" files or folders were left out.";
    return {TBuildResult::Built, message};
}

}  // namespace maker
