#include "engine/add/CVBlockDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

// The faster library is used when the build found it and its header is on this compiler's path (a
// build against another C library's headers may not see it, and then keeps to zlib). A build that only
// reads archives (CV_INFLATE_ONLY, the stub's) links no compressor at all.
#if CV_INFLATE_ONLY
#define CV_LIBDEFLATE 0
#elif defined(CV_HAVE_LIBDEFLATE) && __has_include(<libdeflate.h>)
#define CV_LIBDEFLATE 1
#include <libdeflate.h>
#else
#define CV_LIBDEFLATE 0
#endif

#include "engine/add/CVDeflater.h"

// Per-thread state; a build without threads keeps one of each (its C library may not run destructors
// of thread-local objects).
#if CV_SINGLE_THREAD
#define CV_PER_THREAD static
#else
#define CV_PER_THREAD thread_local
#endif

namespace {

// An empty stored block as a sync flush leaves it: the 3 header bits (not final, stored) go into the
// bits left in the last byte or a new zero byte, then the aligned length 0 and its complement.
constexpr uint8_t StoredLength0[4] = {0x00, 0x00, 0xFF, 0xFF};

#if CV_LIBDEFLATE

// One compressor per thread, kept while the level stays the same: making one allocates its tables.
class TLibCompressor {
public:
    ~TLibCompressor() { Reset(); }
    libdeflate_compressor* For(int level) {
        if (!FCompressor || FLevel != level) {
            Reset();
            FCompressor = libdeflate_alloc_compressor(level);
            if (!FCompressor) throw ECompressionError(Z_MEM_ERROR);
            FLevel = level;
        }
        return FCompressor;
    }

private:
    void Reset() {
        if (FCompressor) libdeflate_free_compressor(FCompressor);
        FCompressor = nullptr;
    }
    libdeflate_compressor* FCompressor = nullptr;
    int FLevel = -1;
};

// The compressor always ends its data with a final block. To go on behind it, that block's final bit
// is cleared and an empty stored block brings the data to a byte boundary. Where the final block
// starts and where its end-of-block code ends are found by inflating the data once, stopping at every
// block boundary; this also proves the block inflates to what went in.
void MakeJoinable(std::vector<uint8_t>& out, size_t compressed, const uint8_t* input, size_t count) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) throw ECompressionError(Z_MEM_ERROR);
    struct Closer {
        z_stream& z;
        ~Closer() { inflateEnd(&z); }
    } closer{zs};
    CV_PER_THREAD std::vector<uint8_t> scratch;
    scratch.resize(std::max<size_t>(count, 1));
    zs.next_in = out.data();
    zs.avail_in = static_cast<uInt>(compressed);
    zs.next_out = scratch.data();
    zs.avail_out = static_cast<uInt>(scratch.size());
    size_t finalHeaderBit = 0;
    size_t endBit = 0;
    for (;;) {
        const int rc = inflate(&zs, Z_BLOCK);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK) throw ECompressionError(rc < 0 ? rc : Z_DATA_ERROR);
        // Stopped right behind a block's end-of-block code: behind a block that was not the final one,
        // the next header starts here; behind the final one, the data ends here (the inflater drops
        // the rest of that byte before it reports the end).
        if (zs.data_type & 128) {
            const size_t bit = size_t(zs.total_in) * 8 - size_t(zs.data_type & 7);
            if (zs.data_type & 64) endBit = bit;
            else finalHeaderBit = bit;
        }
    }
    if (zs.total_out != count || std::memcmp(scratch.data(), input, count) != 0 || zs.total_in != compressed ||
        endBit == 0)
        throw ECompressionError(Z_DATA_ERROR);

    out[finalHeaderBit / 8] &= static_cast<uint8_t>(~(1u << (finalHeaderBit % 8)));
    size_t length = (endBit + 7) / 8;
    const unsigned used = endBit % 8;
    if (used != 0) out[length - 1] &= static_cast<uint8_t>((1u << used) - 1);   // padding to zeros
    // The stored block's 3 header bits fit behind the end-of-block code when that many are left.
    if (used == 0 || used > 5) out[length++] = 0;
    std::memcpy(out.data() + length, StoredLength0, sizeof StoredLength0);
    out.resize(length + sizeof StoredLength0);
}

