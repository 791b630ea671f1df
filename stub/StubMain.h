// The stub program: started as a self-extracting executable, it extracts the archive behind itself
// into a folder named after the executable, next to it, and ends.
#pragma once

#include <cstdint>
#include <string>

#include "stub/StubArchiver.h"
#include "stub/StubOptions.h"

namespace stub {

// The stub's main form. It is never shown; all its work happens as it is created.
class TFmMain {
public:
    explicit TFmMain(std::u16string ExecutableName);

    // The whole job: open the executable as an archive and extract every entry below the target
    // folder. Per-entry failures go to the archiver's failure question; anything that ends the job
    // (no archive behind the stub, a damaged directory) is raised.
    void FormCreate();

    // Opens the executable itself as an archive, read-only, for listing or testing it. Raises the
    // engine's error for an executable that carries no archive.
    void OpenSelf();

    // The folder the entries go to: the executable's folder followed by its name without extension,
    // unless another was set; for an executable without an extension (or with nothing before it), its
    // own path plus ".d".
    std::u16string TargetFolder() const;
    // Whether the target is what the user expects without being told: the executable's name without
    // its extension, or the folder they set (otherwise the stub says where the files went).
    bool TargetIsPlainName() const;
    void SetTargetFolder(const std::u16string& Folder) { FTargetOverride = Folder; }
    // Entries the archive holds, as counted while it was open.
    int32_t EntryCount() const { return FEntryCount; }
    // The archive had no end record, or its directory disagreed with itself: the directory was rebuilt
    // from the entries found, so entries may be missing (a download cut short, say).
    bool Damaged() const { return FDamaged; }

    TStubArchiver Archiver;

private:
    void CheckFreeSpace(const std::u16string& Target) const;

    std::u16string FExecutableName;
    std::u16string FTargetOverride;
    int32_t FEntryCount = 0;
    bool FDamaged = false;
};

// Runs the stub for the executable ExecutableName and gives the process's exit status: 0 only when
// every entry was extracted. An extraction that left entries out, was aborted, or could not start is
// reported through the dialogs in force and gives 1.
int RunStub(const std::u16string& ExecutableName);
// The same with the executable's own options: --list and --test print to standard output and give 0
// or 1, -d unpacks elsewhere, -y answers every question unattended, -q shows no progress; help and
// the version are printed, and unusable arguments give the usage on standard error and 2.
int RunStub(const std::u16string& ExecutableName, const TStubOptions& Options);

}  // namespace stub
