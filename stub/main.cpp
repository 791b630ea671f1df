// The self-extracting stub: the program in front of every archive the maker builds.
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "stub/StubMain.h"
#include "stub/StubOptions.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToUtf16(argv[i]));
    return stub::RunStub(platform::ExecutablePath(), stub::ParseStubOptions(args));
}
