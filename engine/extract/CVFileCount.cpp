// EntryCount, and FileCount: the entries that are files, counted with the archive item search.
#include "engine/archiver/CVBaseArchiver.h"
#include "engine/format/CVDirManager.h"
#include "platform/Platform.h"

int32_t TCVBaseArchiver::EntryCount() const { return FDMHandle ? FDMHandle->CDir.Count() : 0; }

int32_t TCVBaseArchiver::FileCount() {
    CheckActive();
    int32_t count = FDMHandle->CDir.Count();
    // The folders are the entries a search admitting only the folder bit finds with that bit set. A
    // folder entry that also carries the hidden, system or volume-label bit escapes that search and so
    // counts as a file.
    bool recurse = FOptions.Recurse();
    FOptions.SetRecurse(true);
    struct RestoreRecurse {
        TCVOptions& options;
        bool saved;
        ~RestoreRecurse() { options.SetRecurse(saved); }
    } restore{FOptions, recurse};
    TCVArchiveItem item;
    for (bool found = FindFirst(u"*.*", item, platform::faDirectory, u""); found; found = FindNext(item))
        if (item.ExternalFileAttributes & platform::faDirectory) --count;
    return count;
}
