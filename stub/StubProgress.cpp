#include "stub/StubProgress.h"

#include <cstdio>

#include "platform/Platform.h"

namespace stub {

namespace {

constexpr auto QuietMoment = std::chrono::seconds(1);
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
// Names are cut to this many characters from their end, so the line stays on one terminal row.
constexpr size_t NameRoom = 60;

}  // namespace

TStubProgress::TStubProgress(bool Enabled) : FEnabled(Enabled), FStart(std::chrono::steady_clock::now()) {}

TStubProgress::~TStubProgress() { Finish(); }

void TStubProgress::Step(const std::u16string& FileName, double Percent) {
    if (!FEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - FStart < QuietMoment) return;
    if (FDrawn && now - FLastDraw < RedrawInterval) return;
    FLastDraw = now;
    std::u16string name = FileName;
    if (name.size() > NameRoom) name = u"..." + name.substr(name.size() - NameRoom);
    const int percent = Percent <= 0 ? 0 : Percent >= 100 ? 100 : static_cast<int>(Percent);
    // The percentage right-aligned in three places (without printf, which the stub does not link).
    std::string head = std::to_string(percent);
    head.insert(0, 3 - head.size(), ' ');
    platform::DrawStatusLine(head + "%  " + platform::Utf16ToUtf8(name));
    FDrawn = true;
}

void TStubProgress::Finish() {
    if (!FDrawn) return;
    platform::ClearStatusLine();
    FDrawn = false;
}

}  // namespace stub
