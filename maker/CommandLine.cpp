#include "maker/CommandLine.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "engine/util/CVStrFunc.h"
#include "maker/BuildCommand.h"
#include "maker/StubPayload.h"
#include "platform/Platform.h"

namespace maker {

namespace {

constexpr int ExitBuilt = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

constexpr const char* Usage =
    "Usage: selfpack [-o OUTPUT] FOLDER\n"
    "       selfpack            (without arguments: opens the window)\n"
    "\n"
    "Packs FOLDER, with every file and folder below it, into one self-extracting executable.\n"
    "Started, the executable unpacks itself into a folder next to it that carries its own name\n"
    "without the extension.\n"
    "\n"
    "  -o OUTPUT   the executable to write (default: the folder's name plus \".run\", in the\n"
    "              current folder); an existing file is replaced\n"
    "  -h, --help  show this text\n"
    "\n"
    "The intermediate ZIP archive (OUTPUT with \".zip\" in place of \".run\") is made next to OUTPUT\n"
    "and deleted when the executable is done; an existing file of that name is replaced.\n"
    "Exit status: 0 built, 1 failed or aborted, 2 wrong arguments.\n";

void Print(std::FILE* to, const std::u16string& text) {
    const std::string line = platform::Utf16ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), to);
    std::fflush(to);
}

int UsageError(const std::u16string& text) {
    Print(stderr, u"selfpack: " + text);
    std::fputs("Try 'selfpack --help'.\n", stderr);
    return ExitUsage;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToUtf16(argv[i]));

    std::u16string output;
    std::u16string folder;
    bool haveOutput = false;
    bool haveFolder = false;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (!optionsEnd && (arg == u"-h" || arg == u"--help")) {
            std::fputs(Usage, stdout);
            return ExitBuilt;
        }
        if (!optionsEnd && arg == u"--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg == u"-o") {
            if (i + 1 >= args.size()) return UsageError(u"-o needs the name of the executable to write");
            if (haveOutput) return UsageError(u"-o given twice");
            output = args[++i];
            haveOutput = true;
            if (output.empty()) return UsageError(u"-o needs the name of the executable to write");
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == u'-') {
            return UsageError(u"unknown option " + arg);
        } else {
            if (haveFolder) return UsageError(u"only one FOLDER can be packed at a time");
            folder = arg;
            haveFolder = true;
        }
    }
    if (!haveFolder) return UsageError(u"no FOLDER given");

    if (const std::u16string problem = CheckFolder(folder); !problem.empty()) {
        Print(stderr, u"selfpack: " + problem + (folder.empty() ? u"" : u" (" + folder + u")"));
        return ExitFailed;
    }
    if (!haveOutput) {
        output = DefaultOutput(folder, CurrentFolder());
        if (output.empty()) return UsageError(u"the folder has no name to give the executable; name it with -o");
    }
    // The message names the executable in full, wherever the maker was started from.
    output = FullPath(output);

    TStubFile stub;
    try {
        stub = MakerStub();
        WriteStubFile(stub);
    } catch (const std::exception& e) {
        Print(stderr, u"selfpack: " + platform::Utf8ToUtf16(e.what()));
        return ExitFailed;
    }

    int status = ExitFailed;
    try {
        TMakerArchiver Archiver;
        const TBuildOutcome outcome = Build(Archiver, folder, TargetsForOutput(output), stub);
        if (outcome.Result == TBuildResult::Built) {
            Print(stdout, outcome.Message);
            status = ExitBuilt;
        } else {
            Print(stderr, outcome.Message);
        }
    } catch (const std::exception& e) {
        Print(stderr, platform::Utf8ToUtf16(e.what()));
    }
    // As the window does when it closes: the stub file lives only while a maker runs.
    DeleteStubFile(stub);
    return status;
}

}  // namespace maker
