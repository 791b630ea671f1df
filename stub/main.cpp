// The self-extracting stub: the program in front of every archive the maker builds.
#include "platform/Platform.h"
#include "stub/StubMain.h"

int main() { return stub::RunStub(platform::ExecutablePath()); }
