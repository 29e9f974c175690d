// The drawable that terrain textures and shadow pictures are rendered in
// before they are copied into their textures: a 512 x 512 framebuffer object
// (RGBA with 8-bit alpha, and depth) in the window's own context, so that
// the textures are shared by construction; or, where the driver has no
// framebuffer objects (or making one fails), the window's back buffer,
// which the frame clears afterwards anyway.
#pragma once

#include <cstdint>

class GlTexture;

// Owned here: written by InitPBuffer and KillPBuffer, read by the bakes.
struct OffscreenState {
    bool UsePBuffer = false;
    std::uint32_t framebuffer = 0, colour = 0, depth = 0;
    std::int32_t width = 512, height = 512;  // requested; the actual size once made
    std::int32_t savedViewport[4] = {0, 0, 0, 0};
    std::int32_t savedFramebuffer = 0;
    GlTexture* bakeTarget = nullptr;
};
OffscreenState& TheOffscreen();

// Chooses the drawable and decides whether shadows are possible (the
// window's 8 alpha bits), with its log lines and the "NOTE" box otherwise.
void InitPBuffer();
// Deletes the framebuffer object (program end, context current).
void KillPBuffer();

// Makes the off-screen drawable current and saves the viewport and the
// framebuffer binding in effect; EndOffscreen restores both exactly.
void BeginOffscreen();
void EndOffscreen();
// The viewport to the texture's size; CopyToBakeTarget copies that corner
// of the drawable into the texture.
void SetBakeTarget(GlTexture& texture);
void CopyToBakeTarget();

// Texture creation for the pools: RGB5 for the ground, alpha for shadows.
void CreateTerrainTexture(GlTexture& texture);
void CreateShadowTexture(GlTexture& texture);
