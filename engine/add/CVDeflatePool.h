// Compressing the files of a commit ahead of the writer, on every core.
//
// The commit knows all the files it will store before it writes the first one. The pool takes that
// list in directory order and cuts each file into its input blocks; worker threads read and compress
// the blocks in that order, each block on its own (DeflateBlock, with the 32 KiB in front of it as
// dictionary), while the writer takes them back in the same order and puts them into the archive.
// Blocks done but not yet taken are held in memory up to a budget; past it the workers wait for the
// writer, so memory stays bounded whatever the files' sizes.
//
// The writer stays the only one that touches the archive and raises events: taking an entry's data
// from the pool gives the same blocks, progress calls, CRC-32 and sizes as DeflateItem on the source.
// An entry the pool cannot vouch for (not planned, its source changed size since it was planned, or
// asked for again after the pool moved on) is compressed by the writer itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/add/CVDeflater.h"

class TCVDeflatePool {
public:
    struct TEntry {
        std::u16string Path;     // the source file
        int64_t Size = 0;        // its size when planned
        uint8_t Mode = 0;        // the compression mode (block size)
        int Level = 0;           // the deflate level
        uint16_t Method = 8;     // 8 deflates, anything else copies
    };

    // Threads: the number of workers (0: none, the writer compresses everything itself). Budget: bytes
    // of blocks held at once.
    TCVDeflatePool(std::vector<TEntry> Entries, unsigned Threads, size_t Budget);
    // Stops the workers; blocks not taken are dropped.
    ~TCVDeflatePool();
    TCVDeflatePool(const TCVDeflatePool&) = delete;
    TCVDeflatePool& operator=(const TCVDeflatePool&) = delete;

    // The writer's side: the entry for Path at or after the entries taken so far, whose source now has
    // SizeNow bytes, delivered as DeflateItem would deliver it (Params' level, mode and method are the
    // planned ones). Entries passed over are dropped. False when the pool has no such entry: the
    // caller compresses the source itself.
    bool Deliver(const std::u16string& Path, int64_t SizeNow, const TCVDeflateParams& Params,
                 TCVDeflateResult& Result);

    // The number of workers worth starting here: one per core, none in a build without threads
    // (CV_SINGLE_THREAD, the stub's, which never writes archives).
    static unsigned DefaultThreads();

private:
    struct TBlock {
        size_t Entry = 0;
        int64_t Offset = 0;
        size_t Length = 0;
        bool Last = false;
        // Filled by a worker:
        bool Done = false;
        bool Failed = false;   // short read or compressor failure
        uint32_t Crc = 0;      // CRC-32 of the block alone (complemented)
        std::vector<uint8_t> Output;
    };

    void Work();
    void Compress(TBlock& block, std::vector<uint8_t>& input);
    void DropBefore(size_t block);
    size_t Weight(const TBlock& block) const { return block.Length * 2 + 65536; }

    std::vector<TEntry> FEntries;
    std::vector<size_t> FFirstBlock;   // per entry, the index of its first block (one more entry: the end)
    std::deque<TBlock> FBlocks;        // blocks from FBase on; taken ones are popped from the front
    size_t FBase = 0;                  // the index of FBlocks.front()
    size_t FNextEntry = 0;             // entries before this one are taken or dropped

    std::mutex FLock;
    std::condition_variable FWorkReady;   // workers: a block may be started
    std::condition_variable FBlockDone;   // writer: a block is done
    size_t FNextBlock = 0;                // the next block a worker starts
    size_t FHeld = 0;                     // weight of blocks started and not taken
    size_t FBudget;
    bool FStop = false;
    std::vector<std::thread> FWorkers;
};
