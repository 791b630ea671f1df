// The self-extracting stub: the program in front of every archive the maker builds.
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "platform/Platform.h"
#include "stub/OwnPath.h"
#include "stub/StubMain.h"
#include "stub/StubOptions.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToUtf16(argv[i]));
    // A shell without PATH searches these folders.
    const char* search = std::getenv("PATH");
    const std::u16string self =
        stub::OwnPath(platform::ExecutablePath(), argc > 0 && argv[0] ? platform::Utf8ToUtf16(argv[0]) : u"",
                      platform::Utf8ToUtf16(search ? search : "/usr/local/bin:/bin:/usr/bin"));
    // Questions and reports on the terminal start with the executable's name.
    platform::SetProgramName(FileNamePart(self));
    return stub::RunStub(self, stub::ParseStubOptions(args));
}
