#include "stub/StubMain.h"

#include <exception>
#include <string>
#include <utility>

#include "engine/base/CVExcept.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"
#include "stub/FileBaseName.h"

namespace stub {

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

std::u16string Number(int64_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

void ShowError(const std::u16string& text) {
    platform::CurrentDialogs().MessageBox(text, platform::MessageKind::Error, uint32_t(platform::Button::Ok));
}

}  // namespace

TFmMain::TFmMain(std::u16string ExecutableName) : FExecutableName(FullPath(ExecutableName)) {}

std::u16string TFmMain::TargetFolder() const { return FolderPart(FExecutableName) + FileBaseName(FExecutableName); }

void TFmMain::FormCreate() {
    Archiver.Options().SetOverwriteMode(omAlways);
    Archiver.SetFileName(FExecutableName);
    const std::u16string target = TargetFolder();
    // Not checked here: a folder that cannot be made fails every entry, and each failure is reported.
    if (!IsExistingFolder(target)) ForceFolders(target);
    Archiver.SetBaseDir(TargetFolder());
    Archiver.OpenArchive(cvOpenReadOnly);
    FEntryCount = Archiver.EntryCount();
    FDamaged = !Archiver.HasEndRecord();
    // The program alone, or with its archive cut off before any entry: there is nothing to extract,
    // and an empty folder must not pass for a successful extraction.
    if (FEntryCount == 0 && FDamaged) throw ECVException(35, &Archiver);
    Archiver.ExtractFiles(u"*.*", AllEntriesAttr, u"");
    Archiver.CloseArchive();
}

int RunStub(const std::u16string& ExecutableName) {
    try {
        TFmMain FmMain(ExecutableName);
        FmMain.FormCreate();
        const TStubArchiver& arc = FmMain.Archiver;
        const int32_t extracted = arc.ExtractedCount();
        const int32_t total = FmMain.EntryCount();
        if (FmMain.Damaged()) {
            // What could be found is out, but a damaged archive may have held more than was found.
            ShowError(u"The archive is damaged (cut short?): " + Number(extracted) + u" of the " + Number(total) +
                      u" entries found were extracted to \"" + FmMain.TargetFolder() +
                      u"\"; others may be missing");
            return 1;
        }
        if (!arc.Aborted() && arc.SkippedCount() == 0 && extracted >= total) return 0;
        const std::u16string what = arc.Aborted() ? u"Extraction aborted: " : u"Extraction incomplete: ";
        ShowError(what + Number(extracted) + u" of " + Number(total) + u" entries extracted to \"" +
                  FmMain.TargetFolder() + u"\"");
        return 1;
    } catch (const platform::Exception& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(platform::Utf8ToUtf16(e.what()));
    } catch (...) {
        ShowError(u"Unexpected error");
    }
    return 1;
}

}  // namespace stub
