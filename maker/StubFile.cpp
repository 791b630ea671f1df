#include "maker/StubFile.h"

#include <algorithm>
#include <vector>

#include "platform/Platform.h"

namespace maker {

std::u16string StubFileName() { return platform::TempFolder() + u"SFXStub" + platform::ExecutableExtension(); }

void WriteStubFile(const TStubFile& Stub) {
    platform::WriteFileNoFollow(Stub.FileName, Stub.Bytes.data(), Stub.Bytes.size(), 0600);
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
