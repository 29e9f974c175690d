#include "platform/headless_platform.h"

#include "platform/fonts/font_rasteriser.h"
#include "platform/headless_gl.h"
#include "platform/system.h"

namespace platform {

HeadlessPlatform::HeadlessPlatform() : fonts_(std::make_unique<FontRasteriser>()) {
    procAddress = &HeadlessGl::ProcAddress;
}

HeadlessPlatform::~HeadlessPlatform() = default;

bool HeadlessPlatform::RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
    return fonts_->Rasterise(font, first, count, out);
}

bool HeadlessPlatform::MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) {
    return fonts_->Measure(font, text, width, height);
}

std::uint64_t HeadlessPlatform::CounterValue() { return realClock ? MonotonicNanoseconds() : counter; }

}  // namespace platform
