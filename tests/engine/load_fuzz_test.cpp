// Thousands of damaged variants of a few valid archives: each loads (and then saves) or fails with the
// engine's or the stream's error, never anything else, under the sanitizers and in bounded time.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "support/ArchiveFixtures.h"
#include "support/TestSupport.h"

namespace ts = testing_support;

namespace {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    ts::ScratchDir scratch;
    ts::WriteTree(scratch / "tree", ts::StandardTree());
    ts::PackWithTool(ts::ZipTool::InfoZip, scratch / "tree", scratch / "z.zip", "comment");
    seeds.push_back(ts::ReadBytes(scratch / "z.zip"));
    ts::PackWithTool(ts::ZipTool::Bsdtar, scratch / "tree", scratch / "b.zip");
    seeds.push_back(ts::ReadBytes(scratch / "b.zip"));

    ts::RawArchive raw;
    raw.Entries = {ts::RawEntry{"dir/", ""}, ts::RawEntry{"dir/a.txt", "alpha"}, ts::RawEntry{"b", std::string(300, 'b')}};
    raw.Entries[0].ExternalAttr = 0x10;
    raw.Entries[1].CentralExtra = ts::Le16(0x554E) + ts::Le16(12) + "NUCX" + ts::Le32(2) + ts::Le16('h') + ts::Le16('i');
    raw.Entries[2].CentralExtra = ts::Le16(1) + ts::Le16(8) + ts::Le64(300);
    raw.Stub = std::string(700, 'S');
    raw.OffsetsFromFileStart = false;
    seeds.push_back(ts::BuildArchive(raw));
    raw.Stub.clear();
    raw.Zip64Records = true;
    seeds.push_back(ts::BuildArchive(raw));
    return seeds;
}

std::string Mutate(const std::string& seed, std::mt19937& random) {
    std::string b = seed;
    auto below = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
    // Half the changes go to the tail, where the directory and end records lie.
    auto position = [&] {
        if (random() % 2 == 0 || b.size() < 2000) return below(b.size());
        return b.size() - 1 - below(2000);
    };
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes && !b.empty(); ++c) {
        switch (random() % 6) {
            case 0:   // bit flips
                for (int i = 1 + static_cast<int>(random() % 8); i > 0; --i) b[position()] ^= static_cast<char>(1 << (random() % 8));
                break;
            case 1:   // truncation
                b.resize(below(b.size()));
                break;
            case 2: {  // a run of one byte value
                const size_t at = position();
                const size_t n = std::min(b.size() - at, 1 + below(64));
                const char values[] = {'\0', '\xFF', 'P', static_cast<char>(random())};
                b.replace(at, n, n, values[random() % 4]);
                break;
            }
            case 3: {  // a signature where none belongs
                const char* signatures[] = {"PK\1\2", "PK\3\4", "PK\5\6", "PK\6\6", "PK\6\7", "PK\7\10"};
                const size_t at = position();
                b.replace(at, std::min<size_t>(4, b.size() - at), signatures[random() % 6], std::min<size_t>(4, b.size() - at));
                break;
            }
            case 4: {  // a field set to an extreme
                const size_t at = position();
                const size_t n = std::min(b.size() - at, size_t{1} << (1 + random() % 3));
                b.replace(at, n, n, random() % 2 ? '\xFF' : '\0');
                break;
            }
            default: {  // bytes cut out of the middle
                const size_t at = position();
                b.erase(at, std::min(b.size() - at, 1 + below(200)));
                break;
            }
        }
    }
    return b;
}

// Loads and, when that works, saves and loads again. False when something other than the engine's or
// the stream's own error escapes.
bool Survives(const std::string& bytes, bool openCorrupted, std::string& what) {
    try {
        platform::MemoryStream stream;
        if (!bytes.empty()) stream.WriteBuffer(bytes.data(), bytes.size());
        TCVPlainDirHost host;
        host.OpenCorruptedArchives = openCorrupted;
        TCVDirManager dm(&stream, &host, false);
        dm.LoadDir();
        platform::MemoryStream saved;
        dm.SaveDir(true, &saved);
        TCVDirManager again(&saved, &host, false);
        again.LoadDir();
        if (again.CDir.Count() != dm.CDir.Count()) {
            what = "saved directory reads back with another count";
            return false;
        }
    } catch (const platform::Exception&) {
        // ECVException included: a refusal is a fine answer to a damaged archive.
    } catch (const std::exception& e) {
        what = e.what();
        return false;
    }
    return true;
}

TEST(LoadFuzz, DamagedArchivesLoadOrFailCleanly) {
    const std::vector<std::string> seeds = Seeds();
    std::mt19937 random(4242);
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string& seed = seeds[static_cast<size_t>(round) % seeds.size()];
        const std::string bytes = Mutate(seed, random);
        for (const bool openCorrupted : {false, true}) {
            std::string what;
            ASSERT_TRUE(Survives(bytes, openCorrupted, what)) << "round " << round << ": " << what;
        }
        ++loaded;
    }
    EXPECT_EQ(loaded, 3000);
}

}  // namespace
