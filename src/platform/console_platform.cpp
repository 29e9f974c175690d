#include "platform/console_platform.h"

#include <cstdio>

#include "platform/system.h"

namespace platform {

void ConsolePlatform::DebugOutput(const char* text) { SystemDebugOutput(text); }

Answer ConsolePlatform::ShowMessageBox(Owner, const std::string& text, const std::string& caption,
                                   Buttons buttons, Icon) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return UnansweredBox(buttons);
}

void ConsolePlatform::InfoDialogCreate() {
    infoOpen_ = true;
    infoText_.clear();
    caret_ = 0;
}

void ConsolePlatform::InfoDialogSetText(const std::string& text) {
    infoText_ = text;
    caret_ = infoText_.size();
}

void ConsolePlatform::InfoDialogInsertAtCaret(const std::string& text) {
    infoText_.insert(caret_, text);
    caret_ += text.size();
}

void ConsolePlatform::InfoDialogScrollToCaret(std::size_t position) {
    caret_ = position < infoText_.size() ? position : infoText_.size();
}

std::uint64_t ConsolePlatform::CounterFrequency() { return 1000000000ull; }
std::uint64_t ConsolePlatform::CounterValue() { return MonotonicNanoseconds(); }
std::uint32_t ConsolePlatform::TickCount() {
    return static_cast<std::uint32_t>(MonotonicNanoseconds() / 1000000ull);
}

}  // namespace platform
