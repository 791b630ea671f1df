#include "stub/StubOptions.h"

namespace stub {

TStubOptions ParseStubOptions(const std::vector<std::u16string>& Args) {
    TStubOptions options;
    bool actionGiven = false;
    const auto setAction = [&](TStubAction action, const std::u16string& arg) {
        if (actionGiven && options.Action != action) {
            options.Error = u"only one of --list and --test can be given (" + arg + u")";
            return;
        }
        options.Action = action;
        actionGiven = true;
    };
    for (size_t i = 0; i < Args.size() && options.Error.empty(); ++i) {
        const std::u16string& arg = Args[i];
        if (arg == u"-h" || arg == u"--help" || arg == u"/?") {
            options.Action = TStubAction::Help;
            return options;
        }
        if (arg == u"--version") {
            options.Action = TStubAction::Version;
            return options;
        }
        if (arg == u"-l" || arg == u"--list") {
            setAction(TStubAction::List, arg);
        } else if (arg == u"-t" || arg == u"--test") {
            setAction(TStubAction::Test, arg);
        } else if (arg == u"-y") {
            options.Unattended = true;
        } else if (arg == u"-q") {
            options.Quiet = true;
        } else if (arg == u"-d" || arg == u"--target") {
            if (i + 1 >= Args.size() || Args[i + 1].empty()) {
                options.Error = arg + u" needs the folder to unpack into";
            } else if (!options.Target.empty()) {
                options.Error = arg + u" given twice";
            } else {
                options.Target = Args[++i];
            }
        } else if (arg.rfind(u"--target=", 0) == 0 && arg.size() > 9) {
            if (!options.Target.empty()) options.Error = u"--target given twice";
            options.Target = arg.substr(9);
        } else if (!arg.empty() && (arg[0] == u'-' || arg[0] == u'/')) {
            options.Error = u"unknown option " + arg;
        } else {
            options.Error = u"unexpected argument \"" + arg + u"\"";
        }
    }
    return options;
}

std::u16string StubUsage(const std::u16string& ProgramName) {
    return u"Usage: " + ProgramName + u" [-d FOLDER] [-y] [-q]\n"
           u"       " + ProgramName + u" --list | --test\n"
           u"\n"
           u"A self-extracting archive. Started without options it unpacks everything into a folder\n"
           u"next to itself that carries its own name without the extension, replacing files of the\n"
           u"same names.\n"
           u"\n"
           u"  -d, --target FOLDER  unpack into FOLDER instead (created when missing)\n"
           u"  -l, --list           list the entries: size, date and name\n"
           u"  -t, --test           check every entry without writing anything\n"
           u"  -y                   never ask: an entry that fails ends the unpacking\n"
           u"  -q                   quiet: no progress\n"
           u"  -h, --help, /?       show this text\n"
           u"  --version            show the version\n"
           u"\n"
           u"Exit status: 0 every entry unpacked (or listed, or found sound), 1 otherwise,\n"
           u"2 wrong arguments.\n";
}

}  // namespace stub
