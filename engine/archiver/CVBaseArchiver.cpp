// The archiver's construction, its properties and the checks the public operations start with.
#include "engine/archiver/CVBaseArchiver.h"

#include <string>

#include "engine/add/CVDeflatePool.h"

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The engine's version as hosts read it, and the suffix that follows it after a blank (empty for a
// release).
constexpr double kVersion = 6.3;
constexpr char16_t kVersionSuffix[] = u"";

}  // namespace

TCVBaseArchiver::TCVBaseArchiver(TComponent* AOwner) : TComponent(AOwner) {
    // The order is the one hosts have always seen: the level is set through its setter, so the
    // compression method follows from it (a derived archiver sets its own method once it exists).
    FDMHandle.reset();
    FCompressedStream = nullptr;
    FNoProgress = false;
    FOptions = TCVOptions();
    SetCompressionLevel(clFastest);
    FActive = false;
    FFileMasks.clear();
    FExclusionMasks.clear();
    FNoCompressionMasks.clear();
    FCVCryptoAlgorithm = caPkzipClassic;
    FExtractCorruptedFiles = false;
    FOpenCorruptedArchives = true;
    FSpanningMode = smNone;
    FSpanningOptions = TCVSpanningOptions();
    FZip64Mode = zmAuto;
    FVolumeNumberInfo = TCVVolumeNumberInfo();
    FSuppressPasswordEvent = false;
    FUnicodeFilenames = false;
}

TCVBaseArchiver::~TCVBaseArchiver() {
    CloseArchive();
}

void TCVBaseArchiver::SetActive(bool Value) {
    if (Value == FActive) return;
    if (Value)
        OpenArchive();
    else
        CloseArchive();
}

std::string TCVBaseArchiver::Comment() const {
    return FDMHandle ? FDMHandle->ArchiveComment : std::string();
}

void TCVBaseArchiver::SetComment(const std::string& Value) {
    CheckActive();
    CheckModifiable();
    std::string previous = FDMHandle->ArchiveComment;
    FDMHandle->ArchiveComment = Value;
    // Inside an update the commit writes the comment with the directory.
    if (InUpdate() || FSpanningMode != smNone) return;
    try {
        FDMHandle->SaveDir(false, nullptr);
    } catch (...) {
        // The file keeps its old comment (a read-only archive refuses the write before cutting
        // anything), so the component must not claim the new one.
        FDMHandle->ArchiveComment = previous;
        throw;
    }
}

void TCVBaseArchiver::SetCompressionLevel(TCVCompressionLevel Value) {
    if (Value > clMax) throw ECVException(neCompressionMode, this);
    FCompressionLevel = Value;
    FCompressionMode = static_cast<uint8_t>(ModeForLevel(Value));
    UpdateCompressionMethod();
}

void TCVBaseArchiver::SetCompressionMode(uint8_t Value) {
    if (Value > 9) throw ECVException(neCompressionMode, this);
    FCompressionMode = Value;
    FCompressionLevel = LevelForMode(Value);
    UpdateCompressionMethod();
}

std::u16string TCVBaseArchiver::CurrentVersion() const {
    // Two decimals and a point, whatever the host's locale would print.
    constexpr int64_t hundredths = static_cast<int64_t>(kVersion * 100 + 0.5);
    const std::string text = std::to_string(hundredths / 100) + "." + std::to_string(100 + hundredths % 100).substr(1);
    return std::u16string(text.begin(), text.end()) + u" " + kVersionSuffix;
}

bool TCVBaseArchiver::Exists() const {
    return IsExistingFile(FFileName);
}

int64_t TCVBaseArchiver::Size() {
    CheckActive();
    return FCompressedStream->Size();
}

void TCVBaseArchiver::SetSpanningMode(TCVSpanningMode Value) {
    // Refused even for the current value: the open archive's volumes were laid out under the old mode.
    if (FActive) throw platform::Exception(u"Cannot set spanning mode on open archive");
    FSpanningMode = Value;
}

void TCVBaseArchiver::SetInMemory(bool Value) {
    if (Value == FInMemory) return;
    if (FActive && !Value) {
        if (FFileName.empty()) throw ECVException(neInMemoryBlankName, this);
        // Whatever the close would still write (a pending update, the directory of a new archive)
        // must be in memory before the copy, or the file would miss it.
        FinishPendingWrites();
        {
            platform::FileStream file(FFileName, cvOpenCreate);
            file.CopyFrom(*FCompressedStream, 0);
        }
        CloseArchive();
        FInMemory = false;
        OpenArchive();
    } else if (FActive && Value) {
        CloseArchive();
        FInMemory = true;
        OpenArchive();
    }
    FInMemory = Value;
}

void TCVBaseArchiver::SetPassword(const std::string& Value) {
    FPassword = Value;
}

void TCVBaseArchiver::UpdateCompressionMethod() {
    // The base class knows no format; a derived archiver names its method.
    FCompressionMethod = 0xFFFF;
}

void TCVBaseArchiver::CheckActive() const {
    if (!FActive) throw ECVException(neArchiveNotOpen, this);
}

void TCVBaseArchiver::CheckNotInUpdate() const {
    if (InUpdate()) throw ECVException(neInUpdate, this);
}

void TCVBaseArchiver::CheckModifiable() const {
    // A multi-volume archive can only grow inside one transaction: its volumes cannot be rewritten.
    bool hasItems = FDMHandle && FDMHandle->CDir.Count() > 0;
    if (!InUpdate() && hasItems && FSpanningMode != smNone) throw ECVException(neMultiVolumeOutsideUpdate, this);
}
