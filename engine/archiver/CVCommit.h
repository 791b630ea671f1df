// The commit of one update: the steps that rewrite the archive in place.
//
// Everything in front of the first changed entry stays where it is. The old archive from the cut on is
// saved to a temporary file, the archive is cut there, and the entries from there on are written anew:
// changed ones compressed again by the per-item writer, kept ones copied back from the temporary file.
// A new central directory follows. A failure, a cancel or an abort puts the old bytes back, so the
// archive on disk is always either the old one or the new one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "engine/util/CVTypes.h"

class TCVBaseArchiver;
class TCVDirArray;
class TCVTempTail;

class TCVCommit {
public:
    // Works on the archive's open stream and directory manager, which the caller has checked exist.
    explicit TCVCommit(TCVBaseArchiver& Arc);
    ~TCVCommit();
    TCVCommit(const TCVCommit&) = delete;
    TCVCommit& operator=(const TCVCommit&) = delete;

    // The whole commit, step by step. Returns normally after a cancel or an abort (the archive is then
    // as it was); any other failure while entries are written rolls back and is raised again.
    void Run();

private:
    // Steps, in the order Run takes them.
    void CountChangedItems();
    void PlanCut();
    bool ReportStart();
    void SaveTail();
    bool WriteEntries();   // false when a cancel or an abort stopped it
    void CopyKeptEntry(int32_t Index);
    void WriteDirectory();
    void RollBack();
    void RemoveMovedSources(bool Folders);
    void ReportEnd();

    TCVBaseArchiver& FArc;
    TCVDirArray& FDir;          // CDir: the directory being committed
    TCVDirArray& FOldDir;       // RBCDir: the directory as it stood when the update began
    TCVProcessOperation FProgressOperation = poDelete;
    int32_t FFirst = 0;         // the first index that is written anew
    int64_t FBaseOffset = 0;    // where the archive is cut and rewriting starts
    std::unique_ptr<TCVTempTail> FTail;
    bool FArchiveCut = false;
    bool FRemovalAborted = false;
    // The pre-update copy of each entry by its exact name; the first one wins, as on disk.
    std::unordered_map<std::u16string, int32_t> FOldIndex;
};
