// What the fuzz targets share: the input as the engine's stream, and silent dialogs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace fuzzing {

inline platform::StringStream AsStream(const uint8_t* data, size_t size) {
    return platform::StringStream(std::string(reinterpret_cast<const char*>(data), size));
}

// Every question is answered as nobody at the terminal would: failures abort, overwrites are declined,
// prompts cancel. Nothing is printed, so a run shows only what the fuzzer itself says.
class SilentDialogs : public platform::Dialogs {
public:
    platform::Button MessageBox(const std::u16string&, platform::MessageKind, uint32_t buttons) override {
        for (platform::Button b : {platform::Button::Abort, platform::Button::No, platform::Button::Cancel,
                                   platform::Button::Ok})
            if (buttons & uint32_t(b)) return b;
        return platform::Button::None;
    }
    bool PasswordPrompt(const std::u16string&, const std::u16string&, std::u16string&) override { return false; }
};

inline void InstallSilentDialogs() {
    static const bool installed = [] {
        platform::InstallDialogs(std::make_unique<SilentDialogs>());
        return true;
    }();
    (void)installed;
}

}  // namespace fuzzing
