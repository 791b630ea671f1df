#include "engine/add/CVDeflater.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <zlib.h>

#include "engine/add/CVBlockDeflate.h"

#include "engine/util/CVStrFunc.h"

namespace {

std::u16string ErrorText(int zlibError) {
    std::string text = "error " + std::to_string(zlibError);
    return std::u16string(text.begin(), text.end());
}

}  // namespace

ECompressionError::ECompressionError(int zlibError)
    : platform::Exception(ErrorText(zlibError)), FZlibError(zlibError) {}

size_t DeflateOutputBound(size_t n) {
    size_t bound = n + n / 10 + 12;
    return (bound + 255) / 256 * 256;
}

TCVDeflater::TCVDeflater(int Level, uint16_t Method) : FLevel(Level), FMethod(Method) {}

TCVDeflater::~TCVDeflater() = default;

bool TCVDeflater::Open() {
    FHistory.clear();
    return true;
}

void TCVDeflater::CompressChunk(const uint8_t* Input, size_t Count, bool Last) {
    FSkip = 0;
    if (!Deflating()) {
        FOutput.assign(Input, Input + Count);
        FLength = Count;
        return;
    }
    DeflateBlock(Input, Count, FHistory.data(), FHistory.size(), FLevel, Last, FOutput);
    FLength = FOutput.size();
    if (Last) return;
    // The next block may refer back into this one.
    if (Count >= DeflateWindowSize) {
        FHistory.assign(Input + Count - DeflateWindowSize, Input + Count);
    } else {
        FHistory.insert(FHistory.end(), Input, Input + Count);
        if (FHistory.size() > DeflateWindowSize)
            FHistory.erase(FHistory.begin(), FHistory.end() - DeflateWindowSize);
    }
}

int TCVDeflater::End() {
    FHistory.clear();
    return 0;
}

TCVDeflateResult DeflateItem(platform::Stream& Source, const TCVDeflateParams& Params) {
    TCVDeflateResult result;
    Source.SetPosition(0);
    result.SourceSize = Source.Size();
    const int64_t blockSize = BufferSizeForMode(Params.CompressionMode);
    std::vector<uint8_t> input(static_cast<size_t>(std::min<int64_t>(result.SourceSize, blockSize)));

    TCVDeflater deflater(Params.Level >= 0 ? Params.Level : Params.CompressionMode, Params.CompressionMethod);
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
