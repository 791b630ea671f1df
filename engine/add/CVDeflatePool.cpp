#include "engine/add/CVDeflatePool.h"

#include <algorithm>

#include "engine/add/CVBlockDeflate.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The CRC-32 of two pieces joined, from the CRC-32 of each and the second one's length: the first
// CRC is run through len2 zero bytes (by squaring the operator of one zero bit) and the second added.
uint32_t Gf2Times(const uint32_t* matrix, uint32_t vector) {
    uint32_t sum = 0;
    for (; vector; vector >>= 1, ++matrix)
        if (vector & 1) sum ^= *matrix;
    return sum;
}

void Gf2Square(uint32_t* square, const uint32_t* matrix) {
    for (int n = 0; n < 32; ++n) square[n] = Gf2Times(matrix, matrix[n]);
}

uint32_t CombineCrc32(uint32_t crc1, uint32_t crc2, int64_t len2) {
    if (len2 <= 0) return crc1;
    uint32_t even[32], odd[32];
    odd[0] = 0xEDB88320u;   // one zero bit
    for (int n = 1; n < 32; ++n) odd[n] = 1u << (n - 1);
    Gf2Square(even, odd);   // two zero bits
    Gf2Square(odd, even);   // four
    do {
        Gf2Square(even, odd);
        if (len2 & 1) crc1 = Gf2Times(even, crc1);
        len2 >>= 1;
        if (len2 == 0) break;
        Gf2Square(odd, even);
        if (len2 & 1) crc1 = Gf2Times(odd, crc1);
        len2 >>= 1;
    } while (len2 != 0);
    return crc1 ^ crc2;
}

}  // namespace

TCVDeflatePool::TCVDeflatePool(std::vector<TEntry> Entries, unsigned Threads, size_t Budget)
    : FEntries(std::move(Entries)), FBudget(Budget) {
    FFirstBlock.reserve(FEntries.size() + 1);
    for (size_t e = 0; e < FEntries.size(); ++e) {
        FFirstBlock.push_back(FBlocks.size());
        const TEntry& entry = FEntries[e];
        const int64_t blockSize = BufferSizeForMode(entry.Mode);
        for (int64_t offset = 0; offset < entry.Size; offset += blockSize) {
            TBlock block;
            block.Entry = e;
            block.Offset = offset;
            block.Length = static_cast<size_t>(std::min(blockSize, entry.Size - offset));
            block.Last = offset + blockSize >= entry.Size;
            FBlocks.push_back(std::move(block));
        }
    }
    FFirstBlock.push_back(FBlocks.size());
    if (FBlocks.empty()) return;
    if (Threads == 0) {
        FBlocks.clear();
        FFirstBlock.assign(FEntries.size() + 1, 0);
        return;
    }
    try {
        for (unsigned t = 0; t < Threads; ++t) FWorkers.emplace_back([this] { Work(); });
    } catch (...) {
        // Fewer workers than asked for still do the work; none at all leaves it to the writer.
        if (FWorkers.empty()) FBlocks.clear(), FFirstBlock.assign(FEntries.size() + 1, 0);
    }
}

TCVDeflatePool::~TCVDeflatePool() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FWorkReady.notify_all();
    for (std::thread& worker : FWorkers) worker.join();
}

unsigned TCVDeflatePool::DefaultThreads() {
#if CV_SINGLE_THREAD
    return 0;
#else
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : std::min(cores, 64u);
#endif
}

void TCVDeflatePool::Work() {
    std::vector<uint8_t> input;
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FWorkReady.wait(lock, [this] {
            if (FStop) return true;
            if (FNextBlock >= FBase + FBlocks.size()) return false;
            // Always let the oldest block start, however large, so the writer is never left waiting
            // on a budget that other blocks hold.
            return FHeld == 0 || FHeld + Weight(FBlocks[FNextBlock - FBase]) <= FBudget;
        });
        if (FStop) return;
        TBlock& block = FBlocks[FNextBlock - FBase];
        ++FNextBlock;
        FHeld += Weight(block);
        lock.unlock();
        Compress(block, input);
        lock.lock();
        block.Done = true;
        FBlockDone.notify_all();
    }
}

