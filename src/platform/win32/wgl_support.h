// What the hidden window's context and the viewer's window share about WGL.
#pragma once

namespace platform::win32 {

// A GL entry point of the current context: wglGetProcAddress gives only
// what lies beyond OpenGL 1.1 (and some drivers answer 1, 2, 3 or -1 for
// "no"); the 1.1 entry points come from opengl32 itself.
void* WglProcAddress(const char* name);

// Gives a window's DC a double-buffered RGBA pixel format for GL with at
// least these bit depths; the failing call's name otherwise.
const char* SetGlPixelFormat(void* dc, int colourBits, int alphaBits, int depthBits);

}  // namespace platform::win32
