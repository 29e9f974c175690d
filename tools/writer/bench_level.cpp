#include "writer/bench_level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
// Instance names repeat after this many: every distinct name is a symbol,
// and the container's symbol table is searched linearly.
constexpr int kNamePool = 1000;

std::string Name(const char* format, int n) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, n);
    return buf;
}

std::string TextureName(int t) { return Name("bench\\tex%04d", t); }
// Half the textures are stored under the first suffix, half under the second.
std::string TextureSuffix(int t) { return t % 2 == 0 ? ".bmp" : ".tga"; }

float GroundHeight(float x, float y) { return 4.0f + 3.0f * Sin(x / 300.0f) * Cos(y / 250.0f); }

// Cheap patterns: a few thousand textures must be made in well under a second.
void AddTextures(TextureSetWriter& w, int count, Rng& rng) {
    std::vector<std::uint32_t> palettes;
    for (int p = 0; p < 16; ++p) {
        const Rgb a{static_cast<std::uint8_t>(rng.Int(0, 255)), static_cast<std::uint8_t>(rng.Int(0, 255)),
                    static_cast<std::uint8_t>(rng.Int(0, 255))};
        const Rgb b{static_cast<std::uint8_t>(rng.Int(0, 255)), static_cast<std::uint8_t>(rng.Int(0, 255)),
                    static_cast<std::uint8_t>(rng.Int(0, 255))};
        palettes.push_back(w.AddPalette(GradientPalette({a, b}, 32)));
    }
    for (int t = 0; t < count; ++t) {
        TextureSpec s;
        s.identifier = TextureIdentifier(TextureName(t), TextureSuffix(t));
        const int shift = rng.Int(0, 3);
        s.width = s.height = 32u << shift;
        s.bits = rng.Uniform() < 0.25 ? 16 : 8;
        s.bump = s.bits == 16 && rng.Uniform() < 0.5;
        s.transparent = s.bits == 8 && rng.Uniform() < 0.2;
        s.palette = palettes[static_cast<std::size_t>(rng.Int(0, 15))];
        s.smallerVersions = std::max(1, shift);
        const std::uint32_t cell = 1u + static_cast<std::uint32_t>(rng.Int(1, 4));
        const std::uint32_t salt = static_cast<std::uint32_t>(rng.Next());
        s.indices.resize(std::size_t{s.width} * s.height);
        for (std::uint32_t y = 0; y < s.height; ++y)
            for (std::uint32_t x = 0; x < s.width; ++x) {
                std::uint32_t h = ((x >> cell) * 0x9E3779B1u) ^ ((y >> cell) * 0x85EBCA6Bu) ^ salt;
                h ^= h >> 15;
                std::uint8_t i = static_cast<std::uint8_t>((h + x + y) % 32);
                if (s.transparent && ((x >> cell) + (y >> cell)) % 5 == 0) i = 0;
                s.indices[std::size_t{y} * s.width + x] = i;
            }
        if (s.bits == 16) {
            s.normalCodes.resize(s.indices.size());
            for (std::size_t k = 0; k < s.indices.size(); ++k)
                s.normalCodes[k] = static_cast<std::uint16_t>(((k * 7) % 64) << 4 | (8 + s.indices[k] % 8));
        }
        w.AddTexture(s);
    }
}

MaterialSpec RandomMaterial(int textures, Rng& rng) {
    const int t = rng.Int(0, textures - 1);
    return MaterialSpec{TextureName(t), ".bmp", ".tga"};
}

// Gives the shape 1 to 4 random materials, spread over its polygons.
void Remater(PolyMesh& m, int textures, Rng& rng) {
    const int count = rng.Int(1, 4);
    m.materials.clear();
    for (int k = 0; k < count; ++k) m.materials.push_back(RandomMaterial(textures, rng));
    for (Polygon& p : m.polygons) p.material = static_cast<std::uint32_t>(rng.Int(0, count - 1));
}

PolyMesh RandomShape(int index, int textures, Rng& rng) {
    const std::string name = Name("mesh%05d", index);
    const MaterialSpec a = RandomMaterial(textures, rng), b = RandomMaterial(textures, rng);
    const float size = static_cast<float>(rng.Range(1.0, 6.0));
    switch (rng.Int(0, 5)) {
        case 0: return RockMesh(name, size, rng.Int(4, 8), rng.Int(6, 12), 0.3f, rng.Next(), a);
        case 1: return BoxMesh(name, {size, size * 0.8f, size * 1.5f}, {a, b}, 2.0f);
        case 2: return HouseMesh(name, size, size * 0.8f, size * 0.6f, size * 0.4f, a, b, 2.0f);
        case 3: return TowerMesh(name, size * 0.4f, size * 2.0f, size * 0.6f, rng.Int(6, 16), a, b, 2.0f);
        case 4: return TreeCardMesh(name, size * 0.15f, size, size, size * 1.2f, a, b);
        default: return CardMesh(name, size, size, a);
    }
}

}  // namespace

