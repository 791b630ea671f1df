#include "maker/FltkDialogs.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

// fl_draw.H brings in the X headers, whose None macro would rewrite platform::Button::None.
#undef None

namespace maker {

namespace {

using platform::Button;
using platform::MessageKind;

constexpr int Margin = 12;
constexpr int Gap = 8;
constexpr int IconSize = 36;
constexpr int ButtonHeight = 25;
constexpr int MinButtonWidth = 75;
constexpr int MinTextWidth = 160;
constexpr int MaxTextWidth = 420;

bool IsEnter(int key) { return key == FL_Enter || key == FL_KP_Enter; }

// Centred over `owner` when it is on the screen, else over the screen; kept inside the screen's work
// area so that no part of a box lands where the user cannot reach it.
void CentreOver(Fl_Window& window, Fl_Window* owner) {
    int sx, sy, sw, sh;
    int x, y;
    if (owner && owner->shown()) {
        Fl::screen_work_area(sx, sy, sw, sh, owner->x() + owner->w() / 2, owner->y() + owner->h() / 2);
        x = owner->x() + (owner->w() - window.w()) / 2;
        y = owner->y() + (owner->h() - window.h()) / 2;
    } else {
        Fl::screen_work_area(sx, sy, sw, sh, 0);
        x = sx + (sw - window.w()) / 2;
        y = sy + (sh - window.h()) / 2;
    }
    x = std::max(sx, std::min(x, sx + sw - window.w()));
    y = std::max(sy, std::min(y, sy + sh - window.h()));
    window.position(x, y);
}

// The window in front, over which a box is centred.
Fl_Window* FrontWindow() {
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w))
        if (w->shown() && w->visible()) return w;
    return nullptr;
}

// Message text drawn without FLTK's label markup: a file name holding "@" or "&" must show as it is,
// not as a symbol or an underlined shortcut.
class MessageText : public Fl_Widget {
public:
    MessageText(int x, int y, int w, int h, const std::string& text) : Fl_Widget(x, y, w, h), text_(text) {
        box(FL_NO_BOX);
    }

    void draw() override {
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        fl_color(FL_FOREGROUND_COLOR);
        const Fl_Align align = FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_INSIDE;
        fl_draw(text_.c_str(), x(), y(), w(), h(), align, nullptr, 0);
    }

private:
    std::string text_;
};

void Measure(const std::string& text, int& w, int& h) {
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    w = MaxTextWidth;
    h = 0;
    fl_measure(text.c_str(), w, h, 0);
    if (w > MaxTextWidth) {
        // fl_measure wraps only at blanks: a long path stays one line, and the box grows for it.
        w = std::min(w, Fl::w() - 4 * Margin - IconSize);
    }
}

const char* Title(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return "Warning";
        case MessageKind::Error: return "Error";
        case MessageKind::Confirmation: return "Confirm";
        case MessageKind::Information: break;
    }
    return "Information";
}

// A box's icon, a sign on a coloured disc, placed at x, y. The plain message (Information) has none.
void AddIcon(MessageKind kind, int x, int y) {
    const char* glyph = "?";
    Fl_Color colour = fl_rgb_color(0x20, 0x60, 0xC0);
    switch (kind) {
        case MessageKind::Warning: glyph = "!"; colour = fl_rgb_color(0xD8, 0xA0, 0x00); break;
        case MessageKind::Error: glyph = "X"; colour = fl_rgb_color(0xC0, 0x20, 0x20); break;
        case MessageKind::Confirmation: break;
        case MessageKind::Information: return;
    }
    auto* icon = new Fl_Box(x, y, IconSize, IconSize, glyph);
    icon->box(FL_OVAL_BOX);
    icon->color(colour);
    icon->labelcolor(FL_WHITE);
    icon->labelfont(FL_HELVETICA_BOLD);
    icon->labelsize(22);
}

// The button Escape presses: Cancel, or OK when it stands alone. A question without either (Abort,
// Retry, Ignore; Yes, No) must be answered by choosing.
Button EscapeButton(uint32_t buttons) {
    if (buttons & uint32_t(Button::Cancel)) return Button::Cancel;
    if (buttons == uint32_t(Button::Ok)) return Button::Ok;
    return Button::None;
}

