// Shared by the adding tests: an archiver on a new archive in a scratch folder, and quick looks at
// the directory it builds.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace add_tests {

using testing_support::Quote;
// Runs a shell command (gtest's own Test::Run would hide the plain name inside a test).
inline int Sh(const std::string& command, std::string* output = nullptr) {
    return testing_support::Run(command, output);
}
using testing_support::ScratchDir;
using testing_support::WriteBytes;

inline std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }
inline std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

// A new, empty archive at `archive` (a path inside the scratch folder), with BaseDir at `tree`.
struct NewArchive {
    ScratchDir scratch;
    TCorvane arc;

    explicit NewArchive(const std::string& archive = "out/test.zip", const std::string& tree = "tree") {
        std::filesystem::create_directories(std::filesystem::path(scratch / archive).parent_path());
        std::filesystem::create_directories(scratch / tree);
        arc.SetName(u"Archiver");
        arc.SetFileName(scratch.P16(archive));
        arc.OpenArchive(cvOpenCreate);
        arc.SetBaseDir(scratch.P16(tree));
    }

    std::string Tree(const std::string& name = "") const { return scratch / ("tree/" + name); }
    TCVDirArray& Dir() { return arc.DMHandle()->CDir; }

    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int32_t i = 0; i < Dir().Count(); ++i) names.push_back(U8(Dir().GetItemPtr(i).Name));
        return names;
    }
    TDirItem& Item(const std::string& name) {
        int32_t index = -1;
        if (!Dir().FileExists(U16(name), index)) throw std::runtime_error("no item " + name);
        return Dir().GetItemPtr(index);
    }
    // Leaves an outer update open so that what the scan records can be looked at before any commit.
    void Hold() { arc.BeginUpdate(); }
    // Ends a held update without writing anything.
    void Drop() {
        arc.CancelUpdate();
        Dir().Clear();
    }
};

// Scripted answers for the default dialogs while a test runs; the previous dialogs come back after.
class ScriptedDialogsScope {
public:
    explicit ScriptedDialogsScope(std::vector<platform::Button> answers) {
        auto dialogs = std::make_unique<platform::ScriptedDialogs>();
        dialogs->Answers = std::move(answers);
        script_ = dialogs.get();
        previous_ = platform::InstallDialogs(std::move(dialogs));
    }
    ~ScriptedDialogsScope() { platform::InstallDialogs(std::move(previous_)); }
    platform::ScriptedDialogs& Script() { return *script_; }

private:
    platform::ScriptedDialogs* script_;
    std::unique_ptr<platform::Dialogs> previous_;
};

// Sets a file's modification time (local time), e.g. "2021-03-04 05:06:08".
inline void Touch(const std::string& path, const std::string& when) {
    ASSERT_EQ(Sh("touch -h -d " + Quote(when) + " " + Quote(path)), 0);
}

inline uint32_t DosTimeOfItem(const TDirItem& item) {
    return static_cast<uint32_t>(item.CentralDir.lastModDate) << 16 | item.CentralDir.lastModTime;
}

inline uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<uint32_t>(DateTimeToDosTime(TCVDateTime{year, month, day, hour, minute, second}));
}

}  // namespace add_tests
