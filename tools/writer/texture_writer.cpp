#include "writer/texture_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "platform/atomic_file.h"

namespace wvwrite {

namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

int ColourDistance(const Rgb& a, int r, int g, int b) {
    return (a.r - r) * (a.r - r) + (a.g - g) * (a.g - g) + (a.b - b) * (a.b - b);
}

}  // namespace

std::uint32_t TextureSetWriter::AddPalette(const std::vector<Rgb>& colours) {
    palettes_.push_back(colours);
    return static_cast<std::uint32_t>(palettes_.size() - 1);
}

Rgb TextureSetWriter::ColourOf(std::uint32_t palette, std::uint8_t index) const {
    if (palette < palettes_.size()) {
        const auto& p = palettes_[palette];
        return index < p.size() ? p[index] : Rgb{};
    }
    return Rgb{0, 255, 210};  // the reader's default palette
}

void TextureSetWriter::AddEntry(const TextureSpec& s, std::uint32_t sizeCode) {
    TextureEntry e{};
    const std::uint32_t rowBytes = s.width * (s.bits == 16 ? 2 : 1);
    e.offset = static_cast<std::uint32_t>(swp_.size());
    e.width = s.width;
    e.height = s.height;
    e.stride = rowBytes + s.rowPadding;
    e.bits = s.bits;
    e.transparent = s.transparent ? 1 : 0;
    e.bump = s.bump ? 1 : 0;
    e.kind = s.kind;
    e.palette = s.palette;
    e.identifier = s.identifier;
    e.sizeCode = sizeCode;
    entries_.push_back(e);

    for (std::uint32_t y = 0; y < s.height; ++y) {
        for (std::uint32_t x = 0; x < s.width; ++x) {
            const std::size_t i = std::size_t{y} * s.width + x;
            if (s.bits == 16) {
                const std::uint16_t code = s.normalCodes.empty() ? 0x00F : s.normalCodes[i];
                const std::uint16_t v = static_cast<std::uint16_t>((s.indices[i] << 10) | (code & 0x3FF));
                swp_.push_back(static_cast<std::uint8_t>(v));
                swp_.push_back(static_cast<std::uint8_t>(v >> 8));
            } else {
                swp_.push_back(s.indices[i]);
            }
        }
        swp_.insert(swp_.end(), s.rowPadding, 0xEE);  // visible if a reader ever uses it
    }
}

int TextureSetWriter::AddTexture(const TextureSpec& texture) {
    if (texture.bits != 8 && texture.bits != 16) throw std::invalid_argument("texture bits must be 8 or 16");
    if (texture.width == 0 || texture.height == 0) throw std::invalid_argument("texture size must not be 0");
    const std::size_t n = std::size_t{texture.width} * texture.height;
    if (texture.indices.size() != n) throw std::invalid_argument("texture index count does not match its size");
    if (!texture.normalCodes.empty() && texture.normalCodes.size() != n)
        throw std::invalid_argument("texture normal count does not match its size");
    if (texture.bits == 16 && std::any_of(texture.indices.begin(), texture.indices.end(), [](auto i) { return i > 63; }))
        throw std::invalid_argument("16-bit textures have colour indices 0..63");
    if (texture.palette != kDefaultPaletteIndex && texture.palette >= palettes_.size())
        throw std::invalid_argument("texture names a palette that was not added");

    const int first = static_cast<int>(entries_.size());
    AddEntry(texture, 0);

    // Smaller versions: each texel the palette colour nearest the mean of
    // the opaque texels of its 2x2 block (transparent when most are).
    TextureSpec level = texture;
    for (int v = 0; v < texture.smallerVersions && (level.width > 1 || level.height > 1); ++v) {
        TextureSpec next = level;
        next.width = std::max(1u, level.width / 2);
        next.height = std::max(1u, level.height / 2);
        next.indices.assign(std::size_t{next.width} * next.height, 0);
        if (!level.normalCodes.empty()) next.normalCodes.assign(next.indices.size(), 0);
        const std::size_t colours = texture.palette < palettes_.size() ? palettes_[texture.palette].size() : 256;
        const std::size_t usable = texture.bits == 16 ? std::min<std::size_t>(colours, 64) : colours;
        for (std::uint32_t y = 0; y < next.height; ++y) {
            for (std::uint32_t x = 0; x < next.width; ++x) {
                int r = 0, g = 0, b = 0, opaque = 0, count = 0;
                for (std::uint32_t dy = 0; dy < 2; ++dy) {
                    for (std::uint32_t dx = 0; dx < 2; ++dx) {
                        const std::uint32_t sx = std::min(level.width - 1, 2 * x + dx);
                        const std::uint32_t sy = std::min(level.height - 1, 2 * y + dy);
                        const std::uint8_t idx = level.indices[std::size_t{sy} * level.width + sx];
                        ++count;
                        if (texture.transparent && idx == 0) continue;
                        const Rgb c = ColourOf(texture.palette, idx);
                        r += c.r; g += c.g; b += c.b;
                        ++opaque;
                    }
                }
                const std::size_t o = std::size_t{y} * next.width + x;
                if (!level.normalCodes.empty())
                    next.normalCodes[o] = level.normalCodes[std::size_t{std::min(level.height - 1, 2 * y)} * level.width +
                                                            std::min(level.width - 1, 2 * x)];
                if (opaque * 2 < count) continue;  // stays index 0
                r /= opaque; g /= opaque; b /= opaque;
                int best = texture.transparent ? 1 : 0, bestDist = 1 << 30;
                for (std::size_t k = texture.transparent ? 1 : 0; k < usable; ++k) {
                    const int d = ColourDistance(ColourOf(texture.palette, static_cast<std::uint8_t>(k)), r, g, b);
                    if (d < bestDist) { bestDist = d; best = static_cast<int>(k); }
                }
                next.indices[o] = static_cast<std::uint8_t>(best);
            }
        }
        AddEntry(next, next.width);
        level = std::move(next);
    }
    return first;
}

