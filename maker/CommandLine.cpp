#include "maker/CommandLine.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "maker/BuildCommand.h"
#include "maker/PendingOutput.h"
#include "maker/StubPayload.h"
#include "maker/TerminalProgress.h"
#include "platform/Platform.h"

#ifndef SELFPACK_VERSION
#define SELFPACK_VERSION "0"
#endif

namespace maker {

namespace {

constexpr int ExitBuilt = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

constexpr const char* Usage =
    "Usage: selfpack [-q] [-o OUTPUT] [--best] FOLDER\n"
    "       selfpack            (without arguments: opens the window)\n"
    "\n"
    "Packs FOLDER, with every file and folder below it, into one self-extracting executable.\n"
    "Started, the executable unpacks itself into a folder next to it that carries its own name\n"
    "without the extension; 'OUTPUT --help' lists what else it can do.\n"
    "\n"
    "  -o OUTPUT   the executable to write (default: the folder's name plus \".run\", in the\n"
    "              current folder); an existing file is replaced once the new one is complete\n"
    "  -q          quiet: no progress and no success message, only errors\n"
    "  --best      compress harder: a smaller executable, built more slowly\n"
    "  -h, --help  show this text\n"
    "  --version   show the version\n"
    "\n"
    "The executable is written under a temporary name next to OUTPUT and takes its name only when\n"
    "complete: a build that fails or is interrupted leaves an older OUTPUT as it was.\n"
    "Files and archives over 4 GiB are stored in the Zip64 form.\n"
    "Exit status: 0 built, 1 failed or aborted, 2 wrong arguments.\n";

void Print(std::FILE* to, const std::u16string& text) {
    const std::string line = platform::Utf16ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), to);
    std::fflush(to);
}

void Error(const std::u16string& text) { Print(stderr, u"selfpack: " + text); }

int UsageError(const std::u16string& text) {
    Error(text);
    std::fputs("Try 'selfpack --help'.\n", stderr);
    return ExitUsage;
}

// The window's check says the same in its own words; here the path is named.
std::u16string FolderProblem(const std::u16string& folder) {
    if (folder.empty()) return u"the FOLDER given is empty";
    if (IsExistingFolder(folder)) return {};
    if (platform::FileExists(folder)) return u"\"" + folder + u"\" is not a folder";
    return u"folder \"" + folder + u"\" not found";
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    // The failure questions and their answers on the terminal say which program is speaking.
    platform::SetProgramName(u"selfpack");
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToUtf16(argv[i]));

    std::u16string output;
    std::u16string folder;
    bool haveOutput = false;
    bool haveFolder = false;
    bool quiet = false;
    bool optionsEnd = false;
    bool best = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (!optionsEnd && (arg == u"-h" || arg == u"--help")) {
            std::fputs(Usage, stdout);
            return ExitBuilt;
        }
        if (!optionsEnd && arg == u"--version") {
            std::fputs("selfpack " SELFPACK_VERSION "\n", stdout);
            return ExitBuilt;
        }
        if (!optionsEnd && arg == u"--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg == u"-q") {
            quiet = true;
        } else if (!optionsEnd && arg == u"-o") {
            if (i + 1 >= args.size()) return UsageError(u"-o needs the name of the executable to write");
            if (haveOutput) return UsageError(u"-o given twice");
            output = args[++i];
            haveOutput = true;
            if (output.empty()) return UsageError(u"-o needs the name of the executable to write");
        } else if (!optionsEnd && arg == u"--best") {
            best = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == u'-') {
            return UsageError(u"unknown option " + arg);
        } else {
            if (haveFolder) return UsageError(u"only one FOLDER can be packed at a time");
            folder = arg;
            haveFolder = true;
        }
    }
    if (!haveFolder) return UsageError(u"no FOLDER given");

    if (const std::u16string problem = FolderProblem(folder); !problem.empty()) {
        Error(problem);
        return ExitFailed;
    }
    if (!haveOutput) {
        output = DefaultOutput(folder, CurrentFolder());
        if (output.empty()) return UsageError(u"the folder has no name to give the executable; name it with -o");
    }
    // The message names the executable in full, wherever the maker was started from.
    output = FullPath(output);
    if (IsExistingFolder(output)) {
        Error(u"cannot write \"" + output + u"\": it is a folder");
        return ExitFailed;
    }

    TStubFile stub;
    try {
        stub = MakerStub();
        WriteStubFile(stub);
    } catch (const std::exception& e) {
        Error(platform::Utf8ToUtf16(e.what()));
        return ExitFailed;
    }

    RemovePendingOutputOnInterrupt(stub.FileName);
    int status = ExitFailed;
    try {
        TMakerArchiver Archiver;
        // Unlike the window's, the command line's archives hold files and reach sizes over 4 GiB.
        Archiver.SetZip64Mode(zmAuto);
        Archiver.SetBestCompression(best);
        TTerminalProgress progress(folder, !quiet && platform::StdErrIsTerminal());
        Archiver.SetProgressHandler([&](const TBuildProgress& step) { progress.Step(step); });
        const TBuildOutcome outcome = Build(Archiver, folder, output, stub);
        progress.Finish();
        if (outcome.Result == TBuildResult::Built) {
            if (!quiet) Print(stdout, outcome.Message);
            status = ExitBuilt;
        } else {
            Error(outcome.Message);
        }
    } catch (const std::exception& e) {
        Error(platform::Utf8ToUtf16(e.what()));
    }
    // As the window does when it closes: the stub file lives only while a maker runs.
    DeleteStubFile(stub);
    return status;
}

}  // namespace maker
