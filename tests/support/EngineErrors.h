// What an engine call that is meant to fail reports, for tests that check the refusal by its number.
#pragma once

#include <cstdint>

#include "engine/base/CVExcept.h"

namespace testing_support {

// Runs `action` and returns the native error of the engine exception it throws; -1 when it throws none.
template <typename F>
int32_t NativeErrorOf(F&& action) {
    try {
        action();
    } catch (const ECVException& e) {
        return e.NativeError();
    }
    return -1;
}

}  // namespace testing_support
