#include "maker/StubFile.h"

#include <algorithm>
#include <vector>

#include "engine/Corvane.h"
#include "platform/Platform.h"

namespace maker {

std::u16string StubFileName() { return platform::TempFolder() + u"SFXStub" + platform::ExecutableExtension(); }

// The bytes go to a new file of their own first, which then takes the fixed name: a maker that is
// copying the stub file meanwhile keeps reading the old one whole, where truncating the file in
// place would cut its copy short. Another maker may put its own file there between the delete and
// the rename; then the delete is simply repeated.
void WriteStubFile(const TStubFile& Stub) {
    constexpr int MaxAttempts = 5;
    const std::u16string fresh = platform::CreateTempFile(FolderPart(Stub.FileName), u"SFXStub");
    try {
        platform::WriteFileNoFollow(fresh, Stub.Bytes.data(), Stub.Bytes.size(), 0600);
        for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
            platform::DeleteFile(Stub.FileName);
            if (platform::RenameFile(fresh, Stub.FileName)) return;
        }
    } catch (...) {
        platform::DeleteFile(fresh);
        throw;
    }
    platform::DeleteFile(fresh);
    throw platform::FileError(u"Cannot create file \"" + Stub.FileName + u"\". Something else keeps its place", 0);
}

void EnsureStubFile(const TStubFile& Stub) {
    int64_t size = -1;
    try {
        platform::FileStream file(Stub.FileName, platform::fmOpenRead | platform::fmShareDenyNone);
        size = file.Size();
    } catch (const platform::Exception&) {
    }
    if (size != static_cast<int64_t>(Stub.Bytes.size())) WriteStubFile(Stub);
}

bool DeleteStubFile(const TStubFile& Stub) { return platform::DeleteFile(Stub.FileName); }

bool FileStartsWith(const std::u16string& FileName, std::span<const uint8_t> Bytes) {
    try {
        platform::FileStream file(FileName, platform::fmOpenRead | platform::fmShareDenyNone);
        std::vector<uint8_t> block(std::min<size_t>(Bytes.size(), 1 << 20));
        size_t done = 0;
        while (done < Bytes.size()) {
            const size_t n = std::min(block.size(), Bytes.size() - done);
            if (file.Read(block.data(), n) != n) return false;
            if (!std::equal(block.begin(), block.begin() + static_cast<ptrdiff_t>(n), Bytes.begin() + static_cast<ptrdiff_t>(done)))
                return false;
            done += n;
        }
        return true;
    } catch (const platform::Exception&) {
        return false;
    }
}

}  // namespace maker
