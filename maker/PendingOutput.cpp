#include "maker/PendingOutput.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include "engine/Corvane.h"
#include "platform/Platform.h"

namespace maker {

namespace {

// The temporary file a signal handler may have to delete, as the bytes the C library takes. Only
// one output is pending at a time; the handler reads the name only while the flag is set.
char pendingName[8192];
volatile std::sig_atomic_t pendingSet = 0;
// The stub file, which a maker deletes as it ends.
char stubName[8192];
volatile std::sig_atomic_t stubSet = 0;

void Keep(const std::u16string& name, char (&buffer)[8192], volatile std::sig_atomic_t& set) {
    set = 0;
    const std::string bytes = platform::Utf16ToUtf8(name);
    if (bytes.size() >= sizeof buffer) return;
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    set = 1;
}

void SetPending(const std::u16string& name) { Keep(name, pendingName, pendingSet); }

extern "C" void OnInterrupt(int signal) {
    if (pendingSet) std::remove(pendingName);
    if (stubSet) std::remove(stubName);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The part of a platform error after the file's name: the system's reason.
std::u16string ReasonOf(const platform::Exception& e) {
    const std::u16string& text = e.Message();
    const size_t at = text.rfind(u"\". ");
    return at == std::u16string::npos ? std::u16string() : text.substr(at + 1);
}

}  // namespace

TPendingOutput::TPendingOutput(std::u16string FinalName) : FFinalName(std::move(FinalName)) {
    // A hidden name of the output's own, so that a file left by a kill says what it was.
    const std::u16string prefix = u"." + FileNamePart(FFinalName) + u".";
    try {
        FTempName = platform::CreateTempFile(FolderPart(FFinalName), prefix);
    } catch (const platform::FileError& e) {
        throw platform::FileError(u"Cannot create file \"" + FFinalName + u"\"" + ReasonOf(e), e.SystemError());
    }
    SetPending(FTempName);
}

TPendingOutput::~TPendingOutput() {
    if (FCommitted) return;
    pendingSet = 0;
    platform::DeleteFile(FTempName);
}

void TPendingOutput::Commit() {
    platform::GiveNewFilePermissions(FTempName);
    platform::MakeExecutable(FTempName);
    if (!platform::ReplaceFile(FTempName, FFinalName)) {
        const std::u16string why = platform::FolderExists(FFinalName) ? u". A folder has that name" : u"";
        throw platform::FileError(u"Cannot create file \"" + FFinalName + u"\"" + why, 0);
    }
    FCommitted = true;
    pendingSet = 0;
}

void RemovePendingOutputOnInterrupt(const std::u16string& StubFileName) {
    Keep(StubFileName, stubName, stubSet);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#if defined(SIGHUP)
    std::signal(SIGHUP, OnInterrupt);
#endif
}

}  // namespace maker
