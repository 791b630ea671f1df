// zlib as the reference the engine's own compression and checksums are measured against.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

// Raw deflate (no zlib wrapper), as ZIP entries hold it. Throws std::runtime_error when zlib fails.
std::string RawDeflate(const std::string& data, int level = 6);
// The CRC-32 an entry of these bytes carries.
uint32_t Crc(const std::string& data);

}  // namespace testing_support
