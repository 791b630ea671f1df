#include "stub/StubMain.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "engine/Corvane.h"
#include "platform/Platform.h"
#include "stub/FileBaseName.h"
#include "stub/StubProgress.h"

#ifndef SELFPACK_VERSION
#define SELFPACK_VERSION "0"
#endif

namespace stub {

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

std::u16string Number(int64_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

void ShowError(const std::u16string& text) {
    platform::CurrentDialogs().MessageBox(text, platform::MessageKind::Error, uint32_t(platform::Button::Ok));
}

void Print(std::FILE* to, const std::u16string& text) {
    const std::string bytes = platform::Utf16ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), to);
    std::fflush(to);
}

std::u16string Padded(const std::u16string& text, size_t width) {
    return text.size() >= width ? text : std::u16string(width - text.size(), u' ') + text;
}

// "2024-03-01 12:00" from an MS-DOS date and time.
std::u16string DosStamp(uint16_t date, uint16_t time) {
    // Put together by hand: printf would bring the C library's whole formatter into the stub.
    const auto two = [](unsigned value) {
        return std::u16string{char16_t(u'0' + value / 10 % 10), char16_t(u'0' + value % 10)};
    };
    return platform::Utf8ToUtf16(std::to_string(1980u + (date >> 9))) + u"-" + two((date >> 5) & 15u) + u"-" +
           two(date & 31u) + u" " + two(time >> 11) + u":" + two((time >> 5) & 63u);
}

// Every entry: size, date and name, folders ending in "/"; then the count and the total size.
int ListEntries(TFmMain& FmMain) {
    TStubArchiver& arc = FmMain.Archiver;
    std::u16string text = Padded(u"Size", 14) + u"  Date              Name\n";
    int64_t total = 0;
    int32_t count = 0;
    TCVArchiveItem item;
    for (bool found = arc.FindFirst(u"*.*", item, AllEntriesAttr, u""); found; found = arc.FindNext(item)) {
        const bool folder = (item.ExternalFileAttributes & 0x10) != 0;
        std::u16string name = item.StoredPath + item.FileName + (folder ? u"/" : u"");
        for (char16_t& c : name)
            if (c == u'\\') c = u'/';
        text += Padded(Number(item.UncompressedSize), 14) + u"  " + DosStamp(item.LastModFileDate, item.LastModFileTime) +
                u"  " + name + u"\n";
        total += item.UncompressedSize;
        ++count;
    }
    text += Padded(Number(total), 14) + u"  " + Number(count) + (count == 1 ? u" entry" : u" entries") + u"\n";
    Print(stdout, text);
    if (FmMain.Damaged()) {
        ShowError(u"The archive is damaged (cut short?): the entries listed were found, others may be missing");
        return 1;
    }
    return 0;
}

// Every entry read and checked against its size and checksum; nothing is written.
int TestEntries(TFmMain& FmMain) {
    TStubArchiver& arc = FmMain.Archiver;
    arc.SetNoteFailures(true);
    arc.TestFiles(u"*.*", AllEntriesAttr, u"");
    const auto& failures = arc.Failures();
    if (failures.empty() && !FmMain.Damaged()) {
        const int32_t count = FmMain.EntryCount();
        Print(stdout, u"No errors: " + Number(count) + (count == 1 ? u" entry" : u" entries") + u" tested.\n");
        return 0;
    }
    std::u16string text;
    if (FmMain.Damaged()) text += u"The archive is damaged (cut short?): entries may be missing\n";
    if (!failures.empty()) {
        text += Number(static_cast<int64_t>(failures.size())) + u" of " + Number(FmMain.EntryCount()) +
                u" entries damaged:\n";
        for (const auto& failure : failures) text += u"  " + failure.FileName + u": " + failure.Message + u"\n";
    }
    Print(stderr, text);
    return 1;
}

// Puts the dialogs in force back when the run is done, however it ends.
class DialogsInstalled {
public:
    explicit DialogsInstalled(std::unique_ptr<platform::Dialogs> dialogs)
        : previous_(platform::InstallDialogs(std::move(dialogs))) {}
    ~DialogsInstalled() { platform::InstallDialogs(std::move(previous_)); }
    DialogsInstalled(const DialogsInstalled&) = delete;
    DialogsInstalled& operator=(const DialogsInstalled&) = delete;

private:
    std::unique_ptr<platform::Dialogs> previous_;
};

}  // namespace

// Nothing is written when the entries cannot all fit: a disk filled half-way helps nobody. Files
// already there that the entries replace count as space given back, but are only looked at when the
// entries alone would not fit.
void TFmMain::CheckFreeSpace(const std::u16string& Target) const {
    const int64_t available = platform::FreeSpace(Target);
    if (available < 0) return;
    if (Archiver.ExtractSpaceNeeded(Target, false) <= available) return;
    const int64_t needed = Archiver.ExtractSpaceNeeded(Target, true);
    if (needed <= available) return;
    throw platform::Exception(u"Not enough free space to extract to \"" + Target + u"\": " + Number(needed) +
                              u" bytes are needed, " + Number(available) + u" are available. Nothing was extracted");
}

