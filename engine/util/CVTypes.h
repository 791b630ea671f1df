// The engine's enumerations, in the order their values are numbered (the first is 0): hosts and stored
// settings rely on the numbers.
#pragma once

#include <cstdint>

enum TCVCompressionLevel : uint8_t { clNone, clFastest, clNormal, clMax };
enum TCVCompressionAlgorithm : uint8_t { caZLIB, caBZIP, caPPM };
enum TCVCryptoAlgorithm : uint8_t { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TCVProcessOperation : uint8_t {
    poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr, poChangeComment,
    poMakeSFX, poMerge
};
enum TCVProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
enum TCVAction : uint8_t { fxaRetry, fxaIgnore, fxaAbort };
enum TCVOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TCVFileShareMode : uint8_t {
    smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone
};
enum TCVStorePathMode : uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZip64Mode : uint8_t { zmDisabled, zmAuto, zmAlways };
enum TCVSpanningMode : uint8_t { smNone, smSpanning, smSplitting };
enum TCVVolumeSize : uint8_t {
    vsAutoDetect, vsCustom, vs1_44MB, vs100MB, vs200MB, vs250MB, vs600MB, vs650MB, vs700MB, vs4700MB
};
enum TCVVolumeNumberKind : uint8_t { vnkFirst, vnkLast, vnkCustom, vnkUnknown };
