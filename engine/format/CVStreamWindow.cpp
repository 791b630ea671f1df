#include "engine/format/CVStreamWindow.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

TCVStreamWindow::TCVStreamWindow(platform::Stream& Stream, size_t BlockSize)
    : FStream(Stream), FSize(Stream.Size()), FBlockSize(std::max<size_t>(BlockSize, 4)) {}

const uint8_t* TCVStreamWindow::At(int64_t Pos, size_t Count) {
    if (Pos < 0 || Pos > FSize || static_cast<uint64_t>(FSize - Pos) < Count) return nullptr;
    const auto end = FStart + static_cast<int64_t>(FBuffer.size());
    if (Pos < FStart || Pos + static_cast<int64_t>(Count) > end) {
        const auto length = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(std::max(FBlockSize, Count)), FSize - Pos));
        FBuffer.resize(length);
        FStart = Pos;
        FStream.SetPosition(Pos);
        if (length > 0) FStream.ReadBuffer(FBuffer.data(), length);
    }
    return FBuffer.data() + (Pos - FStart);
}

int64_t TCVStreamWindow::Find(int64_t Pos, uint32_t Signature) {
    const uint8_t sig[4] = {static_cast<uint8_t>(Signature), static_cast<uint8_t>(Signature >> 8),
                            static_cast<uint8_t>(Signature >> 16), static_cast<uint8_t>(Signature >> 24)};
    if (Pos < 0) Pos = 0;
    while (Pos <= FSize - 4) {
        // Use what the window already holds from Pos on, or load a block there; a block always ends
        // at least 3 bytes after the last start it examines, so no occurrence straddles unseen.
        const int64_t end = FStart + static_cast<int64_t>(FBuffer.size());
        if (Pos < FStart || end - Pos < 4) At(Pos, 4);
        const uint8_t* base = FBuffer.data() + (Pos - FStart);
        const auto available = static_cast<size_t>(FStart + static_cast<int64_t>(FBuffer.size()) - Pos);
        const size_t starts = available - 3;
        const uint8_t* p = base;
        const uint8_t* last = base + starts;
        while (p < last) {
            p = static_cast<const uint8_t*>(std::memchr(p, sig[0], static_cast<size_t>(last - p)));
            if (!p) break;
            if (p[1] == sig[1] && p[2] == sig[2] && p[3] == sig[3]) return Pos + (p - base);
            ++p;
        }
        Pos += static_cast<int64_t>(starts);
    }
    return -1;
}
