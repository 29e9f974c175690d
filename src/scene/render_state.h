// What the drawing code reads every frame but does not decide: the user's
// toggles, the picking flag, the frame clock and the driver's features.
//
// Writers, all in app/: the input handler (menu and keys) writes the
// toggles; picking writes PickingActive around its pass; the frame writes
// FrameStartTime; InitGL writes the capabilities once. The scene, terrain
// and effects code only reads. ResetRenderState restores the start values.
#pragma once

struct RenderToggles {
    bool LightingEnabled = true;   // key L
    bool FogEnabled = true;        // menu
    bool TerrainShadows = true;    // menu and key L
    bool ObjectShadows = false;    // menu
    bool DrawOutline = false;      // menu
    bool FreezeUpdate = false;     // menu
    bool FreezeFrustum = false;    // menu
    bool ObjectPositions = false;  // key P
    bool RotatingSun = false;      // key I
    int BumpMode = 0;              // key U: 0 off, 1..3
};

struct GlCapabilities {
    bool HasTextureCompression = false;  // always off after logging
    bool HasAutoMipmaps = false;
    bool HasDot3 = false;
    bool HasMultitexture = false;
    bool Dot3Available = false;  // Dot3, multitexture and blend colour together
};

struct RenderState {
    RenderToggles toggles;
    bool PickingActive = false;   // the scene is being drawn for picking
    double FrameStartTime = 0.0;  // the frame clock, seconds
    GlCapabilities caps;
};

RenderState& TheRenderState();
inline RenderToggles& TheToggles() { return TheRenderState().toggles; }
void ResetRenderState();
