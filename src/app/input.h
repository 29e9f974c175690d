// The main window's message handler: the key table the main loop moves the
// camera with, flying and selection modes, the menu, the command keys and
// the user's toggles that the drawing code reads.
#pragma once

#include <array>

#include "platform/platform.h"

class Instance;

// Owned here; written by WindowProc (and SetFlyingMode), read by the main
// loop, the frame and the drawing code. ResetInput restores the start.
struct InputState {
    std::array<bool, 256> KeyState{};  // by virtual-key code
    bool FlyingMode = true;
    bool WindowActive = true;          // not minimised
    bool WindowFocused = true;
    bool IgnoreNextMouseMove = true;   // swallows the move a re-centring causes
    int mouseX = 0, mouseY = 0, previousMouseX = 0, previousMouseY = 0;
    bool cursorHidden = false;
    Instance* SelectedInstance = nullptr;

    bool LightingEnabled = true;   // key L
    bool ObjectPositions = false;  // key P
    bool RotatingSun = false;      // key I
    int BumpMode = 0;              // key U: 0 off, 1..3
    bool FreezeUpdate = false;     // menu
    bool DrawOutline = false;      // menu
    bool FreezeFrustum = false;    // menu
    bool FogEnabled = true;        // menu
    bool TerrainShadows = true;    // menu and key L
    bool ObjectShadows = false;    // menu
    bool HelpVisible = true;       // F1 and menu
    bool HelpAutoHide = true;
};

InputState& TheInput();
void ResetInput();

// Handles one window message; false for messages left to default handling.
bool WindowProc(const platform::Message& message);
void SetFlyingMode(bool on);
