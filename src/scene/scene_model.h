// The in-memory scene of one level: models (geometry shared by instances),
// instances (placed objects), the property table and the level-wide values.
// Scene construction fills it once per load; drawing reads it every frame;
// input moves, turns and deletes instances; KillModels empties it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "math/bounding.h"
#include "math/camera.h"
#include "math/matrix3.h"
#include "math/vector3.h"
#include "scene/gl_texture.h"
#include "scene/value_table.h"

// A material's (or the sky's) texture. The core creates none: the drawing
// code gives it a name on first use. Until then (and without GL) the name
// stays 0.
class TextureObject : public GlTexture {
public:
    TextureObject() = default;
    explicit TextureObject(bool alpha) : hasAlpha(alpha) {}

    bool hasAlpha = false;
    // Pixels decoded at load for a texture that must exist before the first
    // draw (the sky); the drawing code uploads and releases them.
    std::uint32_t pendingWidth = 0, pendingHeight = 0;
    std::vector<std::uint8_t> pendingRgba;
};

struct Vertex {
    Vector3 normal;
    float u = 0.0f, v = 0.0f;
    Vector3 position;  // model space, z up
};

struct Face {
    std::uint32_t index[3] = {0, 0, 0};
    std::uint32_t material = 0;
    // False when a corner lies outside the vertex list (a damaged mesh):
    // the face is counted like any other, but nothing that walks faces may
    // address vertices through it.
    bool inRange = true;
};

struct Material {
    bool hasTexture = false;
    TextureObject* texture = nullptr;      // shared, owned by the texture map
    bool hasBump = false;
    TextureObject* bumpTexture = nullptr;  // shared, owned by the bump texture map
    bool invisible = false;                // faces never drawn
    bool clamp = true;                     // clamped rather than repeating coordinates
    float colour[4] = {1.0f, 0.0f, 0.5f, 1.0f};
    std::uint32_t textureIndex = 0;        // texture database entry
    std::string textureName;
};

// What the bounds and the ground footprint of every instance of a model
// need from it, made once per model: its distinct vertex positions (bit for
// bit, in order of first use), and those of the corners of its drawn faces
// (faces in range whose material is not invisible) with their box. A later
// copy of a position moves neither a minimum nor a maximum (a tie keeps the
// value already held), so walking the distinct positions gives the very
// bits that walking every vertex gives.
struct ModelPoints {
    // The distinct positions of all vertices, then those of the drawn corners.
    std::vector<Vector3> points;
    std::size_t drawnStart = 0;
    std::span<const Vector3> All() const { return {points.data(), drawnStart}; }
    std::span<const Vector3> Drawn() const { return std::span<const Vector3>(points).subspan(drawnStart); }
    // All() again as rows of x, then y, then z, each padded to a multiple of
    // four with copies of the first point (a copy changes nothing).
    std::vector<float> lanes;
    std::size_t laneCount = 0;
    Vector3 drawnMin{1e20f, 1e20f, 1e20f}, drawnMax{-1e20f, -1e20f, -1e20f};
    bool anyDrawn = false;
    // The vertex array they were made from; another one makes them stale.
    const void* madeFrom = nullptr;
    std::size_t madeFromCount = 0;
};

class Model {
public:
    Model() = default;
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    ~Model();  // deletes the display list; the texture objects belong to their maps

    // Alpha and bump flags from the materials; clamp per material from the
    // texture coordinates of its faces (within -0.01 .. 1.01 stays clamped).
    void ComputeMaterialFlags();
    // Makes the points again from the vertices, faces and materials; run
    // once the model is filled and whenever its vertices change.
    void PreparePoints();
    // The points, or null when none were made for the vertices it has now.
    const ModelPoints* Points() const {
        return points_.madeFrom == vertices.data() && points_.madeFromCount == vertices.size() && !vertices.empty()
                   ? &points_
                   : nullptr;
    }

    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    std::vector<Material> materials;
    std::int32_t Lighting[5] = {50, 50, 50, 100, 0};  // only reported
    Vector3 PivotOffset;                              // only reported
    bool Overlay = false;           // drawn without depth writes, offset onto the ground
    bool Blended = false;           // alpha blended rather than alpha tested
    bool HasAlphaTexture = false;
    bool HasBumpMaterial = false;
    bool ScrollingTexture = false;
    float ScrollX = 0.0f, ScrollY = 0.0f;  // texture scroll speeds
    std::uint32_t displayListBuilt = 0;
    std::uint32_t displayList = 0;
    std::string name;
    std::uint32_t handle = 0;              // object block handle, flag bits included
    std::uint32_t SourceGeometryType = 0;  // 1 or 2, only reported

private:
    ModelPoints points_;
};

// Whether a face is drawn: its corners in range, its material not invisible.
inline bool FaceDrawn(const Model& m, const Face& f) {
    if (!f.inRange) return false;
    return f.material >= m.materials.size() || !m.materials[f.material].invisible;
}

// A receiver's shadow picture: the alpha image of what lies on the light
// ray through it. The shadow pass (effects/) pools and fills these; drawing
// only binds one onto the instance that holds it.
struct ShadowTexture : GlTexture {
    ShadowTexture() : GlTexture(128, 128) {}
};

