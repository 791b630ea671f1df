#include "maker/StubPayload.h"


// Emitted by the build from the stub target (StubPayloadData.S): the count, then the bytes.
extern "C" const uint8_t selfpack_stub_payload[];

namespace maker {

std::span<const uint8_t> StubPayload() {
    // The count is little-endian whatever the machine.
    const uint8_t* p = selfpack_stub_payload;
    const uint32_t count = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    return {selfpack_stub_payload + 4, count};
}

TStubFile MakerStub() { return {StubFileName(), StubPayload()}; }

}  // namespace maker
