// Message boxes and the password dialog as terminal prompts: the question and its numbered buttons go
// to the output, the answer (a number, a button's name or the start of one) is read as one line.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <csignal>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace platform::posix {

namespace {

// Longer answers are cut: nothing typed or piped in can make a line grow without bound.
constexpr size_t maxLine = 1024;
// Nonsense on and on (a program feeding "y" forever, say) counts as closing the box.
constexpr int maxAttempts = 5;

void WriteText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::optional<std::string> ReadLine(int fd) {
    std::string line;
    bool any = false;
    while (true) {
        char c = 0;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() < maxLine) line += c;
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Lower-case ASCII with the blanks taken out, so "No to all" and "notoall" are the same answer.
std::string Normalized(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        out += (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
    }
    return out;
}

Button Pick(const std::string& answer, const std::vector<Button>& buttons) {
    const std::string typed = Normalized(answer);
    if (typed.empty()) return Button::None;
    if (typed.size() <= 2 && typed.find_first_not_of("0123456789") == std::string::npos) {
        size_t number = 0;
        for (const char digit : typed) number = number * 10 + size_t(digit - '0');
        return number >= 1 && number <= buttons.size() ? buttons[number - 1] : Button::None;
    }
    Button prefixOf = Button::None;
    int prefixCount = 0;
    for (const Button b : buttons) {
        const std::string name = Normalized(Utf16ToUtf8(ButtonCaption(b)));
        if (name == typed) return b;
        if (name.compare(0, typed.size(), typed) == 0) {
            prefixOf = b;
            ++prefixCount;
        }
    }
    return prefixCount == 1 ? prefixOf : Button::None;
}

const char* KindLabel(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return "Warning: ";
        case MessageKind::Error: return "Error: ";
        case MessageKind::Information:
        case MessageKind::Confirmation: break;
    }
    return "";
}

// Echo is off while a password is typed; a signal in the middle must not leave the terminal so.
int echoFd = -1;
struct termios savedTerminal {};
struct sigaction savedActions[4];
constexpr int restoredSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RestoreEchoAndRaise(int signal) {
    if (echoFd >= 0) tcsetattr(echoFd, TCSAFLUSH, &savedTerminal);
    for (int i = 0; i < 4; ++i) sigaction(restoredSignals[i], &savedActions[i], nullptr);
    raise(signal);
}

class EchoOff {
public:
    explicit EchoOff(int fd) {
        if (!isatty(fd) || tcgetattr(fd, &savedTerminal) != 0) return;
        struct sigaction action {};
        action.sa_handler = RestoreEchoAndRaise;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 4; ++i) sigaction(restoredSignals[i], &action, &savedActions[i]);
        echoFd = fd;
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (echoFd < 0) return;
        tcsetattr(echoFd, TCSAFLUSH, &savedTerminal);
        echoFd = -1;
        for (int i = 0; i < 4; ++i) sigaction(restoredSignals[i], &savedActions[i], nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

class TerminalDialogs : public Dialogs {
public:
    TerminalDialogs(int input, int output) : input_(input), output_(output) {}

    Button MessageBox(const std::u16string& text, MessageKind kind, uint32_t buttons) override {
        const std::vector<Button> offered = ButtonsOf(buttons);
        const std::string program = ProgramName().empty() ? "" : Utf16ToUtf8(ProgramName()) + ": ";
        WriteText(output_, program + KindLabel(kind) + Utf16ToUtf8(text) + "\n");
        if (offered.empty()) return Button::None;
        if (offered.size() == 1) {
            WriteText(output_, "Press Enter for " + Utf16ToUtf8(ButtonCaption(offered[0])) + ": ");
            return ReadLine(input_) ? offered[0] : Button::None;
        }
        std::string menu = " ";
        for (size_t i = 0; i < offered.size(); ++i)
            menu += " " + std::to_string(i + 1) + " " + Utf16ToUtf8(ButtonCaption(offered[i]));
        menu += "\nChoose 1-" + std::to_string(offered.size()) + ": ";
        for (int attempt = 0; attempt < maxAttempts; ++attempt) {
            WriteText(output_, menu);
            const std::optional<std::string> line = ReadLine(input_);
            if (!line) {
                WriteText(output_, "\n");
                return Button::None;
            }
            if (const Button chosen = Pick(*line, offered); chosen != Button::None) return chosen;
        }
        return Button::None;
    }

    bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                        std::u16string& value) override {
        WriteText(output_, Utf16ToUtf8(caption) + "\n" + Utf16ToUtf8(prompt));
        std::optional<std::string> line;
        {
            EchoOff quiet(input_);
            line = ReadLine(input_);
        }
        if (!line) {
            WriteText(output_, "\n");
            return false;
        }
        value = Utf8ToUtf16(*line);
        return true;
    }

private:
    int input_;
    int output_;
};

}  // namespace

std::unique_ptr<Dialogs> MakeTerminalDialogsOn(int input, int output) {
    return std::make_unique<TerminalDialogs>(input, output);
}

}  // namespace platform::posix
