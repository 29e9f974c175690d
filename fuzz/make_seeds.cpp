// Writes the seed corpora of the fuzz targets with the writer library:
//   make_seeds DIR   ->  DIR/fuzz_block_file/*, DIR/fuzz_texture_database/*, DIR/fuzz_scene/*,
//                        DIR/fuzz_ground/*, DIR/fuzz_export/* (the scene's seeds)
// Every seed is read back before it is written, so the fuzzers start from
// inputs that reach past the format checks.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "files/block_file.h"
#include "files/file_stream.h"
#include "files/name_handle.h"
#include "files/texture_database.h"
#include "writer/bench_level.h"
#include "writer/mesh_builder.h"
#include "writer/procedural.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"
#include "writer/value_table_builder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

bool gFailed = false;

void Emit(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    const fs::path path = dir / name;
    if (!wvwrite::WriteFileBytes(path.string(), bytes)) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        gFailed = true;
    }
}

Bytes Deterministic(wvwrite::Rng& rng, std::size_t n) {
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng.Next());
    return b;
}

// ---- block containers ------------------------------------------------------

void BlockSeed(const fs::path& dir, const std::string& name, const std::function<void(wvwrite::SceneWriter&)>& build) {
    wvwrite::SceneWriter w;
    build(w);
    const Bytes bytes = w.file().SaveToMemory();
    MemoryStream stream(bytes);
    BlockFile check;
    if (!check.Load(stream, name.c_str()) || check.GetBlockCount() != w.file().GetBlockCount() ||
        check.GetSymbolCount() != w.file().GetSymbolCount()) {
        std::fprintf(stderr, "make_seeds: %s does not read back: %s\n", name.c_str(), check.LastError().c_str());
        gFailed = true;
        return;
    }
    Emit(dir, name, bytes);
}

void BlockSeeds(const fs::path& dir) {
    BlockSeed(dir, "empty.grf", [](wvwrite::SceneWriter&) {});

    BlockSeed(dir, "named_blocks.grf", [](wvwrite::SceneWriter& w) {
        wvwrite::ByteWriter mesh;
        mesh.U32(3).F32(1.5f).F32(-2.0f).F32(0.25f).CString("bark.tga");
        w.AddBlock("tree_oak", kMeshBlockType, mesh.Take());
        wvwrite::ByteWriter terrain;
        terrain.U16(64).U16(64).Zeros(32).U32(0xDEADBEEF);
        w.AddBlock("terrain", 1, terrain.Take());
        w.AddBlock("empty_marker", 9, {});
        w.AddBlock("sky", 7, {0x10, 0x20, 0x30});
    });

    // Handles as blocks created in memory carry them (0x80000000 set), mixed
    // with plain numbers as a file written elsewhere has them.
    BlockSeed(dir, "flag_handles.grf", [](wvwrite::SceneWriter& w) {
        const BlockHandle a = w.AddBlock("flagged", 2, {1, 2, 3, 4});
        const BlockHandle b = w.AddBlock("plain", 2, {5, 6, 7, 8});
        const BlockHandle c = w.AddBlock("other_flags", 3, {9});
        w.file().GetBlock(b)->handle = b & kBlockNumberMask;
        w.file().GetBlock(c)->handle = (c & kBlockNumberMask) | 0x40000000u;
        (void)a;
    });

    BlockSeed(dir, "freed_and_reused.grf", [](wvwrite::SceneWriter& w) {
        w.AddBlock("first", 1, {1, 1, 1});
        const BlockHandle middle = w.AddBlock("middle", 1, {2, 2, 2, 2});
        w.AddBlock("last", 1, {3});
        w.file().FreeBlock(middle);
        BlockRecord& reused = w.file().NewBlock("replacement");
        reused.type = kMeshBlockType;
        reused.data = {4, 4, 4, 4, 4, 4};
    });

    BlockSeed(dir, "freed_left.grf", [](wvwrite::SceneWriter& w) {
        w.AddBlock("kept", 5, {7, 7});
        const BlockHandle gone = w.AddBlock("gone", 5, {8, 8, 8});
        w.file().FreeBlock(gone);
    });

    BlockSeed(dir, "symbol_refcounts.grf", [](wvwrite::SceneWriter& w) {
        w.Symbol("grass.tga");
        w.Symbol("stone.tga");
        for (int i = 0; i < 3; ++i) w.file().AddSymbolReference("shared_material");
        w.AddBlock("shared_material", kMeshBlockType, {0xAA});
        w.AddBlock("rock", kMeshBlockType, {0xBB, 0xCC});
        w.file().GetBlock(1)->SetName("boulder");
        w.file().ReleaseSymbol("stone.tga");
    });

    BlockSeed(dir, "many_blocks.grf", [](wvwrite::SceneWriter& w) {
        wvwrite::Rng rng(0x5EED);
        for (int i = 0; i < 48; ++i) {
            const std::size_t size = static_cast<std::size_t>(rng.Int(0, 600));
            w.AddBlock("block_" + std::to_string(i), static_cast<std::uint32_t>(rng.Int(0, 8)), Deterministic(rng, size));
            if (i % 5 == 0) w.Symbol("texture_" + std::to_string(i) + ".tga");
        }
    });
}

