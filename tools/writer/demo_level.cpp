#include "writer/demo_level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>

#include "writer/level_builder.h"
#include "writer/mesh_builder.h"
#include "writer/portable_math.h"
#include "writer/procedural.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"
#include "writer/value_table_builder.h"

namespace wvwrite {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kWaterLevel = 1.5f;
constexpr float kRockDiffuse = 0.8f;  // the boulders' Diffuse; their texture is stored under it

// ---------------------------------------------------------------- island

// Distance from the centre to the shore in direction theta.
float CoastRadius(float theta) {
    return 175.0f + 18.0f * Sin(3.0f * theta + 0.7f) + 10.0f * Sin(5.0f * theta + 2.1f) +
           6.0f * Sin(7.0f * theta + 0.3f);
}

// 0 at the centre, 1 on the shore, above 1 at sea.
float Shore(float x, float y) { return Hypot(x, y) / CoastRadius(Atan2(y, x)); }

const Vector3 kHill(30.0f, 50.0f, 0.0f);

float GroundHeight(float x, float y) {
    const float s = Shore(x, y);
    if (s >= 1.0f) return kWaterLevel - 1.0f;
    const float dx = x - kHill.x, dy = y - kHill.y;
    return 1.8f + 4.5f * (1.0f - s * s) + 4.0f * Exp(-(dx * dx + dy * dy) / (2.0f * 50.0f * 50.0f));
}

Vector3 OnGround(float x, float y) { return {x, y, GroundHeight(x, y)}; }

enum Surface { kGrass, kSand, kCliff, kSeabed };

Surface SurfaceAt(float x, float y) {
    const float s = Shore(x, y);
    if (s >= 1.0f) return kSeabed;
    if (s >= 0.86f) return kSand;
    if (GroundHeight(x, y) > 8.3f) return kCliff;
    return kGrass;
}

// Landmarks.
const Vector3 kWaterfall(8.0f, 28.0f, 0.0f);
const Vector3 kPond(2.0f, 20.0f, 0.0f);
const Vector3 kMeadows[2] = {{-100.0f, 40.0f, 0.0f}, {60.0f, -60.0f, 0.0f}};
// The village, beside the path.
const Vector3 kHouses[3] = {{-84.0f, -18.0f, 0.0f}, {-52.0f, -20.0f, 0.0f}, {-74.0f, -58.0f, 0.0f}};
const Vector3 kPlayer(-170.0f, -170.0f, 24.0f);

// The path from the jetty through the village up to the pond.
std::vector<Vector3> PathPoints() {
    const float south = CoastRadius(1.5f * kPi);
    const std::vector<Vector3> control = {{0, -south - 2, 0}, {0, -south * 0.8f, 0}, {-15, -105, 0},
                                          {-45, -72, 0},      {-66, -40, 0},         {-50, -6, 0},
                                          {-22, 12, 0},       {-8, 16, 0}};
    std::vector<Vector3> out;
    // Catmull-Rom through the control points, six steps a span.
    for (std::size_t k = 0; k + 1 < control.size(); ++k) {
        const Vector3 p0 = control[k == 0 ? 0 : k - 1], p1 = control[k], p2 = control[k + 1];
        const Vector3 p3 = control[std::min(k + 2, control.size() - 1)];
        for (int step = 0; step < 6; ++step) {
            const float t = static_cast<float>(step) / 6.0f, t2 = t * t, t3 = t2 * t;
            out.push_back((p1 * 2.0f + (p2 - p0) * t + (p0 * 2.0f - p1 * 5.0f + p2 * 4.0f - p3) * t2 +
                           (p1 * 3.0f - p0 - p2 * 3.0f + p3) * t3) *
                          0.5f);
        }
    }
    out.push_back(control.back());
    return out;
}

// ---------------------------------------------------------------- textures

struct TextureMaker {
    TextureSetWriter& w;

    void Add(const std::string& name, const std::string& suffix, TextureSpec texture, float diffuse = 1.0f) {
        texture.identifier = TextureIdentifier(name, suffix, diffuse);
        w.AddTexture(texture);
    }

    TextureSpec Paletted(std::uint32_t size, const std::vector<Rgb>& stops, std::size_t colours, int versions) {
        TextureSpec t;
        t.width = t.height = size;
        t.palette = w.AddPalette(GradientPalette(stops, colours));
        t.smallerVersions = versions;
        t.indices.assign(std::size_t{size} * size, 0);
        return t;
    }

