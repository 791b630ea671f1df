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
