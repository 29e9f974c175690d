// The texture database (.pid): one 56-byte entry per stored image (size,
// depth, where its rows lie in the pixel file, palette, flags) and the
// palettes. Several entries may share an identifier: the first is the
// full-size image, the following ones smaller versions of it.
//
// File layout (little-endian u32):
//   header: version 0x130, unused, directory offset, entry count, unused,
//     palette count, then 8 bytes not read
//   palettes from offset 32, each: unused, colour count n, skipped,
//     n colours as blue, green, red, unused, skipped
//   directory: entries back to back (TextureEntry)
#pragma once

#include <cstdint>
#include <unordered_map>
#include <span>
#include <string>
#include <vector>

#include "files/texture_pixels.h"

constexpr std::uint32_t kTextureDatabaseVersion = 0x130;
constexpr std::uint32_t kDefaultPaletteIndex = 0xFFFFFFFFu;
constexpr std::uint32_t kInvisibleTextureKind = 0x2000000u;  // surfaces not drawn
constexpr std::size_t kPaletteHeaderOffset = 32;

// One directory entry, exactly as stored.
struct TextureEntry {
    std::uint32_t unused0;
    std::uint32_t offset;       // first pixel row in the pixel file
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t stride;       // bytes from one row's start to the next
    std::uint32_t bits;         // 8 or 16
    std::uint32_t unused24;
    std::uint32_t transparent;  // non-zero: colour index 0 is transparent
    std::uint32_t bump;         // non-zero: 16-bit pixels carry surface normals
    std::uint32_t kind;         // kInvisibleTextureKind marks undrawn surfaces
    std::uint32_t palette;      // palette index, or kDefaultPaletteIndex
    std::uint32_t unused44;
    std::uint32_t identifier;   // name handle
    std::uint32_t sizeCode;     // 0: full size; else low 8 bits = this version's width
};
static_assert(sizeof(TextureEntry) == 56, "entries are read as stored");

class TextureDatabase {
public:
    // Releases everything and closes the pixel file.
    void Reset();
    // Reads a database file. False when it cannot be opened or its version
    // is not 0x130. Counts larger than the file are believed only as far as
    // the file holds data (Truncated() then says so).
    bool Read(const char* path);
    bool ReadFromMemory(std::span<const std::uint8_t> bytes);

    // Entry index of the identifier at no more than MaxTextureSize texels a
    // side when a smaller version is stored; -1 when unknown.
    int FindTexture(std::uint32_t identifier) const;
    bool HasIdentifier(std::uint32_t identifier) const { return identifiers.contains(identifier); }

    const TextureEntry* Entry(int index) const;
    // The palette that colours an entry: its own, or the default one when
    // the index is 0xFFFFFFFF or names no palette of the file.
    std::uint32_t PaletteIndexOf(const TextureEntry& e) const;
    std::size_t DefaultPaletteIndex() const { return palettes.empty() ? 0 : palettes.size() - 1; }
    bool Truncated() const { return truncated_; }
    // One past the last pixel-file byte that an entry small enough to be
    // decoded reads: a pixel file shorter than this gives wrong texels.
    std::uint64_t PixelExtent() const;

    // Decodes an entry: colour indices and, for 16-bit entries, normal codes.
    bool ReadPixels(int index, bool withNormals, TexturePixels& out) const;
    // Decodes an entry into RGBA (and bump bytes when asked).
    bool DecodeImage(int index, bool withNormals, DecodedImage& out) const;
    // The colours an entry's indices read as, RGBA: its palette's, black
    // past a short palette, index 0 clear when the entry is transparent;
    // as many as its palette has, or up to its highest index used.
    std::vector<std::uint8_t> PaletteRgbaOf(const TextureEntry& e, const TexturePixels& pixels) const;

    std::vector<TextureEntry> entries;
    std::uint32_t entriesOffset = 0;  // the first entry's byte in the file; each takes sizeof(TextureEntry)
    std::vector<std::vector<std::uint8_t>> palettes;  // 4 bytes a colour: B, G, R, unused
    std::vector<std::uint32_t> paletteSizes;
    PixelFile pixelFile;
    std::unordered_map<std::uint32_t, int> identifiers;  // full-size entries only; hashed: a lookup per material
    std::int32_t MaxTextureSize = 64;          // raised only around specific loads
    bool wantNormals = true;                   // build bump maps along with colours

private:
    bool Parse(std::span<const std::uint8_t> bytes);
    bool truncated_ = false;
};

