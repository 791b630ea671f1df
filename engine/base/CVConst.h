// The engine's error tables: the message of each error code, and the error code of each native error
// (the number that names where and why the engine raised it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr size_t CVErrorMessageCount = 43;    // error codes 0 to 42
inline constexpr size_t CVNativeErrorCount = 70;     // native errors 0 to 69

struct TCVNativeError {
    int32_t NativeError;
    int32_t ErrorCode;
};

// Indexed by error code. Some messages hold "%s" or "%d" placeholders for the raiser's arguments.
extern const std::u16string_view CVErrorMessages[CVErrorMessageCount];
// In ascending native order; rows raised nowhere are kept so that the numbers never shift.
extern const TCVNativeError CVNativeErrors[CVNativeErrorCount];

// The error code of a native error; 0 ("Unknown error") when it is not in the table.
int32_t ErrorCodeOfNative(int32_t nativeError);
// The message of an error code; that of code 0 for a code outside the table.
std::u16string_view ErrorMessageOfCode(int32_t errorCode);
