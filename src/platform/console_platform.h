// The console platform: a real implementation for programs without a window
// (the inspector, the benchmarks, headless tools). Debug output goes to
// standard error; message boxes are printed there and answered with their
// first button; the info dialog is a text buffer.
#pragma once

#include "platform/platform.h"

namespace platform {

class ConsolePlatform : public Platform {
public:
    void DebugOutput(const char* text) override;
    Answer ShowMessageBox(Owner owner, const std::string& text, const std::string& caption,
                      Buttons buttons, Icon icon) override;
    bool InfoDialogExists() override { return infoOpen_; }
    void InfoDialogCreate() override;
    void InfoDialogSetText(const std::string& text) override;
    void InfoDialogInsertAtCaret(const std::string& text) override;
    void InfoDialogScrollToCaret(std::size_t position) override;
    std::uint64_t CounterFrequency() override;
    std::uint64_t CounterValue() override;
    std::uint32_t TickCount() override;

    const std::string& InfoText() const { return infoText_; }

private:
    bool infoOpen_ = false;
    std::string infoText_;
    std::size_t caret_ = 0;
};

}  // namespace platform
