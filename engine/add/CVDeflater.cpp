#include "engine/add/CVDeflater.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <zlib.h>

#include "engine/util/CVStrFunc.h"

namespace {

// The zlib stream header is two bytes when no preset dictionary is used, which is always the case
// here; the trailer is the 4-byte Adler-32 of the data.
constexpr size_t ZlibHeaderSize = 2;
constexpr size_t ZlibTrailerSize = 4;

std::u16string ErrorText(int zlibError) {
    std::string text = "error " + std::to_string(zlibError);
    return std::u16string(text.begin(), text.end());
}

// Reads until Count bytes have arrived or the source has nothing more to give: a stream may hand
// over less than asked in one call without being at its end.
}  // namespace

ECompressionError::ECompressionError(int zlibError)
    : platform::Exception(ErrorText(zlibError)), FZlibError(zlibError) {}

size_t DeflateOutputBound(size_t n) {
    size_t bound = n + n / 10 + 12;
    return (bound + 255) / 256 * 256;
}

struct TCVDeflater::ZStream {
    z_stream z{};
};

TCVDeflater::TCVDeflater(int Level, uint16_t Method) : FLevel(Level), FMethod(Method) {}

TCVDeflater::~TCVDeflater() { End(); }

bool TCVDeflater::Open() {
    if (!Deflating()) return true;
    if (FStream) return true;
    auto* stream = new ZStream;
    // The version string is the library's own, so zlib checks its header against what is linked.
    if (deflateInit_(&stream->z, FLevel, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK) {
        delete stream;
        return false;
    }
    FStream = stream;
    FFirstBlock = true;
    return true;
}

void TCVDeflater::CompressChunk(const uint8_t* Input, size_t Count, bool Last) {
    FSkip = 0;
    if (!Deflating()) {
        FOutput.assign(Input, Input + Count);
        FLength = Count;
        return;
    }
    if (!FStream) throw ECompressionError(Z_STREAM_ERROR);
    z_stream& z = FStream->z;
    FOutput.resize(DeflateOutputBound(Count));
    z.next_in = const_cast<Bytef*>(Input);
    z.avail_in = static_cast<uInt>(Count);
    const uLong totalBefore = z.total_out;
    size_t produced = 0;
    const int flush = Last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z.next_out = FOutput.data() + produced;
        z.avail_out = static_cast<uInt>(FOutput.size() - produced);
        int rc = deflate(&z, flush);
        if (rc < 0 && rc != Z_BUF_ERROR) throw ECompressionError(rc);
        produced = FOutput.size() - z.avail_out;
        // The bound is meant to hold every block; should zlib still want room, give it more rather
        // than cut the block short.
        const bool done = Last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0);
        if (done) break;
        if (rc == Z_BUF_ERROR && z.avail_out != 0) throw ECompressionError(rc);
        FOutput.resize(FOutput.size() + DeflateOutputBound(Count));
    }
    FLength = static_cast<size_t>(z.total_out - totalBefore);
    if (FFirstBlock) {
        FSkip = std::min(FLength, ZlibHeaderSize);
        FLength -= FSkip;
        FFirstBlock = false;
    }
    if (Last) FLength -= std::min(FLength, ZlibTrailerSize);
}

int TCVDeflater::End() {
    if (!FStream) return Z_OK;
    int rc = deflateEnd(&FStream->z);
    delete FStream;
    FStream = nullptr;
    return rc;
}

TCVDeflateResult DeflateItem(platform::Stream& Source, const TCVDeflateParams& Params) {
    TCVDeflateResult result;
    Source.SetPosition(0);
    result.SourceSize = Source.Size();
    const int64_t blockSize = BufferSizeForMode(Params.CompressionMode);
    std::vector<uint8_t> input(static_cast<size_t>(std::min<int64_t>(result.SourceSize, blockSize)));

    TCVDeflater deflater(Params.CompressionMode, Params.CompressionMethod);
    uint32_t crc = 0xFFFFFFFF;
    // A stream that cannot be opened consumes nothing, so the item fails on its size check.
    bool ok = deflater.Open();
    while (ok && result.BytesRead < result.SourceSize) {
        if (Params.BeforeBlock && !Params.BeforeBlock(result.BytesRead, result.SourceSize)) {
            result.Cancelled = true;
            break;
        }
        const size_t n = static_cast<size_t>(std::min<int64_t>(blockSize, result.SourceSize - result.BytesRead));
        if (Source.ReadFully(input.data(), n) < n) break;
        crc = UpdateCrc32(crc, input.data(), n);
        const bool last = result.BytesRead + static_cast<int64_t>(n) >= result.SourceSize;
        try {
            deflater.CompressChunk(input.data(), n, last);
        } catch (const ECompressionError&) {
            // A block zlib cannot make leaves the item short; it fails on its size, not here.
            break;
        }
        if (Params.Sink && deflater.Length() > 0 &&
            !Params.Sink(deflater.Output() + deflater.Skip(), deflater.Length())) {
            result.Cancelled = true;
            break;
        }
        result.BytesRead += static_cast<int64_t>(n);
        result.CompressedSize += static_cast<int64_t>(deflater.Length());
    }
    result.Crc32 = ~crc;
    // An empty source is complete even when zlib would not open: it has no data to make.
    result.Complete = !result.Cancelled && result.BytesRead == result.SourceSize;
    int rc = deflater.End();
    if (result.Complete && rc < 0) throw ECompressionError(rc);
    return result;
}
