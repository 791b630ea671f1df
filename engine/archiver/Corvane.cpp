// TCorvane: the archiver set up for the ZIP format.
#include "engine/Corvane.h"

TCorvane::TCorvane(TComponent* AOwner) : TCVBaseArchiver(AOwner) {
    isZIPFormat = true;
    FZip64Mode = zmDisabled;
    // The base constructor chose its method before this class existed; ZIP names its own.
    UpdateCompressionMethod();
}

TCorvane::~TCorvane() = default;

void TCorvane::SetPassword(const std::string& Value) {
    FPassword = Value;
}

void TCorvane::UpdateCompressionMethod() {
    // Deflate for every level but "none", which stores.
    FCompressionMethod = FCompressionMode != 0 ? 8 : 0;
}

void SetUpFormArchiver(TCorvane& Archiver, bool UnicodeFilenames) {
    Archiver.SetName(u"Archiver");
    // Everything else keeps the defaults, among them OverwriteMode omAlways, CreateDirs,
    // ReplaceReadOnly, SetAttributes, Recurse and OpenCorruptedArchives.
    Archiver.SetExtractCorruptedFiles(false);
    Archiver.SetCompressionLevel(clMax);
    Archiver.SetCompressionMode(9);
    Archiver.SetSpanningMode(smNone);
    Archiver.SpanningOptions().SetAdvancedNaming(true);
    Archiver.SpanningOptions().SetFirstVolumeSize(0);
    Archiver.SpanningOptions().SetVolumeSize(vsAutoDetect);
    Archiver.SpanningOptions().SetCustomVolumeSize(65536);
    Archiver.Options().SetShareMode(smShareCompat);
    Archiver.Options().SetFlushBuffers(true);
    Archiver.Options().SetOEMFileNames(true);
    Archiver.SetInMemory(false);
    Archiver.SetZip64Mode(zmDisabled);
    Archiver.SetUnicodeFilenames(UnicodeFilenames);
    Archiver.SetEncryptionMethod(caPkzipClassic);
}