    // Each texel from a shaping function of its position (0..1 across and
    // down) and a tileable noise value; returns an index into the palette.
    TextureSpec Shaped(std::uint32_t size, const std::vector<Rgb>& stops, std::size_t colours, int versions,
                       std::uint32_t seed, int period, int octaves,
                       const std::function<int(float x, float y, float n)>& shade) {
        TextureSpec t = Paletted(size, stops, colours, versions);
        for (std::uint32_t y = 0; y < size; ++y)
            for (std::uint32_t x = 0; x < size; ++x) {
                const float fx = (static_cast<float>(x) + 0.5f) / static_cast<float>(size);
                const float fy = (static_cast<float>(y) + 0.5f) / static_cast<float>(size);
                const float n = TileNoise(seed, fx * static_cast<float>(period), fy * static_cast<float>(period), period, octaves);
                t.indices[std::size_t{y} * size + x] =
                    static_cast<std::uint8_t>(std::clamp(shade(fx, fy, n), 0, static_cast<int>(colours) - 1));
            }
        return t;
    }
};

// Noise mapped through the whole palette.
int Spread(float n, int colours) { return static_cast<int>(n * static_cast<float>(colours)); }
// Noise mapped into 1..colours-1, index 0 being kept for see-through texels.
int Opaque(float n, int colours) { return 1 + static_cast<int>(n * static_cast<float>(colours - 1)); }

void AddTextures(TextureSetWriter& w) {
    TextureMaker t{w};
    // Terrain: 256 texels with 128 and 64 versions; terrain is read at up to 128.
    t.Add("demo\\grass", ".bmp", t.Shaped(256, {{38, 84, 26}, {74, 128, 44}, {118, 160, 64}}, 256, 2, 11, 8, 4,
                                          [](float, float, float n) { return Spread(n, 256); }));
    t.Add("demo\\sand", ".bmp", t.Shaped(256, {{186, 164, 116}, {222, 204, 156}, {240, 228, 192}}, 256, 2, 12, 8, 4,
                                         [](float, float, float n) { return Spread(n, 256); }));
    t.Add("demo\\cliff", ".bmp", t.Shaped(256, {{76, 72, 66}, {122, 116, 106}, {168, 160, 150}}, 256, 2, 13, 4, 5,
                                          [](float, float, float n) { return Spread(n, 256); }));
    // Stored under the second suffix only.
    t.Add("demo\\seabed", ".tga", t.Shaped(256, {{60, 96, 90}, {110, 130, 104}, {150, 156, 120}}, 256, 2, 14, 8, 3,
                                           [](float, float, float n) { return Spread(n, 256); }));
    // Overlays: see-through edges, blended over the base pieces.
    {
        TextureSpec path = t.Shaped(256, {{0, 0, 0}, {110, 86, 58}, {150, 122, 86}, {176, 150, 112}}, 256, 2, 15, 8, 4,
                                    [](float x, float, float n) {
                                        const float edge = std::fabs(x - 0.5f) * 2.0f;
                                        return edge > 0.72f + 0.22f * n ? 0 : Opaque(n, 256);
                                    });
        path.transparent = true;
        t.Add("demo\\path", ".tga", path);
        TextureSpec pond = t.Shaped(128, {{0, 0, 0}, {30, 70, 110}, {60, 120, 150}, {120, 170, 190}}, 256, 1, 16, 4, 4,
                                    [](float x, float y, float n) {
                                        const float r = Hypot(x - 0.5f, y - 0.5f) * 2.0f;
                                        return r > 0.82f + 0.14f * n ? 0 : Opaque(1.0f - r * 0.7f - 0.3f * n + 0.3f, 256);
                                    });
        pond.transparent = true;
        t.Add("demo\\pond", ".tga", pond);
        TextureSpec meadow = t.Shaped(256, {{0, 0, 0}, {88, 140, 52}, {130, 176, 70}, {230, 220, 90}, {240, 240, 240}},
                                      256, 2, 17, 8, 4, [](float x, float y, float n) {
                                          const float r = Hypot(x - 0.5f, y - 0.5f) * 2.0f;
                                          if (r > 0.6f + 0.35f * n) return 0;
                                          // Flowers: the noise's rare highs.
                                          return n > 0.68f ? 200 + static_cast<int>((n - 0.68f) * 160.0f) : 1 + static_cast<int>(n * 130.0f);
                                      });
        meadow.transparent = true;
        t.Add("demo\\meadow", ".tga", meadow);
    }
    // Trees and bushes: see-through cards.
    t.Add("demo\\bark", ".bmp", t.Shaped(64, {{52, 36, 24}, {92, 66, 44}, {120, 92, 64}}, 64, 1, 21, 8, 3,
                                         [](float, float, float n) { return Spread(n, 64); }));
    {
        TextureSpec leaves = t.Shaped(128, {{0, 0, 0}, {24, 64, 20}, {60, 120, 40}, {110, 170, 70}}, 128, 2, 22, 8, 4,
                                      [](float x, float y, float n) {
                                          const float dx = (x - 0.5f) * 2.0f, dy = (y - 0.55f) * 2.2f;
                                          return dx * dx + dy * dy > 0.75f + 0.35f * n || n < 0.22f ? 0 : Opaque(n, 128);
                                      });
        leaves.transparent = true;
        leaves.rowPadding = 4;
        t.Add("demo\\leaves", ".tga", leaves);
        TextureSpec pine = t.Shaped(128, {{0, 0, 0}, {16, 48, 28}, {36, 90, 50}, {70, 130, 80}}, 128, 2, 23, 8, 4,
                                    [](float x, float y, float n) {
                                        const float half = 0.05f + 0.45f * y;  // narrow at the top (y = 0)
                                        return std::fabs(x - 0.5f) > half * (0.8f + 0.3f * n) || y > 0.97f ? 0 : Opaque(n, 128);
                                    });
        pine.transparent = true;
        t.Add("demo\\pine", ".tga", pine);
        TextureSpec bush = t.Shaped(64, {{0, 0, 0}, {40, 80, 30}, {80, 140, 50}, {150, 190, 80}}, 64, 1, 24, 4, 4,
                                    [](float x, float y, float n) {
                                        const float dx = (x - 0.5f) * 2.0f, dy = (y - 1.0f) * 1.1f;
                                        return dx * dx + dy * dy > 0.8f + 0.3f * n ? 0 : Opaque(n, 64);
                                    });
        bush.transparent = true;
        t.Add("demo\\bush", ".tga", bush);
    }
    // Bump-mapped bricks and stone: 16-bit texels with surface normals.
    {
        TextureSpec bricks = t.Paletted(128, {{110, 50, 40}, {170, 90, 70}, {200, 190, 180}}, 64, 1);
        bricks.bits = 16;
        bricks.bump = true;
        std::vector<float> heights(128 * 128);
        for (std::uint32_t y = 0; y < 128; ++y)
            for (std::uint32_t x = 0; x < 128; ++x) {
                const std::uint32_t row = y / 16, shift = (row % 2) * 16;
                const bool mortar = (y % 16) < 2 || ((x + shift) % 32) < 2;
                const float n = TileNoise(31, static_cast<float>(x) / 16.0f, static_cast<float>(y) / 16.0f, 8, 3);
                bricks.indices[y * 128 + x] = static_cast<std::uint8_t>(mortar ? 60 + (x % 3) : static_cast<int>(n * 44));
                heights[y * 128 + x] = mortar ? 0.0f : 1.0f + n;
            }
        bricks.normalCodes = NormalCodesFromHeights(heights, 128, 128, 1.5f);
        t.Add("demo\\bricks", ".bmp", bricks);

        TextureSpec stone = t.Paletted(128, {{84, 80, 74}, {132, 126, 118}, {186, 180, 170}}, 64, 1);
        stone.bits = 16;
        stone.bump = true;
        std::vector<float> bumps(128 * 128);
        for (std::uint32_t y = 0; y < 128; ++y)
            for (std::uint32_t x = 0; x < 128; ++x) {
                const float n = TileNoise(32, static_cast<float>(x) / 16.0f, static_cast<float>(y) / 16.0f, 8, 5);
                stone.indices[y * 128 + x] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(n * 64.0f), 0, 63));
                bumps[y * 128 + x] = n * 6.0f;
            }
        stone.normalCodes = NormalCodesFromHeights(bumps, 128, 128, 2.0f);
        t.Add("demo\\stone", ".bmp", stone);
    }
    t.Add("demo\\rooftiles", ".bmp", t.Shaped(128, {{90, 34, 24}, {150, 62, 40}, {190, 100, 70}}, 128, 2, 33, 8, 3,
                                              [](float x, float y, float n) {
                                                  const float row = std::fmod(y * 8.0f, 1.0f);
                                                  const float col = std::fmod(x * 8.0f + (std::fmod(y * 8.0f, 2.0f) >= 1.0f ? 0.5f : 0.0f), 1.0f);
                                                  const float shade = 0.35f + 0.5f * row - (col < 0.06f ? 0.3f : 0.0f);
                                                  return Spread(std::clamp(shade + 0.2f * (n - 0.5f), 0.0f, 0.999f), 128);
                                              }));
    t.Add("demo\\lighthouse", ".bmp", t.Shaped(128, {{150, 30, 30}, {200, 50, 40}, {220, 216, 206}, {250, 248, 240}}, 128, 2,
                                               34, 8, 3, [](float, float y, float n) {
                                                   // Red above, white below; the palette's pink middle is left out.
                                                   return y < 0.5f ? static_cast<int>(n * 40.0f) : 92 + static_cast<int>(n * 35.0f);
                                               }));
    t.Add("demo\\planks", ".bmp", t.Shaped(128, {{70, 48, 30}, {128, 94, 60}, {170, 134, 92}}, 128, 2, 35, 8, 3,
                                           [](float x, float y, float n) {
                                               if (std::fmod(x * 6.0f, 1.0f) < 0.05f) return 4;  // the gaps
                                               const float grain = TileNoise(36, x * 24.0f, y * 2.0f, 24, 2);
                                               return Spread(0.5f * grain + 0.5f * n, 128);
                                           }));
    t.Add("demo\\boulder", ".bmp",
          t.Shaped(128, {{92, 84, 74}, {140, 130, 116}, {190, 182, 170}}, 128, 2, 37, 4, 5,
                   [](float, float, float n) { return Spread(n, 128); }),
          kRockDiffuse);
    t.Add("demo\\moss", ".bmp", t.Shaped(128, {{48, 70, 30}, {84, 110, 46}, {120, 140, 70}}, 128, 2, 38, 8, 4,
                                         [](float, float, float n) { return Spread(n, 128); }));
    t.Add("demo\\waterfall", ".bmp", t.Shaped(128, {{60, 110, 150}, {140, 190, 215}, {240, 250, 255}}, 128, 2, 39, 4, 3,
                                              [](float x, float y, float) {
                                                  const float streak = TileNoise(40, x * 16.0f, y * 2.0f, 16, 3);
                                                  return Spread(streak, 128);
                                              }));
    t.Add("demo\\ocean", ".bmp", t.Shaped(128, {{20, 60, 100}, {36, 96, 140}, {90, 150, 180}}, 128, 2, 41, 8, 4,
                                          [](float, float, float n) { return Spread(n, 128); }));
    {
        // Blue sky, see-through where the clouds are: the viewer paints the
        // sky white first and this texture over it by its alpha. The dome
        // itself is never drawn as an object (its texture kind says so).
        TextureSpec clouds = t.Shaped(256, {{0, 0, 0}, {60, 110, 190}, {110, 160, 225}, {170, 200, 240}}, 256, 2, 42,
                                      4, 5, [](float, float, float n) {
                                          return n > 0.56f ? 0 : Opaque(std::min(0.999f, n / 0.56f), 256);
                                      });
        clouds.transparent = true;
        clouds.kind = kInvisibleTextureKind;
        t.Add("demo\\clouds", ".tga", clouds);
    }
}

