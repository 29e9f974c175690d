// The window, its GL context, the viewport and the projection.
#pragma once

// Owned here; written by CreateGLWindow and ResizeView, read by the frame
// (overlay), dragging and picking.
struct GlWindowState {
    bool created = false;
    int clientWidth = 0, clientHeight = 0;
    float aspect = 1.0f;  // width / height
};

GlWindowState& TheGlWindow();

constexpr const char* kWindowTitle = "Wildgrove Level Viewer (Wildview v0.0)";

// Creates the window with its menu and GL context, sizes the viewport and
// runs InitGL. Every failure shows an "ERROR" box and returns false.
bool CreateGLWindow(const char* title, int width, int height, int bits);
// Unloads the level and takes the window down; failures are reported and
// the rest goes on.
void KillGLWindow();
// A height of 0 counts as 1.
void ResizeView(int width, int height);
// Perspective of 60 degrees at the stored aspect, near 0.1, far 1050.
void SetProjection();
