#include "engine/extract/CVInflater.h"

#include <zlib.h>

// The faster library is used when the build found it and its header is on this compiler's path (a
// build against another C library's headers may not see it, and then keeps to zlib).
#if defined(CV_HAVE_LIBDEFLATE) && __has_include(<libdeflate.h>)
#define CV_LIBDEFLATE 1
#include <libdeflate.h>
#else
#define CV_LIBDEFLATE 0
#endif

#include <algorithm>
#include <memory>
#include <cstdint>
#include <vector>

#include "engine/util/CVStrFunc.h"

namespace {

enum class TStep { Continue, StopBlock, StopReading };

// Reads until `count` bytes are in or the stream has nothing more: a single Read may return fewer
// bytes without having reached the end.
bool WriteFully(platform::Stream& output, const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t n = output.Write(data + done, count - done);
        if (n == 0) return false;
        done += n;
    }
    return true;
}

// Releases the inflater on every way out, exceptions of the callbacks included.
struct TZStream {
    z_stream zs{};
    bool open = false;
    ~TZStream() {
        if (open) inflateEnd(&zs);
    }
};

}  // namespace

class TCVInflater::TRun {
public:
    TRun(TCVInflater& owner, const TCVInflateJob& job) : FOwner(owner), FJob(job) {}

    TCVInflateOutcome Execute() {
        if ((FJob.Method != 0 && FJob.Method != 8) || FJob.BytesToRead < 0 || FJob.ExpectedLength < 0 ||
            FJob.StartPosition < 0) {
            FOut.Damaged = true;
            return FOut;
        }
        const bool deflated = FJob.Method == 8;
        FRanged = FJob.Count != 0 || FJob.StartPosition != 0;
        // Before anything of the block-wise road is set up: an entry inflated whole needs none of it.
        if (deflated && InflateWhole()) return FOut;
        if (deflated) {
            if (inflateInit_(&FZ.zs, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))) != Z_OK) {
                FOut.Damaged = true;
                return FOut;
            }
            FZ.open = true;
            FOutBlock.resize(BlockSize);
        }
        // Two spare bytes in front of the first block take the zlib stream header.
        std::vector<uint8_t> input(static_cast<size_t>(std::min<int64_t>(FJob.BytesToRead, BlockSize)) + 2);

        while (FOut.Consumed < FJob.BytesToRead) {
            const auto want = static_cast<size_t>(std::min<int64_t>(FJob.BytesToRead - FOut.Consumed, BlockSize));
            // Entries hold raw deflate data while the inflater expects the zlib wrapper: the first
            // block gets the header put in front. The wrapper's Adler-32 trailer never comes; the end
            // of the input is the end of the data instead (see InflateBlock).
            const size_t lead = deflated && FOut.Consumed == 0 ? 2 : 0;
            const size_t got = FOwner.FInput.ReadFully(input.data() + lead, want);
            if (lead) {
                const auto header = ZlibHeaderForMode(1);
                input[0] = header[0];
                input[1] = header[1];
            }
            const TStep step = deflated ? InflateBlock(input.data(), got + lead) : CopyBlock(input.data(), got);
            FOut.Consumed += static_cast<int64_t>(got);
            if (step == TStep::StopReading) break;
            // A single file that ends early has no next volume to go on with: the entry is cut.
            if (got < want) {
                FOut.Damaged = true;
                break;
            }
        }
        FOut.Crc = ~FCrc;
        return FOut;
    }