// ---------------------------------------------------------------- placing

using Level = LevelBuilder;

std::string Numbered(const char* stem, int n) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s_%03d", stem, n);
    return buf;
}

// Moves a mesh so that its centre (of the box around it, at z = 0) is the
// origin; returns where the centre was.
Vector3 Recentre(PolyMesh& m) {
    Vector3 lo(1e9f, 1e9f, 0), hi(-1e9f, -1e9f, 0);
    for (const Vector3& p : m.positions) {
        lo.x = std::min(lo.x, p.x); lo.y = std::min(lo.y, p.y);
        hi.x = std::max(hi.x, p.x); hi.y = std::max(hi.y, p.y);
    }
    const Vector3 c = (lo + hi) * 0.5f;
    for (Vector3& p : m.positions) p -= c;
    return c;
}

void AddGround(Level& L) {
    const MaterialSpec kinds[4] = {{"demo\\grass"}, {"demo\\sand"}, {"demo\\cliff"}, {"demo\\seabed"}};
    // 4 x 4 pieces of 100 x 100 units, 8 x 8 cells each; a piece lists only
    // the surfaces it uses. The geometry types alternate like a chessboard.
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            const float cx = -150.0f + 100.0f * static_cast<float>(col), cy = -150.0f + 100.0f * static_cast<float>(row);
            std::vector<MaterialSpec> used;
            std::vector<int> slot(4, -1);
            std::vector<std::uint32_t> cells(64);
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    const Surface s = SurfaceAt(cx - 50.0f + 12.5f * (static_cast<float>(i) + 0.5f),
                                                cy - 50.0f + 12.5f * (static_cast<float>(j) + 0.5f));
                    if (slot[s] < 0) {
                        slot[s] = static_cast<int>(used.size());
                        used.push_back(kinds[s]);
                    }
                    cells[static_cast<std::size_t>(j * 8 + i)] = static_cast<std::uint32_t>(slot[s]);
                }
            char name[32];
            std::snprintf(name, sizeof name, "ground_r%dc%d", row, col);
            const PolyMesh piece = GridMesh(name, 100.0f, 100.0f, 8, 8, used,
                                            [&](int i, int j) { return cells[static_cast<std::size_t>(j * 8 + i)]; },
                                            TexCoord{cx, cy}, 25.0f);
            const BlockHandle h = WriteMesh(L.scene, piece, (row + col) % 2 == 0 ? 2 : 1);
            std::snprintf(name, sizeof name, "terrain_r%dc%d", row, col);
            L.Place(h, name, {{cx, cy, 0}}, {Class("CTerrainObj"), Property::Int("Height", 1)});
        }

    // Overlays, drawn over the base pieces in order of their Height.
    PolyMesh path = RibbonMesh("ground_path", PathPoints(), 5.0f, {"demo\\path"}, 10.0f);
    const Vector3 pathAt = Recentre(path);
    L.Place(WriteMesh(L.scene, path, 1), "path", {pathAt}, {Class("CTerrainObj"), Property::Int("Height", 2)});

    const PolyMesh pond = GridMesh("ground_pond", 24.0f, 24.0f, 2, 2, {{"demo\\pond"}}, [](int, int) { return 0u; },
                                   TexCoord{12.0f, 12.0f}, 24.0f);
    L.Place(WriteMesh(L.scene, pond, 2), "pond", {kPond}, {Class("CTerrainObj"), Property::Int("Height", 3)});
    const PolyMesh meadow = GridMesh("ground_meadow", 40.0f, 40.0f, 2, 2, {{"demo\\meadow"}},
                                     [](int, int) { return 0u; }, TexCoord{20.0f, 20.0f}, 40.0f);
    const BlockHandle meadowHandle = WriteMesh(L.scene, meadow, 2);
    for (int k = 0; k < 2; ++k)
        L.Place(meadowHandle, Numbered("meadow", k + 1), {kMeadows[k], {0, 0, 0.7f * static_cast<float>(k)}},
                {Class("CTerrainObj"), Property::Int("Height", 3)});
}

