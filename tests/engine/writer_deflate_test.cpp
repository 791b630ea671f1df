// The data part of storing an entry, on plain streams: block structure, raw deflate framing, CRC and
// sizes, and how cancels and short sources end an item.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/add/CVBlockDeflate.h"
#include "engine/add/CVDeflater.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like data with some noise: compresses, but not to nothing.
Bytes SampleData(size_t size, uint32_t seed = 11) {
    std::mt19937 rng(seed);
    static const char* words[] = {"north ", "south ", "east ", "west\n", "up ", "down, "};
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const char* w = words[rng() % 6];
        out.insert(out.end(), w, w + std::strlen(w));
        if (rng() % 7 == 0) out.push_back(static_cast<uint8_t>(rng()));
    }
    out.resize(size);
    return out;
}

platform::MemoryStream StreamOf(const Bytes& data) {
    platform::MemoryStream s;
    if (!data.empty()) s.Write(data.data(), data.size());
    s.SetPosition(0);
    return s;
}

// Inflates raw deflate data; fails the test unless the stream ends exactly at the end of the data
// (nothing, such as an Adler-32 value, may follow it).
Bytes RawInflate(const Bytes& data) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
    Bytes out;
    uint8_t buffer[65536];
    zs.next_in = const_cast<uint8_t*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    int rc;
    do {
        zs.next_out = buffer;
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the end of the deflate stream";
    inflateEnd(&zs);
    return out;
}

uint32_t ZlibCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

struct Collected {
    std::vector<Bytes> blocks;
    Bytes all;
};

TCVDeflateParams Collecting(Collected& c, uint8_t mode, uint16_t method) {
    TCVDeflateParams p;
    p.CompressionMode = mode;
    p.CompressionMethod = method;
    p.Sink = [&c](const uint8_t* data, size_t count) {
        c.blocks.emplace_back(data, data + count);
        c.all.insert(c.all.end(), data, data + count);
        return true;
    };
    return p;
}

const uint8_t SyncMarker[4] = {0x00, 0x00, 0xFF, 0xFF};

bool EndsWithSyncMarker(const Bytes& b) {
    return b.size() >= 4 && std::memcmp(b.data() + b.size() - 4, SyncMarker, 4) == 0;
}

struct BlockCase {
    uint8_t mode;
    uint16_t method;
    size_t size;
};

class DeflateBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(DeflateBlocks, FramesAndRoundTrips) {
    const BlockCase c = GetParam();
    const Bytes source = SampleData(c.size);
    platform::MemoryStream stream = StreamOf(source);
    Collected out;
    const TCVDeflateResult r = DeflateItem(stream, Collecting(out, c.mode, c.method));

    ASSERT_TRUE(r.Complete);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.SourceSize, int64_t(c.size));
    EXPECT_EQ(r.BytesRead, int64_t(c.size));
    EXPECT_EQ(r.CompressedSize, int64_t(out.all.size()));
    EXPECT_EQ(r.Crc32, ZlibCrc(source));

    const size_t block = BufferSizeForMode(c.mode);
    const size_t expectedBlocks = (c.size + block - 1) / block;
    ASSERT_EQ(out.blocks.size(), expectedBlocks);
    if (c.method != 8) {
        EXPECT_EQ(out.all, source);
        return;
    }
    if (c.size == 0) {
        EXPECT_TRUE(out.all.empty());
        return;
    }
    // Raw deflate: no zlib header in front (0x78 ...), no Adler-32 behind (RawInflate checks that).
    EXPECT_NE(out.all[0], 0x78);
    for (size_t i = 0; i + 1 < out.blocks.size(); ++i)
        EXPECT_TRUE(EndsWithSyncMarker(out.blocks[i])) << "block " << i << " does not end with a sync flush";
    EXPECT_FALSE(EndsWithSyncMarker(out.blocks.back()));
    EXPECT_EQ(RawInflate(out.all), source);
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndSizes, DeflateBlocks,
    ::testing::Values(BlockCase{9, 8, 0}, BlockCase{9, 8, 1}, BlockCase{9, 8, 100000},
                      BlockCase{9, 8, 1572864}, BlockCase{9, 8, 1572865}, BlockCase{9, 8, 3500000},
                      BlockCase{1, 8, 1200000}, BlockCase{6, 8, 2097152}, BlockCase{0, 0, 2500000},
                      // Level 0 still deflates (stored deflate blocks) when the method says deflate.
                      BlockCase{0, 8, 1500000}));

TEST(DeflateItem, IncompressibleDataStillDeflates) {
    Bytes noise(300000);
    std::mt19937 rng(3);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    platform::MemoryStream stream = StreamOf(noise);
    Collected out;
    const TCVDeflateResult r = DeflateItem(stream, Collecting(out, 9, 8));
    ASSERT_TRUE(r.Complete);
    EXPECT_GT(r.CompressedSize, int64_t(noise.size()));
    EXPECT_LE(size_t(r.CompressedSize), DeflateOutputBound(noise.size()));
    EXPECT_EQ(RawInflate(out.all), noise);
}

