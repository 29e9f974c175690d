// The main window's message handler: the key table the main loop moves the
// camera with, flying and selection modes, the menu and the command keys.
// The toggles they set live in the render state, which drawing reads.
#pragma once

#include <array>

#include "platform/platform.h"

class Instance;

// Owned here; written by WindowProc (and SetFlyingMode), read by the main
// loop and the frame. ResetInput restores the start.
struct InputState {
    std::array<bool, 256> KeyState{};  // by virtual-key code
    bool FlyingMode = true;
    bool WindowActive = true;          // not minimised
    bool WindowFocused = true;
    bool IgnoreNextMouseMove = true;   // swallows the move a re-centring causes
    int mouseX = 0, mouseY = 0, previousMouseX = 0, previousMouseY = 0;
    bool cursorHidden = false;
    Instance* SelectedInstance = nullptr;
    bool HelpVisible = true;       // F1 and menu
    bool HelpAutoHide = true;
};

InputState& TheInput();
void ResetInput();

// Handles one window message; false for messages left to default handling.
bool WindowProc(const platform::Message& message);
void SetFlyingMode(bool on);
