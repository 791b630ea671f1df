// The data path of reading one entry: its stored bytes in, its original bytes out, with the CRC-32,
// the byte counts and the output range kept on the way. It knows nothing of archives or components, so
// it can be driven and tested on plain streams; the archiver's reader supplies the events and the
// write with its disk-full handling through the two callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/Platform.h"

// What one entry holds and what it must come to.
struct TCVInflateJob {
    uint16_t Method = 0;          // 0 stored, 8 deflate; anything else is refused as damaged
    int64_t BytesToRead = 0;      // stored bytes, starting at the input's current position
    int64_t ExpectedLength = 0;   // the recorded size: the output never grows past it
    uint32_t ExpectedCrc = 0;     // the recorded CRC-32
    // A range of the output. Both 0: the whole entry. Otherwise only the bytes from StartPosition on
    // reach the output (up to StartPosition + Count when Count > 0, and reading stops there).
    int32_t Count = 0;
    int64_t StartPosition = 0;
};

struct TCVInflateOutcome {
    // The data is bad: the inflater refused it or could not start, the input ended before the stored
    // length was read, or the output would have grown past the recorded size.
    bool Damaged = false;
    bool RangeComplete = false;   // a range with Count > 0 was produced in full
    int64_t Consumed = 0;         // stored bytes read
    int64_t Produced = 0;         // output bytes made (written or skipped as before the range)
    uint32_t Crc = 0;             // CRC-32 of the output made (already complemented)
};

class TCVInflater {
public:
    // Called before each piece of output is made, with the progress reached so far (stored: the
    // stored bytes passed; deflate: the output made). False stops the current input block; the next
    // block asks again.
    using TProgress = std::function<bool(int64_t Progress)>;
    // Writes one piece of output. False stops the current input block (the write was given up).
    using TWriter = std::function<bool(platform::Stream& Output, const uint8_t* Data, size_t Count)>;

    // Stored bytes are read from Input in blocks of this size; a deflated entry is inflated into
    // output blocks of the same size, a stored one copied in pieces of StoredPieceSize.
    static constexpr size_t BlockSize = 1048576;
    static constexpr size_t StoredPieceSize = 65535;
    // Entries up to this size, stored and inflated, may be inflated whole in memory.
    static constexpr int64_t WholeEntryLimit = 16 << 20;

    TCVInflater(platform::Stream& Input, platform::Stream& Output);

    void SetProgress(TProgress Progress) { FProgress = std::move(Progress); }
    // Without a writer, output goes to Output directly; a write that stalls gives up.
    void SetWriter(TWriter Writer) { FWriter = std::move(Writer); }

    // Reads Job.BytesToRead bytes from the input's position and writes what they decode to into the
    // output from its position. With a completed range whose StartPosition is above 0, the output is
    // left positioned at the range's first byte. Exceptions of the streams and callbacks pass through.
    TCVInflateOutcome Run(const TCVInflateJob& Job);

    // Whether an outcome is a sound entry: not damaged; for the whole entry (Count 0) the recorded
    // length; and unless a range was asked for (Count not 0), the recorded CRC-32.
    static bool Verified(const TCVInflateJob& Job, const TCVInflateOutcome& Outcome);

private:
    class TRun;

    platform::Stream& FInput;
    platform::Stream& FOutput;
    TProgress FProgress;
    TWriter FWriter;
};