// ---- texture databases -----------------------------------------------------

std::uint32_t TextureId(const std::string& name) { return MakeNameHandle(FloatBits(1.0f), name.c_str(), ".tga"); }

std::vector<std::uint8_t> RandomIndices(std::uint32_t seed, std::size_t n, int colours) {
    wvwrite::Rng rng(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& v : out) v = static_cast<std::uint8_t>(rng.Int(0, colours - 1));
    return out;
}

std::vector<std::uint16_t> BumpCodes(std::uint32_t seed, std::uint32_t w, std::uint32_t h) {
    std::vector<float> heights(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            heights[std::size_t{y} * w + x] =
                4.0f * wvwrite::TileNoise(seed, static_cast<float>(x) / 8.0f, static_cast<float>(y) / 8.0f, 4, 3);
    return wvwrite::NormalCodesFromHeights(heights, w, h, 1.0f);
}

wvwrite::TextureSpec NoiseTexture(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t bits,
                          std::uint32_t palette, int colours) {
    wvwrite::TextureSpec t;
    t.identifier = TextureId(name);
    t.width = w;
    t.height = h;
    t.bits = bits;
    t.palette = palette;
    t.indices = RandomIndices(t.identifier, std::size_t{w} * h, colours);
    return t;
}

// One texture of a seed: random indices into a palette of the seed (or the
// default palette, palette -1), noise for a square one.
enum SeedFlags { kBump = 1, kTransparent = 2, kInvisible = 4, kNoise = 8 };
struct SeedTexture {
    const char* name;
    std::uint32_t w, h, bits;
    int palette, colours;
    std::uint32_t padding = 0;
    int smaller = 0, flags = 0;
};

struct TextureSeedPlan {
    const char* file;
    std::vector<std::pair<std::vector<wvwrite::Rgb>, std::size_t>> palettes;  // gradient stops, colour count
    std::vector<SeedTexture> textures;
};

// The target's input: u32 length of the .pid part, the .pid, the .swp.
void TextureSeed(const fs::path& dir, const TextureSeedPlan& plan) {
    wvwrite::TextureSetWriter w;
    try {
        std::vector<std::uint32_t> palettes;
        for (const auto& [stops, count] : plan.palettes)
            palettes.push_back(w.AddPalette(wvwrite::GradientPalette(stops, count)));
        for (const SeedTexture& s : plan.textures) {
            const std::uint32_t palette = s.palette < 0 ? kDefaultPaletteIndex : palettes.at(s.palette);
            wvwrite::TextureSpec t = NoiseTexture(s.name, s.w, s.h, s.bits, palette, s.colours);
            if (s.flags & kNoise) t.indices = wvwrite::NoiseIndices(t.identifier, s.w, 8, 4, s.colours);
            t.bump = (s.flags & kBump) != 0;
            if (t.bump) t.normalCodes = BumpCodes(t.identifier, s.w, s.h);
            t.transparent = (s.flags & kTransparent) != 0;
            if (s.flags & kInvisible) t.kind = kInvisibleTextureKind;
            t.rowPadding = s.padding;
            t.smallerVersions = s.smaller;
            w.AddTexture(t);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s: %s\n", plan.file, e.what());
        gFailed = true;
        return;
    }
    const Bytes pid = w.PidBytes();
    TextureDatabase check;
    if (!check.ReadFromMemory(pid) || check.Truncated() || check.entries.size() != w.Entries().size()) {
        std::fprintf(stderr, "make_seeds: %s does not read back\n", plan.file);
        gFailed = true;
        return;
    }
    wvwrite::ByteWriter input;
    input.U32(static_cast<std::uint32_t>(pid.size())).Bytes(pid).Bytes(w.SwpBytes());
    Emit(dir, plan.file, input.bytes());
}

void TextureSeeds(const fs::path& dir) {
    const TextureSeedPlan seeds[] = {
        {"empty.tex", {}, {}},
        {"eight_bit.tex", {{{{20, 40, 10}, {120, 200, 60}}, 16}}, {{"grass", 32, 32, 8, 0, 16, 0, 0, kNoise}}},
        {"sixteen_bit_normals.tex", {{{{90, 90, 90}, {200, 190, 180}}, 64}},
         {{"cobbles", 32, 32, 16, 0, 64, 0, 1, kBump}}},
        {"transparent.tex", {{{{0, 0, 0}, {30, 80, 20}, {90, 160, 60}}, 32}},
         {{"leaves", 16, 16, 8, 0, 32, 0, 0, kTransparent}}},
        {"padded_strides.tex", {{{{10, 10, 60}, {200, 220, 255}}, 64}},
         {{"water", 20, 12, 8, 0, 64, 3}, {"ice", 10, 6, 16, 0, 64, 6}}},
        {"default_palette.tex", {}, {{"unpainted", 8, 8, 8, -1, 256, 0, 0, kInvisible}}},
        // 128 texels a side with halved copies: the two size limits pick
        // different entries.
        {"smaller_versions.tex", {{{{110, 50, 40}, {200, 190, 180}}, 64}},
         {{"bricks", 128, 128, 8, 0, 64, 0, 3, kNoise}}},
        {"mixed_set.tex", {{{{0, 0, 0}, {255, 255, 255}}, 256}, {{{80, 20, 20}, {250, 200, 50}}, 64}},
         {{"ground", 64, 64, 8, 0, 256, 0, 2},
          {"metal", 16, 32, 16, 1, 64, 2, 1, kBump},
          {"fence", 8, 4, 8, 1, 64, 0, 0, kTransparent},
          {"plain16", 4, 4, 16, -1, 64}}},
    };
    for (const TextureSeedPlan& seed : seeds) TextureSeed(dir, seed);
}

}  // namespace

// ---- whole levels -----------------------------------------------------------

Bytes FileBytes(const fs::path& path) {
    Bytes out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return out;
}

void PutLength(Bytes& out, std::size_t n) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(n >> (8 * k)));
}

