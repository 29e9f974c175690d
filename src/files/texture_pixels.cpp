#include "files/texture_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/texture_database.h"

bool PixelFile::OpenFile(const char* path, std::string* why) {
    Close();
    std::string error = "no file name was given";
    if (path) file_ = platform::Files().OpenForReading(path, error);
    if (!file_) {
        if (why) *why = error;
        return false;
    }
    size_ = file_->Size();
    return true;
}

void PixelFile::OpenMemory(std::span<const std::uint8_t> bytes) {
    Close();
    memory_ = bytes;
    memoryOpen_ = true;
    size_ = bytes.size();
}

void PixelFile::Close() {
    file_.reset();
    memoryOpen_ = false;
    memory_ = {};
    size_ = 0;
}

void PixelFile::ReadAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
    if (n == 0) return;
    std::size_t got = 0;
    if (offset < size_) {
        const std::size_t avail = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
        if (memoryOpen_) {
            std::memcpy(dst, memory_.data() + offset, avail);
            got = avail;
        } else if (file_) {
            got = file_->ReadAt(offset, dst, avail);
        }
    }
    if (got < n) std::memset(dst + got, 0, n - got);
}

void NormalCodeToBytes(std::uint16_t code, std::uint8_t out[4]) {
    const int a = (code >> 4) & 0x3F;
    const int e = code & 0x0F;
    const double phi = (4 * a - 64) * 0.024639942381090196;   // 2 pi / 255
    const double theta = (255 - 16 * e) * 0.006159985595272549;  // pi / 510
    const float x = static_cast<float>(std::cos(phi) * std::sin(theta));
    const float y = static_cast<float>(std::sin(phi) * std::sin(theta));
    const double z = std::cos(theta);
    out[0] = static_cast<std::uint8_t>(static_cast<int>((x + 1.0) * 127.5));
    out[1] = static_cast<std::uint8_t>(static_cast<int>((y + 1.0) * 127.5));
    out[2] = static_cast<std::uint8_t>(static_cast<int>((z + 1.0) * 127.5));
    out[3] = 255;
}

bool TextureDatabase::ReadPixels(int index, bool withNormals, TexturePixels& out) const {
    out = TexturePixels{};
    const TextureEntry* e = Entry(index);
    if (!e || e->width > kMaxTextureDimension || e->height > kMaxTextureDimension) return false;
    const std::uint32_t w = e->width, h = e->height;
    out.width = w;
    out.height = h;
    out.indices.assign(std::size_t{w} * h, 0);
    const bool sixteen = e->bits == 16;
    if (sixteen && withNormals) out.normalCodes.assign(std::size_t{w} * h, 0);
    if (e->bits != 8 && !sixteen) return true;  // other depths read nothing
    if (w == 0 || h == 0) return true;

    std::vector<std::uint8_t> row(std::size_t{w} * (sixteen ? 2 : 1));
    for (std::uint32_t r = 0; r < h; ++r) {
        pixelFile.ReadAt(std::uint64_t{e->offset} + std::uint64_t{r} * e->stride, row.data(), row.size());
        std::uint8_t* idx = out.indices.data() + std::size_t{r} * w;
        if (!sixteen) {
            std::memcpy(idx, row.data(), w);
            continue;
        }
        for (std::uint32_t c = 0; c < w; ++c) {
            const std::uint16_t v = static_cast<std::uint16_t>(row[2 * c] | (row[2 * c + 1] << 8));
            idx[c] = static_cast<std::uint8_t>(v >> 10);
            if (withNormals) out.normalCodes[std::size_t{r} * w + c] = v & 0x3FF;
        }
    }
    return true;
}

std::vector<std::uint8_t> TextureDatabase::PaletteRgbaOf(const TextureEntry& e, const TexturePixels& pixels) const {
    const std::uint32_t p = PaletteIndexOf(e);
    const std::vector<std::uint8_t>& palette = palettes[p];
    const std::uint32_t colours = std::min<std::uint32_t>(paletteSizes[p], 256);
    std::uint32_t count = std::max<std::uint32_t>(colours, 1);
    for (std::uint8_t c : pixels.indices) count = std::max<std::uint32_t>(count, c + 1u);
    std::vector<std::uint8_t> rgba(std::size_t{count} * 4);
    for (std::uint32_t c = 0; c < count; ++c) {
        std::uint8_t* o = &rgba[4 * std::size_t{c}];
        if (c < colours && 4 * std::size_t{c} + 2 < palette.size()) {  // an index past a short palette reads as black
            o[0] = palette[4 * c + 2];
            o[1] = palette[4 * c + 1];
            o[2] = palette[4 * c + 0];
        }
        o[3] = (e.transparent && c == 0) ? 0 : 255;
    }
    return rgba;
}

bool TextureDatabase::DecodeImage(int index, bool withNormals, DecodedImage& out) const {
    out = DecodedImage{};
    TexturePixels px;
    if (!ReadPixels(index, withNormals, px)) return false;
    const TextureEntry& e = entries[static_cast<std::size_t>(index)];
    const std::vector<std::uint8_t> colours = PaletteRgbaOf(e, px);
    const std::size_t n = px.indices.size();
    out.width = px.width;
    out.height = px.height;
    out.rgba.resize(n * 4);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(&out.rgba[4 * i], &colours[4 * std::size_t{px.indices[i]}], 4);
    if (withNormals) {
        out.normals.resize(n * 4);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t* o = &out.normals[4 * i];
            if (!px.normalCodes.empty()) {
                NormalCodeToBytes(px.normalCodes[i], o);
            } else {  // no normal data: a flat surface
                o[0] = 127; o[1] = 127; o[2] = 255; o[3] = 255;
            }
        }
    }
    return true;
}
