// The scripted platform with real fonts, for drawing without a window (the
// render tool, GL tests, benchmarks): the overlay's text is drawn from
// FreeType bitmaps, as the viewer draws it.
#pragma once

#include "platform/fonts/font_rasteriser.h"
#include "platform/scripted_platform.h"

namespace platform {

class FontedPlatform : public ScriptedPlatform {
public:
    bool RasteriseFont(const FontRequest& font, int first, int count,
                       std::vector<GlyphBitmap>& out) override {
        return fonts.Rasterise(font, first, count, out);
    }
    bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) override {
        return fonts.Measure(font, text, width, height);
    }
    FontRasteriser fonts;
};

}  // namespace platform
