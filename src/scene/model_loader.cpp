#include "scene/model_loader.h"

#include <algorithm>

#include "diag/stat_counter.h"
#include "diag/state_registry.h"
#include "files/mesh_objects.h"
#include "files/name_handle.h"
#include "files/texture_database.h"
#include "files/texture_image.h"
#include "scene/level.h"

namespace {

const BlockRecord* Block(BlockHandle h) { return TheSceneFile().GetBlock(h); }

const char* SymbolText(SymbolHandle s) { return TheSceneFile().GetSymbolName(s); }

// The classic generator of the C library (range 0..32767).
int NextRandom() {
    std::uint32_t& s = TheMeshLoader().randomState;
    s = s * 214013u + 2531011u;
    return static_cast<int>((s >> 16) & 0x7FFF);
}

}  // namespace

std::optional<std::uint32_t> FindTextureByStandardDiffuse(const char* name, const char* suffix) {
    static constexpr float kStandard[] = {1.0f, 1.2f, 0.9f, 0.5f, 0.2f, 0.0f, 0.1f};
    for (float d : kStandard) {
        const std::uint32_t h = MakeNameHandle(FloatBits(d), name, suffix);
        if (TheTextureDatabase().HasIdentifier(h)) return h;
    }
    return std::nullopt;
}

ResolvedTexture ResolveTexture(const char* tn, const char* s1, const char* s2, std::uint32_t diffuse) {
    const TextureDatabase& db = TheTextureDatabase();
    int t = db.FindTexture(MakeNameHandle(diffuse, tn, s1));
    if (t < 0) t = db.FindTexture(MakeNameHandle(diffuse, tn, s2));
    if (t >= 0) return {t, db.Entry(t)->transparent != 0};
    if (!tn || !*tn) return {};
    if (const auto h = FindTextureByStandardDiffuse(tn, s1); h && (t = db.FindTexture(*h)) >= 0) return {t, false};
    if (const auto h = FindTextureByStandardDiffuse(tn, s2); h && (t = db.FindTexture(*h)) >= 0) return {t, true};
    return {};
}

namespace {

// The slot of a database index in a texture map, grown to reach it; null
// for a negative index.
std::unique_ptr<TextureObject>* Slot(std::vector<std::unique_ptr<TextureObject>>& map, int textureIndex) {
    if (textureIndex < 0) return nullptr;
    const std::size_t at = static_cast<std::size_t>(textureIndex);
    if (at >= map.size()) map.resize(at + 1);
    return &map[at];
}

}  // namespace

TextureObject* GetTexture(int textureIndex, bool hasAlpha) {
    std::unique_ptr<TextureObject>* slot = Slot(TheMeshLoader().TextureMap, textureIndex);
    if (!slot) return nullptr;
    if (*slot) return slot->get();
    if (const TextureEntry* e = TheTextureDatabase().Entry(textureIndex)) {
        StatCounter& counter = hasAlpha ? gRawRGBATexMem : gRawRGBTexMem;
        counter.Add(e->width * e->height);
    }
    *slot = std::make_unique<TextureObject>(hasAlpha);
    return slot->get();
}

TextureObject* GetBumpTexture(int textureIndex) {
    std::unique_ptr<TextureObject>* slot = Slot(TheMeshLoader().BumpTextureMap, textureIndex);
    if (!slot) return nullptr;
    if (!*slot) *slot = std::make_unique<TextureObject>(false);
    return slot->get();
}

