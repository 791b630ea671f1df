// TCVStreamWindow: reads a stream through one buffer that slides forward, for the loader's scans.
// Every byte of the stream is fetched about once however many positions the scan examines, so a file
// full of signature bytes costs no more to scan than any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {
class Stream;
}

class TCVStreamWindow {
public:
    // The stream must not change size while the window is in use.
    TCVStreamWindow(platform::Stream& Stream, size_t BlockSize = 65536);

    int64_t StreamSize() const noexcept { return FSize; }
    // The `Count` bytes at `Pos`, valid until the next call; null when the stream holds fewer.
    const uint8_t* At(int64_t Pos, size_t Count);
    // The first position at or after `Pos` where the 4 bytes of `Signature` (little-endian) begin;
    // -1 when there is none.
    int64_t Find(int64_t Pos, uint32_t Signature);

private:
    platform::Stream& FStream;
    int64_t FSize;
    size_t FBlockSize;
    std::vector<uint8_t> FBuffer;
    int64_t FStart = 0;   // stream position of FBuffer[0]
};
