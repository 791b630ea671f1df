// The directory loader on any bytes: the end-record search, the Zip64 records, the central headers,
// the stub measurement and, with damaged archives allowed, the rebuild from local headers. A load
// either succeeds or raises the engine's or the stream's error; what it loaded is saved again.
#include <cstddef>
#include <cstdint>

#include "engine/format/CVDirHost.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const bool openCorrupted : {false, true}) {
        platform::StringStream stream = fuzzing::AsStream(data, size);
        TCVPlainDirHost host;
        host.OpenCorruptedArchives = openCorrupted;
        host.OEMFileNames = size % 2 == 0;
        TCVDirManager manager(&stream, &host, false);
        try {
            manager.LoadDir();
        } catch (const platform::Exception&) {
            continue;
        }
        // What loads must also write back out: the saved directory is read by the same rules.
        try {
            platform::MemoryStream out;
            manager.SaveDir(true, &out);
        } catch (const platform::Exception&) {
        }
    }
    return 0;
}