bool LoadMesh(Model& model, BlockHandle handle, std::uint32_t diffuse, bool points) {
    // One decode's buffers serve every mesh of the level.
    static MeshData scratch;
    MeshData& md = scratch;
    DecodeMesh(TheSceneFile(), handle, md);
    model.handle = handle;
    model.SourceGeometryType = md.geometryType;
    model.name = md.name;
    model.PivotOffset = md.PivotOffset;

    const std::size_t vertexCount = md.VertexCount();
    model.vertices.resize(vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        model.vertices[i].normal = i < md.normals.size() ? md.normals[i] : Vector3{};
        if (i < md.texcoords.size()) {
            model.vertices[i].u = md.texcoords[i][0];
            model.vertices[i].v = md.texcoords[i][1];
        }
        model.vertices[i].position = md.positions[i];
    }

    const std::size_t materialCount = md.materials.size();
    model.faces.clear();
    model.faces.reserve(md.triangles.size());
    for (std::size_t t = 0; t < md.triangles.size(); ++t) {
        const auto& tri = md.triangles[t];
        const bool inside = std::all_of(tri.begin(), tri.end(), [&](std::int64_t i) {
            return i >= 0 && static_cast<std::uint64_t>(i) < vertexCount;
        });
        // Reported while decoding; kept and counted, but never drawn.
        Face f;
        for (int k = 0; k < 3; ++k) f.index[k] = static_cast<std::uint32_t>(tri[k]);
        f.inRange = inside;
        f.material = md.triangleMaterial[t];
        ++gVisibleTris.value;
        if (!model.faces.empty() && f.material == model.faces.back().material) ++gNeighbourTriTex.value;
        if (materialCount > 0 && (static_cast<std::int32_t>(f.material) < 0 || f.material >= materialCount))
            f.material = 0;
        model.faces.push_back(f);
    }
    gTotalTris.Add(model.faces.size());
    std::copy(std::begin(md.Lighting), std::end(md.Lighting), model.Lighting);

    model.materials.clear();
    if (materialCount == 0) {
        model.materials.resize(1);  // the default: magenta-ish, no texture
        for (Face& f : model.faces) f.material = 0;
    } else {
        model.materials.resize(materialCount);
        TextureDatabase& db = TheTextureDatabase();
        for (std::size_t j = 0; j < materialCount; ++j) {
            Material& m = model.materials[j];
            const int r1 = NextRandom(), r2 = NextRandom(), r3 = NextRandom();
            m.colour[0] = 0.2f + 0.6f * static_cast<float>(r2) / 32767.0f;
            m.colour[1] = 0.2f + 0.6f * static_cast<float>(r1) / 32767.0f;
            m.colour[2] = 0.2f + 0.6f * static_cast<float>(r3) / 32767.0f;
            m.colour[3] = 1.0f;
            const MeshMaterialRef& ref = md.materials[j];
            const char* tn = SymbolText(ref.tn);
            const char* s1 = SymbolText(ref.s1);
            const char* s2 = SymbolText(ref.s2);
            ResolvedTexture found = ResolveTexture(tn, s1, s2, diffuse);
            if (found.index < 0) continue;
            if (db.Entry(found.index)->bump) {
                const std::int32_t saved = db.MaxTextureSize;
                db.MaxTextureSize = 128;  // bump maps want more texels
                found = ResolveTexture(tn, s1, s2, diffuse);
                db.MaxTextureSize = saved;
                if (found.index < 0) continue;
            }
            const TextureEntry& entry = *db.Entry(found.index);
            if (TheMeshLoader().LoadTextures) {
                m.hasTexture = true;
                m.texture = GetTexture(found.index, found.alpha);
                m.textureIndex = static_cast<std::uint32_t>(found.index);
                m.textureName = tn ? tn : "";
                if (entry.bump) {
                    m.hasBump = true;
                    m.bumpTexture = GetBumpTexture(found.index);
                }
            }
            if (entry.kind == kInvisibleTextureKind) m.invisible = true;
        }
    }
    model.ComputeMaterialFlags();
    if (points) model.PreparePoints();
    return true;
}

Model* GetOrLoadModel(BlockHandle handle, std::uint32_t diffuse, bool points) {
    SceneState& scene = TheScene();
    if (Model* cached = scene.ModelCache.Find(handle)) return cached;
    const BlockRecord* block = Block(handle);
    if (!block || block->type != kMeshBlockType) return nullptr;
    auto model = std::make_unique<Model>();
    LoadMesh(*model, handle, diffuse, points);
    Model* m = model.get();
    scene.ModelList.push_back(std::move(model));
    scene.ModelCache.Insert(handle, m, TheSceneFile().GetBlockCount());
    return m;
}

std::unique_ptr<TextureObject> LoadMeshTexture(BlockHandle handle, std::uint32_t diffuse) {
    const BlockRecord* block = Block(handle);
    if (!block || block->type != kMeshBlockType) return nullptr;
    const MeshData md = DecodeMesh(TheSceneFile(), handle);
    if (md.materials.empty()) return nullptr;
    const MeshMaterialRef& ref = md.materials[0];
    const ResolvedTexture found = ResolveTexture(SymbolText(ref.tn), SymbolText(ref.s1), SymbolText(ref.s2), diffuse);
    if (found.index < 0) return nullptr;
    auto texture = std::make_unique<TextureObject>(found.alpha);
    DecodedImage image = ReadTextureImage(TheTextureDatabase(), found.index, false);
    texture->pendingWidth = image.width;
    texture->pendingHeight = image.height;
    texture->pendingRgba = std::move(image.rgba);
    if (TheSceneHooks().createTexture) TheSceneHooks().createTexture(*texture);
    return texture;
}
