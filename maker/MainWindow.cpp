#include "maker/MainWindow.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Pixmap.H>

#include "maker/BuildCommand.h"
#include "maker/FltkDialogs.h"
#include "maker/MakerArchiver.h"
#include "maker/StubFile.h"
#include "maker/StubPayload.h"
#include "platform/Platform.h"

// Last: the X headers define macros (None, Status, Success) that would rewrite the names above.
#include <FL/x.H>

namespace maker {

namespace {

constexpr int ClientWidth = 515;
constexpr int ClientHeight = 98;
// The layout's pixel positions were made for an 8-point face at 96 dots per inch; this size keeps
// every caption inside its control.
constexpr Fl_Fontsize FontSize = 12;

const char16_t* const FolderDialogTitle = u"EXE 만들선택";

// The stock glyphs of the OK and Cancel buttons: a green tick and a red cross, each with the gap to
// its caption.
const char* const OkGlyph[] = {
    "15 12 2 1",
    "  c None",
    "# c #00A000",
    "           #   ",
    "          ##   ",
    "         ###   ",
    "        ###    ",
    "#      ###     ",
    "##    ###      ",
    "###  ###       ",
    " ######        ",
    "  ####         ",
    "   ##          ",
    "               ",
    "               ",
};

const char* const CancelGlyph[] = {
    "15 12 2 1",
    "  c None",
    "# c #C00000",
    "               ",
    "##       ##    ",
    "###     ###    ",
    " ###   ###     ",
    "  ### ###      ",
    "   #####       ",
    "   #####       ",
    "  ### ###      ",
    " ###   ###     ",
    "###     ###    ",
    "##       ##    ",
    "               ",
};

// The plain message box: the text and one OK button.
void ShowMessage(const std::u16string& text, platform::MessageKind kind) {
    platform::CurrentDialogs().MessageBox(text, kind, uint32_t(platform::Button::Ok));
}

void ShowError(const std::u16string& text) { ShowMessage(text, platform::MessageKind::Error); }

// Whatever a handler raises ends that handler and is shown in an error box, as the application's
// default handler would; nothing may unwind through FLTK's event loop.
template <class Action>
void Guarded(Action&& action) {
    try {
        action();
    } catch (const platform::Exception& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(platform::Utf8ToUtf16(e.what()));
    } catch (...) {
        ShowError(u"Unexpected error");
    }
}

class TFmMain : public Fl_Double_Window {
public:
    TFmMain();

    void FormCreate();
    // Closes the window; the first call runs FormClose.
    void Close();

private:
    void bnChooseArchiveClick();
    void bnMakeSFXClick();
    void bnExitClick();
    void FormClose();

    static void OnChooseArchive(Fl_Widget*, void* fm) { static_cast<TFmMain*>(fm)->bnChooseArchiveClick(); }
    static void OnMakeSFX(Fl_Widget*, void* fm) { static_cast<TFmMain*>(fm)->bnMakeSFXClick(); }
    static void OnExit(Fl_Widget*, void* fm) { static_cast<TFmMain*>(fm)->bnExitClick(); }
    static void OnClose(Fl_Widget* fm, void*) { static_cast<TFmMain*>(fm)->Close(); }

    Fl_Pixmap okGlyph_{OkGlyph};
    Fl_Pixmap cancelGlyph_{CancelGlyph};
    // Created in tab order; the window owns and deletes them.
    Fl_Box* Label1;
    Fl_Input* ArcName;
    PushButton* bnChooseArchive;
    DefaultButton* bnMakeSFX;
    PushButton* bnExit;
    // The engine instance of every build; it lives as long as the window.
    TMakerArchiver Archiver;
    TStubFile stub_;
    bool closed_ = false;
};

TFmMain::TFmMain() : Fl_Double_Window(ClientWidth, ClientHeight, "Selfpack") {
    Label1 = new Fl_Box(7, 11, 102, 13, "EXE 만들 폴더 선택 ");
    Label1->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);

    ArcName = new Fl_Input(115, 8, 265, 21);
    ArcName->textsize(FontSize);

    bnChooseArchive = new PushButton(386, 6, 103, 25, "폴더선택...");
    bnChooseArchive->callback(OnChooseArchive, this);

    bnMakeSFX = new DefaultButton(171, 35, 89, 25, "EXE 만들기");
    bnMakeSFX->image(okGlyph_);
    bnMakeSFX->align(FL_ALIGN_CENTER | FL_ALIGN_IMAGE_NEXT_TO_TEXT);
    bnMakeSFX->callback(OnMakeSFX, this);

