// The data part of storing one entry: read a source stream block by block, keep its CRC-32, and turn
// it into the entry's data (raw deflate, or the bytes unchanged for a stored entry), handing each
// block's output to a sink as soon as it is made.
//
// Nothing here knows about archives, headers or the archiver: the sink decides where the bytes go. The
// writer sends them straight into the archive; a caller that compresses several entries at once can
// collect each entry's blocks in memory and write them out later in directory order.
//
// Block structure. The source is cut into input blocks of BufferSizeForMode(mode) bytes. Each block is
// compressed on its own (DeflateBlock), with the 32 KiB in front of it as its dictionary: every block
// but the last ends on a byte boundary with the empty stored block 00 00 FF FF, and the last ends the
// stream. The entry's data is raw deflate, with no zlib header or trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

// zlib reported an error outside a block (closing the stream); the message is "error " and the number.
class ECompressionError : public platform::Exception {
public:
    explicit ECompressionError(int zlibError);
    int ZlibError() const noexcept { return FZlibError; }

private:
    int FZlibError;
};

// Output space for one deflate call on an input block of n bytes: n + n div 10 + 12, rounded up to a
// multiple of 256, enough for any block zlib makes of it.
size_t DeflateOutputBound(size_t n);

// One deflate stream for one entry. Blocks must be fed in order, the last one with Last set.
class TCVDeflater {
public:
    // Level 0..MaxDeflateLevel(); Method 8 deflates, any other value copies the input unchanged.
    TCVDeflater(int Level, uint16_t Method);
    ~TCVDeflater();
    TCVDeflater(const TCVDeflater&) = delete;
    TCVDeflater& operator=(const TCVDeflater&) = delete;

    // Starts an entry. True: the compressor keeps no state that could be refused.
    bool Open();
    // Compresses one input block. The entry's bytes for it are Output()[Skip() .. Skip() + Length()).
    // Throws ECompressionError when zlib fails; the stream is then unusable.
    void CompressChunk(const uint8_t* Input, size_t Count, bool Last);
    // Ends the entry; returns 0 (kept for callers that check a close result).
    int End();

    const uint8_t* Output() const noexcept { return FOutput.data(); }
    size_t Skip() const noexcept { return FSkip; }
    size_t Length() const noexcept { return FLength; }
    bool Deflating() const noexcept { return FMethod == 8; }

private:
    int FLevel;
    uint16_t FMethod;
    std::vector<uint8_t> FHistory;   // the last window of input, the next block's dictionary
    std::vector<uint8_t> FOutput;
    size_t FSkip = 0;
    size_t FLength = 0;
};

// What the caller of DeflateItem supplies.
struct TCVDeflateParams {
    uint8_t CompressionMode = 0;   // the deflate level and, through BufferSizeForMode, the input block size
    int Level = -1;                // a deflate level other than the mode's (the strongest, say); -1: the mode
    uint16_t CompressionMethod = 8;
    // Called before each block with the bytes consumed so far; false cancels the item.
    std::function<bool(int64_t BytesRead, int64_t SourceSize)> BeforeBlock;
    // Receives the entry's bytes of each block; false cancels the item (that block counts as unread).
    std::function<bool(const uint8_t* Data, size_t Count)> Sink;
};

// What came of it. Complete is true only when the whole source was read, compressed and delivered;
// the caller compares BytesRead with the source's size taken again afterwards to catch a source that
// changed size while it was read.
struct TCVDeflateResult {
    int64_t SourceSize = 0;       // the source's size when reading began
    int64_t BytesRead = 0;        // source bytes compressed and delivered
    int64_t CompressedSize = 0;   // bytes handed to the sink
    uint32_t Crc32 = 0;           // CRC-32 of the bytes read (already complemented)
    bool Cancelled = false;       // BeforeBlock or Sink said stop
    bool Complete = false;
};

// Reads Source from its first byte up to the size it had when called, block by block. A short read, a zlib failure or a cancel ends the loop early and leaves
// Complete false; exceptions of the sink (a full disk) pass through, with the zlib stream released.
// Throws ECompressionError only when zlib fails to close a stream that took the whole source.
TCVDeflateResult DeflateItem(platform::Stream& Source, const TCVDeflateParams& Params);
