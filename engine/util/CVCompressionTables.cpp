#include "engine/util/CVStrFunc.h"

int ModeForLevel(TCVCompressionLevel Level) {
    switch (Level) {
    case clNone: return 0;
    case clFastest: return 1;
    case clNormal: return 6;
    case clMax: return 9;
    }
    return 0;
}

TCVCompressionLevel LevelForMode(int Mode) {
    if (Mode >= 1 && Mode <= 3) return clFastest;
    if (Mode >= 4 && Mode <= 6) return clNormal;
    if (Mode >= 7 && Mode <= 9) return clMax;
    return clNone;
}

// Higher levels get larger blocks: the compressor sees more of the file per call, while the fast
// levels keep their memory small. Mode 0 and unknown modes take the middle size.
uint32_t BufferSizeForMode(int Mode) {
    if (Mode >= 1 && Mode <= 3) return 0x80000;
    if (Mode >= 7 && Mode <= 9) return 0x180000;
    return 0x100000;
}

// The header zlib itself would write for the level, so that a stream whose own header was cut off can
// be handed back to the inflater. An unknown mode gives two zero bytes, which no inflater accepts.
std::array<uint8_t, 2> ZlibHeaderForMode(int Mode) {
    switch (Mode) {
    case 0: case 7: case 8: case 9: return {0x78, 0xDA};
    case 1: case 2: return {0x78, 0x01};
    case 3: case 4: return {0x78, 0x5E};
    case 5: case 6: return {0x78, 0x9C};
    default: return {0x00, 0x00};
    }
}
