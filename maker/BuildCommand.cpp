#include "maker/BuildCommand.h"

#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace maker {

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

// The conversion step. The stub file is shared by every maker of the user: one that closes deletes
// it, one that starts rewrites it, at any moment. A conversion that failed while the stub file was
// gone, or whose executable does not begin with the stub's bytes (the file was being rewritten while
// it was copied), is made again with the file written anew. Each maker deletes the file once, so a
// few attempts outlast any number of makers closing at the same time but a handful.
void ConvertWithStub(TMakerArchiver& Archiver, const std::u16string& Executable, const TStubFile& Stub) {
    constexpr int MaxAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        EnsureStubFile(Stub);
        try {
            Archiver.MakeSFX(Executable);
        } catch (const platform::Exception&) {
            if (attempt >= MaxAttempts || platform::FileExists(Stub.FileName)) throw;
            continue;
        }
        if (FileStartsWith(Executable, Stub.Bytes)) return;
        if (attempt >= MaxAttempts) {
            platform::DeleteFile(Executable);
            throw platform::Exception(u"The stub file \"" + Stub.FileName + u"\" changed while it was being read");
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
