#include "maker/UiThreadDialogs.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <FL/Fl.H>

namespace maker {

namespace {

using platform::Button;
using platform::MessageKind;

// One question on its way to the interface thread and its answer on the way back.
struct PendingCall {
    std::function<void()> Run;
    std::mutex Lock;
    std::condition_variable Answered;
    bool Done = false;
};

void RunPending(void* data) {
    auto* call = static_cast<PendingCall*>(data);
    call->Run();
    std::lock_guard<std::mutex> lock(call->Lock);
    call->Done = true;
    call->Answered.notify_one();
}

// Hands Run to the interface thread and waits until it has run there.
void RunOnUiThread(std::function<void()> Run) {
    PendingCall call;
    call.Run = std::move(Run);
    // The queue of handed-over calls is short; a full one empties as the interface thread goes on.
    while (Fl::awake(RunPending, &call) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::unique_lock<std::mutex> lock(call.Lock);
    call.Answered.wait(lock, [&] { return call.Done; });
}

class UiThreadDialogs : public platform::Dialogs {
public:
    explicit UiThreadDialogs(std::unique_ptr<platform::Dialogs> inner)
        : inner_(std::move(inner)), uiThread_(std::this_thread::get_id()) {}

    Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) override {
        if (std::this_thread::get_id() == uiThread_) return inner_->MessageBox(text, kind, buttons);
        Button answer = Button::None;
        RunOnUiThread([&] { answer = inner_->MessageBox(text, kind, buttons); });
        return answer;
    }

    bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                        std::u16string& value) override {
        if (std::this_thread::get_id() == uiThread_) return inner_->PasswordPrompt(caption, prompt, value);
        bool confirmed = false;
        RunOnUiThread([&] { confirmed = inner_->PasswordPrompt(caption, prompt, value); });
        return confirmed;
    }

private:
    std::unique_ptr<platform::Dialogs> inner_;
    std::thread::id uiThread_;
};

}  // namespace

std::unique_ptr<platform::Dialogs> MakeUiThreadDialogs(std::unique_ptr<platform::Dialogs> Inner) {
    return std::make_unique<UiThreadDialogs>(std::move(Inner));
}

}  // namespace maker
