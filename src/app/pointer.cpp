#include "app/pointer.h"

#include "diag/state_registry.h"
#include "platform/platform.h"

namespace {

// The centre of the window's outer rectangle, where flying mode keeps the
// hidden cursor.
void CentreCursor() {
    const platform::Rect r = platform::Current().MainWindowRect();
    platform::Current().SetCursorPosition((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

void HideCursor() {
    platform::Current().SetCursorVisible(false);
    ThePointer().hidden = true;
}

const StateReset kPointerReset{"pointer", StateLayer::App, StateScope::Process, [] { ThePointer() = PointerState{}; }};

}  // namespace

PointerState& ThePointer() {
    static PointerState state;
    return state;
}

void SetFlyingMode(bool on) {
    PointerState& p = ThePointer();
    p.FlyingMode = on;
    p.released = false;
    platform::Platform& pf = platform::Current();
    if (!on) {
        pf.CaptureMouse(false);
        if (p.hidden) {
            pf.SetCursorVisible(true);
            p.hidden = false;
        }
        return;
    }
    pf.CaptureMouse(true);
    HideCursor();
    p.ignoreNextMove = true;
    CentreCursor();
}

void ReleasePointer() {
    PointerState& p = ThePointer();
    if (!p.FlyingMode || p.released) return;
    p.released = true;
    platform::Platform& pf = platform::Current();
    pf.CaptureMouse(false);
    pf.SetCursorVisible(true);
    p.hidden = false;
}

void WindowActivated(bool active) {
    if (active && ThePointer().FlyingMode && !ThePointer().released) HideCursor();
}

void WindowFocused(bool focused) {
    PointerState& p = ThePointer();
    if (focused) {
        // Focus loss let go of the pointer; flying mode holds it again.
        if (p.FlyingMode && !p.released) platform::Current().CaptureMouse(true);
        return;
    }
    p.ignoreNextMove = true;
    platform::Current().CaptureMouse(false);
}

bool TakeLookMove() {
    PointerState& p = ThePointer();
    HideCursor();
    if (p.ignoreNextMove) {
        p.ignoreNextMove = false;
        return false;
    }
    p.ignoreNextMove = true;
    CentreCursor();
    return true;
}
