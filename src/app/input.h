// The window's input turned into commands: key presses by the key table,
// menu items and list rows as they come, pointer moves into looking (while
// flying) or dragging (with the button held in selection mode), clicks
// into picks. It keeps the keys held, which the main loop moves the camera
// by.
#pragma once

#include <array>
#include <vector>

#include "app/commands.h"
#include "platform/platform.h"

// Owned here: written by TranslateInput as messages arrive; read by the
// main loop (the keys held) and the translation itself. The process reset
// restores the start.
struct InputState {
    std::array<bool, 256> KeyState{};  // by virtual-key code
    // Pressed since the last frame took the keys: a tap shorter than a frame
    // still counts once.
    std::array<bool, 256> PressedSinceFrame{};
    int mouseX = 0, mouseY = 0, previousMouseX = 0, previousMouseY = 0;
};

InputState& TheInput();

// The keys a frame acts on: those held, and those pressed since the last
// frame took them (then forgotten).
std::array<bool, 256> TakeFrameKeys();

// The commands one message stands for (none for most pointer moves).
// windowFocused: pointer moves turn the camera only while the window has
// the focus.
std::vector<Command> TranslateInput(const platform::Message& message, bool windowFocused);