// One seed per level selector of the target (or only the first): selector,
// scene file, database and the start of the pixel file (enough for the
// sky's texels).
void LevelSeeds(const fs::path& dir, const std::string& name, const fs::path& levelDir, const std::string& level,
                int selectors = 5) {
    const Bytes grf = FileBytes(levelDir / (level + ".grf"));
    const Bytes pid = FileBytes(levelDir / (level + "-130.pid"));
    Bytes swp = FileBytes(levelDir / (level + "-130.swp"));
    if (grf.empty() || pid.empty()) {
        std::fprintf(stderr, "make_seeds: no %s level in %s\n", level.c_str(), levelDir.c_str());
        gFailed = true;
        return;
    }
    if (swp.size() > 65536) swp.resize(65536);
    for (std::uint8_t selector = 0; selector < selectors; ++selector) {
        Bytes seed{selector};
        PutLength(seed, grf.size());
        seed.insert(seed.end(), grf.begin(), grf.end());
        PutLength(seed, pid.size());
        seed.insert(seed.end(), pid.begin(), pid.end());
        seed.insert(seed.end(), swp.begin(), swp.end());
        Emit(dir, name + "-" + std::to_string(selector), seed);
    }
}

// A level whose one type 2 mesh has many materials and as many polygons,
// stored in reverse material order: decoding must group the polygons in one
// pass, not one pass per material. Small enough for the target's input limit.
bool WriteManyMaterials(const std::string& dir, std::string* error) {
    constexpr std::uint32_t kCount = 12000;
    wvwrite::SceneWriter scene;
    wvwrite::ValueTableBuilder values;
    wvwrite::RegionBuilder region;
    const wvwrite::MeshSpec m = wvwrite::ManyMaterialsMesh("many_materials", kCount, {"many\\tex", ".tga", ""});
    region.Place(scene, values, wvwrite::WriteMesh(scene, m), "many", {},
                 {wvwrite::Property::String("Class", "CInstance")});
    values.AddTo(scene);
    region.AddTo(scene);
    wvwrite::TextureSetWriter textures;
    wvwrite::TextureSpec t = NoiseTexture("many\\tex", 8, 8, 8, kDefaultPaletteIndex, 256);
    t.identifier = wvwrite::TextureIdentifier("many\\tex", ".tga");
    textures.AddTexture(t);
    return scene.Save(dir + "/many.grf", error) && textures.Write(dir + "/many-130.pid", dir + "/many-130.swp", error);
}