private:
    // An entry of moderate size is inflated in one go by the faster whole-buffer inflater, when the
    // build has it: its stored bytes in one buffer, its output in another, both bounded by
    // WholeEntryLimit. Only a sound entry is taken this way (the whole output, exactly the recorded
    // length); anything else goes back to the start and takes the block-wise road, which reports
    // damage the way it always has. False: nothing was produced.
    bool InflateWhole() {
#if CV_LIBDEFLATE
        if (FRanged || FJob.BytesToRead > WholeEntryLimit || FJob.ExpectedLength > WholeEntryLimit) return false;
#if CV_SINGLE_THREAD
        static   // a build without threads: its C library may not run destructors of thread-local objects
#else
        thread_local
#endif
        struct TDecompressor {
            libdeflate_decompressor* d = libdeflate_alloc_decompressor();
            ~TDecompressor() {
                if (d) libdeflate_free_decompressor(d);
            }
        } decompressor;
        if (!decompressor.d) return false;
        const size_t stored = static_cast<size_t>(FJob.BytesToRead);
        const size_t length = static_cast<size_t>(FJob.ExpectedLength);
        platform::Stream& input = FOwner.FInput;
        const int64_t start = input.Position();
        std::unique_ptr<uint8_t[]> in(new uint8_t[stored + 1]);
        std::unique_ptr<uint8_t[]> out(new uint8_t[length + 1]);
        size_t made = 0;
        const bool sound = input.ReadFully(in.get(), stored) == stored &&
                           libdeflate_deflate_decompress(decompressor.d, in.get(), stored, out.get(), length, &made) ==
                               LIBDEFLATE_SUCCESS &&
                           made == length;
        if (!sound) {
            input.SetPosition(start);
            return false;
        }
        FOut.Consumed = FJob.BytesToRead;
        for (size_t done = 0; done < length;) {
            const size_t piece = std::min(BlockSize, length - done);
            if (!Progress(FOut.Produced)) break;
            if (Emit(out.get() + done, piece) != TStep::Continue) break;
            done += piece;
        }
        FOut.Crc = ~FCrc;
        return true;
#else
        return false;
#endif
    }

    TStep CopyBlock(const uint8_t* data, size_t length) {
        for (size_t done = 0; done < length;) {
            const size_t piece = std::min(StoredPieceSize, length - done);
            if (!Progress(FOut.Consumed + static_cast<int64_t>(done))) return TStep::StopBlock;
            const TStep step = Emit(data + done, piece);
            if (step != TStep::Continue) return step;
            done += piece;
        }
        return TStep::Continue;
    }

    TStep InflateBlock(uint8_t* data, size_t length) {
        z_stream& zs = FZ.zs;
        zs.next_in = data;
        zs.avail_in = static_cast<uInt>(length);
        for (;;) {
            if (!Progress(FOut.Produced)) return TStep::StopBlock;
            zs.next_out = FOutBlock.data();
            zs.avail_out = static_cast<uInt>(FOutBlock.size());
            const uInt inBefore = zs.avail_in;
            const int ret = inflate(&zs, Z_NO_FLUSH);
            // Z_BUF_ERROR with the input used up only means that the data has ended without the
            // Adler-32 trailer the inserted header announced: the normal end of an entry.
            const bool normalEnd = ret == Z_BUF_ERROR && zs.avail_in == 0;
            if ((ret < 0 && !normalEnd) || ret == Z_NEED_DICT) {
                FOut.Damaged = true;
                return TStep::StopReading;
            }
            const size_t made = FOutBlock.size() - zs.avail_out;
            if (made > 0) {
                const TStep step = Emit(FOutBlock.data(), made);
                if (step != TStep::Continue) return step;
            }
            if (ret == Z_STREAM_END) return TStep::StopReading;
            if (normalEnd || (zs.avail_out > 0 && zs.avail_in == 0)) return TStep::Continue;
            // zlib always makes progress or says Z_BUF_ERROR; guard against looping if it ever did not.
            if (made == 0 && zs.avail_in == inBefore) {
                FOut.Damaged = true;
                return TStep::StopReading;
            }
        }
    }

    // The first output byte past a range with Count > 0; a range reaching past what 64 bits can count
    // simply never completes.
    int64_t RangeEnd() const {
        int64_t end = 0;
        return __builtin_add_overflow(FJob.StartPosition, static_cast<int64_t>(FJob.Count), &end) ? INT64_MAX : end;
    }

    bool Progress(int64_t value) { return !FOwner.FProgress || FOwner.FProgress(value); }

    // Takes one piece of output: counts it, adds it to the CRC and writes the part of it that the
    // range admits.
    TStep Emit(const uint8_t* data, size_t count) {
        // An entry never produces more than its recorded size, so a small entry whose data inflates
        // without end cannot fill the disk or the memory: what passes the size is dropped.
        bool overflow = false;
        if (static_cast<int64_t>(count) > FJob.ExpectedLength - FOut.Produced) {
            count = static_cast<size_t>(FJob.ExpectedLength - FOut.Produced);
            overflow = true;
        }
        FCrc = UpdateCrc32(FCrc, data, count);

        size_t from = 0;
        size_t to = count;
        if (FRanged) {
            const int64_t start = FJob.StartPosition;
            if (FOut.Produced < start)
                from = static_cast<size_t>(std::min<int64_t>(start - FOut.Produced, static_cast<int64_t>(count)));
            if (FJob.Count > 0)
                to = static_cast<size_t>(std::clamp<int64_t>(RangeEnd() - FOut.Produced, 0, static_cast<int64_t>(count)));
        }
        if (from < to) {
            if (FRanged && !FRangeStarted) {
                FRangeStarted = true;
                FRangeOffset = FOwner.FOutput.Position();
            }
            const bool written = FOwner.FWriter ? FOwner.FWriter(FOwner.FOutput, data + from, to - from)
                                                : WriteFully(FOwner.FOutput, data + from, to - from);
            if (!written) return TStep::StopBlock;
        }
        FOut.Produced += static_cast<int64_t>(count);

        if (FJob.Count > 0 && FOut.Produced >= RangeEnd()) {
            FOut.RangeComplete = true;
            if (FJob.StartPosition > 0) FOwner.FOutput.SetPosition(FRangeOffset);
            return TStep::StopReading;
        }
        if (overflow) {
            FOut.Damaged = true;
            return TStep::StopReading;
        }
        return TStep::Continue;
    }

    TCVInflater& FOwner;
    const TCVInflateJob& FJob;
    TCVInflateOutcome FOut;
    uint32_t FCrc = 0xFFFFFFFF;
    bool FRanged = false;
    bool FRangeStarted = false;
    int64_t FRangeOffset = 0;
    TZStream FZ;
    std::vector<uint8_t> FOutBlock;
};

TCVInflater::TCVInflater(platform::Stream& Input, platform::Stream& Output) : FInput(Input), FOutput(Output) {}

TCVInflateOutcome TCVInflater::Run(const TCVInflateJob& Job) {
    TRun run(*this, Job);
    return run.Execute();
}

bool TCVInflater::Verified(const TCVInflateJob& Job, const TCVInflateOutcome& Outcome) {
    if (Outcome.Damaged) return false;
    if (Job.Count == 0 && Outcome.Produced != Job.ExpectedLength) return false;
    if (Job.Count != 0) return true;
    return Outcome.Crc == Job.ExpectedCrc;
}
