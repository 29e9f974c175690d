// Program entry and the main loop: one thread that pumps window messages
// and, when none waits, draws a frame and moves the camera from the keys
// held down. The window's size and state are the loop's.
#pragma once

#include "platform/platform.h"

// Owned here; written by the loop (the speed keys) and WindowProc (the
// window's messages); read by the loop and, for the focus, by the input
// translation it hands messages to. The process reset restores the start.
struct LoopState {
    float MoveSpeed = 3.3f;      // world units per second
    bool WindowActive = true;    // not minimised: frames are drawn
    bool WindowFocused = true;   // pointer moves may turn the camera
};

LoopState& TheLoop();

// Handles one window message: the window's own (size, activation, focus)
// here, the rest as the commands the input makes of it. False for messages
// that changed nothing.
bool WindowProc(const platform::Message& message);

// The level's files, the window, flying mode, then the loop until the quit
// message or Alt+F4. Returns the exit code.
int WinMain();
