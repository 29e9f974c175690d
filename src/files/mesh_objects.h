// Mesh objects of the scene file: a main block (type 4) naming the object,
// an optional mapping block pointing at a material block (and, for type 1
// geometry, holding texture coordinates and faces), and a geometry block of
// type 1 (positions and faces) or type 2 (vertex records and polygons).
// Decoded once per object handle into a Model; material textures are found
// in the texture database by CRC-32 name handles.
//
// Blocks are untrusted: no word is read past a block's end. A block too
// short for the counts it states is treated as absent: a material block
// gives no materials, a type 1 mapping block no texture vertices or faces,
// a geometry block no geometry. Triangles whose corners were reported as
// out of range ("face overrun", "index over") are left out of the model.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "math/vector3.h"
#include "scene/scene_model.h"

struct MeshMaterialRef {
    std::uint32_t position = 0;
    SymbolHandle tn = 0, s1 = 0, s2 = 0;  // texture name and its two suffixes
};

// One decode's worth of mesh data, discarded once the model is filled.
struct MeshData {
    std::string name;  // at most 64 characters
    BlockHandle handle = 0;
    std::uint32_t geometryType = 1;
    Vector3 PivotOffset;
    std::vector<Vector3> positions;
    std::vector<std::array<float, 2>> texcoords;
    std::vector<Vector3> normals;
    std::vector<std::array<std::int64_t, 3>> triangles;  // may hold flagged corners
    std::vector<std::uint32_t> triangleMaterial;
    bool hasMapping = false;
    std::vector<MeshMaterialRef> materials;
    std::int32_t Lighting[5] = {50, 50, 50, 100, 0};
    std::uint32_t commonI3 = 0;
    std::size_t VertexCount() const { return positions.size(); }
};

// The mesh loader's state: texture objects by database index, shared by
// every material that uses the entry. Emptied by KillModels.
struct MeshLoaderState {
    std::map<int, std::unique_ptr<TextureObject>> TextureMap;
    std::map<int, std::unique_ptr<TextureObject>> BumpTextureMap;
    bool LoadTextures = true;
    std::uint32_t randomState = 1;  // the material colours' generator
};
MeshLoaderState& TheMeshLoader();
void ResetMeshLoader();

// 2 when the mapping block is exactly 4 bytes (or, without one, when word 1
// of the geometry block is 1); otherwise 1.
std::uint32_t GeometryTypeOf(BlockHandle handle);

// The model of an object handle, loaded once; null when its block is not a
// mesh's main block. diffuse is the bit pattern of the instance's Diffuse.
Model* GetOrLoadModel(BlockHandle handle, std::uint32_t diffuse);
bool LoadMesh(Model& model, BlockHandle handle, std::uint32_t diffuse);
// Decodes a mesh exactly as LoadMesh does, without filling a model.
MeshData DecodeMesh(BlockHandle handle);

struct ResolvedTexture {
    int index = -1;  // texture database entry, or -1
    bool alpha = false;
};
ResolvedTexture ResolveTexture(const char* tn, const char* s1, const char* s2, std::uint32_t diffuse);
// The name handle of tn + suffix under the first standard Diffuse value the
// database knows (1.0, 1.2, 0.9, 0.5, 0.2, 0.0, 0.1), or none.
std::optional<std::uint32_t> FindTextureByStandardDiffuse(const char* name, const char* suffix);

TextureObject* GetTexture(int textureIndex, bool hasAlpha);
TextureObject* GetBumpTexture(int textureIndex);

// The texture of the mesh's first material, decoded now (the sky needs it
// before the first frame). Not cached; null when there is none.
std::unique_ptr<TextureObject> LoadMeshTexture(BlockHandle handle, std::uint32_t diffuse);
