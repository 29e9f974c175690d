// The drawable that terrain textures and shadow pictures are rendered in
// before they are copied into their textures: a 512 x 512 framebuffer object
// (RGBA with 8-bit alpha, and depth) in the window's own context, so that
// the textures are shared by construction; or, where the driver has no
// framebuffer objects (or making one fails), the window's back buffer,
// which the frame clears afterwards anyway.
#pragma once

#include <cstdint>

class GlTexture;

// Owned here: written only by InitPBuffer and KillPBuffer (and the
// process reset); read by every off-screen pass.
struct OffscreenState {
    bool UsePBuffer = false;
    std::uint32_t framebuffer = 0, colour = 0, depth = 0;
    std::int32_t width = 512, height = 512;  // requested; the actual size once made
};
OffscreenState& TheOffscreen();

// Chooses the drawable and decides whether shadows are possible (the
// window's 8 alpha bits), with its log lines and the "NOTE" box otherwise.
void InitPBuffer();
// Deletes the framebuffer object (program end, context current).
void KillPBuffer();

// An off-screen pass: while it lives the off-screen drawable is current;
// when it ends the viewport and the framebuffer binding in effect before
// it are back exactly.
class OffscreenPass {
public:
    OffscreenPass();
    ~OffscreenPass();
    OffscreenPass(const OffscreenPass&) = delete;
    OffscreenPass& operator=(const OffscreenPass&) = delete;

    // The drawable's size: the buffer's, or the window's viewport when the
    // pass draws into the back buffer.
    std::int32_t Width() const;
    std::int32_t Height() const;

private:
    std::int32_t savedViewport_[4] = {0, 0, 0, 0};
    std::int32_t savedFramebuffer_ = 0;
};

// The viewport to the texture's size, for drawing its picture in the
// drawable's corner; CopyToTexture copies that corner into the texture.
void DrawInto(const GlTexture& texture);
// glClear(mask) over that corner only: the rest of the drawable is never
// copied, and a driver may clear (and later rasterise) all of it otherwise.
void ClearCorner(const GlTexture& texture, std::uint32_t mask);
void CopyToTexture(const GlTexture& texture);

// Texture creation for the pools: RGB5 for the ground, alpha for shadows.
void CreateTerrainTexture(GlTexture& texture);
void CreateShadowTexture(GlTexture& texture);