    bnExit = new PushButton(291, 35, 89, 25, "Exit");
    bnExit->image(cancelGlyph_);
    bnExit->align(FL_ALIGN_CENTER | FL_ALIGN_IMAGE_NEXT_TO_TEXT);
    bnExit->shortcut(FL_Escape);
    bnExit->callback(OnExit, this);
    end();

    xclass("Selfpack");
    // One fixed size: the window manager offers neither resizing nor maximizing.
    size_range(ClientWidth, ClientHeight, ClientWidth, ClientHeight);
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh, 0);
    position(sx + (sw - ClientWidth) / 2, sy + (sh - ClientHeight) / 2);
    callback(OnClose);
}

// A stub file that cannot be written is reported, and the window opens all the same: the build writes
// it again before it needs it, and says so then if it still cannot.
void TFmMain::FormCreate() {
    Guarded([&] {
        stub_ = MakerStub();
        WriteStubFile(stub_);
    });
}

void TFmMain::bnChooseArchiveClick() {
    Guarded([&] {
        std::u16string folder = platform::Utf8ToUtf16(ArcName->value());
        if (BrowseForFolder(FolderDialogTitle, this, folder))
            ArcName->value(platform::Utf16ToUtf8(folder).c_str());
    });
}

void TFmMain::bnMakeSFXClick() {
    // The text exactly as typed: neither trimmed nor expanded, a relative path taken from the
    // current folder.
    const std::u16string text = platform::Utf8ToUtf16(ArcName->value());
    if (const std::u16string problem = CheckFolder(text); !problem.empty()) {
        ShowMessage(problem, platform::MessageKind::Information);
        return;
    }
    // The build runs here, on the one thread, and the window does not repaint meanwhile: the cursor
    // at least says that it is busy.
    struct BusyCursor {
        Fl_Window& window;
        explicit BusyCursor(Fl_Window& w) : window(w) {
            window.cursor(FL_CURSOR_WAIT);
            Fl::flush();
        }
        ~BusyCursor() { window.cursor(FL_CURSOR_DEFAULT); }
    };
    Guarded([&] {
        TBuildOutcome outcome{TBuildResult::Aborted, {}};
        {
            BusyCursor busy(*this);
            if (stub_.FileName.empty()) stub_ = MakerStub();   // the temporary folder failed at start-up
            outcome = Build(Archiver, text, TargetsNextToMaker(text), stub_);
        }
        const bool built = outcome.Result == TBuildResult::Built;
        ShowMessage(outcome.Message, built ? platform::MessageKind::Information : platform::MessageKind::Warning);
    });
}

void TFmMain::bnExitClick() { Close(); }

void TFmMain::FormClose() {
    if (!stub_.FileName.empty()) DeleteStubFile(stub_);
}

void TFmMain::Close() {
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    hide();
}

// The default face has no Hangul; without this every Korean caption draws as empty boxes. Replacing
// the face that FLTK uses by default carries it into every dialog, the folder dialog included.
void UseHangulFont() {
    Fl::set_font(FL_HELVETICA, " NanumGothic");
    Fl::set_font(FL_HELVETICA_BOLD, "BNanumGothic");
    FL_NORMAL_SIZE = FontSize;
}

// Puts the dialogs in force back when the window is done, however it ends.
class DialogsInstalled {
public:
    DialogsInstalled() : previous_(platform::InstallDialogs(MakeFltkDialogs())) {}
    ~DialogsInstalled() { platform::InstallDialogs(std::move(previous_)); }
    DialogsInstalled(const DialogsInstalled&) = delete;
    DialogsInstalled& operator=(const DialogsInstalled&) = delete;

private:
    std::unique_ptr<platform::Dialogs> previous_;
};

}  // namespace

int RunMainWindow(int argc, char** argv) {
    // FLTK ends the process when it cannot reach a display; opening it here lets the maker say why.
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const std::string name = XDisplayName(nullptr);
        const std::string why = name.empty() ? "no display is set (DISPLAY)" : "cannot open the display " + name;
        std::fprintf(stderr, "selfpack: %s; to build from the command line: selfpack FOLDER\n", why.c_str());
        return 1;
    }
    fl_open_display(display);
    UseHangulFont();
    Fl::scheme("gtk+");

    DialogsInstalled dialogs;
    TFmMain FmMain;
    FmMain.FormCreate();
    FmMain.show(argc, argv);
    Fl::run();
    FmMain.Close();
    return 0;
}

}  // namespace maker
