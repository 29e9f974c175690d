#include "writer/demo_level.h"

#include <cmath>

#include "files/name_handle.h"
#include "writer/procedural.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"

namespace wvwrite {

namespace {

std::uint32_t TextureId(const std::string& name) { return MakeNameHandle(FloatBits(1.0f), name.c_str(), ".tga"); }

void AddNoiseTexture(TextureSetWriter& w, const std::string& name, std::uint32_t seed,
                     const std::vector<Rgb>& stops, std::uint32_t size, int versions) {
    TextureSpec t;
    t.identifier = TextureId(name);
    t.width = t.height = size;
    t.palette = w.AddPalette(GradientPalette(stops, 256));
    t.indices = NoiseIndices(seed, size, 8, 4, 256);
    t.smallerVersions = versions;
    w.AddTexture(t);
}

void AddDemoTextures(TextureSetWriter& w) {
    AddNoiseTexture(w, "demo\\grass", 11, {{40, 92, 28}, {78, 140, 50}, {120, 170, 70}}, 128, 2);
    AddNoiseTexture(w, "demo\\sand", 12, {{190, 170, 120}, {226, 208, 160}, {240, 228, 190}}, 128, 2);
    AddNoiseTexture(w, "demo\\rock", 13, {{70, 68, 66}, {120, 116, 110}, {170, 165, 158}}, 128, 2);

    // Leaves: transparent, with padded rows.
    TextureSpec leaves;
    leaves.identifier = TextureId("demo\\leaves");
    leaves.width = leaves.height = 64;
    leaves.transparent = true;
    leaves.rowPadding = 4;
    leaves.palette = w.AddPalette(GradientPalette({{0, 0, 0}, {30, 80, 20}, {90, 160, 60}}, 64));
    leaves.indices = NoiseIndices(14, 64, 4, 3, 64);
    for (std::uint32_t y = 0; y < 64; ++y)
        for (std::uint32_t x = 0; x < 64; ++x) {
            const float dx = (static_cast<float>(x) - 31.5f) / 32.0f, dy = (static_cast<float>(y) - 40.0f) / 40.0f;
            std::uint8_t& i = leaves.indices[y * 64 + x];
            if (dx * dx + dy * dy > 0.8f || i < 12) i = 0;
        }
    leaves.smallerVersions = 1;
    w.AddTexture(leaves);

    // Bricks: a 16-bit bump texture with normals from a brick height map.
    TextureSpec bricks;
    bricks.identifier = TextureId("demo\\bricks");
    bricks.width = bricks.height = 128;
    bricks.bits = 16;
    bricks.bump = true;
    bricks.palette = w.AddPalette(GradientPalette({{110, 50, 40}, {170, 90, 70}, {200, 190, 180}}, 64));
    bricks.indices.resize(128 * 128);
    std::vector<float> heights(128 * 128);
    for (std::uint32_t y = 0; y < 128; ++y)
        for (std::uint32_t x = 0; x < 128; ++x) {
            const std::uint32_t row = y / 16, shift = (row % 2) * 16;
            const bool mortar = (y % 16) < 2 || ((x + shift) % 32) < 2;
            const float n = TileNoise(15, static_cast<float>(x) / 16.0f, static_cast<float>(y) / 16.0f, 8, 3);
            bricks.indices[y * 128 + x] = static_cast<std::uint8_t>(mortar ? 60 + (x % 3) : static_cast<int>(n * 44));
            heights[y * 128 + x] = mortar ? 0.0f : 1.0f + n;
        }
    bricks.normalCodes = NormalCodesFromHeights(heights, 128, 128, 1.5f);
    bricks.smallerVersions = 1;
    w.AddTexture(bricks);
}

}  // namespace

bool WriteDemoLevel(const std::string& dir, std::string* error) {
    TextureSetWriter textures;
    AddDemoTextures(textures);
    if (!textures.Write(dir + "/demo-130.pid", dir + "/demo-130.swp", error)) return false;

    SceneWriter scene;
    ByteWriter region;
    region.U32(0);  // no placed objects yet
    scene.AddBlock(".region", 0, region.Take());
    return scene.Save(dir + "/demo.grf", error);
}

}  // namespace wvwrite
