#include "writer/skew_level.h"

#include <cstdio>
#include <string>
#include <vector>

#include "writer/level_builder.h"

namespace wvwrite {

namespace {

constexpr const char* kPieceTextures[4] = {"skew\\southwest", "skew\\southeast", "skew\\northwest", "skew\\northeast"};

// One colour, or a dark left half beside a light right half: which way a
// texture lies shows on a crate.
TextureSpec Solid(TextureSetWriter& w, const std::vector<Rgb>& colours, bool split) {
    TextureSpec t;
    t.width = t.height = 16;
    t.palette = w.AddPalette(colours);
    t.indices.assign(256, 0);
    if (split)
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 8; x < 16; ++x) t.indices[y * 16 + x] = 1;
    return t;
}

void AddTextures(TextureSetWriter& w) {
    for (int k = 0; k < 4; ++k) {
        TextureSpec t = Solid(w, {{skew::kColours[k][0], skew::kColours[k][1], skew::kColours[k][2]}}, false);
        t.identifier = TextureIdentifier(kPieceTextures[k], ".bmp");
        w.AddTexture(t);
    }
    TextureSpec crate = Solid(w, {{60, 40, 20}, {200, 170, 120}}, true);
    crate.identifier = TextureIdentifier("skew\\crate", ".bmp");
    w.AddTexture(crate);
    // A card: see-through around a solid middle.
    TextureSpec card = Solid(w, {{0, 0, 0}, {30, 120, 40}}, false);
    for (std::uint32_t y = 4; y < 16; ++y)
        for (std::uint32_t x = 4; x < 12; ++x) card.indices[y * 16 + x] = 1;
    card.transparent = true;
    card.identifier = TextureIdentifier("skew\\card", ".tga");
    w.AddTexture(card);
}

using Level = LevelBuilder;

void AddGround(Level& L) {
    const float w = (skew::kMaxX - skew::kMinX) / 2, h = (skew::kMaxY - skew::kMinY) / 2;
    for (int k = 0; k < 4; ++k) {
        const float cx = skew::kMinX + w * (static_cast<float>(k % 2) + 0.5f);
        const float cy = skew::kMinY + h * (static_cast<float>(k / 2) + 0.5f);
        const std::string name = std::string("ground_") + (k / 2 ? "north" : "south") + (k % 2 ? "east" : "west");
        const PolyMesh piece =
            GridMesh(name, w, h, 4, 2, {{kPieceTextures[k]}}, [](int, int) { return 0u; }, TexCoord{cx, cy}, 50.0f);
        L.Place(WriteMesh(L.scene, piece, k % 2 ? 1 : 2), "terrain_" + name.substr(7), {{cx, cy, 0}},
                {Class("CTerrainObj"), Property::Int("Height", 1)});
    }
}

void AddObjects(Level& L) {
    const BlockHandle pillar = WriteMesh(L.scene, BoxMesh("pillar", {2, 2, 2}, {{"skew\\crate"}}, 2.0f), 2);
    int n = 0;
    for (float y : {0.0f, 100.0f})
        for (float x = skew::kMinX + 20; x < skew::kMaxX; x += 40) {
            char name[32];
            std::snprintf(name, sizeof name, "pillar_%02d", ++n);
            L.Place(pillar, name, {{x, y, skew::PillarTop(x) - 2}}, {Class("CInstance")});
        }
    const BlockHandle crate =
        WriteMesh(L.scene, BoxMesh("crate", {3, 2, 1.5f}, {{"skew\\crate"}, {"skew\\crate"}}, 3.0f), 1);
    for (const skew::Crate& c : skew::kCrates)
        L.Place(crate, c.name, {c.position, c.rotation, c.scale},
                {Class("CInstance"), Property::Bool("Shadow", true), Property::Int("Weight", 7)});
    L.Place(WriteMesh(L.scene, HouseMesh("hut", 6, 4, 3, 2, {"skew\\crate"}, {"skew\\crate"}, 2.0f), 2), "hut",
            {{-230, 120, skew::PillarTop(-230)}, {0, 0, 0.8f}, 1.0f}, {Class("CInstance")});
    L.Place(WriteMesh(L.scene, CardMesh("card", 4, 6, {"skew\\card"}), 2), "card",
            {{-60, 20, skew::PillarTop(-60)}, {0, 0, 0.5f}, 1.0f},
            {Class("CInstance"), Property::Bool("AlwaysFace", true)});
}

void AddLevelObjects(Level& L) {
    // The sun from the south-south-west, not along any axis or diagonal.
    constexpr float kDegrees = 3.14159265358979f / 180.0f;
    L.PlaceLevelObjects(skew::kStart, -skew::kStartYaw * kDegrees, {140.0f * kDegrees, 0, 160.0f * kDegrees},
                        skew::kStart, {150, 190, 200});
}

}  // namespace

bool WriteSkewLevel(const std::string& dir, std::string* error) {
    TextureSetWriter textures;
    AddTextures(textures);
    Level level;
    AddGround(level);
    AddObjects(level);
    AddLevelObjects(level);
    return level.Write(textures, dir, "skew", error);
}

}  // namespace wvwrite
