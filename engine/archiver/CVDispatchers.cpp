// The event dispatchers: each calls the host's handler when one is assigned and otherwise applies the
// built-in default, which for confirmations, passwords and failures is a question to the user.
#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/util/CVStrFunc.h"

namespace {

// Handlers see names with the separator of paths on disk, as they would show them to a user; stored
// names use "/". On POSIX both are "/", so the round trip changes nothing there.
std::u16string StoredToDiskSeparators(std::u16string name) {
    for (char16_t& c : name)
        if (c == u'/') c = PathDelimiter();
    return name;
}

std::u16string DiskToStoredSeparators(std::u16string name) {
    for (char16_t& c : name)
        if (c == PathDelimiter()) c = u'/';
    return name;
}

// The typed password as the bytes the encryption works on: the ANSI form where it round-trips,
// UTF-8 otherwise (what other tools on the same system would derive from the same text).
std::string PasswordBytes(const std::u16string& typed) {
    std::string bytes;
    if (platform::WideToAnsi(typed, bytes)) return bytes;
    return platform::Utf16ToUtf8(typed);
}

}  // namespace

void TCVBaseArchiver::DoOverallProgress(double Progress, TCVProcessOperation Operation,
                                        TCVProgressPhase ProgressPhase, bool& Cancel) {
    if (FOnOverallProgress)
        FOnOverallProgress(this, Progress, Operation, ProgressPhase, Cancel);
    else
        Cancel = false;
}

void TCVBaseArchiver::DoFileProgress(const std::u16string& FileName, double Progress,
                                     TCVProcessOperation Operation, TCVProgressPhase ProgressPhase,
                                     bool& Cancel) {
    if (FOnFileProgress)
        FOnFileProgress(this, StoredToDiskSeparators(FileName), Progress, Operation, ProgressPhase, Cancel);
    else
        Cancel = false;
}

void TCVBaseArchiver::DoCopyTempFileProgress(double Progress, TCVProgressPhase ProgressPhase, bool& Cancel) {
    Cancel = false;
    if (FOnCopyTempFileProgress) FOnCopyTempFileProgress(this, Progress, ProgressPhase, Cancel);
}

void TCVBaseArchiver::DoConfirmOverwrite(const std::u16string& SourceFileName, std::u16string& DestFileName,
                                         bool& Confirm) {
    if (FOnConfirmOverwrite) {
        FOnConfirmOverwrite(this, SourceFileName, DestFileName, Confirm);
        return;
    }
    std::u16string text = u"Overwrite file \"" + DestFileName + u"\" with \"" + SourceFileName + u"\"";
    uint32_t buttons = platform::Button::Yes | platform::Button::No | platform::Button::NoToAll |
                       platform::Button::YesToAll;
    switch (platform::CurrentDialogs().MessageBox(text, platform::MessageKind::Confirmation, buttons)) {
    case platform::Button::Yes:
        Confirm = true;
        break;
    case platform::Button::YesToAll:
        Confirm = true;
        FOptions.SetOverwriteMode(omAlways);
        break;
    case platform::Button::NoToAll:
        Confirm = false;
        FOptions.SetOverwriteMode(omNever);
        break;
    default:   // No, or the box closed otherwise
        Confirm = false;
        break;
    }
}

void TCVBaseArchiver::DoConfirmProcessFile(const std::u16string& FileName, TCVProcessOperation Operation,
                                           bool& Confirm) {
    Confirm = true;
    if (FOnConfirmProcessFile) FOnConfirmProcessFile(this, FileName, Operation, Confirm);
}

void TCVBaseArchiver::DoPassword(const std::u16string& FileName, std::string& NewPassword, bool& SkipFile) {
    if (FOnPassword) {
        FOnPassword(this, FileName, NewPassword, SkipFile);
        return;
    }
    std::u16string typed;
    if (platform::CurrentDialogs().PasswordPrompt(u"Password for \"" + FileName + u"\"", u"Enter password: ",
                                                  typed)) {
        NewPassword = PasswordBytes(typed);
        SkipFile = false;
    } else {
        SkipFile = true;
    }
}

