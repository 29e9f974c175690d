// The scripted platform with real fonts: the overlay's text is drawn from
// FreeType bitmaps, as the viewer draws it.
#pragma once

#include "platform/fonts/font_rasteriser.h"
#include "platform/scripted_platform.h"

class FontedPlatform : public platform::ScriptedPlatform {
public:
    bool RasteriseFont(const platform::FontRequest& font, int first, int count,
                       std::vector<platform::GlyphBitmap>& out) override {
        return fonts.Rasterise(font, first, count, out);
    }
    bool MeasureText(const platform::FontRequest& font, const std::string& text, int& width, int& height) override {
        return fonts.Measure(font, text, width, height);
    }
    platform::FontRasteriser fonts;
};
