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
#include "support/DirectoryLooks.h"
#include "support/ScriptedAnswers.h"
#include "support/TestSupport.h"

namespace add_tests {

using testing_support::Dos;
using testing_support::Quote;
using testing_support::ScriptedAnswers;
using testing_support::U16;
using testing_support::U8;
// Runs a shell command (gtest's own Test::Run would hide the plain name inside a test).
inline int Sh(const std::string& command, std::string* output = nullptr) {
    return testing_support::Run(command, output);
}
using testing_support::ScratchDir;
using testing_support::WriteBytes;

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

    std::vector<std::string> Names() { return testing_support::NamesOf(Dir()); }
    TDirItem& Item(const std::string& name) { return testing_support::ItemNamed(Dir(), name); }
    // Leaves an outer update open so that what the scan records can be looked at before any commit.
    void Hold() { arc.BeginUpdate(); }
    // Ends a held update without writing anything.
    void Drop() {
        arc.CancelUpdate();
        Dir().Clear();
    }
};

// Sets a file's modification time (local time), e.g. "2021-03-04 05:06:08".
inline void Touch(const std::string& path, const std::string& when) {
    ASSERT_EQ(Sh("touch -h -d " + Quote(when) + " " + Quote(path)), 0);
}

inline uint32_t DosTimeOfItem(const TDirItem& item) {
    return static_cast<uint32_t>(item.CentralDir.lastModDate) << 16 | item.CentralDir.lastModTime;
}

}  // namespace add_tests
