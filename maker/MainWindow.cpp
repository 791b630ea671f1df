#include "maker/MainWindow.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Progress.H>

#include "engine/Corvane.h"
#include "maker/BuildCommand.h"
#include "maker/FltkDialogs.h"
#include "maker/MakerArchiver.h"
#include "maker/StubFile.h"
#include "maker/StubPayload.h"
#include "maker/UiThreadDialogs.h"
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

    // The build runs on a thread of its own, so that the window keeps drawing and answering; its
    // progress and its end come back to the interface thread through Fl::awake.
    void StartBuild(const std::u16string& text);
    void ShowProgress();
    void BuildDone();
    static void OnProgress(void* fm) { static_cast<TFmMain*>(fm)->ShowProgress(); }
    static void OnBuildDone(void* fm) { static_cast<TFmMain*>(fm)->BuildDone(); }

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

    // In the free strip below the buttons, shown while a build runs.
    Fl_Progress* progress_;
    std::thread worker_;
    bool building_ = false;
    bool exitWhenBuilt_ = false;
    // Written by the building thread, read by the interface thread.
    std::mutex progressLock_;
    TBuildProgress lastProgress_;
    bool progressPosted_ = false;
    TBuildOutcome outcome_{TBuildResult::Aborted, {}};
    std::exception_ptr failure_;
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

    progress_ = new Fl_Progress(7, 68, 501, 22);
    progress_->minimum(0);
    progress_->maximum(100);
    progress_->color(FL_BACKGROUND2_COLOR);
    progress_->selection_color(FL_DARK_BLUE);
    progress_->labelsize(FontSize);
    progress_->labelcolor(FL_FOREGROUND_COLOR);
    progress_->hide();
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
    if (building_) return;
    // The text exactly as typed: neither trimmed nor expanded, a relative path taken from the
    // current folder.
    const std::u16string text = platform::Utf8ToUtf16(ArcName->value());
    if (const std::u16string problem = CheckFolder(text); !problem.empty()) {
        ShowMessage(problem, platform::MessageKind::Information);
        return;
    }
    // A root has no name to give the executable; one named ".run" would unpack over its own folder.
    if (FolderName(text).empty()) {
        ShowMessage(u"A root folder cannot be packed: it has no name to give the executable.",
                    platform::MessageKind::Information);
        return;
    }
    Guarded([&] { StartBuild(text); });
}

void TFmMain::StartBuild(const std::u16string& text) {
    if (stub_.FileName.empty()) stub_ = MakerStub();   // the temporary folder failed at start-up
    const std::u16string output = WindowOutput(text);
    Archiver.ClearStop();
    Archiver.SetProgressHandler([this](const TBuildProgress& step) {
        std::lock_guard<std::mutex> lock(progressLock_);
        lastProgress_ = step;
        // One hand-over at a time: the interface thread draws the latest step when it gets there.
        if (!progressPosted_ && Fl::awake(OnProgress, this) == 0) progressPosted_ = true;
    });
    building_ = true;
    failure_ = nullptr;
    bnMakeSFX->deactivate();
    bnChooseArchive->deactivate();
    ArcName->deactivate();
    progress_->value(0);
    progress_->label("");
    progress_->show();
    cursor(FL_CURSOR_WAIT);
    worker_ = std::thread([this, text, output] {
        try {
            outcome_ = Build(Archiver, text, output, stub_);
        } catch (...) {
            failure_ = std::current_exception();
        }
        while (Fl::awake(OnBuildDone, this) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
}

void TFmMain::ShowProgress() {
    TBuildProgress step;
    {
        std::lock_guard<std::mutex> lock(progressLock_);
        step = lastProgress_;
        progressPosted_ = false;
    }
    if (!building_) return;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%d%%  ", static_cast<int>(step.Percent));
    progress_->value(static_cast<float>(step.Percent));
    progress_->copy_label((percent + platform::Utf16ToUtf8(FileNamePart(step.FileName))).c_str());
}

void TFmMain::BuildDone() {
    worker_.join();
    building_ = false;
    Archiver.SetProgressHandler(nullptr);
    cursor(FL_CURSOR_DEFAULT);
    progress_->hide();
    bnMakeSFX->activate();
    bnChooseArchive->activate();
    ArcName->activate();
    if (exitWhenBuilt_) {
        // The user chose to stop and leave: the build rolled back, and there is nothing to report.
        Close();
        return;
    }
    if (failure_) {
        Guarded([&] { std::rethrow_exception(failure_); });
        return;
    }
    const bool built = outcome_.Result == TBuildResult::Built;
    ShowMessage(outcome_.Message, built ? platform::MessageKind::Information : platform::MessageKind::Warning);
}

void TFmMain::bnExitClick() { Close(); }

void TFmMain::FormClose() {
    if (!stub_.FileName.empty()) DeleteStubFile(stub_);
}

void TFmMain::Close() {
    if (building_) {
        // Leaving in the middle of a build stops it: what it wrote so far is removed, an older
        // executable stays as it was.
        const platform::Button answer = platform::CurrentDialogs().MessageBox(
            u"A build is running. Stop it and exit?", platform::MessageKind::Confirmation,
            platform::Button::Yes | platform::Button::No);
        if (answer != platform::Button::Yes || !building_) return;
        exitWhenBuilt_ = true;
        Archiver.RequestStop();
        return;
    }
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
    DialogsInstalled() : previous_(platform::InstallDialogs(MakeUiThreadDialogs(MakeFltkDialogs()))) {}
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

    // Enables the hand-over of the build's progress and questions from its thread.
    Fl::lock();
    DialogsInstalled dialogs;
    TFmMain FmMain;
    FmMain.FormCreate();
    FmMain.show(argc, argv);
    Fl::run();
    FmMain.Close();
    return 0;
}

}  // namespace maker
