// Whether the file that FileName names is an archive this component can use: its directory can be
// found or rebuilt, and every entry reads back with the right size and checksum.
#include <memory>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"

namespace {

constexpr int32_t AllEntriesAttr = 0x28BF;

}  // namespace

bool TCVBaseArchiver::IsValidArchiveFile() {
    if (FActive) return true;
    if (!IsExistingFile(FFileName)) return false;

    const TCVSpanningMode spanningMode = FSpanningMode;
    const bool openCorrupted = FOpenCorruptedArchives;
    struct Restore {
        TCVBaseArchiver& arc;
        TCVSpanningMode spanningMode;
        bool openCorrupted;
        ~Restore() {
            arc.FSpanningMode = spanningMode;
            arc.FOpenCorruptedArchives = openCorrupted;
        }
    } restore{*this, spanningMode, openCorrupted};

    bool valid = false;
    try {
        platform::FileStream file(FFileName, platform::fmOpenRead | platform::fmShareDenyNone);
        FOpenCorruptedArchives = false;
        TCVDirManager probe(&file, this, false);
        if (probe.HasCentralDirEnd()) {
            valid = true;
        } else {
            FSpanningMode = smSplitting;
            try {
                probe.LoadDir();
                valid = true;
            } catch (...) {
                FSpanningMode = smNone;
                try {
                    probe.LoadDir();
                    valid = probe.CDir.Count() > 0;
                } catch (...) {
                    valid = false;
                }
            }
        }
    } catch (...) {
        // A file that cannot even be read is no archive to use.
        return false;
    }
    FSpanningMode = spanningMode;
    if (!valid) return false;

    // Testing reports a damaged entry through the failure event, not by an exception: for this
    // question it must count as "not valid", and the user must not be asked what to do about it.
    bool damaged = false;
    TCVProcessFileFailureEvent hostHandler = FOnProcessFileFailure;
    FOnProcessFileFailure = [&damaged](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, int32_t, int32_t,
                                       const std::u16string&, TCVAction& Action) {
        damaged = true;
        Action = fxaAbort;
    };
    try {
        FOpenCorruptedArchives = true;
        OpenArchive(cvOpenReadOnly);
        TestFiles(u"*.*", AllEntriesAttr, u"");
        CloseArchive();
    } catch (...) {
        valid = false;
        CloseArchive();
    }
    FOnProcessFileFailure = std::move(hostHandler);
    return valid && !damaged;
}

bool TCVBaseArchiver::HasEndRecord() const {
    if (!FCompressedStream) return false;
    TCVDirManager probe(FCompressedStream, nullptr, false);
    TCVZipCentralDirEnd record;
    int64_t position = -1;
    return probe.FindCentralDirEnd(record, position);
}
