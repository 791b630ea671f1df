#include "platform/Platform.h"

namespace platform {

Button ScriptedDialogs::MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) {
    Messages.push_back({text, kind, buttons});
    if (Answers.empty()) return Button::None;
    const Button answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
}

bool ScriptedDialogs::PasswordPrompt(const std::u16string& caption, const std::u16string&,
                                     std::u16string& value) {
    PasswordCaptions.push_back(caption);
    if (Passwords.empty()) return false;
    value = Passwords.front();
    Passwords.erase(Passwords.begin());
    return true;
}

}  // namespace platform