class MessageWindow : public Fl_Double_Window {
public:
    MessageWindow(const std::string& text, MessageKind kind, const std::vector<Button>& buttons)
        : Fl_Double_Window(100, 100), text_(text) {
        int textW, textH;
        Measure(text_, textW, textH);
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        std::vector<std::string> captions;
        std::vector<int> widths;
        int rowW = 0;
        for (Button b : buttons) {
            captions.push_back(platform::Utf16ToUtf8(platform::ButtonCaption(b)));
            const int w = std::max(MinButtonWidth, int(fl_width(captions.back().c_str())) + 24);
            widths.push_back(w);
            rowW += w + (widths.size() > 1 ? Gap : 0);
        }
        const bool plain = kind == MessageKind::Information;
        const int iconW = plain ? 0 : IconSize + Gap;
        const int iconH = plain ? 0 : IconSize;
        const int bodyH = std::max(iconH, textH);
        const int bodyW = iconW + std::max(textW, MinTextWidth);
        const int width = Margin + std::max(bodyW, rowW) + Margin;
        const int height = Margin + bodyH + Margin + ButtonHeight + Margin;
        size(width, height);

        AddIcon(kind, Margin, Margin);
        const int textY = Margin + std::max(0, (iconH - textH) / 2);
        new MessageText(Margin + iconW, textY, textW, textH, text_);

        const Button escape = EscapeButton(SetOf(buttons));
        int x = (width - rowW) / 2;
        const int buttonY = Margin + bodyH + Margin;
        for (size_t i = 0; i < buttons.size(); ++i) {
            // The first button is the default one, and takes the focus when the box opens.
            PushButton* b = i == 0 ? new DefaultButton(x, buttonY, widths[i], ButtonHeight)
                                   : new PushButton(x, buttonY, widths[i], ButtonHeight);
            b->copy_label(captions[i].c_str());
            b->callback(ButtonPressed, reinterpret_cast<void*>(uintptr_t(buttons[i])));
            if (buttons[i] == escape) b->shortcut(FL_Escape);
            x += widths[i] + Gap;
        }
        end();
        copy_label(Title(kind));
        set_modal();
        callback(CloseAsked);
    }

    Button Run(Fl_Window* owner) {
        CentreOver(*this, owner);
        show();
        while (shown()) Fl::wait();
        return answer_;
    }

    int handle(int event) override {
        if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_state(FL_CTRL) &&
            (Fl::event_key() == 'c' || Fl::event_key() == FL_Insert)) {
            Fl::copy(text_.c_str(), int(text_.size()), 1);
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }

private:
    static uint32_t SetOf(const std::vector<Button>& buttons) {
        uint32_t set = 0;
        for (Button b : buttons) set |= uint32_t(b);
        return set;
    }

    static void ButtonPressed(Fl_Widget* w, void* data) {
        auto* box = static_cast<MessageWindow*>(w->window());
        box->answer_ = Button(reinterpret_cast<uintptr_t>(data));
        box->hide();
    }

    // Escape reaches the window only when no button took it: such a box stays until answered. Any
    // other close request (the window manager's close button) answers None.
    static void CloseAsked(Fl_Widget* w, void*) {
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        auto* box = static_cast<MessageWindow*>(w);
        box->answer_ = Button::None;
        box->hide();
    }

    std::string text_;
    Button answer_ = Button::None;
};

class FltkDialogs : public platform::Dialogs {
public:
    Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) override {
        std::vector<Button> shown = platform::ButtonsOf(buttons);
        if (shown.empty()) shown.push_back(Button::Ok);   // a box nobody could close would hang the program
        MessageWindow box(platform::Utf16ToUtf8(text), kind, shown);
        return box.Run(FrontWindow());
    }

    bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                        std::u16string& value) override {
        const std::string title = platform::Utf16ToUtf8(caption);
        const std::string label = platform::Utf16ToUtf8(prompt);
        fl_message_title(title.c_str());
        fl_message_hotspot(0);   // centred on the screen, not wherever the mouse happens to be
        // The prompt goes in as an argument, never as the format: a file name may hold "%".
        const char* typed = fl_password("%s", "", label.c_str());
        if (!typed) return false;
        value = platform::Utf8ToUtf16(typed);
        return true;
    }
};

}  // namespace

PushButton::PushButton(int x, int y, int w, int h, const char* label) : Fl_Button(x, y, w, h, label) {}

int PushButton::handle(int event) {
    if (event == FL_KEYBOARD && Fl::focus() == this && IsEnter(Fl::event_key()) &&
        !Fl::event_state(FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) {
        simulate_key_action();
        do_callback();
        return 1;
    }
    return Fl_Button::handle(event);
}

int DefaultButton::handle(int event) {
    if (event == FL_SHORTCUT && IsEnter(Fl::event_key())) {
        simulate_key_action();
        do_callback();
        return 1;
    }
    return PushButton::handle(event);
}

std::unique_ptr<platform::Dialogs> MakeFltkDialogs() { return std::make_unique<FltkDialogs>(); }

bool BrowseForFolder(const std::u16string& title, Fl_Window* owner, std::u16string& folder) {
    const std::string caption = platform::Utf16ToUtf8(title);
    const bool haveFolder = !folder.empty() && platform::FolderExists(folder);
    const std::string start = platform::Utf16ToUtf8(haveFolder ? folder : platform::CurrentFolder());
    Fl_File_Chooser chooser(nullptr, "*", Fl_File_Chooser::DIRECTORY, caption.c_str());
    // A folder already chosen: its OK button is ready, so confirming the folder shown takes one press.
    chooser.value(start.c_str());
    // The chooser keeps its window to itself; one of its public buttons leads to it.
    Fl_Window* window = chooser.newButton->top_window();
    window->set_modal();
    chooser.show();
    CentreOver(*window, owner);
    while (chooser.shown()) Fl::wait();
    const char* chosen = chooser.value();
    if (!chosen) return false;
    // A folder's path as the user knows it, without the separator the chooser may leave at its end:
    // the build names its outputs after the part behind the last separator. The root keeps its own.
    std::u16string path = platform::Utf8ToUtf16(chosen);
    while (path.size() > 1 && path.back() == platform::PathDelim) path.pop_back();
    if (path.empty()) path = std::u16string(1, platform::PathDelim);
    folder = path;
    return true;
}

}  // namespace maker
