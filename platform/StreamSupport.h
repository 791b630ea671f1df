// Shared by the in-memory streams of the layer; not part of the layer's interface.
#pragma once

#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace platform::detail {

// The position a seek lands on. A position before the start, or one that overflows, is a caller's
// mistake that would otherwise surface later as a wild read: it throws StreamError here.
int64_t ResolveSeek(int64_t position, int64_t size, int64_t offset, SeekOrigin origin);

// A negative size is refused the same way.
void CheckNewSize(int64_t size);

// Read, write and resize for a stream kept in a contiguous byte container (vector or string).
template <typename Container>
size_t ReadFromBuffer(const Container& data, int64_t& position, void* buffer, size_t count) {
    const auto size = static_cast<int64_t>(data.size());
    if (position >= size || count == 0) return 0;
    const size_t n = std::min<size_t>(count, static_cast<size_t>(size - position));
    std::memcpy(buffer, data.data() + position, n);
    position += static_cast<int64_t>(n);
    return n;
}

// Memory that cannot be had counts as a full device: the write comes back short, not as a crash.
template <typename Container>
size_t WriteToBuffer(Container& data, int64_t& position, const void* buffer, size_t count) {
    if (count == 0) return 0;
    const auto end = static_cast<uint64_t>(position) + count;
    if (end > data.max_size() || end > static_cast<uint64_t>(INT64_MAX)) return 0;
    try {
        if (end > data.size()) data.resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
    std::memcpy(data.data() + position, buffer, count);
    position = static_cast<int64_t>(end);
    return count;
}

template <typename Container>
void ResizeBuffer(Container& data, int64_t& position, int64_t size) {
    CheckNewSize(size);
    try {
        if (static_cast<uint64_t>(size) > data.max_size()) throw std::length_error("size");
        data.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw StreamError(u"Out of memory while resizing a stream");
    } catch (const std::length_error&) {
        throw StreamError(u"Out of memory while resizing a stream");
    }
    position = std::min(position, size);
}

}  // namespace platform::detail
