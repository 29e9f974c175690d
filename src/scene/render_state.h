// The state of drawing itself that the drawing code reads but does not
// decide: which pass is being drawn, the frame clock and the driver's
// features. The user's toggles are the view's (scene/view.h).
//
// Writers, all in render/: picking sets PickingActive around its pass and
// clears it after, the overview map MapPassActive around its; DrawFrame writes FrameStartTime at the start of every
// frame; InitGL writes the capabilities once per context. The scene,
// terrain and effects code only reads. The process reset
// (ResetRenderState) restores the start values.
#pragma once

struct GlCapabilities {
    bool HasTextureCompression = false;  // always off after logging
    bool HasAutoMipmaps = false;
    bool HasDot3 = false;
    bool HasMultitexture = false;
    bool Dot3Available = false;  // Dot3, multitexture and blend colour together
};

struct RenderState {
    bool PickingActive = false;   // the scene is being drawn for picking
    // A map is being drawn: what the view adds (bump mapping, scrolling,
    // the object shadow pictures near the camera) stays out, so that a map
    // of a level is the same whenever it is drawn.
    bool MapPassActive = false;
    double FrameStartTime = 0.0;  // the frame clock, seconds
    GlCapabilities caps;
};

RenderState& TheRenderState();
void ResetRenderState();
