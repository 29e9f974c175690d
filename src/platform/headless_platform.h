// The scripted platform with the system's fonts and the headless context's
// GL entry points, for drawing without a window (the render and export
// tools, the GL tests, the frame benchmark): the overlay's text is drawn
// from the same glyphs the viewer draws. Boxes are recorded and answered
// as the scripted platform answers them.
#pragma once

#include <memory>

#include "platform/scripted_platform.h"

namespace platform {

class FontRasteriser;

class HeadlessPlatform : public ScriptedPlatform {
public:
    HeadlessPlatform();
    ~HeadlessPlatform() override;

    bool RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) override;
    bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) override;
    // The system's clock instead of the scripted one, when set.
    std::uint64_t CounterFrequency() override { return realClock ? 1000000000ull : frequency; }
    std::uint64_t CounterValue() override;

    bool realClock = false;

private:
    std::unique_ptr<FontRasteriser> fonts_;
};

}  // namespace platform
