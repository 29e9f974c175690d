// The fixed GL state of the run and the driver's optional features.
#pragma once

// Owned here; set once by InitGL, read by the drawing code and key U.
struct GlCapabilities {
    bool HasTextureCompression = false;  // always off after logging
    bool HasAutoMipmaps = false;
    bool HasDot3 = false;
    bool HasMultitexture = false;
    bool Dot3Available = false;          // Dot3, multitexture and blend colour together
};

GlCapabilities& TheGlCapabilities();

// Hints, global ambient, the two lights' colours, normal rescaling, the
// capability flags with a log line each, the frusta and the overlay font.
bool InitGL();
