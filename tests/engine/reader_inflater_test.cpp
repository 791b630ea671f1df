// The inflate data path on plain streams: stored and raw deflate data back byte-exactly, ranges,
// damaged and hostile input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/extract/CVInflater.h"
#include "platform/Platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like data that deflates to a fraction of its size but is not trivial.
Bytes SampleData(size_t size, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta ", "eta, "};
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const char* w = words[rng() % 7];
        out.insert(out.end(), w, w + std::strlen(w));
        if (rng() % 5 == 0) out.push_back(static_cast<uint8_t>(rng()));
    }
    out.resize(size);
    return out;
}

// Raw deflate (no zlib wrapper), as ZIP entries hold it.
Bytes RawDeflate(const Bytes& data, int level = 6) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&zs, data.size()) + 16);
    zs.next_in = const_cast<uint8_t*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

uint32_t Crc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

platform::MemoryStream StreamOf(const Bytes& bytes) {
    platform::MemoryStream s;
    s.Data() = bytes;
    return s;
}

Bytes Contents(platform::MemoryStream& s) { return s.Data(); }

struct Result {
    TCVInflateOutcome outcome;
    bool verified = false;
    Bytes output;
    int64_t position = 0;
};

Result Inflate(const Bytes& stored, const TCVInflateJob& job, TCVInflater::TProgress progress = nullptr) {
    auto in = StreamOf(stored);
    platform::MemoryStream out;
    TCVInflater inflater(in, out);
    if (progress) inflater.SetProgress(progress);
    Result r;
    r.outcome = inflater.Run(job);
    r.verified = TCVInflater::Verified(job, r.outcome);
    r.output = Contents(out);
    r.position = out.Position();
    return r;
}

TCVInflateJob JobFor(uint16_t method, const Bytes& stored, const Bytes& original) {
    TCVInflateJob job;
    job.Method = method;
    job.BytesToRead = static_cast<int64_t>(stored.size());
    job.ExpectedLength = static_cast<int64_t>(original.size());
    job.ExpectedCrc = Crc(original);
    return job;
}

// A stream that hands out at most a few bytes per Read, as a pipe may.
class TrickleStream : public platform::MemoryStream {
public:
    size_t Read(void* buffer, size_t count) override {
        return platform::MemoryStream::Read(buffer, std::min<size_t>(count, 3));
    }
};

}  // namespace

TEST(Inflater, StoredAndDeflatedComeBackByteExactly) {
    const size_t block = TCVInflater::BlockSize;
    struct Case {
        size_t size;
        int level;
    } cases[] = {{0, 6}, {1, 6}, {65535, 1}, {65536, 9}, {block - 2, 0}, {block, 6}, {3 * block + 17, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes data = SampleData(c.size);
        for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
            const Bytes stored = method == 0 ? data : RawDeflate(data, c.level);
            const Result r = Inflate(stored, JobFor(method, stored, data));
            EXPECT_TRUE(r.verified) << "method " << method;
            EXPECT_FALSE(r.outcome.Damaged);
            EXPECT_EQ(r.outcome.Consumed, static_cast<int64_t>(stored.size()));
            EXPECT_EQ(r.outcome.Crc, Crc(data));
            EXPECT_TRUE(r.output == data) << "method " << method;
        }
    }
}

TEST(Inflater, DeflateStreamEndingExactlyAtAnInputBlockEdge) {
    // Level 0 writes stored deflate blocks, so the stored length is the input plus a few bytes per
    // block: grow the input until the stream fills exactly two input blocks.
    const int64_t target = 2 * static_cast<int64_t>(TCVInflater::BlockSize);
    std::mt19937 rng(3);
    Bytes data(static_cast<size_t>(target) - 200);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    Bytes stored = RawDeflate(data, 0);
    for (int i = 0; i < 20 && static_cast<int64_t>(stored.size()) != target; ++i) {
        const int64_t diff = target - static_cast<int64_t>(stored.size());
        data.resize(static_cast<size_t>(static_cast<int64_t>(data.size()) + diff));
        for (size_t k = data.size() - std::min<size_t>(data.size(), 64); k < data.size(); ++k)
            data[k] = static_cast<uint8_t>(rng());
        stored = RawDeflate(data, 0);
    }
    ASSERT_EQ(static_cast<int64_t>(stored.size()), target);
    const Result r = Inflate(stored, JobFor(8, stored, data));
    EXPECT_TRUE(r.verified);
    EXPECT_TRUE(r.output == data);
}

