// Composing a frame: the loading screen, the level load on the second
// frame, then the scene through the camera and the 2-D overlay (location,
// facing, frame rate and the help panel).
#pragma once

#include <string>

// Owned here; written by DrawFrame, read by the main loop (FrameTime). The
// frame clock the animated drawing reads is in the render state.
struct FrameState {
    int LoadState = 0;                // 0 nothing drawn, 1 loading screen shown, 2 level loaded
    float FrameTime = 1.0f;           // seconds of the last frame
    double smoothedFrameTime = 0.1;   // for the frame-rate label
    double HelpStartTime = -1.0;      // the help's 8 seconds start at the first loaded frame
    unsigned overlayFontBase = 0;     // 96 display lists, characters 32 to 127
};

FrameState& TheFrame();
void ResetFrame();

// The help panel's text, with its tab stops and line breaks.
extern const char* const kHelpText;

bool DrawFrame();

// Formats like the log and draws one line on a box at the raster position.
void DrawLabel(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats and draws several lines: newline steps 18 pixels down, tab goes
// to the next stop every 100 pixels from the block's left edge.
void DrawTextBlock(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The x of the tab stop after raster x cx in a block starting at x0.
int NextTabStop(int x0, int cx);

void BuildOverlayFont();
void DeleteOverlayFont();

// The look-at of the camera, and the frusta unless they are frozen.
void SetupCamera();
