// What the user looks through and at: the camera, the view frusta, the
// user's toggles, the drawing area and the help panel. One object for the
// run, put back to its start by the process reset (ResetView).
//
// Writers, field by field:
//   camera    the main loop (keys held), the commands (mouse-look, panning,
//             fly-to, bookmarks), scene construction (the player start),
//             the tools (their camera options);
//   frusta    made by InitGL, dropped by KillGL, refreshed from the camera
//             by SetupCamera (each frame and each pick) unless FreezeFrustum;
//   toggles   the commands (keys and menu), the tools from their options;
//   viewport  ResizeView (the main loop on a Size message, the tools once);
//   help      the commands (F1 and the menu) and the frame (its start time
//             and its auto-hide).
// Readers: every draw (scene, terrain, effects), picking, the overlay.
#pragma once

#include "math/camera.h"

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

    bool operator==(const RenderToggles&) const = default;
};

// The GL drawing area in pixels.
struct Viewport {
    int width = 0, height = 0;
    float aspect = 1.0f;  // width / height
};

struct HelpPanel {
    bool visible = true;     // F1 and the menu
    bool autoHide = true;    // hidden 8 s after the first loaded frame, unless asked for
    double startTime = -1.0; // the first loaded frame's time, seconds
};

struct View {
    Camera camera;
    ViewFrusta frusta;
    RenderToggles toggles;
    Viewport viewport;
    HelpPanel help;
};

View& TheView();
void ResetView();

// The design's names for the parts the drawing code reads.
inline Camera& TheCamera() { return TheView().camera; }
inline ViewFrusta& TheFrusta() { return TheView().frusta; }
inline RenderToggles& TheToggles() { return TheView().toggles; }

// Puts the camera a few of the box's radii from the middle of what is drawn
// (an object's origin is often its foot or a corner), on the side it is on,
// 25 degrees above, looking at it. boxMin > boxMax on an axis: use the sphere.
void AimCameraAt(Camera& camera, const Vector3& boxMin, const Vector3& boxMax, const Vector3& sphereCentre,
                 float sphereRadius);
