// Bitmap fonts for the overlay, made the way the design's GDI calls made
// them: a face name and weight matched to an installed font (fontconfig
// maps "Arial" to a metric-compatible face; on Windows GDI itself renders,
// win32/), glyphs rendered one bit deep
// at a cell height in pixels, laid out for glBitmap, and text measured as
// the sum of the glyphs' advances.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// The installed font that stands for a request.
struct FontMatch {
    std::string file;  // empty where the system opens the file itself
    int index = 0;  // face within the file
    std::string family, style;
    bool embolden = false;  // no bold face: the outlines are thickened
};

class FontRasteriser {
public:
    FontRasteriser();
    ~FontRasteriser();
    FontRasteriser(const FontRasteriser&) = delete;
    FontRasteriser& operator=(const FontRasteriser&) = delete;

    // The font fontconfig chooses; it always chooses one while any font is
    // installed.
    std::optional<FontMatch> Match(const FontRequest& font);

    // Glyphs of the characters first .. first + count - 1, read as code page
    // 1252 below 256. Control characters and characters the font lacks give
    // empty bitmaps that do not advance. The request's pixel height is the
    // cell height (ascent plus descent), as a positive GDI font height is.
    bool Rasterise(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out);

    // Width: the sum of the characters' advances; height: the cell height.
    bool Measure(const FontRequest& font, const std::string& text, int& width, int& height);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
