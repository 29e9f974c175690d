// The main window with its GL context: made once at start-up, taken down
// at the end with everything that lives in the context.
#pragma once

// Creates the window with its menu and GL context, sizes the view and runs
// InitGL. Every failure shows an "ERROR" box and returns false.
bool CreateGLWindow(const char* title, int width, int height, int bits);
// Unloads the level and takes the window down; failures are reported and
// the rest goes on.
void KillGLWindow();
