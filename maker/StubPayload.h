// The stub program the maker carries: its executable's bytes, built into the maker.
#pragma once

#include <cstdint>
#include <span>

#include "maker/StubFile.h"

namespace maker {

// The stub executable's bytes (the payload holds a 32-bit little-endian count, then the bytes).
std::span<const uint8_t> StubPayload();

// The maker's own stub: the temporary stub file with the payload as its content.
TStubFile MakerStub();

}  // namespace maker
