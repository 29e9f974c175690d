#include "files/texture_database.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "diag/state_registry.h"
#include "files/block_file.h"
#include "platform/file_system.h"

namespace {
// The palette used when an entry names none: 256 colours of red 0,
// green 255, blue 210, stored blue, green, red, unused.
std::vector<std::uint8_t> DefaultPalette() {
    std::vector<std::uint8_t> p(256 * 4);
    for (std::size_t i = 0; i < 256; ++i) {
        p[4 * i + 0] = 0xD2;
        p[4 * i + 1] = 0xFF;
        p[4 * i + 2] = 0x00;
        p[4 * i + 3] = 0x00;
    }
    return p;
}
}  // namespace

void TextureDatabase::Reset() {
    entries.clear();
    entriesOffset = 0;
    palettes.clear();
    paletteSizes.clear();
    identifiers.clear();
    pixelFile.Close();
    truncated_ = false;
}

bool TextureDatabase::Read(const char* path) {
    Reset();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!path || !platform::ReadWholeFile(path, bytes, error)) return false;
    return Parse(bytes);
}

bool TextureDatabase::ReadFromMemory(std::span<const std::uint8_t> bytes) {
    Reset();
    return Parse(bytes);
}

bool TextureDatabase::Parse(std::span<const std::uint8_t> bytes) {
    std::uint32_t version = 0, directory = 0, count = 0, paletteCount = 0;
    if (!ReadU32(bytes, 0, version) || version != kTextureDatabaseVersion) return false;
    const bool headerWhole = ReadU32(bytes, 8, directory) && ReadU32(bytes, 12, count) &&
                             ReadU32(bytes, 20, paletteCount);
    if (!headerWhole) truncated_ = true;

    // Entries: as many as the header says and the file holds.
    const std::uint64_t size = bytes.size();
    const std::uint64_t room = directory < size ? (size - directory) / sizeof(TextureEntry) : 0;
    const std::uint64_t n = std::min<std::uint64_t>(count, room);
    if (n < count) truncated_ = true;
    entries.resize(n);
    identifiers.reserve(n);  // n is bounded by the file's size
    entriesOffset = directory;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t fields[sizeof(TextureEntry) / 4];
        const std::uint8_t* p = bytes.data() + directory + i * sizeof(TextureEntry);
        for (std::size_t k = 0; k < std::size(fields); ++k) fields[k] = LoadU32(p + 4 * k);
        std::memcpy(&entries[i], fields, sizeof fields);
        if (entries[i].sizeCode == 0) identifiers[entries[i].identifier] = static_cast<int>(i);
    }

    // Palettes from offset 32, each bounded by what the file holds.
    std::uint64_t pos = kPaletteHeaderOffset;
    for (std::uint32_t i = 0; i < paletteCount; ++i) {
        std::uint32_t colours = 0;
        if (pos + 12 > size || !ReadU32(bytes, pos + 4, colours)) {
            truncated_ = true;
            break;
        }
        const std::uint64_t start = pos + 12;
        const std::uint64_t whole = std::min<std::uint64_t>(colours, (size - start) / 4);
        palettes.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                              bytes.begin() + static_cast<std::ptrdiff_t>(start + whole * 4));
        paletteSizes.push_back(static_cast<std::uint32_t>(whole));
        if (whole < colours) {
            truncated_ = true;
            break;
        }
        pos = start + std::uint64_t{colours} * 4 + 4;
    }
    palettes.push_back(DefaultPalette());
    paletteSizes.push_back(256);
    return true;
}

const TextureEntry* TextureDatabase::Entry(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return nullptr;
    return &entries[static_cast<std::size_t>(index)];
}

std::uint32_t TextureDatabase::PaletteIndexOf(const TextureEntry& e) const {
    const std::size_t fallback = DefaultPaletteIndex();
    if (e.palette == kDefaultPaletteIndex || e.palette >= fallback) return static_cast<std::uint32_t>(fallback);
    return e.palette;
}

std::uint64_t TextureDatabase::PixelExtent() const {
    std::uint64_t end = 0;
    for (const TextureEntry& e : entries) {
        if (e.width == 0 || e.height == 0 || e.width > kMaxTextureDimension || e.height > kMaxTextureDimension ||
            (e.bits != 8 && e.bits != 16))
            continue;
        const std::uint64_t row = std::uint64_t{e.width} * (e.bits == 16 ? 2 : 1);
        end = std::max(end, std::uint64_t{e.offset} + std::uint64_t{e.height - 1} * e.stride + row);
    }
    return end;
}

int TextureDatabase::FindTexture(std::uint32_t identifier) const {
    const auto it = identifiers.find(identifier);
    if (it == identifiers.end()) return -1;
    const std::size_t first = static_cast<std::size_t>(it->second);
    std::int64_t w = entries[first].width, h = entries[first].height;
    const std::int64_t limit = MaxTextureSize;
    if (w <= limit && h <= limit) return it->second;
    // Halved together; stops at zero so a negative limit cannot spin.
    while ((w > limit || h > limit) && (w > 0 || h > 0)) {
        w >>= 1;
        h >>= 1;
    }
    for (std::size_t i = first; i < entries.size() && entries[i].identifier == identifier; ++i)
        if ((entries[i].sizeCode & 0xFF) == w) return static_cast<int>(i);
    return it->second;
}

