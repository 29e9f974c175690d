// Program entry and the main loop: one thread that pumps window messages
// and, when none waits, draws a frame and moves the camera from the keys
// held down.
#pragma once


// Owned here; read and written by the loop between frames.
struct LoopState {
    float MoveSpeed = 3.3f;  // world units per second
};

LoopState& TheLoop();

// The level's files, the window, flying mode, then the loop until the quit
// message or Alt+F4. Returns the exit code.
int WinMain();