void AddOcean(Level& L) {
    // A ring from the shore out to about 1000 units, placed at a point of
    // the sea inside the terrain area so that the viewer lays the sea floor
    // under it.
    const Vector3 at(-195.0f, -195.0f, kWaterLevel);
    PolyMesh ocean;
    ocean.name = "sea_surface";
    ocean.materials = {{"demo\\ocean"}};
    const int segments = 96;
    const float steps[] = {0.0f, 10.0f, 30.0f, 70.0f, 150.0f, 300.0f, 550.0f, 850.0f};
    const int rings = static_cast<int>(std::size(steps));
    for (int k = 0; k < rings; ++k)
        for (int i = 0; i < segments; ++i) {
            const float a = 2.0f * kPi * static_cast<float>(i) / static_cast<float>(segments);
            const float r = CoastRadius(a) + steps[k];
            ocean.AddPosition({r * Cos(a) - at.x, r * Sin(a) - at.y, 0});
        }
    auto corner = [&](int k, int i) { return static_cast<std::uint32_t>(k * segments + (i % segments)); };
    for (int k = 0; k + 1 < rings; ++k)
        for (int i = 0; i < segments; ++i) {
            // Counter-clockwise seen from above: the water faces the sky.
            const std::uint32_t c[4] = {corner(k, i), corner(k + 1, i), corner(k + 1, i + 1), corner(k, i + 1)};
            std::vector<TexCoord> uvs;
            for (std::uint32_t p : c)
                uvs.push_back({(ocean.positions[p].x + at.x) / 30.0f, (ocean.positions[p].y + at.y) / 30.0f});
            ocean.AddFlat({c[0], c[1], c[2], c[3]}, uvs, 0);
        }
    L.Place(WriteMesh(L.scene, ocean, 1), "ocean", {at}, {Class("CInstance"), Property::Bool("Shadow", false)});
}

