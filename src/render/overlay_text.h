// The 2-D overlay's text: one display list per glyph bitmap of the
// platform's font, drawn at the raster position. The lists are made with
// the GL context (InitGL) and deleted with it (KillGL).
#pragma once

#include <vector>

#include "diag/log.h"
#include "platform/platform.h"

inline const platform::FontRequest kOverlayFont{"Arial", 14, 500};

// Display lists of characters first .. first + count - 1, one glBitmap
// each; the caller deletes them. kept, when given, receives the glyphs.
unsigned BuildFontLists(const platform::FontRequest& font, int first, int count,
                        std::vector<platform::GlyphBitmap>* kept = nullptr);

void BuildOverlayFont();
void DeleteOverlayFont();

// Formats like the log and draws one line on a box at the raster position.
void DrawLabel(const char* format, ...) WV_PRINTF_LIKE(1, 2);
// Formats and draws several lines: newline steps 18 pixels down, tab goes
// to the next stop every 100 pixels from the block's left edge.
void DrawTextBlock(const char* format, ...) WV_PRINTF_LIKE(1, 2);
// The x of the tab stop after raster x cx in a block starting at x0.
int NextTabStop(int x0, int cx);
// A text block's lines lie this many pixels apart.
constexpr int kTextLineHeight = 18;

// Both with each character's display list called in turn: the reference
// the two above (a run of characters drawn as one bitmap) are pinned to.
void DrawLabelPlain(const char* text);
void DrawTextBlockPlain(const char* text);
