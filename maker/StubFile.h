// The temporary stub file: the stub program's bytes, written where the build's conversion step reads
// them from.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace maker {

struct TStubFile {
    std::u16string FileName;
    std::span<const uint8_t> Bytes;   // what the file must hold
};

// The user's temporary folder + "SFXStub" + the platform's executable extension. Throws
// platform::FileError when the temporary folder cannot be made safe.
std::u16string StubFileName();

// Writes the bytes to the file, replacing it without ever truncating it in place and without
// following a symbolic link planted at its name. Throws platform::FileError.
void WriteStubFile(const TStubFile& Stub);

// Writes the file again when it has vanished or does not have the stub's size: another maker that
// closed meanwhile deletes the file they share.
void EnsureStubFile(const TStubFile& Stub);

// Deletes the file; false when it could not be deleted (or was not there).
bool DeleteStubFile(const TStubFile& Stub);

// Whether the file FileName exists and begins with exactly Bytes.
bool FileStartsWith(const std::u16string& FileName, std::span<const uint8_t> Bytes);

}  // namespace maker