struct Spot {
    Vector3 at;
    float clearance;
};

// True when p keeps its distance from everything placed and from the path.
bool IsFree(const std::vector<Spot>& taken, const std::vector<Vector3>& path, const Vector3& p, float clearance) {
    for (const Spot& s : taken)
        if (Hypot(s.at.x - p.x, s.at.y - p.y) < s.clearance + clearance) return false;
    for (const Vector3& q : path)
        if (Hypot(q.x - p.x, q.y - p.y) < 4.0f + clearance) return false;
    return true;
}

void AddObjects(Level& L) {
    Rng rng(20240611);
    std::vector<Spot> taken;
    const std::vector<Vector3> path = PathPoints();

    // Buildings: a village of bump-mapped brick houses (type 2), a striped
    // lighthouse on the eastern shore (type 1), a hut and a jetty.
    const BlockHandle house =
        WriteMesh(L.scene, HouseMesh("house", 5.0f, 4.0f, 3.0f, 2.2f, {"demo\\bricks"}, {"demo\\rooftiles"}, 2.0f), 2);
    for (int k = 0; k < 3; ++k) {
        const Vector3 p = OnGround(kHouses[k].x, kHouses[k].y);
        L.Place(house, Numbered("house", k + 1), {p, {0, 0, 0.35f * static_cast<float>(k) - 0.3f}, 2.0f},
                {Class("CInstance"), Property::Bool("Shadow", true), Property::Bool("Tangible", true)});
        taken.push_back({p, 12.0f});
    }
    const float east = 0.3f;
    const Vector3 lighthousePos = OnGround(0.82f * CoastRadius(east) * Cos(east), 0.82f * CoastRadius(east) * Sin(east));
    L.Place(WriteMesh(L.scene, TowerMesh("lighthouse_tower", 2.2f, 9.0f, 2.5f, 12, {"demo\\lighthouse"},
                                         {"demo\\rooftiles"}, 3.0f),
                      1),
            "lighthouse", {lighthousePos, {}, 2.0f},
            {Class("CInstance"), Property::Empty("Landmark"), Property::Bool("Tangible", true)});
    taken.push_back({lighthousePos, 10.0f});

    const float west = 3.35f;
    const Vector3 hutPos = OnGround(0.8f * CoastRadius(west) * Cos(west), 0.8f * CoastRadius(west) * Sin(west));
    L.Place(WriteMesh(L.scene, BoxMesh("hut", {4.0f, 3.0f, 2.6f}, {{"demo\\planks"}, {"demo\\rooftiles"}}, 2.0f), 1),
            "hut", {hutPos, {0, 0, 0.4f}}, {Class("CInstance")});
    taken.push_back({hutPos, 6.0f});

    // The jetty runs south from the beach into the sea, its deck above the water.
    const float south = CoastRadius(1.5f * kPi);
    L.Place(WriteMesh(L.scene, BoxMesh("jetty_deck", {3.0f, 26.0f, 0.4f}, {{"demo\\planks"}}, 3.0f), 2), "jetty",
            {{0.0f, -south - 9.0f, kWaterLevel + 0.5f}}, {Class("CInstance"), Property::Bool("Shadow", true)});

    // The waterfall: a sheet on the hill's south-west flank facing the
    // start, in front of a large rock, over the pond. Its texture scrolls
    // downwards.
    {
        PolyMesh fall;
        fall.name = "waterfall_sheet";
        fall.materials = {{"demo\\waterfall"}};
        const Vector3 facing = Vector3(-1.0f, -1.0f, 0.0f).Normalised();
        const Vector3 right(-facing.y, facing.x, 0.0f);  // the viewer's right, looking back at it
        const float width = 5.0f, height = 9.0f;
        std::vector<std::uint32_t> l, r;
        for (int k = 0; k <= 3; ++k) {
            const float z = height * static_cast<float>(k) / 3.0f;
            const Vector3 back = facing * (-0.12f * z);  // leans back into the hill towards the top
            l.push_back(fall.AddPosition(back + right * (-width / 2) + Vector3(0, 0, z)));
            r.push_back(fall.AddPosition(back + right * (width / 2) + Vector3(0, 0, z)));
        }
        for (int k = 0; k < 3; ++k) {
            const float v0 = (height - height * static_cast<float>(k) / 3.0f) / 4.0f;
            const float v1 = (height - height * static_cast<float>(k + 1) / 3.0f) / 4.0f;
            fall.AddFlat({l[k], r[k], r[k + 1], l[k + 1]}, {{0, v0}, {1, v0}, {1, v1}, {0, v1}}, 0);
        }
        L.Place(WriteMesh(L.scene, fall, 2), "waterfall", {OnGround(kWaterfall.x, kWaterfall.y)},
                {Class("CInstance"), Property::Int("DeltaX", 0), Property::Int("DeltaY", -25),
                 Property::Bool("Shadow", false)});
        taken.push_back({kWaterfall, 8.0f});
        taken.push_back({kPond, 14.0f});
    }

    // Rocks: boulders (type 1, Diffuse 0.8) on the beach; bump-mapped stone
    // (type 2, no property table) on the hill; mossy stones (type 2, two
    // materials) in the grass.
    const BlockHandle boulder =
        WriteMesh(L.scene, RockMesh("rock_boulder", 1.5f, 5, 8, 0.25f, 101, {"demo\\boulder"}), 1);
    const BlockHandle stone = WriteMesh(L.scene, RockMesh("rock_stone", 1.5f, 6, 10, 0.3f, 102, {"demo\\stone"}), 2);
    PolyMesh mossy = RockMesh("rock_mossy", 1.5f, 6, 9, 0.2f, 103, {"demo\\stone"});
    mossy.materials.push_back({"demo\\moss"});
    for (Polygon& p : mossy.polygons) {
        float z = 0;
        for (const Corner& c : p.corners) z += mossy.positions[c.position].z;
        if (z / static_cast<float>(p.corners.size()) > 1.4f) p.material = 1;
    }
    const BlockHandle mossyHandle = WriteMesh(L.scene, mossy, 2);

    const Vector3 cliffRock = OnGround(kWaterfall.x + 3.5f, kWaterfall.y + 3.5f);
    L.region.Add({stone, L.scene.Symbol("rock_cliff"), cliffRock, {0, 0, 0.8f}, 3.4f, 0, 0});

    int rocks = 0;
    for (int tries = 0; tries < 4000 && rocks < 36; ++tries) {
        const Vector3 p = OnGround(static_cast<float>(rng.Range(-200, 200)), static_cast<float>(rng.Range(-200, 200)));
        const float s = Shore(p.x, p.y);
        const int kind = rocks % 3;
        const bool fits = kind == 0 ? (s > 0.87f && s < 0.97f) : kind == 1 ? (p.z > 7.0f && s < 0.8f) : s < 0.8f;
        if (!fits || !IsFree(taken, path, p, 2.5f)) continue;
        const float scale = kind == 1 ? static_cast<float>(rng.Range(0.8, 2.2)) : static_cast<float>(rng.Range(0.5, 1.3));
        const Placement at{p, {0, 0, static_cast<float>(rng.Range(0, 6.28))}, scale};
        const std::string name = Numbered("rock", ++rocks);
        if (kind == 0) L.Place(boulder, name, at, {Class("CInstance"), Property::Float("Diffuse", kRockDiffuse)});
        else if (kind == 1) L.region.Add({stone, L.scene.Symbol(name), at.position, at.rotation, at.scale, 0, 0});
        else L.Place(mossyHandle, name, at, {Class("CInstance"), Property::Bool("Visible", true)});
        taken.push_back({p, 2.0f * scale});
    }

    // Trees and bushes turn to face the camera.
    const BlockHandle roundTree = WriteMesh(
        L.scene, TreeCardMesh("tree_round", 0.9f, 4.0f, 7.0f, 7.0f, {"demo\\bark"}, {"demo\\leaves"}), 2);
    const BlockHandle pineTree =
        WriteMesh(L.scene, TreeCardMesh("tree_pine", 0.7f, 3.0f, 5.0f, 10.0f, {"demo\\bark"}, {"demo\\pine"}), 1);
    const BlockHandle bush = WriteMesh(L.scene, CardMesh("bush_card", 3.0f, 2.0f, {"demo\\bush"}), 2);
    int trees = 0;
    for (int tries = 0; tries < 6000 && trees < 110; ++tries) {
        const Vector3 p = OnGround(static_cast<float>(rng.Range(-200, 200)), static_cast<float>(rng.Range(-200, 200)));
        if (Shore(p.x, p.y) > 0.8f || SurfaceAt(p.x, p.y) != kGrass || !IsFree(taken, path, p, 3.0f)) continue;
        const bool pine = p.z > 6.5f ? rng.Uniform() < 0.7 : rng.Uniform() < 0.2;
        L.Place(pine ? pineTree : roundTree, Numbered("tree", ++trees),
                {p, {}, static_cast<float>(rng.Range(0.8, 1.25))}, {Class("CInstance"), Property::Bool("AlwaysFace", true)});
        taken.push_back({p, 3.0f});
    }
    int bushes = 0;
    for (int tries = 0; tries < 4000 && bushes < 50; ++tries) {
        const Vector3 p = OnGround(static_cast<float>(rng.Range(-200, 200)), static_cast<float>(rng.Range(-200, 200)));
        if (Shore(p.x, p.y) > 0.9f || !IsFree(taken, path, p, 1.5f)) continue;
        L.Place(bush, Numbered("bush", ++bushes), {p, {}, static_cast<float>(rng.Range(0.7, 1.3))},
                {Class("CInstance"), Property::Bool("AlwaysFace", true), Property::Bool("Shadow", false)});
        taken.push_back({p, 1.5f});
    }

    // A standing stone in the yard of the third house, on the sun's side:
    // its shadow falls on the house's south-west wall. Placed last, so that
    // every other object keeps its place and its serial.
    const Vector3 yard = OnGround(kHouses[2].x - 6.0f, kHouses[2].y - 6.0f);
    L.Place(WriteMesh(L.scene, BoxMesh("standing_stone", {1.4f, 1.1f, 7.0f}, {{"demo\\stone"}, {"demo\\stone"}}, 2.0f), 2),
            "standing_stone", {yard, {0, 0, 0.3f}}, {Class("CInstance"), Property::Bool("Shadow", true)});
}

