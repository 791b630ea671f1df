// Answers given in place of the user while a test runs, so code that asks questions can be driven.
#pragma once

#include <memory>
#include <vector>

#include "platform/Platform.h"

namespace testing_support {

// Installs scripted default dialogs with the given answers; the previous dialogs come back at
// destruction.
class ScriptedAnswers {
public:
    explicit ScriptedAnswers(std::vector<platform::Button> answers);
    ~ScriptedAnswers();
    ScriptedAnswers(const ScriptedAnswers&) = delete;
    ScriptedAnswers& operator=(const ScriptedAnswers&) = delete;

    platform::ScriptedDialogs& Script() { return *script_; }
    // The messages shown so far, in order.
    const std::vector<platform::ScriptedDialogs::Shown>& Shown() const { return script_->Messages; }

private:
    platform::ScriptedDialogs* script_;
    std::unique_ptr<platform::Dialogs> previous_;
};

}  // namespace testing_support