void TCVBaseArchiver::DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                                           int32_t NativeError, int32_t ErrorCode,
                                           const std::u16string& ErrorMessage, TCVAction& Action) {
    Action = fxaIgnore;
    if (FOnProcessFileFailure) {
        FOnProcessFileFailure(this, FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
        return;
    }
    platform::Button answer;
    if (NativeError == 45) {
        // The user already cancelled the volume request: asking again would be asking twice.
        Action = fxaAbort;
        return;
    } else if (NativeError == 61) {
        // A name too long to store fails the same way on every try: no point offering a retry.
        answer = platform::CurrentDialogs().MessageBox(ErrorMessage, platform::MessageKind::Confirmation,
                                                       platform::Button::Abort | platform::Button::Ignore);
    } else {
        answer = platform::CurrentDialogs().MessageBox(
            ErrorMessage + u". File processing error, possibly disk is full", platform::MessageKind::Error,
            platform::Button::Abort | platform::Button::Retry | platform::Button::Ignore);
    }
    if (answer == platform::Button::Retry)
        Action = fxaRetry;
    else if (answer == platform::Button::Ignore)
        Action = fxaIgnore;
    else
        Action = fxaAbort;
}

// The volume requests belong to multi-volume archives. Without a handler nobody can supply a volume,
// so the request counts as cancelled; a handler starts from "go on".
void TCVBaseArchiver::DoRequestBlankVolume(int32_t VolumeNumber, std::u16string& VolumeFileName, bool& Cancel) {
    Cancel = !FOnRequestBlankVolume;
    if (FOnRequestBlankVolume) FOnRequestBlankVolume(this, VolumeNumber, VolumeFileName, Cancel);
}

void TCVBaseArchiver::DoRequestFirstVolume(std::u16string& VolumeFileName, bool& Cancel) {
    Cancel = !FOnRequestFirstVolume;
    if (FOnRequestFirstVolume) FOnRequestFirstVolume(this, VolumeFileName, Cancel);
}

void TCVBaseArchiver::DoRequestLastVolume(std::u16string& VolumeFileName, bool& Cancel) {
    Cancel = !FOnRequestLastVolume;
    if (FOnRequestLastVolume) FOnRequestLastVolume(this, VolumeFileName, Cancel);
}

void TCVBaseArchiver::DoRequestMiddleVolume(int32_t VolumeNumber, std::u16string& VolumeFileName, bool& Cancel) {
    Cancel = !FOnRequestMiddleVolume;
    if (FOnRequestMiddleVolume) FOnRequestMiddleVolume(this, VolumeNumber, VolumeFileName, Cancel);
}

void TCVBaseArchiver::DoDiskFull(int32_t VolumeNumber, const std::u16string& VolumeFileName, bool& Cancel) {
    if (FOnDiskFull) {
        // Hosts count volumes from 1.
        FOnDiskFull(this, VolumeNumber + 1, VolumeFileName, Cancel);
        return;
    }
    if (FSpanningMode == smNone) throw ECVException(neDiskFull, nullptr);
    // A spanned archive would ask for the next disk; without a handler there is none to ask for.
    Cancel = true;
}

void TCVBaseArchiver::DoProcessVolumeFailure(TCVProcessOperation Operation, int32_t VolumeNumber,
                                             const std::u16string& VolumeFileName, bool& Cancel) {
    Cancel = !FOnProcessVolumeFailure;
    if (FOnProcessVolumeFailure) FOnProcessVolumeFailure(this, Operation, VolumeNumber, VolumeFileName, Cancel);
}

void TCVBaseArchiver::DoStoreFile(std::u16string& FileName, int32_t& FileAttr, std::string& Comment,
                                  const std::u16string& OriginalFileName) {
    if (!FOnStoreFile) return;
    FileName = StoredToDiskSeparators(FileName);
    FOnStoreFile(this, FileName, FileAttr, Comment, OriginalFileName);
    FileName = DiskToStoredSeparators(FileName);
}

void TCVBaseArchiver::DoExtractFile(std::u16string& FileName, uint32_t& FileAttr, const std::string& Comment) {
    FileName = StoredToDiskSeparators(FileName);
    if (FOnExtractFile) FOnExtractFile(this, FileName, FileAttr, Comment);
}
