// What a directory manager asks of the archiver that owns it. The archiver implements it; tests and
// short-lived managers may use a plain host of their own.
#pragma once

#include <cstdint>
#include <string>

#include "engine/util/CVTypes.h"

namespace platform {
class Stream;
}

class TCVDirHost {
public:
    virtual ~TCVDirHost() = default;
    // Options.OEMFileNames: names without the UTF-8 flag go through the OEM code page.
    virtual bool DirOEMFileNames() const = 0;
    // OpenCorruptedArchives: a damaged directory is rebuilt from the local headers.
    virtual bool DirOpenCorruptedArchives() const = 0;
    virtual TCVSpanningMode DirSpanningMode() const = 0;
    // SFXStub: the stub file written in front of a new archive (empty: none).
    virtual std::u16string DirSFXStub() const = 0;
    // The current volume number; 0 or -1 outside multi-volume archives.
    virtual int32_t DirVolumeNumber() const = 0;
    // Record that the first volume is the current one.
    virtual void DirSetFirstVolume() = 0;
    // The archiver's own archive stream (a manager on any other stream works on a custom stream).
    virtual const platform::Stream* DirArchiveStream() const = 0;
    // The size limit of the first volume of a split or spanned archive; 0 when there is none.
    virtual int64_t DirFirstVolumeSizeLimit() const { return 0; }
};

// A host with plain values, for managers that work without an archiver.
class TCVPlainDirHost : public TCVDirHost {
public:
    bool OEMFileNames = true;
    bool OpenCorruptedArchives = false;
    TCVSpanningMode SpanningMode = smNone;
    std::u16string SFXStub;
    int32_t VolumeNumber = 0;
    int64_t FirstVolumeSizeLimit = 0;

    bool DirOEMFileNames() const override { return OEMFileNames; }
    bool DirOpenCorruptedArchives() const override { return OpenCorruptedArchives; }
    TCVSpanningMode DirSpanningMode() const override { return SpanningMode; }
    std::u16string DirSFXStub() const override { return SFXStub; }
    int32_t DirVolumeNumber() const override { return VolumeNumber; }
    void DirSetFirstVolume() override { VolumeNumber = 0; }
    const platform::Stream* DirArchiveStream() const override { return nullptr; }
    int64_t DirFirstVolumeSizeLimit() const override { return FirstVolumeSizeLimit; }
};
