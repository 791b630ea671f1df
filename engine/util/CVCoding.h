// Little-endian fixed-width integers in byte buffers. Every on-disk record is read and written through
// these, one field at a time, so no record depends on struct packing or on the host's byte order.
#pragma once

#include <cstdint>
#include <vector>

inline void EncodeFixed16(uint8_t* dst, uint16_t value) {
    dst[0] = static_cast<uint8_t>(value);
    dst[1] = static_cast<uint8_t>(value >> 8);
}

inline void EncodeFixed32(uint8_t* dst, uint32_t value) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void EncodeFixed64(uint8_t* dst, uint64_t value) {
    for (int i = 0; i < 8; ++i) dst[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t DecodeFixed16(const uint8_t* src) {
    return static_cast<uint16_t>(src[0] | (src[1] << 8));
}

inline uint32_t DecodeFixed32(const uint8_t* src) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | src[i];
    return value;
}

inline uint64_t DecodeFixed64(const uint8_t* src) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | src[i];
    return value;
}

// Appending forms, for building variable-length areas such as extra fields.
inline void PutFixed16(std::vector<uint8_t>& dst, uint16_t value) {
    uint8_t buf[2];
    EncodeFixed16(buf, value);
    dst.insert(dst.end(), buf, buf + 2);
}

inline void PutFixed32(std::vector<uint8_t>& dst, uint32_t value) {
    uint8_t buf[4];
    EncodeFixed32(buf, value);
    dst.insert(dst.end(), buf, buf + 4);
}

inline void PutFixed64(std::vector<uint8_t>& dst, uint64_t value) {
    uint8_t buf[8];
    EncodeFixed64(buf, value);
    dst.insert(dst.end(), buf, buf + 8);
}
