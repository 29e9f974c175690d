// The pointer and the mode it serves. Flying mode hides it and holds it at
// the window's centre, so that its moves turn the camera; selection mode
// shows it for picking and dragging. The window system's focus lets go of
// it and gives it back.
#pragma once

// Owned here: written by SetFlyingMode (the mode command), the focus and
// activation calls of the main loop, and TakeLookMove (every pointer move
// while flying); read by the input translation and the overlay. The
// process reset restores the start (flying, as the viewer starts).
struct PointerState {
    bool FlyingMode = true;
    // Flying, but the pointer let go (Alt, for the menu bar) until the next
    // click in the view: moves turn nothing meanwhile.
    bool released = false;
    bool hidden = false;
    bool ignoreNextMove = true;  // the move that holding the pointer at the centre causes
};

PointerState& ThePointer();

void SetFlyingMode(bool on);
// Flying mode lets go of the pointer (shown, free to reach the menu bar)
// without leaving the mode; the next click in the view takes it back.
void ReleasePointer();
// The window came to the front or was minimised; gained or lost the focus.
void WindowActivated(bool active);
void WindowFocused(bool focused);
// A pointer move while flying with the focus: false for the move the
// recentring itself caused, true for one that should turn the camera (the
// pointer is held at the centre again).
bool TakeLookMove();