void TCVDeflatePool::Compress(TBlock& block, std::vector<uint8_t>& input) {
    const TEntry& entry = FEntries[block.Entry];
    try {
        // The dictionary is read along with the block: the window of the file in front of it.
        const size_t dictionary = static_cast<size_t>(std::min<int64_t>(block.Offset, DeflateWindowSize));
        const size_t want = dictionary + block.Length;
        input.resize(want);
        platform::FileStream file(entry.Path, platform::fmOpenRead | platform::fmShareDenyNone);
        file.SetPosition(block.Offset - static_cast<int64_t>(dictionary));
        if (file.ReadFully(input.data(), want) < want) {
            block.Failed = true;
            return;
        }
        const uint8_t* data = input.data() + dictionary;
        block.Crc = ~UpdateCrc32(0xFFFFFFFF, data, block.Length);
        if (entry.Method == 8)
            DeflateBlock(data, block.Length, input.data(), dictionary, entry.Level, block.Last, block.Output);
        else
            block.Output.assign(data, data + block.Length);
    } catch (...) {
        // The writer reports the entry as not read in full; nothing escapes a worker.
        block.Failed = true;
        block.Output.clear();
        block.Output.shrink_to_fit();
    }
}

// Drops every block in front of Block: taken, passed over or never started. Blocks a worker is still
// making are waited for, so no worker is left writing into a dropped one.
void TCVDeflatePool::DropBefore(size_t Block) {
    std::unique_lock<std::mutex> lock(FLock);
    while (FBase < Block && !FBlocks.empty()) {
        TBlock& front = FBlocks.front();
        if (FBase < FNextBlock) {
            FBlockDone.wait(lock, [&front] { return front.Done; });
            FHeld -= Weight(front);
        }
        FBlocks.pop_front();
        ++FBase;
    }
    FNextBlock = std::max(FNextBlock, FBase);
    lock.unlock();
    FWorkReady.notify_all();
}

bool TCVDeflatePool::Deliver(const std::u16string& Path, int64_t SizeNow, const TCVDeflateParams& Params,
                             TCVDeflateResult& Result) {
    const int level = Params.Level >= 0 ? Params.Level : Params.CompressionMode;
    size_t e = FNextEntry;
    while (e < FEntries.size() && FEntries[e].Path != Path) ++e;
    if (e == FEntries.size()) return false;
    const TEntry& entry = FEntries[e];
    if (entry.Size != SizeNow || entry.Mode != Params.CompressionMode || entry.Level != level ||
        entry.Method != Params.CompressionMethod || FFirstBlock[e] == FFirstBlock[e + 1])
        return false;
    FNextEntry = e + 1;
    DropBefore(FFirstBlock[e]);

    Result = TCVDeflateResult{};
    Result.SourceSize = entry.Size;
    uint32_t crc = 0;
    for (size_t b = FFirstBlock[e]; b < FFirstBlock[e + 1]; ++b) {
        if (Params.BeforeBlock && !Params.BeforeBlock(Result.BytesRead, Result.SourceSize)) {
            Result.Cancelled = true;
            break;
        }
        std::unique_lock<std::mutex> lock(FLock);
        TBlock& block = FBlocks[b - FBase];
        FBlockDone.wait(lock, [&block] { return block.Done; });
        lock.unlock();
        if (block.Failed) break;
        if (Params.Sink && !block.Output.empty() && !Params.Sink(block.Output.data(), block.Output.size())) {
            Result.Cancelled = true;
            break;
        }
        crc = CombineCrc32(crc, block.Crc, static_cast<int64_t>(block.Length));
        Result.BytesRead += static_cast<int64_t>(block.Length);
        Result.CompressedSize += static_cast<int64_t>(block.Output.size());
        DropBefore(b + 1);
    }
    Result.Crc32 = crc;
    Result.Complete = !Result.Cancelled && Result.BytesRead == Result.SourceSize;
    return true;
}