TEST(DeflateItem, ReadsFromTheFirstByteWhereverTheStreamStands) {
    const Bytes source = SampleData(5000);
    platform::MemoryStream stream = StreamOf(source);
    stream.SetPosition(1234);
    Collected out;
    const TCVDeflateResult r = DeflateItem(stream, Collecting(out, 6, 8));
    ASSERT_TRUE(r.Complete);
    EXPECT_EQ(RawInflate(out.all), source);
}

TEST(DeflateItem, CancelBeforeABlockStopsWithTheBlocksDone) {
    const Bytes source = SampleData(1572864 * 2 + 10);
    platform::MemoryStream stream = StreamOf(source);
    Collected out;
    TCVDeflateParams p = Collecting(out, 9, 8);
    std::vector<int64_t> seen;
    p.BeforeBlock = [&](int64_t read, int64_t size) {
        EXPECT_EQ(size, int64_t(source.size()));
        seen.push_back(read);
        return seen.size() < 2;
    };
    const TCVDeflateResult r = DeflateItem(stream, p);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_FALSE(r.Complete);
    EXPECT_EQ(seen, (std::vector<int64_t>{0, 1572864}));
    EXPECT_EQ(r.BytesRead, 1572864);
    EXPECT_EQ(out.blocks.size(), 1u);
}

TEST(DeflateItem, SinkRefusalLeavesTheBlockUncounted) {
    const Bytes source = SampleData(2000000);
    platform::MemoryStream stream = StreamOf(source);
    int calls = 0;
    TCVDeflateParams p;
    p.CompressionMode = 9;
    p.CompressionMethod = 8;
    p.Sink = [&](const uint8_t*, size_t) { return ++calls < 2; };
    const TCVDeflateResult r = DeflateItem(stream, p);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_FALSE(r.Complete);
    EXPECT_EQ(r.BytesRead, 1572864);
}

// A stream that claims more bytes than it delivers, as a file cut short while it is read.
class ShortStream : public platform::MemoryStream {
public:
    int64_t claimed = 0;
    int64_t Size() override { return claimed; }
};

TEST(DeflateItem, ShortSourceIsIncomplete) {
    const Bytes source = SampleData(100000);
    ShortStream stream;
    stream.Write(source.data(), source.size());
    stream.claimed = 200000;
    Collected out;
    const TCVDeflateResult r = DeflateItem(stream, Collecting(out, 6, 8));
    EXPECT_FALSE(r.Complete);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.SourceSize, 200000);
    EXPECT_EQ(r.BytesRead, 0);
}

// Blocks made apart, on any thread, join into one stream: whatever the data (text, noise that ends in
// stored blocks, runs of one byte) and whatever their sizes (down to a single byte in the middle).
TEST(DeflateBlock, IndependentBlocksJoinIntoOneStream) {
    Bytes noise(700000);
    std::mt19937 rng(5);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    const Bytes kinds[] = {SampleData(1500000), noise, Bytes(900000, 'z')};
    const std::vector<size_t> cuts[] = {{1}, {200000, 1, 300000}, {0, 65536, 123457}};
    for (int level : {1, 6, 9, BestDeflateLevel(), MaxDeflateLevel()}) {
        for (const Bytes& source : kinds) {
            for (const std::vector<size_t>& sizes : cuts) {
                SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(sizes.size()) + " cuts");
                Bytes joined, out;
                size_t at = 0;
                for (size_t i = 0; i <= sizes.size(); ++i) {
                    const size_t n = i < sizes.size() ? std::min(sizes[i], source.size() - at) : source.size() - at;
                    const size_t dict = std::min(at, DeflateWindowSize);
                    DeflateBlock(source.data() + at, n, source.data() + at - dict, dict, level, i == sizes.size(), out);
                    if (i < sizes.size()) {
                        EXPECT_TRUE(EndsWithSyncMarker(out));
                    }
                    joined.insert(joined.end(), out.begin(), out.end());
                    at += n;
                }
                EXPECT_EQ(RawInflate(joined), source);
            }
        }
    }
}

// The best-compression level (past 9 when the compressor has more) still makes standard raw deflate,
// and no more of it than level 9 does.
TEST(DeflateItem, BestLevelRoundTripsAndIsNoLarger) {
    const Bytes source = SampleData(2000000);
    Collected nine, best;
    platform::MemoryStream a = StreamOf(source), b = StreamOf(source);
    TCVDeflateParams strongest = Collecting(best, 9, 8);
    strongest.Level = BestDeflateLevel();
    ASSERT_TRUE(DeflateItem(a, Collecting(nine, 9, 8)).Complete);
    ASSERT_TRUE(DeflateItem(b, strongest).Complete);
    EXPECT_EQ(RawInflate(best.all), source);
    EXPECT_LE(best.all.size(), nine.all.size());
}

TEST(DeflateOutputBound, RoundsUpTo256) {
    EXPECT_EQ(DeflateOutputBound(0), 256u);
    EXPECT_EQ(DeflateOutputBound(1), 256u);
    EXPECT_EQ(DeflateOutputBound(1572864), 1730304u);   // 1572864 + 157286 + 12 = 1730162 -> 1730304
}

}  // namespace
