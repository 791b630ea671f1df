// The archiver's option objects: TCVOptions, TCVSpanningOptions and TCVVolumeNumberInfo.
#pragma once

#include <cstdint>

#include "engine/util/CVTypes.h"

class TCVOptions {
public:
    TCVStorePathMode StorePath() const { return FStorePath; }
    void SetStorePath(TCVStorePathMode v) { FStorePath = v; }
    bool Recurse() const { return FRecurse; }
    void SetRecurse(bool v) { FRecurse = v; }
    TCVFileShareMode ShareMode() const { return FShareMode; }
    void SetShareMode(TCVFileShareMode v) { FShareMode = v; }
    TCVOverwriteMode OverwriteMode() const { return FOverwriteMode; }
    void SetOverwriteMode(TCVOverwriteMode v) { FOverwriteMode = v; }
    bool CreateDirs() const { return FCreateDirs; }
    void SetCreateDirs(bool v) { FCreateDirs = v; }
    bool ReplaceReadOnly() const { return FReplaceReadOnly; }
    void SetReplaceReadOnly(bool v) { FReplaceReadOnly = v; }
    bool SetAttributes() const { return FSetAttributes; }
    void SetSetAttributes(bool v) { FSetAttributes = v; }
    int32_t SearchAttr() const { return FSearchAttr; }
    void SetSearchAttr(int32_t v) { FSearchAttr = v; }
    bool FlushBuffers() const { return FFlushBuffers; }
    void SetFlushBuffers(bool v) { FFlushBuffers = v; }
    bool OEMFileNames() const { return FOEMFileNames; }
    void SetOEMFileNames(bool v) { FOEMFileNames = v; }

    // Copies every option but ShareMode (which a host sets per use).
    void Assign(const TCVOptions& source) {
        FStorePath = source.FStorePath;
        FRecurse = source.FRecurse;
        FOverwriteMode = source.FOverwriteMode;
        FCreateDirs = source.FCreateDirs;
        FReplaceReadOnly = source.FReplaceReadOnly;
        FSetAttributes = source.FSetAttributes;
        FSearchAttr = source.FSearchAttr;
        FFlushBuffers = source.FFlushBuffers;
        FOEMFileNames = source.FOEMFileNames;
    }

    // The platform share bits for ShareMode: compat 0x00, exclusive 0x10, deny-write 0x20,
    // deny-read 0x30, deny-none 0x40.
    static uint16_t ShareBits(TCVFileShareMode mode) { return static_cast<uint16_t>(mode) * 0x10; }

private:
    TCVStorePathMode FStorePath = spRelativePath;
    bool FRecurse = true;
    TCVFileShareMode FShareMode = smShareDenyNone;
    TCVOverwriteMode FOverwriteMode = omAlways;
    bool FCreateDirs = true;
    bool FReplaceReadOnly = true;
    bool FSetAttributes = true;
    int32_t FSearchAttr = 0x28BF;
    bool FFlushBuffers = true;
    bool FOEMFileNames = true;
};

// Multi-volume settings (kept for hosts; the single-file road never reads them).
class TCVSpanningOptions {
public:
    bool AdvancedNaming() const { return FAdvancedNaming; }
    void SetAdvancedNaming(bool v) { FAdvancedNaming = v; }
    int64_t FirstVolumeSize() const { return FFirstVolumeSize; }
    void SetFirstVolumeSize(int64_t v) { FFirstVolumeSize = v; }
    TCVVolumeSize VolumeSize() const { return FVolumeSize; }
    void SetVolumeSize(TCVVolumeSize v) { FVolumeSize = v; }
    int64_t CustomVolumeSize() const { return FCustomVolumeSize; }
    // A volume smaller than 64 KiB could not hold a central header with its name: 65536 at least.
    void SetCustomVolumeSize(int64_t v) { FCustomVolumeSize = v < 65536 ? 65536 : v; }
    bool SaveDirToFirstVolume() const { return FSaveDirToFirstVolume; }
    void SetSaveDirToFirstVolume(bool v) { FSaveDirToFirstVolume = v; }

private:
    bool FAdvancedNaming = false;
    int64_t FFirstVolumeSize = 0;
    TCVVolumeSize FVolumeSize = vsAutoDetect;
    int64_t FCustomVolumeSize = 0;
    bool FSaveDirToFirstVolume = false;
};

// Which volume is open. A single-file archive is its own first and last volume.
class TCVVolumeNumberInfo {
public:
    TCVVolumeNumberKind VolumeKind() const { return FVolumeKind; }
    int32_t VolumeNumber() const { return FVolumeNumber; }
    int32_t LastVolumeNumber() const { return FLastVolumeNumber; }
    void SetFirstVolume() {
        FVolumeKind = vnkFirst;
        FVolumeNumber = 0;
    }
    void Reset() {
        FVolumeKind = vnkFirst;
        FVolumeNumber = 0;
        FLastVolumeNumber = 0;
    }
    TCVVolumeNumberKind FVolumeKind = vnkFirst;
    int32_t FVolumeNumber = 0;
    int32_t FLastVolumeNumber = 0;
};
