// Models from the scene file's mesh objects: decoded once per object handle
// (the model cache), with each material's texture found in the texture
// database by CRC-32 name handles and shared through the texture maps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "files/block_file.h"
#include "scene/scene_model.h"

// The loader's state, a part of the level: texture objects by database
// index (null where no material uses the entry yet), shared by every
// material that uses the entry.
struct MeshLoaderState {
    std::vector<std::unique_ptr<TextureObject>> TextureMap;
    std::vector<std::unique_ptr<TextureObject>> BumpTextureMap;
    bool LoadTextures = true;
    std::uint32_t randomState = 1;  // the material colours' generator
};

// The model of an object handle, loaded once; null when its block is not a
// mesh's main block. diffuse is the bit pattern of the instance's Diffuse.
// Without points the model's bounds walk every vertex until someone
// prepares them (Model::PreparePoints).
Model* GetOrLoadModel(BlockHandle handle, std::uint32_t diffuse, bool points);
bool LoadMesh(Model& model, BlockHandle handle, std::uint32_t diffuse, bool points);

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
