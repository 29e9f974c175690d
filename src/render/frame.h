// Composing a frame: the loading screen, the level load on the second
// frame, then the scene through the camera and the 2-D overlay (location,
// facing, frame rate and the help panel).
#pragma once

// Owned here; written by DrawFrame, read by the main loop (FrameTime, for
// the movement) and the tools (LoadState). The frame clock the animated
// drawing reads is the render state's. The process reset restores it.
struct FrameState {
    int LoadState = 0;               // 0 nothing drawn, 1 loading screen shown, 2 level loaded
    float FrameTime = 1.0f;          // seconds of the last frame
    double smoothedFrameTime = 0.1;  // for the frame-rate label
};

FrameState& TheFrame();
void ResetFrame();

// The help panel's text, with its tab stops and line breaks: the game
// viewer's own, then the keys this viewer adds.
extern const char* const kHelpText;
// The panel: inset from each edge of the view, its text's first baseline
// this far below the view's top.
constexpr int kHelpInset = 40;
constexpr int kHelpTextTop = 100;

// What the viewer's overlay says beyond the frame's own: the mode and the
// speed are the viewer's (the tools draw frames without them).
struct OverlayStatus {
    bool flying = true;
    float speed = 0.0f;  // world units per second
};

bool DrawFrame(const OverlayStatus* status = nullptr);
