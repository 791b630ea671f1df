// The stub only reads archives, so its link leaves zlib's compressor out (about a sixth of the stub).
// The engine's writing path is still compiled in, but a compressor can never be opened: it fails as
// zlib does without memory, and the engine reports the entry it was writing as failed.
#include <zlib.h>

#include "engine/util/CVStrFunc.h"

extern "C" {

int deflateInit_(z_streamp, int, const char*, int) { return Z_MEM_ERROR; }
int deflate(z_streamp, int) { return Z_STREAM_ERROR; }
int deflateEnd(z_streamp) { return Z_STREAM_ERROR; }

// zlib checks inflated data with CRC-32 only in gzip streams, which the engine never reads (entries are
// inflated behind a zlib header, checked with Adler-32). The engine's own routine stands in for zlib's
// tables, with zlib's convention: the value before and after is complemented, and no buffer gives 0.
uLong crc32(uLong crc, const Bytef* buf, uInt len) {
    if (!buf) return 0;
    return ~UpdateCrc32(~static_cast<uint32_t>(crc), buf, len);
}

}  // extern "C"