void SceneSeeds(const fs::path& dir) {
    const fs::path work = fs::temp_directory_path() / ("wildview-seeds-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::string error;
    // Small levels: a mutation of a small input is quick to run, and the
    // bench maker's levels hold every class (sky, player, light, trigger,
    // terrain pieces, objects with and without tables) and both mesh types.
    const struct {
        int instances, meshes, textures;
        std::uint64_t seed;
    } levels[] = {{12, 3, 2, 7}, {40, 8, 4, 11}, {90, 20, 6, 23}};
    for (const auto& l : levels) {
        if (!wvwrite::WriteBenchLevel(work.string(), l.instances, l.meshes, l.textures, l.seed, &error)) {
            std::fprintf(stderr, "make_seeds: %s\n", error.c_str());
            gFailed = true;
            break;
        }
        LevelSeeds(dir, "bench" + std::to_string(l.instances), work, "bench");
    }
    if (!gFailed && WriteManyMaterials(work.string(), &error)) {
        LevelSeeds(dir, "many_materials", work, "many", 1);
    } else if (!error.empty()) {
        std::fprintf(stderr, "make_seeds: %s\n", error.c_str());
        gFailed = true;
    }
    std::error_code ec;
    fs::remove_all(work, ec);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path blocks = root / "fuzz_block_file";
    const fs::path textures = root / "fuzz_texture_database";
    const fs::path scenes = root / "fuzz_scene";
    std::error_code ec;
    fs::create_directories(blocks, ec);
    fs::create_directories(textures, ec);
    fs::create_directories(scenes, ec);
    if (!fs::is_directory(blocks) || !fs::is_directory(textures)) {
        std::fprintf(stderr, "make_seeds: cannot create the corpus folders under %s\n", root.c_str());
        return 1;
    }
    BlockSeeds(blocks);
    TextureSeeds(textures);
    SceneSeeds(scenes);
    // The ground and the export read the scene's inputs; each seed also
    // with the selector's option bit.
    for (const char* target : {"fuzz_ground", "fuzz_export"}) {
        const fs::path dir = root / target;
        fs::create_directories(dir, ec);
        for (const auto& e : fs::directory_iterator(scenes, ec)) {
            Bytes seed = FileBytes(e.path());
            if (seed.empty()) continue;
            Emit(dir, e.path().filename().string(), seed);
            seed[0] |= 0x80;
            Emit(dir, e.path().filename().string() + "-option", seed);
        }
    }
    return gFailed ? 1 : 0;
}
