// The few things FLTK 1.3 leaves to Xlib and GLX. Kept apart because the X
// headers define macros (None, Status, KeyPress) that clash with ordinary
// names elsewhere.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

class Fl_Window;

namespace platform::fltk {

// Whether $DISPLAY names an X server that answers; why says what is wrong.
bool DisplayAnswers(std::string* why);
// Opens FLTK's display connection without FLTK's exit on failure.
bool EnsureDisplay();
bool DisplayOpen();

unsigned long WindowId(Fl_Window* window);
// Processes events until the window is viewable (the map request can wait
// on a window manager); false after the time is up.
bool WaitViewable(Fl_Window* window, double seconds);
// Asks for the keyboard focus the way both a window manager and a bare X
// server understand.
void FocusWindow(Fl_Window* window);
// The outer rectangle: the window plus its manager's frame, if it reports one.
Rect OuterRect(Fl_Window* window);
void WarpPointer(int screenX, int screenY);
// Keeps the pointer inside the window (an active pointer grab confined to
// it; the program's own windows still get their events). False when the
// server refused, as it does while the window is not viewable.
bool ConfinePointer(Fl_Window* window);
void ReleasePointer();
void ResetScreenSaver();

// GLX attributes for glXChooseVisual: RGBA, double-buffered, with the bits asked for.
std::vector<int> GlxAttributes(int colourBits, int alphaBits, int depthBits);
bool ContextCurrent();
void* GlProcAddress(const char* name);
std::string GlxExtensions();

}  // namespace platform::fltk