TFmMain::TFmMain(std::u16string ExecutableName) : FExecutableName(FullPath(ExecutableName)) {}

std::u16string TFmMain::TargetFolder() const {
    if (!FTargetOverride.empty()) return FTargetOverride;
    // Without an extension the name is the executable's own; without anything before its extension
    // (".run") the folder would be the one the executable lies in. Either way it gets a folder of its
    // own beside it.
    if (!TargetIsPlainName()) return FExecutableName + u".d";
    return FolderPart(FExecutableName) + FileBaseName(FExecutableName);
}

bool TFmMain::TargetIsPlainName() const {
    if (!FTargetOverride.empty()) return true;
    const std::u16string base = FileBaseName(FExecutableName);
    return !base.empty() && base != FileNamePart(FExecutableName);
}

void TFmMain::OpenSelf() {
    Archiver.SetFileName(FExecutableName);
    Archiver.OpenArchive(cvOpenReadOnly);
    FEntryCount = Archiver.EntryCount();
    FDamaged = !Archiver.HasEndRecord() || Archiver.DirectoryRebuilt();
    // The program alone, or with its archive cut off before any entry: there is nothing to extract,
    // and an empty folder must not pass for a successful extraction.
    if (FEntryCount == 0 && !Archiver.HasEndRecord()) throw ECVException(neInvalidArchive, &Archiver);
}

void TFmMain::FormCreate() {
    Archiver.Options().SetOverwriteMode(omAlways);
    const std::u16string target = TargetFolder();
    OpenSelf();
    CheckFreeSpace(target);
    // Not checked here: a folder that cannot be made fails every entry, and each failure is reported.
    if (!IsExistingFolder(target)) ForceFolders(target);
    Archiver.SetBaseDir(TargetFolder());
    Archiver.ExtractFiles(u"*.*", AllEntriesAttr, u"");
    Archiver.CloseArchive();
}

int RunStub(const std::u16string& ExecutableName) { return RunStub(ExecutableName, TStubOptions{}); }

int RunStub(const std::u16string& ExecutableName, const TStubOptions& Options) {
    const std::u16string program = FileNamePart(ExecutableName);
    if (!Options.Error.empty()) {
        Print(stderr, program + u": " + Options.Error + u"\n" + StubUsage(program));
        return 2;
    }
    if (Options.Action == TStubAction::Help) {
        Print(stdout, StubUsage(program));
        return 0;
    }
    if (Options.Action == TStubAction::Version) {
        Print(stdout, program + u" (Selfpack self-extracting archive) " + platform::Utf8ToUtf16(SELFPACK_VERSION) + u"\n");
        return 0;
    }
    std::unique_ptr<DialogsInstalled> unattended;
    if (Options.Unattended) unattended = std::make_unique<DialogsInstalled>(platform::MakeNonInteractiveDialogs());
    try {
        TFmMain FmMain(ExecutableName);
        if (Options.Action == TStubAction::List || Options.Action == TStubAction::Test) {
            FmMain.OpenSelf();
            const int status = Options.Action == TStubAction::List ? ListEntries(FmMain) : TestEntries(FmMain);
            FmMain.Archiver.CloseArchive();
            return status;
        }
        if (!Options.Target.empty()) FmMain.SetTargetFolder(FullPath(Options.Target));
        TStubProgress progress(!Options.Quiet && platform::StdErrIsTerminal());
        FmMain.Archiver.SetProgressHandler(
            [&](const std::u16string& name, double percent) { progress.Step(name, percent); });
        FmMain.FormCreate();
        progress.Finish();
        const TStubArchiver& arc = FmMain.Archiver;
        const int32_t extracted = arc.ExtractedCount();
        const int32_t total = FmMain.EntryCount();
        if (FmMain.Damaged()) {
            // What could be found is out, but a damaged archive may have held more than was found.
            ShowError(u"The archive is damaged (cut short, or its directory does not match its entries): " +
                      Number(extracted) + u" of the " + Number(total) +
                      u" entries found were extracted to \"" + FmMain.TargetFolder() +
                      u"\"; others may be missing");
            return 1;
        }
        if (!arc.Aborted() && arc.SkippedCount() == 0 && extracted >= total) {
            // Where the files went is plain from the name alone only when the folder is that name.
            if (!FmMain.TargetIsPlainName() && !Options.Quiet)
                Print(stdout, program + u": Files extracted to \"" + FmMain.TargetFolder() + u"\"\n");
            return 0;
        }
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
