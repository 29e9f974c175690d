// The picture window on FLTK: a picture scaled by whole texels' blocks, the
// pointer's texel described under it, and buttons that post commands.
#pragma once

// First: the FLTK headers below bring in X11's macros (None among them).
#include "platform/platform.h"

#include <FL/Fl_Double_Window.H>

#include <functional>
#include <string>

class Fl_Box;

namespace platform::fltk {

class PictureView;

class PictureWindow {
public:
    PictureWindow(Fl_Window* owner, const PictureRequest& request, std::function<void(const Message&)> post);
    ~PictureWindow();
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;
    bool Shown() const;
    Fl_Window* Window() const { return window_; }
    // For tests: the line under the picture.
    std::string Line() const;

private:
    friend class PictureView;
    void Describe(int x, int y);  // a texel of the picture, or outside it (-1)

    PictureRequest request_;
    std::function<void(const Message&)> post_;
    Fl_Double_Window* window_ = nullptr;
    Fl_Box* line_ = nullptr;
    std::string text_;
};

}  // namespace platform::fltk