TEST(Inflater, ShortReadsFromTheInputAreNotTheEnd) {
    const Bytes data = SampleData(200000);
    const Bytes stored = RawDeflate(data);
    TrickleStream in;
    in.Data() = stored;
    platform::MemoryStream out;
    TCVInflater inflater(in, out);
    const auto job = JobFor(8, stored, data);
    const auto outcome = inflater.Run(job);
    EXPECT_TRUE(TCVInflater::Verified(job, outcome));
    EXPECT_TRUE(out.Data() == data);
}

TEST(Inflater, RangesTakeExactlyTheAskedBytes) {
    const size_t block = TCVInflater::BlockSize;
    const Bytes data = SampleData(5 * block + 333, 11);
    const Bytes deflated = RawDeflate(data);
    struct Case {
        int64_t start;
        int32_t count;
    } cases[] = {
        {0, 10},                                           // from the first byte
        {100, 1},                                          // inside the first block
        {static_cast<int64_t>(3 * block) + 12345, 4096},   // inside a later block
        {static_cast<int64_t>(block) - 5, 10},             // across an output block edge
        {static_cast<int64_t>(data.size()) - 7, 7},        // the very end
    };
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        const Bytes& stored = method == 0 ? data : deflated;
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "method " << method << " start " << c.start);
            auto job = JobFor(method, stored, data);
            job.StartPosition = c.start;
            job.Count = c.count;
            job.ExpectedCrc ^= 1;   // a range checks no CRC
            const Result r = Inflate(stored, job);
            EXPECT_TRUE(r.verified);
            EXPECT_TRUE(r.outcome.RangeComplete);
            const Bytes want(data.begin() + c.start, data.begin() + c.start + c.count);
            EXPECT_TRUE(r.output == want);
            // A range from further in leaves the output at its first byte, where a caller reads from;
            // one from the start leaves it behind the bytes, like any write.
            EXPECT_EQ(r.position, c.start > 0 ? 0 : c.count);
            // Decompressing stops once the range is there: at most one input block past it.
            EXPECT_LE(r.outcome.Produced, c.start + c.count + static_cast<int64_t>(TCVInflater::BlockSize));
        }
    }
}

TEST(Inflater, RangePastTheEndLeavesFewerBytes) {
    const Bytes data = SampleData(1000);
    const Bytes stored = RawDeflate(data);
    struct Case {
        int64_t start;
        int32_t count;
        size_t written;
    } cases[] = {{990, 20, 10}, {5000, 10, 0}, {0, 2000, 1000}};
    for (const auto& c : cases) {
        auto job = JobFor(8, stored, data);
        job.StartPosition = c.start;
        job.Count = c.count;
        const Result r = Inflate(stored, job);
        EXPECT_FALSE(r.outcome.RangeComplete);
        EXPECT_FALSE(r.outcome.Damaged);
        EXPECT_EQ(r.output.size(), c.written);
        // Nothing positions a reader in front of bytes that are not the range.
        EXPECT_EQ(r.position, static_cast<int64_t>(c.written));
    }
}

TEST(Inflater, StartWithoutCountSkipsTheFrontAndStillVerifies) {
    const Bytes data = SampleData(300000);
    const Bytes stored = RawDeflate(data);
    auto job = JobFor(8, stored, data);
    job.StartPosition = 250000;
    Result r = Inflate(stored, job);
    EXPECT_TRUE(r.verified);
    EXPECT_TRUE(r.output == Bytes(data.begin() + 250000, data.end()));
    job.ExpectedCrc ^= 0x80;
    r = Inflate(stored, job);
    EXPECT_FALSE(r.verified);
}

