// The modal message box, the open-file dialog and the modeless info dialog,
// on FLTK. The modal ones run their own event loop until answered, as the
// Windows calls do; events for the main window keep being queued meanwhile.
#pragma once

// First: the FLTK headers below bring in X11's macros (None among them).
#include "platform/platform.h"

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>

#include <functional>
#include <memory>
#include <string>

namespace platform::fltk {

// Centres a window on its owner, or on the screen's work area.
void CentreOn(Fl_Window& window, Fl_Window* owner);
// Shows a window as owned by owner (kept above it), or by nobody.
void ShowOwned(Fl_Window& window, Fl_Window* owner);

// owner: the window the box belongs to and is centred on, or null.
Answer RunMessageBox(Fl_Window* owner, const std::string& text, const std::string& caption, Buttons buttons,
                     Icon icon);

// FLTK's own chooser (not the desktop's) of a type (Fl_File_Chooser::SINGLE,
// CREATE), shown again until the user cancels (empty) or accept takes the
// path chosen (absolute; accept may change it, as by adding an extension).
std::string RunChooser(int type, const std::string& initialDirectory, const std::string& initialName,
                       const std::string& title, const FileFilter& filter,
                       const std::function<bool(std::string&)>& accept);

// The chooser for an existing file: its path, or empty when cancelled.
std::string RunOpenFile(const std::string& initialDirectory, const std::string& initialName,
                        const std::string& title, const FileFilter& filter);

// Dialog resource 102: the report and a Close button. Close hides it, marks
// it closed and calls closed (which gives the focus back to the main
// window); the platform deletes it outside the callback. The report is
// read-only: keys typed at it must not change what it says, and they are
// left to the windows' own handling (Alt+F4 among them). It can still be
// selected and copied.
class InfoDialog {
public:
    InfoDialog(Fl_Window* owner, std::function<void()> closed);
    ~InfoDialog();
    InfoDialog(const InfoDialog&) = delete;
    InfoDialog& operator=(const InfoDialog&) = delete;

    bool Closed() const { return closed_; }
    void SetText(const std::string& text);
    void InsertAtCaret(const std::string& text);
    void ScrollToCaret(std::size_t position);
    std::string Text() const;
    std::size_t Caret() const;
    Fl_Window* Window() const { return window_; }

private:
    static void OnClose(Fl_Widget* widget, void* data);

    Fl_Text_Buffer buffer_;  // outlives the text view, which is deleted first
    Fl_Double_Window* window_ = nullptr;
    Fl_Text_Display* text_ = nullptr;
    std::function<void()> closedCallback_;
    bool closed_ = false;
};

}  // namespace platform::fltk
