// Folder listing. The whole folder is read and sorted at FindFirst: the file system's own order varies
// from one file system (and one run) to the next, and archives made from the same folder should come
// out the same. The order is the desktop file system's: names compared with A-Z folded to upper case,
// ties in byte order.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr uint32_t skippable = faHidden | faSysFile | faDirectory;

struct Entry {
    std::string nativeName;
    SearchRec rec;
};

struct ListingState {
    std::vector<Entry> entries;
    size_t next = 0;
};

unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

bool ListedBefore(const Entry& a, const Entry& b) {
    const std::string& x = a.nativeName;
    const std::string& y = b.nativeName;
    const size_t common = std::min(x.size(), y.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char p = FoldUpper(static_cast<unsigned char>(x[i]));
        const unsigned char q = FoldUpper(static_cast<unsigned char>(y[i]));
        if (p != q) return p < q;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

// Reads the folder, keeping what the mask and the skip rule let through. Entries that cannot be
// examined (a dangling link, a name removed meanwhile) and special files are left out: a FIFO, for one,
// would block the reader that opens it.
int ReadFolder(const std::string& folder, std::u16string_view mask, uint32_t attr,
               std::vector<Entry>& entries) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return errno;
    const int dirFd = dirfd(dir);
    const uint32_t exclude = ~attr & skippable;
    while (true) {
        // readdir tells the end from a failure only through errno.
        errno = 0;
        const dirent* item = readdir(dir);
        if (!item) break;
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        std::u16string wide = Utf8ToUtf16(name);
        if (!posix::MatchesMask(wide, mask)) continue;
        struct stat st {};
        if (fstatat(dirFd, name.c_str(), &st, 0) != 0) continue;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
        const auto attributes = static_cast<uint32_t>(posix::AttributesOf(st, name));
        if (attributes & exclude) continue;
        Entry entry;
        entry.nativeName = name;
        entry.rec.Name = std::move(wide);
        entry.rec.Attr = attributes;
        entry.rec.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
        entry.rec.Time = TimeToDosTime(st.st_mtime);
        entry.rec.ExcludeAttr = exclude;
        entries.push_back(std::move(entry));
    }
    const int error = errno;
    closedir(dir);
    return error;
}

void Fill(SearchRec& rec, const SearchRec& from) {
    rec.Name = from.Name;
    rec.Attr = from.Attr;
    rec.Size = from.Size;
    rec.Time = from.Time;
    rec.ExcludeAttr = from.ExcludeAttr;
}

}  // namespace

int FindFirst(const std::u16string& pattern, uint32_t attr, SearchRec& rec) {
    FindClose(rec);
    const size_t slash = pattern.rfind(PathDelim);
    std::u16string folder = slash == std::u16string::npos ? u"." : pattern.substr(0, slash);
    if (slash == 0) folder = u"/";
    const std::u16string mask = slash == std::u16string::npos ? pattern : pattern.substr(slash + 1);
    std::string native;
    if (mask.empty()) return ENOENT;
    if (!posix::NativePath(folder, native)) return EINVAL;

    auto state = std::make_shared<ListingState>();
    if (const int error = ReadFolder(native, mask, attr, state->entries); error != 0) return error;
    if (state->entries.empty()) return ENOENT;
    std::sort(state->entries.begin(), state->entries.end(), ListedBefore);
    rec.Handle = state;
    return FindNext(rec);
}

int FindNext(SearchRec& rec) {
    auto* state = static_cast<ListingState*>(rec.Handle.get());
    if (!state) return EBADF;
    if (state->next >= state->entries.size()) return ENOENT;
    Fill(rec, state->entries[state->next++].rec);
    return 0;
}

void FindClose(SearchRec& rec) { rec.Handle.reset(); }

int FolderListError(const std::u16string& folder) {
    std::string native;
    if (!posix::NativePath(folder.empty() ? u"." : folder, native)) return EINVAL;
    DIR* dir = opendir(native.c_str());
    if (!dir) return errno;
    closedir(dir);
    return 0;
}

}  // namespace platform
