// Writes mesh objects into a scene: a main block (type 4) naming the
// object, a geometry block of type 1 or 2, and optionally a mapping block
// that points at a material block. All words are little-endian u32/f32.
//
//   main:      0 own name symbol, 1 geometry block (0 = none), 2 mapping block (0 = none)
//   mapping:   0 material block; type 1 only: NT, NF, NT (u, v), NF faces of
//              texture-vertex indices, NF material indices. A type 2 mapping
//              block is exactly 4 bytes, which is how readers tell the types apart.
//   material:  N; N texture-name symbols; N first suffixes; N second
//              suffixes; three unused lists of N words; five Lighting ints
//   geometry 1: 3 NV, 4 NF, from word 10 NV positions then NF faces
//   geometry 2: 3-5 pivot, 6 NV, 7 NN, 8 NI, 10 NP, from word 11 NV
//              positions, NN vertex records (8 words), NI indices, NP
//              polygon records (10 words)
// Word 1 of a geometry block is 1 for type 2 and 0 for type 1: without a
// mapping block that word is what tells the types apart.
//
// Materials name their texture by a name and two suffixes; the texture is
// stored in the database under TextureIdentifier(name, suffix, diffuse).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "math/vector3.h"

namespace wvwrite {

class SceneWriter;

struct MaterialSpec {
    std::string texture;           // e.g. "demo\\grass"
    std::string suffix1 = ".bmp";  // tried first
    std::string suffix2 = ".tga";  // tried when the first is not stored
};

// The identifier a material's texture is looked up under, for an instance
// with that Diffuse value (1.0 when it has none).
std::uint32_t TextureIdentifier(const std::string& texture, const std::string& suffix, float diffuse = 1.0f);

struct Face {
    std::uint32_t a = 0, b = 0, c = 0;
};

struct TexCoord {
    float u = 0.0f, v = 0.0f;  // v = 0 is the top row of the image
};

struct VertexRecord {
    std::uint32_t position = 0;
    Vector3 normal{0.0f, 0.0f, 1.0f};
    float u = 0.0f, v = 0.0f;
    std::uint32_t one = 1;   // always 1 in well-formed data
    std::uint32_t zero = 0;  // always 0 in well-formed data
};

struct PolygonRecord {
    std::uint32_t corners = 0;
    std::uint32_t first = 0;  // position of the first corner in the index list
    std::array<float, 4> unused{};
    std::uint32_t material = 0;
    std::uint32_t flags = 0;  // tex.flags: 0 or 4
    std::uint32_t i2 = 0;     // tex.i2: 0
    std::uint32_t i3 = 0;     // tex.i3: the same in every polygon
};

constexpr std::array<std::int32_t, 5> kDefaultLighting{50, 50, 50, 100, 0};

// Stored counts that differ from the data written, for malformed files.
struct StoredCounts {
    std::optional<std::uint32_t> materials;     // material block N
    std::optional<std::uint32_t> texVertices;   // mapping NT
    std::optional<std::uint32_t> mappingFaces;  // mapping NF
    std::optional<std::uint32_t> positions;     // geometry NV
    std::optional<std::uint32_t> faces;         // type 1 geometry NF
    std::optional<std::uint32_t> vertices;      // type 2 NN
    std::optional<std::uint32_t> indices;       // type 2 NI
    std::optional<std::uint32_t> polygons;      // type 2 NP
};

// A mesh object block by block, exactly as it is to be stored.
struct MeshSpec {
    std::string name;
    int type = 2;
    bool hasGeometry = true;         // false: main word 1 = 0
    bool hasMapping = true;          // false: main word 2 = 0, no material block
    bool materialHandleZero = false; // mapping word 0 = 0 and no material block
    std::vector<MaterialSpec> materials;
    std::array<std::int32_t, 5> lighting = kDefaultLighting;
    std::vector<Vector3> positions;

    // Type 1.
    std::vector<Face> faces;                   // geometry: position indices
    std::vector<TexCoord> texCoords;           // mapping: texture vertices
    std::vector<Face> texFaces;                // mapping: texture-vertex indices, one per face
    std::vector<std::uint32_t> faceMaterials;  // mapping: material per face

    // Type 2.
    Vector3 pivot;
    std::vector<VertexRecord> vertices;  // a multiple of 3 in well-formed data
    std::vector<std::uint32_t> indices;  // into vertices
    std::vector<PolygonRecord> polygons;

