#include "files/texture_image.h"

#include <algorithm>

#include "files/png_image.h"
#include "files/texture_database.h"

namespace {

// The pyramid's buffers are kept between calls and only grow.
std::vector<std::vector<std::uint8_t>>& Pyramid() {
    static std::vector<std::vector<std::uint8_t>> levels;
    return levels;
}

void Bleed(std::uint8_t* image, std::uint32_t w, std::uint32_t h, std::size_t depth) {
    if (w < 4 || h < 4) return;
    const std::uint32_t lw = w >> 2, lh = h >> 2;
    auto& pyramid = Pyramid();
    if (pyramid.size() <= depth) pyramid.resize(depth + 1);
    std::vector<std::uint8_t>& buffer = pyramid[depth];
    if (buffer.size() < std::size_t{lw} * lh * 4) buffer.resize(std::size_t{lw} * lh * 4);
    std::uint8_t* level = buffer.data();
    for (std::size_t i = 0; i < std::size_t{lw} * lh; ++i) {
        level[4 * i + 0] = level[4 * i + 1] = level[4 * i + 2] = 0x80;
        level[4 * i + 3] = 0;
    }
    auto at = [&](std::uint32_t x, std::uint32_t y) {  // partial blocks use the last row or column
        return level + 4 * (std::size_t{std::min(y >> 2, lh - 1)} * lw + std::min(x >> 2, lw - 1));
    };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t* t = image + 4 * (std::size_t{y} * w + x);
            if (t[3] != 0) std::copy(t, t + 4, at(x, y));
        }
    Bleed(level, lw, lh, depth + 1);
    // The recursion may have grown the pyramid: find this level again.
    level = Pyramid()[depth].data();
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* t = image + 4 * (std::size_t{y} * w + x);
            if (t[3] == 0) std::copy(at(x, y), at(x, y) + 3, t);
        }
}

}  // namespace

void BleedColours(std::vector<std::uint8_t>& rgba, std::uint32_t width, std::uint32_t height) {
    if (rgba.size() < std::size_t{width} * height * 4) return;
    Bleed(rgba.data(), width, height, 0);
}

DecodedImage ReadTextureImage(const TextureDatabase& db, int index, bool withNormals) {
    DecodedImage image;
    db.DecodeImage(index, withNormals, image);
    const TextureEntry* e = db.Entry(index);
    if (e && e->transparent) BleedColours(image.rgba, image.width, image.height);
    return image;
}

bool WritePaletteTexturePng(const TextureDatabase& db, int index, const std::string& path, std::string& error) {
    const TextureEntry* e = db.Entry(index);
    TexturePixels pixels;
    if (!e || !db.ReadPixels(index, false, pixels) || pixels.width == 0 || pixels.height == 0) {
        error = "entry " + std::to_string(index) + " cannot be read";
        return false;
    }
    const std::vector<std::uint8_t> palette = db.PaletteRgbaOf(*e, pixels);
    return WritePngFile(path, PngImage{pixels.width, pixels.height, PngFormat::Indexed8, pixels.indices, palette}, error);
}
