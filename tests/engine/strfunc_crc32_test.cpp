#include "engine/util/CVStrFunc.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The byte-wise definition with its own table, built independently of the engine's.
uint32_t ReferenceCrc(uint32_t crc, const uint8_t* p, size_t n) {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0);
            t[b] = c;
        }
        return t;
    }();
    for (size_t k = 0; k < n; ++k) crc = table[(crc ^ p[k]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t Crc(const std::string& s) { return ~UpdateCrc32(0xFFFFFFFFu, s.data(), s.size()); }

TEST(StrFuncCrc32, CheckValues) {
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc("abc"), 0x352441C2u);
    EXPECT_EQ(Crc(""), 0u);
    EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);

    // With a zero register one byte gives its table entry.
    const uint8_t one = 1, last = 255;
    EXPECT_EQ(UpdateCrc32(0, &one, 1), 0x77073096u);
    EXPECT_EQ(UpdateCrc32(0, &last, 1), 0x2D02EF8Du);

    EXPECT_EQ(UpdateCrc32(0x12345678u, nullptr, 0), 0x12345678u);
}

TEST(StrFuncCrc32, PiecesGiveTheSameRegisterAsOneCall) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : std::string("abc")) crc = UpdateCrc32(crc, &c, 1);
    EXPECT_EQ(~crc, 0x352441C2u);
}

TEST(StrFuncCrc32, MatchesTheByteWiseDefinitionAtAnyLengthAndAlignment) {
    std::mt19937 random(5101);
    std::vector<uint8_t> data(20000);
    for (auto& b : data) b = static_cast<uint8_t>(random());

    for (int round = 0; round < 2000; ++round) {
        const size_t offset = random() % 16;
        const size_t length = round < 64 ? round : random() % (data.size() - offset);
        const uint32_t start = random();
        ASSERT_EQ(UpdateCrc32(start, data.data() + offset, length), ReferenceCrc(start, data.data() + offset, length))
            << "offset " << offset << " length " << length;

        const size_t cut = length ? random() % length : 0;
        const uint32_t first = UpdateCrc32(start, data.data() + offset, cut);
        ASSERT_EQ(UpdateCrc32(first, data.data() + offset + cut, length - cut),
                  ReferenceCrc(start, data.data() + offset, length));
    }
}

}  // namespace