void LibDeflateBlock(const uint8_t* input, size_t count, int level, bool last, std::vector<uint8_t>& out) {
    CV_PER_THREAD TLibCompressor compressor;
    libdeflate_compressor* c = compressor.For(std::clamp(level, 0, 12));
    // Room for the data, plus a byte and the stored block that may follow it.
    out.resize(libdeflate_deflate_compress_bound(c, count) + 1 + sizeof StoredLength0);
    const size_t made = libdeflate_deflate_compress(c, input, count, out.data(), out.size());
    if (made == 0) throw ECompressionError(Z_BUF_ERROR);
    if (last) {
        out.resize(made);
        return;
    }
    MakeJoinable(out, made, input, count);
}

#endif

// zlib: a raw deflate stream per block, primed with the dictionary, ended by a sync flush or a finish.
class TZlibCompressor {
public:
    ~TZlibCompressor() { Reset(); }
    z_stream& For(int level) {
        if (FOpen && FLevel == level) {
            if (deflateReset(&FStream) != Z_OK) throw ECompressionError(Z_STREAM_ERROR);
            return FStream;
        }
        Reset();
        FStream = z_stream{};
        const int rc = deflateInit2(&FStream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK) throw ECompressionError(rc);
        FOpen = true;
        FLevel = level;
        return FStream;
    }

private:
    void Reset() {
        if (FOpen) deflateEnd(&FStream);
        FOpen = false;
    }
    z_stream FStream{};
    bool FOpen = false;
    int FLevel = -1;
};

[[maybe_unused]] void ZlibDeflateBlock(const uint8_t* input, size_t count, const uint8_t* dictionary, size_t dictionaryLength,
                      int level, bool last, std::vector<uint8_t>& out) {
    CV_PER_THREAD TZlibCompressor compressor;
    z_stream& z = compressor.For(std::clamp(level, 0, 9));
    if (dictionaryLength > 0) {
        const int rc = deflateSetDictionary(&z, dictionary, static_cast<uInt>(dictionaryLength));
        if (rc != Z_OK) throw ECompressionError(rc);
    }
    out.resize(DeflateOutputBound(count));
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = static_cast<uInt>(count);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = 0;
    for (;;) {
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(out.size() - produced);
        const int rc = deflate(&z, flush);
        if (rc < 0 && rc != Z_BUF_ERROR) throw ECompressionError(rc);
        produced = out.size() - z.avail_out;
        const bool done = last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0);
        if (done) break;
        if (rc == Z_BUF_ERROR && z.avail_out != 0) throw ECompressionError(rc);
        // The bound is meant to hold every block; should zlib still want room, give it more.
        out.resize(out.size() + DeflateOutputBound(count));
    }
    out.resize(produced);
}

}  // namespace

int BestDeflateLevel() { return std::min(MaxDeflateLevel(), 10); }

int MaxDeflateLevel() {
#if CV_LIBDEFLATE
    return 12;
#else
    return 9;
#endif
}

void DeflateBlock(const uint8_t* Input, size_t Count, const uint8_t* Dictionary, size_t DictionaryLength,
                  int Level, bool Last, std::vector<uint8_t>& Output) {
    // Only the last window of the data in front can be referred to.
    if (DictionaryLength > DeflateWindowSize) {
        Dictionary += DictionaryLength - DeflateWindowSize;
        DictionaryLength = DeflateWindowSize;
    }
#if CV_INFLATE_ONLY
    // As a compressor that cannot be opened: the entry being written fails.
    (void)Input, (void)Count, (void)Dictionary, (void)Level, (void)Last, (void)Output;
    throw ECompressionError(Z_MEM_ERROR);
#elif CV_LIBDEFLATE
    // The whole-buffer compressor takes no dictionary: a block only loses the matches into the data
    // in front of it.
    (void)Dictionary;
    LibDeflateBlock(Input, Count, Level, Last, Output);
#else
    ZlibDeflateBlock(Input, Count, Dictionary, Dictionary ? DictionaryLength : 0, Level, Last, Output);
#endif
}
