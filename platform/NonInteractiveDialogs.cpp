// The answers a program gets when nobody is there to ask: the safe one for each kind of question, so a
// run from a script neither hangs waiting for input nor overwrites or retries on its own. Every question
// and its answer go to standard error, so the log shows what was decided.
#include "platform/Platform.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

std::u16string& ProgramNameStore() {
    static std::u16string name;
    return name;
}

const char* KindLabel(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return "Warning: ";
        case MessageKind::Error: return "Error: ";
        case MessageKind::Confirmation: return "Question: ";
        case MessageKind::Information: break;
    }
    return "";
}

Button Choose(uint32_t buttons) {
    for (const Button b : {Button::Abort, Button::No, Button::Cancel, Button::Ok})
        if (buttons & uint32_t(b)) return b;
    return Button::None;
}

class NonInteractiveDialogs : public Dialogs {
public:
    Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) override {
        const Button answer = Choose(buttons);
        std::string line = KindLabel(kind) + Utf16ToUtf8(text);
        if (!ProgramName().empty()) line = Utf16ToUtf8(ProgramName()) + ": " + line;
        if (buttons != uint32_t(Button::Ok) && answer != Button::None)
            line += " [answered " + Utf16ToUtf8(ButtonCaption(answer)) + ": no terminal to ask]";
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return answer;
    }

    bool PasswordPrompt(const std::u16string& caption, const std::u16string&,
                        std::u16string&) override {
        std::string line = Utf16ToUtf8(caption) + " [no password given: no terminal to ask]\n";
        if (!ProgramName().empty()) line = Utf16ToUtf8(ProgramName()) + ": " + line;
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return false;
    }
};

}  // namespace

void SetProgramName(std::u16string name) { ProgramNameStore() = std::move(name); }

const std::u16string& ProgramName() { return ProgramNameStore(); }

std::unique_ptr<Dialogs> MakeNonInteractiveDialogs() { return std::make_unique<NonInteractiveDialogs>(); }

}  // namespace platform
