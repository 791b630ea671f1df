// Reading entries of any bytes opened as an archive: local headers, stored and deflated data, sizes
// and CRCs checked, the ranges of the in-memory reads. Each read ends whole or with the engine's error.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Entries read per input: enough to reach every layout the fuzzer builds, few enough to stay quick.
constexpr int32_t MaxEntries = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::InstallSilentDialogs();
    platform::StringStream stream = fuzzing::AsStream(data, size);
    TCorvane archiver;
    try {
        archiver.OpenArchive(&stream, false);
    } catch (const platform::Exception&) {
        return 0;
    }
    const int32_t count = archiver.DMHandle() ? archiver.DMHandle()->CDir.Count() : 0;
    // The last bytes choose a range for the partial reads, so they are explored too.
    const int64_t start = size >= 2 ? data[size - 2] * 37 : 0;
    const int32_t length = size >= 1 ? data[size - 1] % 97 + 1 : 1;
    for (int32_t i = 0; i < count && i < MaxEntries; ++i) {
        const std::u16string name = archiver.DMHandle()->CDir.GetItemPtr(i).Name;
        try {
            platform::NullStream sink;
            archiver.ExtractToStream(name, &sink);
        } catch (const platform::Exception&) {
        }
        try {
            std::vector<uint8_t> buffer(static_cast<size_t>(length));
            archiver.ExtractToBuffer(name, buffer.data(), length, start);
        } catch (const platform::Exception&) {
        }
    }
    try {
        archiver.CloseArchive();
    } catch (const platform::Exception&) {
    }
    return 0;
}
