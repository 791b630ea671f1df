// One input block to raw deflate data that can be joined to the blocks around it.
//
// Every block is compressed on its own, so blocks of one entry can be made on different threads and
// joined afterwards in order. A block that is not the last ends on a byte boundary with an empty
// stored block (00 00 FF FF), and its deflate blocks do not claim to be the final one; the last block
// ends the stream. The bytes of a block may depend on the up to 32 KiB that precede it (its
// dictionary); a compressor that cannot use a dictionary ignores it, which costs a little size only.
//
// Two compressors can stand behind it: a fast whole-buffer one when the build found it
// (CV_HAVE_LIBDEFLATE), and zlib otherwise. Both make standard deflate data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The window of deflate: no block can refer further back than this.
constexpr size_t DeflateWindowSize = 32768;

// The strongest level the linked compressor offers (levels above 9 are slower and smaller).
int MaxDeflateLevel();
// The level of the best-compression setting: the first of the strong levels past 9 when there are
// any. The ones above it cost much more time for little size (a few hundredths of a percent).
int BestDeflateLevel();

// Compresses Input[0 .. Count) at Level (0 stores in deflate blocks, 1 fastest .. MaxDeflateLevel())
// into Output, replacing what it held. Dictionary (DictionaryLength bytes, at most the window) is the
// data just in front of the block. Throws ECompressionError when the compressor fails.
void DeflateBlock(const uint8_t* Input, size_t Count, const uint8_t* Dictionary, size_t DictionaryLength,
                  int Level, bool Last, std::vector<uint8_t>& Output);
