#include "maker/TerminalProgress.h"

#include <cstdio>
#include <cstdlib>

#include "engine/Corvane.h"
#include "platform/Platform.h"

namespace maker {

namespace {

// Redrawing more often than this only costs time; the eye cannot follow it.
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
// A rate measured over less than this jumps about too much to mean anything.
constexpr double MinSecondsForRate = 0.5;

// Columns a character takes: East Asian scripts (Hangul among them) are drawn two columns wide.
size_t Columns(char16_t c) { return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) ? 2 : 1; }

size_t Columns(const std::u16string& text) {
    size_t n = 0;
    for (const char16_t c : text) n += Columns(c);
    return n;
}

size_t TerminalWidth() {
    if (const char* columns = std::getenv("COLUMNS")) {
        const long n = std::strtol(columns, nullptr, 10);
        if (n >= 20 && n <= 1000) return static_cast<size_t>(n);
    }
    return 80;
}

}  // namespace

std::string ProgressLine(const TBuildProgress& Step, double Seconds, const std::u16string& BaseDir, size_t Width) {
    char head[64];
    const int percent = Step.Percent <= 0 ? 0 : Step.Percent >= 100 ? 100 : static_cast<int>(Step.Percent);
    if (Seconds >= MinSecondsForRate) {
        const double rate = static_cast<double>(Step.BytesDone) / Seconds / (1024.0 * 1024.0);
        std::snprintf(head, sizeof head, "%3d%%  %.1f MiB/s  ", percent, rate);
    } else {
        std::snprintf(head, sizeof head, "%3d%%  ", percent);
    }
    std::u16string name = Step.FileName;
    const std::u16string base = IncludePathDelimiter(BaseDir);
    if (!BaseDir.empty() && name.size() > base.size() && name.compare(0, base.size(), base) == 0)
        name = name.substr(base.size());
    const size_t room = Width > std::char_traits<char>::length(head) + 1 ? Width - std::char_traits<char>::length(head) - 1 : 0;
    if (Columns(name) > room) {
        // The end of a path says most about it: the start goes.
        const std::u16string mark = u"...";
        while (!name.empty() && Columns(name) + mark.size() > room) name.erase(0, 1);
        name = room >= mark.size() ? mark + name : std::u16string();
    }
    return head + platform::Utf16ToUtf8(name);
}

TTerminalProgress::TTerminalProgress(std::u16string BaseDir, bool Enabled)
    : FBaseDir(FullPath(BaseDir)), FEnabled(Enabled), FWidth(TerminalWidth()), FStart(std::chrono::steady_clock::now()) {}

TTerminalProgress::~TTerminalProgress() { Finish(); }

void TTerminalProgress::Step(const TBuildProgress& Step) {
    if (!FEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (FDrawn && now - FLastDraw < RedrawInterval && Step.Percent < 100) return;
    FLastDraw = now;
    const double seconds = std::chrono::duration<double>(now - FStart).count();
    platform::DrawStatusLine(ProgressLine(Step, seconds, FBaseDir, FWidth));
    FDrawn = true;
}

void TTerminalProgress::Finish() {
    if (!FDrawn) return;
    platform::ClearStatusLine();
    FDrawn = false;
}

}  // namespace maker
