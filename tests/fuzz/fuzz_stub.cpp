// The stub's whole road on an archive in a file: open its own file, check the space, create the target
// folder, extract every entry with the safety rules for names and links, report. Each input is written
// as a program file in a folder of its own, which is emptied again afterwards.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"
#include "stub/StubMain.h"
#include "tests/fuzz/FuzzSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path& WorkFolder() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / ("selfpack-fuzz-stub-" + std::to_string(getpid()));
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::InstallSilentDialogs();
    const fs::path program = WorkFolder() / "Fuzzed.run";
    {
        std::ofstream out(program, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    (void)stub::RunStub(platform::Utf8ToUtf16(program.string()));
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(WorkFolder(), ignored)) {
        // Extracted files may be read-only folders' contents: open them up before removing.
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        for (auto it = fs::recursive_directory_iterator(entry.path(), ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(entry.path(), ignored);
    }
    return 0;
}