class Instance {
public:
    Instance();  // takes the next SerialId
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance();  // gives back its shadow slot

    // Recomputes the sphere radius and extends (never shrinks) the world box.
    // From the model's distinct points when it has them; plain: from every
    // vertex, the reference the points are pinned to.
    void UpdateBounds(bool plain = false);
    void SetPosition(float x, float y, float z);
    void SetRotation(float x, float y, float z);
    // After a move: bounds, the terrain under it and the shadows it touches.
    void UpdatePlacement();
    void ReleaseShadow();
    // The model transform without the translation: the drawing rotation
    // Rz * Ry * Rx times the scale.
    Matrix3 ModelMatrix() const;

    bool ShadowDirty = false;
    std::uint32_t index = 0;               // record number in the ".region" block
    const char* name = nullptr;            // held by the scene file's symbol table
    std::uint32_t valueTable = 0xFFFFFFFFu;  // property table entry, or none
    std::uint32_t SerialId = 0;            // unique per run; the picking name
    Model* model = nullptr;                // owned by the model list
    Vector3 position;
    Vector3 rotation;                      // radians, applied z, then y, then x
    float scale = 1.0f;
    bool AlwaysFace = false;
    bool Shadow = true;
    bool Unlit = false;
    ShadowTexture* ShadowSlot = nullptr;
    bool ExcludeFromHeightField = false;
    // The placement scene construction gave it, so that a save can tell
    // what the user changed.
    Vector3 loadedPosition, loadedRotation;
    Vector3 boxMin{1e20f, 1e20f, 1e20f};
    Vector3 boxMax{-1e20f, -1e20f, -1e20f};
    BoundingSphere sphere;
    // Where the instance's entry lies in the scene's cull table.
    std::uint32_t cullSlot = 0xFFFFFFFFu;
};

// The culling walk's view of the instance list: each instance's sphere and
// position side by side in one array, in list order, so that the walk reads
// packed memory rather than instances spread over the heap. An instance's
// entry follows it through UpdateBounds (every move, turn, undo and redo
// comes through there); the table is made again from the list when the list
// holds other instances or another order (a load, a delete, an undo of
// one), or when any instance has been destroyed since.
struct CullEntry {
    Vector3 centre;
    float radius = 0.0f;
    Vector3 position;
    Instance* instance = nullptr;
};

class CullTable {
public:
    const std::vector<CullEntry>& For(const std::vector<std::unique_ptr<Instance>>& list);
    void Refresh(Instance& inst);
    void clear() { entries_ = {}; }

private:
    std::vector<CullEntry> entries_;
    std::uint64_t destroyedSeen_ = 0;
};

// Hooks through which the scene reaches the GL and effects layers without
// depending on them. Unset hooks do nothing (headless runs, tests).
// Installed by the GL set-up (InstallSceneGlHooks, InstallTerrainGlHooks)
// and cleared by the process reset, after the level's GL objects went;
// called by models, textures and instances as they change.
struct SceneHooks {
    void (*createTexture)(TextureObject& texture) = nullptr;  // uploads its pending pixels
    void (*deleteTexture)(std::uint32_t glName) = nullptr;
    void (*deleteDisplayList)(std::uint32_t list) = nullptr;
    void (*releaseShadow)(ShadowTexture* slot) = nullptr;
    void (*markAreaForRebake)(const Vector3& centre, float radius) = nullptr;
};
SceneHooks& TheSceneHooks();

// Object block handle -> its model, a handle loaded at most once per level.
// A flat table by block number; a second handle of the same block (other
// flag bits, so another key) goes to a small map beside it.
class ModelCacheTable {
public:
    Model* Find(std::uint32_t handle) const;
    // blockCount: how many blocks the scene file has (the table's size).
    void Insert(std::uint32_t handle, Model* model, std::size_t blockCount);
    void clear();
    std::size_t size() const { return count_; }

private:
    std::vector<std::pair<std::uint32_t, Model*>> byBlock_;  // (handle, model), model null when empty
    std::map<std::uint32_t, Model*> others_;
    std::size_t count_ = 0;
};

// The scene of the loaded level, a part of the level object (scene/level.h,
// which says who writes it).
struct SceneState {
    CullTable cull;  // before the instances: they outlive it in no case
    std::vector<std::unique_ptr<Model>> ModelList;  // creation order
    ModelCacheTable ModelCache;                     // object handle -> model
    std::vector<std::unique_ptr<Instance>> InstanceList;
    std::map<std::int32_t, std::vector<std::unique_ptr<Instance>>> TerrainObjectsByHeight;
    std::set<std::uint32_t> HeightFieldExclusions;
    ValueTable valueTable;
    std::unique_ptr<TextureObject> SkyTexture;
    float FogColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Vector3 LightDirection{-0.7f, 0.5f, -0.5f};
    Vector3 TerrainMin{1e20f, 1e20f, 1e20f};
    Vector3 TerrainMax{-1e20f, -1e20f, -1e20f};
    // Where the player starts (set by construction): the camera goes back there on asking.
    Camera StartCamera;
    // Casters and receivers near the camera, rebuilt by the shadow pass
    // each frame; instances moved by the user mark those they shade here.
    std::vector<Instance*> ShadowCandidates;
};

// The next SerialId an instance will take.
std::uint32_t PeekNextSerialId();
