// The archiver's sixteen event types. Sender is the archiver; var parameters are references.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/util/CVTypes.h"

class TCVBaseArchiver;

using TCVFileProgressEvent = std::function<void(TCVBaseArchiver* Sender, const std::u16string& FileName,
    double Progress, TCVProcessOperation Operation, TCVProgressPhase ProgressPhase, bool& Cancel)>;
using TCVProgressEvent = std::function<void(TCVBaseArchiver* Sender, double Progress,
    TCVProcessOperation Operation, TCVProgressPhase ProgressPhase, bool& Cancel)>;
using TCVCopyTempFileProgressEvent = std::function<void(TCVBaseArchiver* Sender, double Progress,
    TCVProgressPhase ProgressPhase, bool& Cancel)>;
using TCVConfirmOverwriteEvent = std::function<void(TCVBaseArchiver* Sender,
    const std::u16string& SourceFileName, std::u16string& DestFileName, bool& Confirm)>;
using TCVConfirmProcessFileEvent = std::function<void(TCVBaseArchiver* Sender,
    const std::u16string& FileName, TCVProcessOperation Operation, bool& Confirm)>;
using TCVNotifyEvent = std::function<void(TCVBaseArchiver* Sender)>;
using TCVOnPasswordEvent = std::function<void(TCVBaseArchiver* Sender, const std::u16string& FileName,
    std::string& NewPassword, bool& SkipFile)>;
using TCVProcessFileFailureEvent = std::function<void(TCVBaseArchiver* Sender,
    const std::u16string& FileName, TCVProcessOperation Operation, int32_t NativeError,
    int32_t ErrorCode, const std::u16string& ErrorMessage, TCVAction& Action)>;
using TCVOnRequestFirstVolumeEvent = std::function<void(TCVBaseArchiver* Sender,
    std::u16string& VolumeFileName, bool& Cancel)>;
using TCVOnRequestLastVolumeEvent = std::function<void(TCVBaseArchiver* Sender,
    std::u16string& VolumeFileName, bool& Cancel)>;
using TCVOnRequestMiddleVolumeEvent = std::function<void(TCVBaseArchiver* Sender, int32_t VolumeNumber,
    std::u16string& VolumeFileName, bool& Cancel)>;
using TCVOnRequestBlankVolumeEvent = std::function<void(TCVBaseArchiver* Sender, int32_t VolumeNumber,
    std::u16string& VolumeFileName, bool& Cancel)>;
using TCVOnDiskFullEvent = std::function<void(TCVBaseArchiver* Sender, int32_t VolumeNumber,
    const std::u16string& VolumeFileName, bool& Cancel)>;
using TCVProcessVolumeFailureEvent = std::function<void(TCVBaseArchiver* Sender,
    TCVProcessOperation Operation, int32_t VolumeNumber, const std::u16string& VolumeFileName,
    bool& Cancel)>;
using TCVOnStoreFileEvent = std::function<void(TCVBaseArchiver* Sender, std::u16string& FileName,
    int32_t& FileAttr, std::string& Comment, const std::u16string& OriginalFileName)>;
using TCVOnExtractFileEvent = std::function<void(TCVBaseArchiver* Sender, std::u16string& FileName,
    uint32_t& FileAttr, const std::string& Comment)>;
