// The maker's dialogs under FLTK: the platform's message boxes and password prompt, the folder dialog,
// and the push buttons that the window and the boxes share.
#pragma once

#include <memory>
#include <string>

#include <FL/Fl_Button.H>

#include "platform/Platform.h"

class Fl_Window;

namespace maker {

// A push button that Enter presses while it has the focus, as space does; a desktop user expects
// either key to act on the focused button.
class PushButton : public Fl_Button {
public:
    PushButton(int x, int y, int w, int h, const char* label = nullptr);
    int handle(int event) override;
};

// The window's default button: Enter presses it from anywhere in the window, unless another push
// button has the focus and takes the key itself.
class DefaultButton : public PushButton {
public:
    using PushButton::PushButton;
    int handle(int event) override;
};

// Message boxes drawn with FLTK and the password prompt. A box is a modal window centred over the
// window in front, titled after its kind ("Information", "Warning", "Error", "Confirm"), with an icon
// except for the plain Information message, and one button per bit of the set, the first one the
// default. Enter presses the focused button, Escape Cancel or a lone OK (other questions must be
// answered), Ctrl+C copies the text. A display must be open.
std::unique_ptr<platform::Dialogs> MakeFltkDialogs();

// The browse-for-folder dialog, titled `title` and centred over `owner` (or the screen when null). It
// starts in `folder` when that names a folder. True, with `folder` set to the chosen folder's path, only
// when the user confirms a choice; otherwise `folder` is left as it was.
bool BrowseForFolder(const std::u16string& title, Fl_Window* owner, std::u16string& folder);

}  // namespace maker