    StoredCounts stored;
    std::optional<SymbolHandle> mainSymbol;  // main word 0 other than the block's own name
};

struct MeshBlocks {
    BlockHandle main = 0, geometry = 0, mapping = 0, material = 0;  // 0 = not written
};

// Writes the blocks; returns the main block's handle (the object handle a
// region record stores). The main block is added first, then geometry,
// mapping and material blocks, named after the object.
BlockHandle WriteMesh(SceneWriter& scene, const MeshSpec& mesh, MeshBlocks* blocks = nullptr);

// A mesh as polygons, from which either geometry type is derived.
struct Corner {
    std::uint32_t position = 0;
    Vector3 normal{0.0f, 0.0f, 1.0f};
    TexCoord uv;
};

struct Polygon {
    std::vector<Corner> corners;  // counter-clockwise seen from the front, convex
    std::uint32_t material = 0;
};

struct PolyMesh {
    std::string name;
    std::vector<MaterialSpec> materials;
    std::array<std::int32_t, 5> lighting = kDefaultLighting;
    Vector3 pivot;
    std::vector<Vector3> positions;
    std::vector<Polygon> polygons;

    std::uint32_t AddPosition(const Vector3& p);
    // A polygon over existing positions with the flat normal of its first
    // three corners.
    void AddFlat(const std::vector<std::uint32_t>& corners, const std::vector<TexCoord>& uvs, std::uint32_t material);
    // A polygon of new positions.
    void AddFlatPoints(const std::vector<Vector3>& points, const std::vector<TexCoord>& uvs, std::uint32_t material);
    std::size_t TriangleCount() const;
};

// Type 1: one texture vertex per corner, polygons fanned into triangles.
// Type 2: one vertex record per corner (padded with copies of the first to
// a multiple of 3), the corners in order in the index list, one polygon
// record per polygon.
MeshSpec ToMeshSpec(const PolyMesh& mesh, int type);
// One triangle drawn count times, each time in its own material of the same
// texture, the polygons stored in reverse material order: a mesh whose
// decoding must group polygons by material in one pass.
MeshSpec ManyMaterialsMesh(const std::string& name, std::uint32_t count, const MaterialSpec& material);
inline BlockHandle WriteMesh(SceneWriter& scene, const PolyMesh& mesh, int type, MeshBlocks* blocks = nullptr) {
    return WriteMesh(scene, ToMeshSpec(mesh, type), blocks);
}

// Shapes. Lengths are world units; unitsPerTile is how far one repeat of a
// texture reaches on a surface.

// A box standing on z = 0, centred on x and y: sides in material 0, top in
// the last material.
PolyMesh BoxMesh(const std::string& name, const Vector3& size, const std::vector<MaterialSpec>& materials,
                 float unitsPerTile);
// A gabled house standing on z = 0: walls in material 0 (the gable ends
// are five-cornered polygons), the two roof planes in material 1.
PolyMesh HouseMesh(const std::string& name, float width, float depth, float wallHeight, float roofHeight,
                   const MaterialSpec& walls, const MaterialSpec& roof, float unitsPerTile);
// A round tower with a cone roof: walls in material 0, roof in material 1.
PolyMesh TowerMesh(const std::string& name, float radius, float height, float roofHeight, int sides,
                   const MaterialSpec& walls, const MaterialSpec& roof, float unitsPerTile);
// A flat grid on z = 0 centred on the origin, facing up; cellMaterial picks
// each cell's material (column, row). Texture coordinates run with world
// position, (uvOrigin + p) / unitsPerTile, so neighbouring grids join.
PolyMesh GridMesh(const std::string& name, float sizeX, float sizeY, int cellsX, int cellsY,
                  const std::vector<MaterialSpec>& materials, const std::function<std::uint32_t(int, int)>& cellMaterial,
                  TexCoord uvOrigin, float unitsPerTile);
// One upright quad facing +y (the side an always-facing instance turns to
// the camera), its bottom edge at z = baseZ, the whole image once.
PolyMesh CardMesh(const std::string& name, float width, float height, const MaterialSpec& material, float baseZ = 0.0f);
// A tree card: a trunk quad (material 0) under a crown quad (material 1).
PolyMesh TreeCardMesh(const std::string& name, float trunkWidth, float trunkHeight, float crownWidth,
                      float crownHeight, const MaterialSpec& trunk, const MaterialSpec& crown);
// A low-poly rock: a sphere of rings x segments with each point's radius
// varied by up to roughness (a fraction), its bottom cut flat at z = 0.
PolyMesh RockMesh(const std::string& name, float radius, int rings, int segments, float roughness,
                  std::uint64_t seed, const MaterialSpec& material);
// A dome seen from inside, its rim at z = 0: radius across, height up.
PolyMesh SkyDomeMesh(const std::string& name, float radius, float height, int rings, int segments,
                     const MaterialSpec& material, float tiles);
// A flat ribbon of the given width along a polyline (at the points' z),
// facing up; u runs across (0..1), v along (distance / unitsPerTile).
PolyMesh RibbonMesh(const std::string& name, const std::vector<Vector3>& points, float width,
                    const MaterialSpec& material, float unitsPerTile);

}  // namespace wvwrite
