#include "maker/StubPayload.h"

#include "engine/util/CVCoding.h"

// Emitted by the build from the stub target (StubPayloadData.S): the count, then the bytes.
extern "C" const uint8_t selfpack_stub_payload[];

namespace maker {

std::span<const uint8_t> StubPayload() {
    const uint32_t count = DecodeFixed32(selfpack_stub_payload);
    return {selfpack_stub_payload + 4, count};
}

TStubFile MakerStub() { return {StubFileName(), StubPayload()}; }

}  // namespace maker
