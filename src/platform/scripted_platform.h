// The scripted platform for tests and headless runs: message boxes are
// recorded and answered from a queue (OK, or Cancel for Retry/Cancel boxes,
// once the queue is empty), debug output and the info dialog are captured,
// and the clock is driven by hand.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct RecordedBox {
    Owner owner;
    std::string text;
    std::string caption;
    Buttons buttons;
    Icon icon;
};

class ScriptedPlatform : public Platform {
public:
    void DebugOutput(const char* text) override { debug += text; }
    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption,
                      Buttons buttons, Icon icon) override;
    bool InfoDialogExists() override { return infoOpen; }
    void InfoDialogCreate() override;
    void InfoDialogSetText(const std::string& text) override;
    void InfoDialogInsertAtCaret(const std::string& text) override;
    void InfoDialogScrollToCaret(std::size_t position) override;
    std::uint64_t CounterFrequency() override { return frequency; }
    std::uint64_t CounterValue() override { return counter; }
    std::uint32_t TickCount() override { return ticks; }

    // Captured and scripted state, public so that tests can read and set it.
    std::string debug;
    std::vector<RecordedBox> boxes;
    std::deque<Answer> answers;
    bool infoOpen = false;
    int infoCreations = 0;
    std::string infoText;
    std::size_t infoCaret = 0;
    std::uint64_t frequency = 1000;
    std::uint64_t counter = 0;
    std::uint32_t ticks = 0;
};

// Installs a platform for the lifetime of the guard, then restores the
// console platform.
class PlatformScope {
public:
    explicit PlatformScope(Platform& platform) { Install(&platform); }
    ~PlatformScope() { Install(nullptr); }
    PlatformScope(const PlatformScope&) = delete;
    PlatformScope& operator=(const PlatformScope&) = delete;
};

}  // namespace platform