bool WriteBenchLevel(const std::string& dir, int instances, int meshes, int textures, std::uint64_t seed,
                     std::string* error) {
    if (instances < 0 || instances > kMaxBenchInstances || meshes < 1 || meshes > kMaxBenchMeshes || textures < 1 ||
        textures > kMaxBenchTextures) {
        if (error)
            *error = "bench level counts out of range: instances 0.." + std::to_string(kMaxBenchInstances) +
                     ", meshes 1.." + std::to_string(kMaxBenchMeshes) + ", textures 1.." +
                     std::to_string(kMaxBenchTextures);
        return false;
    }
    Rng rng(seed);

    TextureSetWriter textureSet;
    AddTextures(textureSet, textures, rng);
    if (!textureSet.Write(dir + "/bench-130.pid", dir + "/bench-130.swp", error)) return false;

    SceneWriter scene;
    // One in ten meshes is a flat ground piece for the terrain records.
    const int grids = std::max(1, meshes / 10);
    std::vector<BlockHandle> handles;
    handles.reserve(static_cast<std::size_t>(meshes));
    for (int m = 0; m < meshes; ++m) {
        PolyMesh shape;
        if (m < grids) {
            const int cells = rng.Int(2, 6);
            shape = GridMesh(Name("ground%05d", m), 100.0f, 100.0f, cells, cells, {}, [](int, int) { return 0u; },
                             TexCoord{}, 25.0f);
        } else {
            shape = RandomShape(m, textures, rng);
        }
        Remater(shape, textures, rng);
        handles.push_back(WriteMesh(scene, shape, rng.Int(1, 2)));
    }
    auto groundMesh = [&] { return handles[static_cast<std::size_t>(rng.Int(0, grids - 1))]; };
    auto objectMesh = [&] {
        return handles[static_cast<std::size_t>(grids < meshes ? rng.Int(grids, meshes - 1) : rng.Int(0, meshes - 1))];
    };

    ValueTableBuilder values;
    RegionBuilder region;
    const Property instanceClass = Property::String("Class", "CInstance");
    int placed = 0;
    if (instances >= 4) {
        const BlockHandle any = handles[0];
        region.Place(scene, values, any, "sky", {{0, 0, 0}}, {Property::String("Class", "CSky")});
        region.Place(scene, values, any, "player_start", {{0, 0, 60}, {0, 0, 0.5f}},
                     {Property::String("Class", "Player")});
        region.Place(scene, values, any, "sun", {{0, 0, 500}, {2.4f, 0.1f, 0.6f}},
                     {Property::String("Class", "CLightDirectional")});
        region.Place(scene, values, any, "start_trigger", {{0, 0, 50}},
                     {Property::String("Class", "CStartTrigger"), Property::Float("FogPower", 1.0f),
                      Property::Float("FogHalf", 400.0f), Property::Int("R", 200), Property::Int("G", 200),
                      Property::Int("B", 190)});
        placed = 4;
    }

    const float side = std::clamp(30.0f * std::sqrt(static_cast<float>(instances)), 200.0f, 4000.0f);
    const int terrain = std::min(instances - placed, instances / 10);
    const int lattice = static_cast<int>(std::sqrt(static_cast<float>(terrain) * 0.9f));
    const float tile = side / static_cast<float>(std::max(1, lattice));
    for (int k = 0; k < terrain; ++k, ++placed) {
        Placement at;
        int height = 1;
        if (k < lattice * lattice) {
            at.position = {-side / 2 + tile * (static_cast<float>(k % lattice) + 0.5f),
                           -side / 2 + tile * (static_cast<float>(k / lattice) + 0.5f), 0};
            at.scale = tile / 100.0f;
        } else {
            at.position = {static_cast<float>(rng.Range(-side / 2, side / 2)), static_cast<float>(rng.Range(-side / 2, side / 2)), 0};
            at.rotation = {0, 0, static_cast<float>(rng.Range(0, 2 * kPi))};
            at.scale = static_cast<float>(rng.Range(0.2, 1.0));
            height = rng.Int(2, 4);
        }
        region.Place(scene, values, groundMesh(), Name("tile%03d", k % kNamePool), at,
                     {Property::String("Class", "CTerrainObj"), Property::Int("Height", height)});
    }

    for (int n = 0; placed < instances; ++n, ++placed) {
        const float x = static_cast<float>(rng.Range(-side / 2, side / 2));
        const float y = static_cast<float>(rng.Range(-side / 2, side / 2));
        const Placement at({x, y, GroundHeight(x, y)}, {0, 0, static_cast<float>(rng.Range(0, 2 * kPi))},
                           static_cast<float>(rng.Range(0.5, 3.0)));
        const BlockHandle mesh = objectMesh();
        const double roll = rng.Uniform();
        std::vector<Property> props;
        if (roll >= 0.25) {
            props.push_back(instanceClass);
            if (roll < 0.35) props.push_back(Property::Bool("AlwaysFace", true));
            if (roll > 0.9) props.push_back(Property::Bool("Shadow", false));
            if (roll > 0.97) props.push_back(Property::Bool("Unlit", true));
            if (roll > 0.5 && roll < 0.52) {
                props.push_back(Property::Int("DeltaX", rng.Int(-20, 20)));
                props.push_back(Property::Int("DeltaY", rng.Int(-20, 20)));
            }
            if (roll > 0.6 && roll < 0.7) props.push_back(Property::Bool("Visible", true));
        }
        region.Place(scene, values, mesh, Name("obj%03d", n % kNamePool), at, props);
    }

    values.AddTo(scene);
    region.AddTo(scene);
    return scene.Save(dir + "/bench.grf", error);
}

}  // namespace wvwrite
