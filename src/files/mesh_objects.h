// Mesh objects of the scene file: a main block (type 4) naming the object,
// an optional mapping block pointing at a material block (and, for type 1
// geometry, holding texture coordinates and faces), and a geometry block of
// type 1 (positions and faces) or type 2 (vertex records and polygons).
// DecodeMesh reads one object into MeshData; the scene's model loader turns
// that into a Model.
//
// Blocks are untrusted: no word is read past a block's end. A block too
// short for the counts it states is treated as absent: a material block
// gives no materials, a type 1 mapping block no texture vertices or faces,
// a geometry block no geometry. Triangles whose corners were reported as
// out of range ("face overrun", "index over") are kept, with those corners
// flagged negative or past the vertex count, so that every face is counted;
// whoever walks the faces must skip them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "math/vector3.h"

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

// 2 when the mapping block is exactly 4 bytes (or, without one, when word 1
// of the geometry block is 1); otherwise 1.
std::uint32_t GeometryTypeOf(const BlockFile& file, BlockHandle handle);

// Decodes an object of a scene file, with the design's messages and its
// "Loading object" line.
MeshData DecodeMesh(const BlockFile& file, BlockHandle handle);
// The same into md, whose arrays are emptied first but keep their room.
// plain: every word read through the bounds check, the reference the fast
// reads (each array's range checked once) are pinned to.
void DecodeMesh(const BlockFile& file, BlockHandle handle, MeshData& md, bool plain = false);
