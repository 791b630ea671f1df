// Puts a stream back where it was when the scope ends: the loader's steps look at the stream without
// moving it for their caller.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

class TCVStreamPosition {
public:
    explicit TCVStreamPosition(platform::Stream& Stream) : FStream(Stream), FPosition(Stream.Position()) {}
    ~TCVStreamPosition() {
        try {
            FStream.SetPosition(FPosition);
        } catch (...) {
            // Restoring a position that was valid cannot fail; if it does, the error that is already
            // on its way matters more.
        }
    }
    TCVStreamPosition(const TCVStreamPosition&) = delete;
    TCVStreamPosition& operator=(const TCVStreamPosition&) = delete;

private:
    platform::Stream& FStream;
    int64_t FPosition;
};