TEST(Inflater, DamagedInputFailsCleanly) {
    const Bytes data = SampleData(400000);
    const Bytes deflated = RawDeflate(data);
    struct Case {
        const char* what;
        uint16_t method;
        Bytes stored;
        int64_t bytesToRead;   // -1: the stored size
        bool damaged;
    };
    Bytes garbage = deflated;
    for (size_t i = 100; i < 160; ++i) garbage[i] = 0xFF;
    Bytes truncated(deflated.begin(), deflated.begin() + deflated.size() / 2);
    Bytes badHeader = {0x07, 0xFF, 0xFF, 0xFF};   // reserved block type 3
    const Case cases[] = {
        {"garbage in the middle", 8, garbage, -1, true},
        {"deflate cut short", 8, truncated, static_cast<int64_t>(deflated.size()), true},
        {"stored cut short", 0, Bytes(data.begin(), data.begin() + 1000), static_cast<int64_t>(data.size()), true},
        {"reserved block type", 8, badHeader, -1, true},
        {"deflate data ends early", 8, truncated, -1, false},   // well-formed bytes, wrong length
        {"unknown method", 12, deflated, -1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto job = JobFor(c.method, c.stored, data);
        if (c.bytesToRead >= 0) job.BytesToRead = c.bytesToRead;
        const Result r = Inflate(c.stored, job);
        EXPECT_EQ(r.outcome.Damaged, c.damaged);
        EXPECT_FALSE(r.verified);
        EXPECT_LE(r.output.size(), data.size());
    }
}

TEST(Inflater, CrcMismatchIsNotDamageButFailsVerification) {
    const Bytes data = SampleData(5000);
    const Bytes stored = RawDeflate(data);
    auto job = JobFor(8, stored, data);
    job.ExpectedCrc ^= 0x10000;
    const Result r = Inflate(stored, job);
    EXPECT_FALSE(r.outcome.Damaged);
    EXPECT_FALSE(r.verified);
    EXPECT_TRUE(r.output == data);   // what was read stays written
}

TEST(Inflater, NeverProducesMoreThanTheRecordedSize) {
    // 64 MiB of zeros deflate to about 64 KiB; the directory claims 1000 bytes.
    const Bytes zeros(64u << 20, 0);
    const Bytes stored = RawDeflate(zeros, 9);
    for (uint16_t method : {uint16_t(8), uint16_t(0)}) {
        const Bytes& input = method == 8 ? stored : zeros;
        TCVInflateJob job;
        job.Method = method;
        job.BytesToRead = static_cast<int64_t>(input.size());
        job.ExpectedLength = 1000;
        job.ExpectedCrc = Crc(Bytes(1000, 0));
        const Result r = Inflate(input, job);
        EXPECT_TRUE(r.outcome.Damaged);
        EXPECT_FALSE(r.verified);
        EXPECT_EQ(r.outcome.Produced, 1000);
        EXPECT_EQ(r.output.size(), 1000u);
        EXPECT_LE(r.outcome.Consumed, static_cast<int64_t>(TCVInflater::BlockSize));
    }
}

TEST(Inflater, CancelStopsOutputAndTheEntryFailsItsLength) {
    const Bytes data = SampleData(3 * TCVInflater::BlockSize);
    for (uint16_t method : {uint16_t(0), uint16_t(8)}) {
        const Bytes stored = method == 0 ? data : RawDeflate(data);
        int calls = 0;
        std::vector<int64_t> seen;
        const Result r = Inflate(stored, JobFor(method, stored, data), [&](int64_t progress) {
            seen.push_back(progress);
            return ++calls < 3;
        });
        EXPECT_FALSE(r.verified);
        EXPECT_FALSE(r.outcome.Damaged);
        EXPECT_LT(r.output.size(), data.size());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    }
}

TEST(Inflater, AGivenUpWriteStopsTheBlock) {
    const Bytes data = SampleData(3 * TCVInflater::BlockSize);
    const Bytes stored = RawDeflate(data);
    auto in = StreamOf(stored);
    platform::MemoryStream out;
    TCVInflater inflater(in, out);
    size_t written = 0;
    inflater.SetWriter([&](platform::Stream& s, const uint8_t* p, size_t n) {
        if (written > 0) return false;
        s.WriteBuffer(p, n);
        written += n;
        return true;
    });
    const auto job = JobFor(8, stored, data);
    const auto outcome = inflater.Run(job);
    EXPECT_FALSE(TCVInflater::Verified(job, outcome));
    EXPECT_EQ(out.Size(), static_cast<int64_t>(written));
}

TEST(Inflater, ExceptionsOfTheWriterPassThrough) {
    const Bytes data = SampleData(1000);
    const Bytes stored = RawDeflate(data);
    auto in = StreamOf(stored);
    platform::MemoryStream out;
    TCVInflater inflater(in, out);
    inflater.SetWriter([](platform::Stream&, const uint8_t*, size_t) -> bool {
        throw platform::StreamError(u"refused");
    });
    EXPECT_THROW(inflater.Run(JobFor(8, stored, data)), platform::StreamError);
}
