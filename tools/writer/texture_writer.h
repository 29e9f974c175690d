// Builds a texture database (.pid) and its pixel file (.swp): palettes,
// 8- and 16-bit entries, padded row strides, the flags, and smaller
// versions stored after each full-size entry with their size codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/texture_database.h"
#include "math/vector3.h"

namespace wvwrite {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct TextureSpec {
    std::uint32_t identifier = 0;           // the name handle (MakeNameHandle)
    std::uint32_t width = 0, height = 0;
    std::uint32_t bits = 8;                 // 8 or 16 (16: colour index 0..63 plus normal code)
    bool transparent = false;               // colour index 0 is see-through
    bool bump = false;                      // 16-bit normals are a bump map
    std::uint32_t kind = 0;                 // kInvisibleTextureKind for undrawn surfaces
    std::uint32_t palette = kDefaultPaletteIndex;
    std::uint32_t rowPadding = 0;           // bytes after each row: stride = row bytes + padding
    std::vector<std::uint8_t> indices;      // width * height colour indices, rows top first
    std::vector<std::uint16_t> normalCodes; // 16-bit only: 10-bit codes per texel; empty = straight up
    int smallerVersions = 0;                // halved copies to store after the full-size entry
};

class TextureSetWriter {
public:
    // Returns the palette's index in the file.
    std::uint32_t AddPalette(const std::vector<Rgb>& colours);
    // Adds the full-size entry and its smaller versions; returns the index
    // of the full-size entry. Throws std::invalid_argument on a bad texture.
    int AddTexture(const TextureSpec& texture);

    std::vector<std::uint8_t> PidBytes() const;
    const std::vector<std::uint8_t>& SwpBytes() const { return swp_; }
    // Writes both files; false (with a reason) when either cannot be written.
    bool Write(const std::string& pidPath, const std::string& swpPath, std::string* error) const;

    const std::vector<TextureEntry>& Entries() const { return entries_; }
    const std::vector<std::vector<Rgb>>& Palettes() const { return palettes_; }

private:
    void AddEntry(const TextureSpec& texture, std::uint32_t sizeCode);
    Rgb ColourOf(std::uint32_t palette, std::uint8_t index) const;

    std::vector<std::vector<Rgb>> palettes_;
    std::vector<TextureEntry> entries_;
    std::vector<std::uint8_t> swp_;
};

// The 10-bit normal code (azimuth << 4 | elevation) nearest to a unit normal
// with z >= 0.
std::uint16_t EncodeNormal(const Vector3& n);

// Splits an RGBA image into a palette of at most maxColours colours and
// indices. Fully transparent texels map to index 0 when transparent is set
// (index 0 is then reserved for them). Images with more colours than fit are
// quantised to the nearest of an evenly spread palette.
struct PalettedImage {
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> indices;
};
PalettedImage PaletteFromRgba(const std::vector<std::uint8_t>& rgba, std::uint32_t width, std::uint32_t height,
                              std::size_t maxColours, bool transparent);

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace wvwrite
