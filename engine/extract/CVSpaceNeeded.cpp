// What an extraction will take on disk, so a host can refuse to start one that cannot finish.
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace {

int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

// The size of the regular file at path; 0 when there is none.
int64_t ExistingFileSize(const std::u16string& path) {
    platform::SearchRec rec;
    const uint32_t everyFile = platform::faReadOnly | platform::faHidden | platform::faSysFile | platform::faArchive;
    int64_t size = 0;
    if (platform::FindFirst(path, everyFile, rec) == 0 && (rec.Attr & platform::faDirectory) == 0) size = rec.Size;
    platform::FindClose(rec);
    return size;
}

}  // namespace

bool TCVBaseArchiver::DirectoryRebuilt() const { return FDMHandle && FDMHandle->Rebuilt; }

int64_t TCVBaseArchiver::ExtractSpaceNeeded(const std::u16string& Folder, bool CountReplaced) const {
    if (!FDMHandle) return 0;
    const TCVDirArray& dir = FDMHandle->CDir;
    const std::u16string base = IncludePathDelimiter(Folder);
    int64_t written = 0;
    int64_t freed = 0;
    int64_t peak = 0;
    for (int32_t i = 0; i < dir.Count(); ++i) {
        const TDirItem& item = dir.GetItemPtr(i);
        if (IsFolderItem(item)) continue;
        written = SaturatingAdd(written, std::max<int64_t>(ItemUncompressedSize(item), 0));
        peak = std::max(peak, written - freed);
        if (!CountReplaced) continue;
        std::u16string name = item.Name;
        std::replace(name.begin(), name.end(), u'/', PathDelimiter());
        freed = SaturatingAdd(freed, ExistingFileSize(base + name));
    }
    return peak;
}
