// Feeds arbitrary bytes to the texture database and its pixel file. The
// input is split in two: a little-endian u32 giving the length of the .pid
// part (clamped to what follows), the .pid bytes, then the .swp bytes.
// Every entry is looked up at two size limits and decoded both ways; the
// invariants checked below abort so that a breach shows up as a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "files/block_file.h"
#include "files/texture_database.h"

namespace {

// Decoding is the slow part; this many entries per input keeps runs fast
// without skipping any kind of entry.
constexpr std::size_t kMaxDecodedEntries = 64;

[[noreturn]] void Broken(const char* what, std::size_t index) {
    std::fprintf(stderr, "fuzz_texture_database: %s (entry %zu)\n", what, index);
    std::abort();
}

void CheckPalettes(const TextureDatabase& db) {
    if (db.palettes.empty() || db.palettes.size() != db.paletteSizes.size()) Broken("palette tables disagree", 0);
    for (std::size_t p = 0; p < db.palettes.size(); ++p)
        if (db.palettes[p].size() != std::size_t{db.paletteSizes[p]} * 4) Broken("palette size disagrees", p);
}

void CheckLookup(const TextureDatabase& db, std::size_t i) {
    const std::uint32_t id = db.entries[i].identifier;
    const int found = db.FindTexture(id);
    if (!db.HasIdentifier(id)) {
        if (found != -1) Broken("FindTexture found an identifier with no full-size entry", i);
        return;
    }
    const TextureEntry* e = db.Entry(found);
    if (!e) Broken("FindTexture returned an index outside the directory", i);
    if (e->identifier != id) Broken("FindTexture returned another identifier's entry", i);
}

void CheckDecode(const TextureDatabase& db, std::size_t i, bool withNormals) {
    const TextureEntry& e = db.entries[i];
    DecodedImage image;
    const bool ok = db.DecodeImage(static_cast<int>(i), withNormals, image);
    const bool decodable = e.width <= kMaxTextureDimension && e.height <= kMaxTextureDimension;
    if (ok != decodable) Broken("DecodeImage accepted or refused the wrong size", i);
    if (!ok) return;
    const std::size_t texels = std::size_t{e.width} * e.height;
    if (image.width != e.width || image.height != e.height) Broken("decoded size differs from the entry", i);
    if (image.rgba.size() != texels * 4) Broken("decoded colour bytes do not match the size", i);
    if (image.normals.size() != (withNormals ? texels * 4 : 0)) Broken("decoded normal bytes do not match", i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t rest = size - 4;
    const std::size_t pidSize = std::min<std::size_t>(LoadU32(data), rest);
    const std::span<const std::uint8_t> pid(data + 4, pidSize);
    const std::span<const std::uint8_t> swp(data + 4 + pidSize, rest - pidSize);

    TextureDatabase db;
    if (!db.ReadFromMemory(pid)) return 0;
    db.pixelFile.OpenMemory(swp);
    if (db.pixelFile.Size() != swp.size()) Broken("pixel file size differs from its bytes", 0);
    CheckPalettes(db);

    for (const std::int32_t limit : {64, 128}) {
        db.MaxTextureSize = limit;
        for (std::size_t i = 0; i < db.entries.size(); ++i) CheckLookup(db, i);
    }
    // Big entries decode through the same code as small ones: a texel budget
    // keeps each input fast enough to explore many of them.
    const std::size_t decoded = std::min(db.entries.size(), kMaxDecodedEntries);
    std::uint64_t budget = std::uint64_t{1} << 20;
    for (std::size_t i = 0; i < decoded; ++i) {
        const std::uint64_t texels = std::uint64_t{db.entries[i].width} * db.entries[i].height;
        if (texels > budget) continue;
        budget -= texels;
        CheckDecode(db, i, true);
        CheckDecode(db, i, false);
    }
    return 0;
}
