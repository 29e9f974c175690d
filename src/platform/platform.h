// The window-system contract: every call the rest of Wildview may make on
// the operating system's user interface and services goes through here.
//
// Two implementations exist: a console one (real debug output on standard
// error, real monotonic clock, message boxes printed and answered with their
// default) and a scripted one for tests (queued answers, captured output).
// A windowed implementation plugs in the same way. Nothing outside
// src/platform/ includes a toolkit header.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Message box buttons and icons, as the callers ask for them.
enum class Buttons { Ok, RetryCancel };
enum class Icon { None, Exclamation, Information, Warning };
enum class Answer { Ok, Retry, Cancel };

// Who owns a modal box: nobody (before the window exists) or the main window.
enum class Owner { None, MainWindow };

class Platform {
public:
    virtual ~Platform() = default;

    // Debug output for an attached debugger; text is passed unchanged.
    virtual void DebugOutput(const char* text) = 0;

    // A modal message box; returns the button the user pressed.
    virtual Answer MessageBox(Owner owner, const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon) = 0;

    // The modeless info dialog: a scrollable, editable text owned by the
    // main window. Text uses "\r\n" line breaks.
    virtual bool InfoDialogExists() = 0;
    virtual void InfoDialogCreate() = 0;                       // create and show
    virtual void InfoDialogSetText(const std::string& text) = 0;
    virtual void InfoDialogInsertAtCaret(const std::string& text) = 0;
    virtual void InfoDialogScrollToCaret(std::size_t position) = 0;  // empty selection there

    // High-resolution counter; frequency 0 means none is available.
    virtual std::uint64_t CounterFrequency() = 0;
    virtual std::uint64_t CounterValue() = 0;
    // Millisecond tick count, the fallback clock; wraps at 2^32.
    virtual std::uint32_t TickCount() = 0;
};

// The platform in use. A console platform is installed until someone
// installs another; the caller keeps ownership of what it installs.
Platform& Current();
void Install(Platform* platform);  // nullptr restores the console platform

}  // namespace platform
