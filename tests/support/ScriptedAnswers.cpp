#include "support/ScriptedAnswers.h"

namespace testing_support {

ScriptedAnswers::ScriptedAnswers(std::vector<platform::Button> answers) {
    auto dialogs = std::make_unique<platform::ScriptedDialogs>();
    dialogs->Answers = std::move(answers);
    script_ = dialogs.get();
    previous_ = platform::InstallDialogs(std::move(dialogs));
}

ScriptedAnswers::~ScriptedAnswers() { platform::InstallDialogs(std::move(previous_)); }

}  // namespace testing_support