void AddLevelObjects(Level& L) {
    // The sky: a dome whose texture the viewer spreads around the camera.
    L.Place(WriteMesh(L.scene, SkyDomeMesh("sky_dome", 600.0f, 200.0f, 4, 16, {"demo\\clouds"}, 4.0f), 2), "sky",
            {{0, 0, 0}}, {Class("CSky")});

    // The player over the south-west shore, looking north-east (yaw =
    // -rotation z). The light direction R(0, 0, 1) with R = Rz(135 deg)
    // Ry(0) Rx(130 deg), turned as drawing turns: (0.54, 0.54, -0.64),
    // shining down towards the north-east. The fog (176, 196, 214), a light
    // blue-grey.
    L.PlaceLevelObjects(kPlayer, -0.25f * kPi, {130.0f * kPi / 180.0f, 0, 135.0f * kPi / 180.0f},
                        kPlayer - Vector3(0, 0, 4), {176, 196, 214});
}

}  // namespace

bool WriteDemoLevel(const std::string& dir, std::string* error) {
    TextureSetWriter textures;
    AddTextures(textures);
    Level level;
    AddGround(level);
    AddOcean(level);
    AddObjects(level);
    AddLevelObjects(level);
    return level.Write(textures, dir, "demo", error);
}

}  // namespace wvwrite
