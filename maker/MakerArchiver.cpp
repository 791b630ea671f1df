#include "maker/MakerArchiver.h"

namespace maker {

TMakerArchiver::TMakerArchiver() {
    SetName(u"Archiver");
    // The values the maker's form stores for its archiver; everything else keeps the defaults.
    SetExtractCorruptedFiles(false);
    SetCompressionLevel(clMax);
    SetCompressionMode(9);
    SetSpanningMode(smNone);
    SpanningOptions().SetAdvancedNaming(true);
    SpanningOptions().SetFirstVolumeSize(0);
    SpanningOptions().SetVolumeSize(vsAutoDetect);
    SpanningOptions().SetCustomVolumeSize(65536);
    Options().SetShareMode(smShareCompat);
    Options().SetFlushBuffers(true);
    Options().SetOEMFileNames(true);
    SetInMemory(false);
    SetZip64Mode(zmDisabled);
    SetUnicodeFilenames(false);
    SetEncryptionMethod(caPkzipClassic);
}

void TMakerArchiver::DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                                          int32_t NativeError, int32_t ErrorCode,
                                          const std::u16string& ErrorMessage, TCVAction& Action) {
    TCorvane::DoProcessFileFailure(FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
    if (Action == fxaAbort) FAbortAnswered = true;
}

}  // namespace maker
