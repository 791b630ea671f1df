#include "maker/BuildCommand.h"

#include "engine/base/CVExcept.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace maker {

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

// The conversion step. The stub file is shared by every maker of the user: one that closes deletes
// it, one that starts replaces it, at any moment. A conversion that found the stub file gone, or whose
// executable does not begin with the stub's bytes (another maker's stub of another version), is made
// again with the file written anew. Each maker deletes the file once, so a few attempts outlast all
// but a crowd of makers closing at the same moment.
void ConvertWithStub(TMakerArchiver& Archiver, const std::u16string& Executable, const TStubFile& Stub) {
    constexpr int MaxAttempts = 5;
    constexpr int32_t StubMissingNative = 18;
    for (int attempt = 1;; ++attempt) {
        EnsureStubFile(Stub);
        try {
            Archiver.MakeSFX(Executable);
        } catch (const ECVException& e) {
            if (e.NativeError() != StubMissingNative || attempt >= MaxAttempts) throw;
            continue;
        } catch (const platform::FileError& e) {
            // Gone between the engine's check and its open: the open names the file.
            if (e.Message().find(Stub.FileName) == std::u16string::npos || attempt >= MaxAttempts) throw;
            continue;
        }
        if (FileStartsWith(Executable, Stub.Bytes)) return;
        if (attempt >= MaxAttempts) {
            platform::DeleteFile(Executable);
            throw platform::Exception(u"The stub file \"" + Stub.FileName + u"\" does not hold this maker's stub");
        }
        WriteStubFile(Stub);
    }
}

}  // namespace

std::u16string CheckFolder(const std::u16string& FolderText) {
    if (FolderText.empty()) return u"만들폴더선택~";
    if (!IsExistingFolder(FolderText)) return u"폴더가 없네~";
    return {};
}

TBuildTargets TargetsNextToMaker(const std::u16string& FolderText) {
    const std::u16string base = FolderPart(platform::ExecutablePath()) + FileNamePart(FolderText);
    return {base + u".zip", base + platform::ExecutableExtension()};
}

TBuildTargets TargetsForOutput(const std::u16string& Output) {
    const std::u16string extension = platform::ExecutableExtension();
    std::u16string base = Output;
    if (base.size() > extension.size() && base.compare(base.size() - extension.size(), extension.size(), extension) == 0 &&
        !FileNamePart(base.substr(0, base.size() - extension.size())).empty())
        base.resize(base.size() - extension.size());
    return {base + u".zip", Output};
}

std::u16string DefaultOutput(const std::u16string& FolderText, const std::u16string& Dir) {
    const std::u16string name = FileNamePart(ExcludePathDelimiter(FullPath(FolderText)));
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

TBuildOutcome Build(TMakerArchiver& Archiver, const std::u16string& FolderText, const TBuildTargets& Targets,
                    const TStubFile& Stub) {
    // Every build makes a plain archive first, whatever stub an earlier build left set.
    Archiver.SetSFXStub(u"");
    Archiver.ClearAbort();
    ZipCreate(Archiver, Targets.Archive, FolderText);
    if (Archiver.AbortAnswered()) {
        // The abort rolled the archive back to empty; an executable made from it would pass for the
        // folder's contents.
        DeleteDiskFile(Targets.Archive);
        return {TBuildResult::Aborted, u"Build aborted: SFX archive " + Targets.Executable + u" was not created."};
    }
    Archiver.SetFileName(Targets.Archive);
    Archiver.SetSFXStub(Stub.FileName);
    ConvertWithStub(Archiver, Targets.Executable, Stub);
    platform::MakeExecutable(Targets.Executable);
    DeleteDiskFile(Targets.Archive);
    return {TBuildResult::Built, u"SFX archive " + Targets.Executable + u" created successfully."};
}

}  // namespace maker