std::vector<std::uint8_t> TextureSetWriter::PidBytes() const {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> palettes;
    for (const auto& p : palettes_) {
        PutU32(palettes, 0);
        PutU32(palettes, static_cast<std::uint32_t>(p.size()));
        PutU32(palettes, 0);
        for (const Rgb& c : p) {
            palettes.push_back(c.b);
            palettes.push_back(c.g);
            palettes.push_back(c.r);
            palettes.push_back(0);
        }
        PutU32(palettes, 0);
    }
    const std::uint32_t directory = static_cast<std::uint32_t>(kPaletteHeaderOffset + palettes.size());
    PutU32(out, kTextureDatabaseVersion);
    PutU32(out, 0);
    PutU32(out, directory);
    PutU32(out, static_cast<std::uint32_t>(entries_.size()));
    PutU32(out, 0);
    PutU32(out, static_cast<std::uint32_t>(palettes_.size()));
    PutU32(out, 0);
    PutU32(out, 0);
    out.insert(out.end(), palettes.begin(), palettes.end());
    for (const TextureEntry& e : entries_) {
        for (std::uint32_t v : {e.unused0, e.offset, e.width, e.height, e.stride, e.bits, e.unused24, e.transparent,
                                e.bump, e.kind, e.palette, e.unused44, e.identifier, e.sizeCode})
            PutU32(out, v);
    }
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::string error;
    return platform::WriteFileAtomically(path, bytes, error);
}

bool TextureSetWriter::Write(const std::string& pidPath, const std::string& swpPath, std::string* error) const {
    if (!WriteFileBytes(pidPath, PidBytes())) {
        if (error) *error = "cannot write " + pidPath;
        return false;
    }
    if (!WriteFileBytes(swpPath, swp_)) {
        if (error) *error = "cannot write " + swpPath;
        return false;
    }
    return true;
}

std::uint16_t EncodeNormal(const Vector3& n) {
    // Inverse of the reader: phi = (4a - 64) * 2pi/255, theta = (255 - 16e) * pi/510.
    const double kPi = 3.141592653589;
    const double theta = std::acos(std::clamp(static_cast<double>(n.z), -1.0, 1.0));
    int e = static_cast<int>(std::lround((255.0 - theta * 510.0 / kPi) / 16.0));
    e = std::clamp(e, 0, 15);
    double phi = std::atan2(n.y, n.x);
    int a = static_cast<int>(std::lround(phi / (2.0 * kPi / 255.0) / 4.0 + 16.0));
    a = ((a % 64) + 64) % 64;
    return static_cast<std::uint16_t>((a << 4) | e);
}

PalettedImage PaletteFromRgba(const std::vector<std::uint8_t>& rgba, std::uint32_t width, std::uint32_t height,
                              std::size_t maxColours, bool transparent) {
    PalettedImage out;
    const std::size_t n = std::size_t{width} * height;
    out.indices.assign(n, 0);
    std::map<std::uint32_t, std::uint8_t> seen;
    if (transparent) out.palette.push_back(Rgb{0, 0, 0});
    bool exact = true;
    for (std::size_t i = 0; i < n && exact; ++i) {
        if (transparent && rgba[4 * i + 3] == 0) continue;
        const std::uint32_t key = rgba[4 * i] | (rgba[4 * i + 1] << 8) | (rgba[4 * i + 2] << 16);
        if (seen.count(key)) continue;
        if (out.palette.size() >= maxColours) {
            exact = false;
            break;
        }
        seen[key] = static_cast<std::uint8_t>(out.palette.size());
        out.palette.push_back(Rgb{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]});
    }
    if (!exact) {
        // An even spread of levels per channel that fits the colour budget.
        out.palette.assign(transparent ? 1 : 0, Rgb{});
        const std::size_t budget = maxColours - out.palette.size();
        int levels = 1;
        while (static_cast<std::size_t>((levels + 1) * (levels + 1) * (levels + 1)) <= budget) ++levels;
        for (int r = 0; r < levels; ++r)
            for (int g = 0; g < levels; ++g)
                for (int b = 0; b < levels; ++b) {
                    auto level = [&](int k) { return static_cast<std::uint8_t>(levels == 1 ? 128 : k * 255 / (levels - 1)); };
                    out.palette.push_back(Rgb{level(r), level(g), level(b)});
                }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (transparent && rgba[4 * i + 3] == 0) continue;
        if (exact) {
            out.indices[i] = seen[rgba[4 * i] | (rgba[4 * i + 1] << 8) | (rgba[4 * i + 2] << 16)];
            continue;
        }
        int best = transparent ? 1 : 0, bestDist = 1 << 30;
        for (std::size_t k = transparent ? 1 : 0; k < out.palette.size(); ++k) {
            const int d = ColourDistance(out.palette[k], rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
            if (d < bestDist) { bestDist = d; best = static_cast<int>(k); }
        }
        out.indices[i] = static_cast<std::uint8_t>(best);
    }
    return out;
}

}  // namespace wvwrite
