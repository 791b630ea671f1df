#include "engine/util/CVStrFunc.h"

namespace {

// Slicing by eight: Tables[k][b] is the register change caused by byte b followed by k zero bytes, so
// eight bytes are folded in with eight independent look-ups instead of a chain of eight. Tables[0] is
// the classic byte-wise table. The 8 KiB are computed once, on first use, rather than stored in the
// program: the stub carries this code in front of every archive.
struct CrcTables {
    uint32_t Table[8][256];
};

const CrcTables& Tables() {
    static CrcTables t;
    static const bool built = [] {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t.Table[0][b] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t b = 0; b < 256; ++b)
                t.Table[k][b] = t.Table[0][t.Table[k - 1][b] & 0xFF] ^ (t.Table[k - 1][b] >> 8);
        return true;
    }();
    (void)built;
    return t;
}

// Assembled from bytes, so neither alignment nor the host's byte order matters; compilers turn it
// into a single load where that is allowed.
inline uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t UpdateCrc32(uint32_t Crc, const void* Buffer, size_t Count) {
    const uint8_t* p = static_cast<const uint8_t*>(Buffer);
    const auto& T = Tables().Table;
    while (Count >= 8) {
        const uint32_t one = Load32(p) ^ Crc;
        const uint32_t two = Load32(p + 4);
        Crc = T[7][one & 0xFF] ^ T[6][one >> 8 & 0xFF] ^ T[5][one >> 16 & 0xFF] ^ T[4][one >> 24] ^
                T[3][two & 0xFF] ^ T[2][two >> 8 & 0xFF] ^ T[1][two >> 16 & 0xFF] ^ T[0][two >> 24];
        p += 8;
        Count -= 8;
    }
    while (Count-- > 0) Crc = T[0][(Crc ^ *p++) & 0xFF] ^ (Crc >> 8);
    return Crc;
}
