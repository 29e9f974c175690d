// FLTK key codes (X keysyms for the special keys, lower-case ASCII for
// letters) and the Windows virtual-key codes the viewer's key table uses.
#pragma once

#include <vector>

namespace platform::fltk {

// The virtual key of an FLTK key, or 0 for keys the table does not know.
int VirtualKeyOf(int fltkKey);

// Every FLTK key that produces a virtual key: both Shift keys for Shift,
// Return and the keypad's Enter for Return. Empty for unknown codes.
std::vector<int> FltkKeysOf(int virtualKey);

}  // namespace platform::fltk
