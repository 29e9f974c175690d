#include "writer/mesh_builder.h"

#include <algorithm>
#include <cmath>

#include "files/name_handle.h"
#include "writer/portable_math.h"
#include "writer/procedural.h"
#include "writer/scene_writer.h"

namespace wvwrite {

namespace {

constexpr float kPi = 3.14159265358979f;

std::uint32_t CountOr(const std::optional<std::uint32_t>& stored, std::size_t actual) {
    return stored ? *stored : static_cast<std::uint32_t>(actual);
}

void PutVector(ByteWriter& w, const Vector3& v) { w.F32(v.x).F32(v.y).F32(v.z); }

std::vector<std::uint8_t> MaterialBlock(SceneWriter& scene, const MeshSpec& m) {
    ByteWriter w;
    w.U32(CountOr(m.stored.materials, m.materials.size()));
    for (const MaterialSpec& mat : m.materials) w.U32(scene.Symbol(mat.texture));
    for (const MaterialSpec& mat : m.materials) w.U32(scene.Symbol(mat.suffix1));
    for (const MaterialSpec& mat : m.materials) w.U32(scene.Symbol(mat.suffix2));
    w.Zeros(3 * 4 * m.materials.size());
    for (std::int32_t l : m.lighting) w.I32(l);
    return w.Take();
}

std::vector<std::uint8_t> MappingBlock(const MeshSpec& m, BlockHandle material) {
    ByteWriter w;
    w.U32(material);
    if (m.type != 1) return w.Take();
    w.U32(CountOr(m.stored.texVertices, m.texCoords.size()));
    w.U32(CountOr(m.stored.mappingFaces, m.texFaces.size()));
    for (const TexCoord& t : m.texCoords) w.F32(t.u).F32(t.v);
    for (const Face& f : m.texFaces) w.U32(f.a).U32(f.b).U32(f.c);
    for (std::uint32_t mat : m.faceMaterials) w.U32(mat);
    return w.Take();
}

std::vector<std::uint8_t> Geometry1Block(const MeshSpec& m) {
    ByteWriter w;
    w.U32(0).U32(0).U32(0);
    w.U32(CountOr(m.stored.positions, m.positions.size()));
    w.U32(CountOr(m.stored.faces, m.faces.size()));
    w.Zeros(5 * 4);
    for (const Vector3& p : m.positions) PutVector(w, p);
    for (const Face& f : m.faces) w.U32(f.a).U32(f.b).U32(f.c);
    return w.Take();
}

std::vector<std::uint8_t> Geometry2Block(const MeshSpec& m) {
    ByteWriter w;
    w.U32(0).U32(1).U32(0);
    PutVector(w, m.pivot);
    w.U32(CountOr(m.stored.positions, m.positions.size()));
    w.U32(CountOr(m.stored.vertices, m.vertices.size()));
    w.U32(CountOr(m.stored.indices, m.indices.size()));
    w.U32(0);
    w.U32(CountOr(m.stored.polygons, m.polygons.size()));
    for (const Vector3& p : m.positions) PutVector(w, p);
    for (const VertexRecord& v : m.vertices) {
        w.U32(v.position);
        PutVector(w, v.normal);
        w.F32(v.u).F32(v.v).U32(v.one).U32(v.zero);
    }
    for (std::uint32_t i : m.indices) w.U32(i);
    for (const PolygonRecord& p : m.polygons) {
        w.U32(p.corners).U32(p.first);
        for (float f : p.unused) w.F32(f);
        w.U32(p.material).U32(p.flags).U32(p.i2).U32(p.i3);
    }
    return w.Take();
}

Vector3 FlatNormal(const Vector3& a, const Vector3& b, const Vector3& c) { return (b - a).Cross(c - a).Normalised(); }

}  // namespace

std::uint32_t TextureIdentifier(const std::string& texture, const std::string& suffix, float diffuse) {
    return MakeNameHandle(FloatBits(diffuse), texture.c_str(), suffix.c_str());
}

BlockHandle WriteMesh(SceneWriter& scene, const MeshSpec& m, MeshBlocks* blocks) {
    MeshBlocks b;
    b.main = scene.AddBlock(m.name, kMeshBlockType, {});
    if (m.hasGeometry)
        b.geometry = scene.AddBlock(m.name + ".geometry", 0, m.type == 1 ? Geometry1Block(m) : Geometry2Block(m));
    if (m.hasMapping) {
        b.mapping = scene.AddBlock(m.name + ".mapping", 0, {});
        if (!m.materialHandleZero) b.material = scene.AddBlock(m.name + ".materials", 0, MaterialBlock(scene, m));
        scene.file().GetBlock(b.mapping)->data = MappingBlock(m, b.material);
    }
    BlockRecord* main = scene.file().GetBlock(b.main);
    main->data = ByteWriter().U32(m.mainSymbol.value_or(main->nameSymbol)).U32(b.geometry).U32(b.mapping).Take();
    if (blocks) *blocks = b;
    return b.main;
}

std::uint32_t PolyMesh::AddPosition(const Vector3& p) {
    positions.push_back(p);
    return static_cast<std::uint32_t>(positions.size() - 1);
}

void PolyMesh::AddFlat(const std::vector<std::uint32_t>& corners, const std::vector<TexCoord>& uvs,
                       std::uint32_t material) {
    Polygon poly;
    poly.material = material;
    const Vector3 n = FlatNormal(positions[corners[0]], positions[corners[1]], positions[corners[2]]);
    for (std::size_t k = 0; k < corners.size(); ++k) poly.corners.push_back(Corner{corners[k], n, uvs[k]});
    polygons.push_back(std::move(poly));
}

void PolyMesh::AddFlatPoints(const std::vector<Vector3>& points, const std::vector<TexCoord>& uvs,
                             std::uint32_t material) {
    std::vector<std::uint32_t> corners;
    for (const Vector3& p : points) corners.push_back(AddPosition(p));
    AddFlat(corners, uvs, material);
}

std::size_t PolyMesh::TriangleCount() const {
    std::size_t n = 0;
    for (const Polygon& p : polygons) n += p.corners.size() >= 3 ? p.corners.size() - 2 : 0;
    return n;
}

MeshSpec ToMeshSpec(const PolyMesh& mesh, int type) {
    MeshSpec m;
    m.name = mesh.name;
    m.type = type;
    m.materials = mesh.materials;
    m.lighting = mesh.lighting;
    m.positions = mesh.positions;
    if (type == 1) {
        for (const Polygon& p : mesh.polygons) {
            const auto base = static_cast<std::uint32_t>(m.texCoords.size());
            for (const Corner& c : p.corners) m.texCoords.push_back(c.uv);
            for (std::uint32_t k = 1; k + 1 < p.corners.size(); ++k) {
                m.faces.push_back(Face{p.corners[0].position, p.corners[k].position, p.corners[k + 1].position});
                m.texFaces.push_back(Face{base, base + k, base + k + 1});
                m.faceMaterials.push_back(p.material);
            }
        }
        return m;
    }
    m.pivot = mesh.pivot;
    for (const Polygon& p : mesh.polygons) {
        PolygonRecord rec;
        rec.corners = static_cast<std::uint32_t>(p.corners.size());
        rec.first = static_cast<std::uint32_t>(m.indices.size());
        rec.material = p.material;
        for (const Corner& c : p.corners) {
            m.indices.push_back(static_cast<std::uint32_t>(m.vertices.size()));
            m.vertices.push_back(VertexRecord{c.position, c.normal, c.uv.u, c.uv.v});
        }
        m.polygons.push_back(rec);
    }
    // Readers refuse a vertex record count that is not a multiple of 3;
    // the padding records are never indexed.
    while (!m.vertices.empty() && m.vertices.size() % 3 != 0) m.vertices.push_back(m.vertices.front());
    return m;
}

PolyMesh BoxMesh(const std::string& name, const Vector3& size, const std::vector<MaterialSpec>& materials,
                 float unitsPerTile) {
    PolyMesh m;
    m.name = name;
    m.materials = materials;
    const float hx = size.x / 2, hy = size.y / 2, h = size.z, t = unitsPerTile;
    const Vector3 ground[4] = {{-hx, -hy, 0}, {hx, -hy, 0}, {hx, hy, 0}, {-hx, hy, 0}};
    std::uint32_t b[4], top[4];
    for (int i = 0; i < 4; ++i) b[i] = m.AddPosition(ground[i]);
    for (int i = 0; i < 4; ++i) top[i] = m.AddPosition(ground[i] + Vector3(0, 0, h));
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        const float len = ground[i].Distance(ground[j]) / t;
        m.AddFlat({b[i], b[j], top[j], top[i]}, {{0, h / t}, {len, h / t}, {len, 0}, {0, 0}}, 0);
    }
    const auto roof = static_cast<std::uint32_t>(materials.empty() ? 0 : materials.size() - 1);
    m.AddFlat({top[0], top[1], top[2], top[3]},
              {{0, size.y / t}, {size.x / t, size.y / t}, {size.x / t, 0}, {0, 0}}, roof);
    return m;
}

PolyMesh HouseMesh(const std::string& name, float width, float depth, float wallHeight, float roofHeight,
                   const MaterialSpec& walls, const MaterialSpec& roof, float unitsPerTile) {
    PolyMesh m;
    m.name = name;
    m.materials = {walls, roof};
    const float hx = width / 2, hy = depth / 2, hw = wallHeight, top = wallHeight + roofHeight, t = unitsPerTile;
    // Long walls.
    m.AddFlatPoints({{-hx, -hy, 0}, {hx, -hy, 0}, {hx, -hy, hw}, {-hx, -hy, hw}},
                    {{0, hw / t}, {width / t, hw / t}, {width / t, 0}, {0, 0}}, 0);
    m.AddFlatPoints({{hx, hy, 0}, {-hx, hy, 0}, {-hx, hy, hw}, {hx, hy, hw}},
                    {{0, hw / t}, {width / t, hw / t}, {width / t, 0}, {0, 0}}, 0);
    // Gable ends: five corners each.
    auto gableUv = [&](float y, float z) { return TexCoord{(y + hy) / t, (top - z) / t}; };
    m.AddFlatPoints({{hx, -hy, 0}, {hx, hy, 0}, {hx, hy, hw}, {hx, 0, top}, {hx, -hy, hw}},
                    {gableUv(-hy, 0), gableUv(hy, 0), gableUv(hy, hw), gableUv(0, top), gableUv(-hy, hw)}, 0);
    m.AddFlatPoints({{-hx, hy, 0}, {-hx, -hy, 0}, {-hx, -hy, hw}, {-hx, 0, top}, {-hx, hy, hw}},
                    {gableUv(hy, 0), gableUv(-hy, 0), gableUv(-hy, hw), gableUv(0, top), gableUv(hy, hw)}, 0);
    // Roof planes with an overhang, and their undersides.
    const float over = 0.1f * std::min(width, depth);
    const float ex = hx + over, ey = hy + over, ez = hw - roofHeight * over / hy;
    const float slope = std::sqrt(ey * ey + (top - ez) * (top - ez)) / t;
    for (int side = 0; side < 2; ++side) {
        const float s = side == 0 ? -1.0f : 1.0f;  // south, then north
        std::vector<Vector3> pts = {{s * ex, s * ey, ez}, {-s * ex, s * ey, ez}, {-s * ex, 0, top}, {s * ex, 0, top}};
        std::vector<TexCoord> uvs = {{0, slope}, {2 * ex / t, slope}, {2 * ex / t, 0}, {0, 0}};
        m.AddFlatPoints(pts, uvs, 1);
        std::reverse(pts.begin(), pts.end());
        std::reverse(uvs.begin(), uvs.end());
        m.AddFlatPoints(pts, uvs, 1);
    }
    return m;
}

PolyMesh TowerMesh(const std::string& name, float radius, float height, float roofHeight, int sides,
                   const MaterialSpec& walls, const MaterialSpec& roof, float unitsPerTile) {
    PolyMesh m;
    m.name = name;
    m.materials = {walls, roof};
    const float t = unitsPerTile, around = 2 * kPi * radius / t;
    std::vector<std::uint32_t> bottom, upper, eave;
    for (int i = 0; i < sides; ++i) {
        const float a = 2 * kPi * static_cast<float>(i) / static_cast<float>(sides);
        bottom.push_back(m.AddPosition({radius * Cos(a), radius * Sin(a), 0}));
        upper.push_back(m.AddPosition({radius * Cos(a), radius * Sin(a), height}));
        eave.push_back(m.AddPosition({1.2f * radius * Cos(a), 1.2f * radius * Sin(a), height - 0.1f * roofHeight}));
    }
    const std::uint32_t apex = m.AddPosition({0, 0, height + roofHeight});
    const float slant = std::sqrt(1.44f * radius * radius + 1.21f * roofHeight * roofHeight) / t;
    for (int i = 0; i < sides; ++i) {
        const int j = (i + 1) % sides;
        const float u0 = around * static_cast<float>(i) / static_cast<float>(sides);
        const float u1 = around * static_cast<float>(i + 1) / static_cast<float>(sides);
        Polygon wall;
        const std::uint32_t corners[4] = {bottom[i], bottom[j], upper[j], upper[i]};
        const TexCoord uvs[4] = {{u0, height / t}, {u1, height / t}, {u1, 0}, {u0, 0}};
        for (int k = 0; k < 4; ++k) {
            const Vector3& p = m.positions[corners[k]];
            wall.corners.push_back(Corner{corners[k], Vector3(p.x, p.y, 0).Normalised(), uvs[k]});
        }
        m.polygons.push_back(std::move(wall));
        m.AddFlat({eave[i], eave[j], apex}, {{u0, slant}, {u1, slant}, {(u0 + u1) / 2, 0}}, 1);
    }
    return m;
}

PolyMesh GridMesh(const std::string& name, float sizeX, float sizeY, int cellsX, int cellsY,
                  const std::vector<MaterialSpec>& materials, const std::function<std::uint32_t(int, int)>& cellMaterial,
                  TexCoord uvOrigin, float unitsPerTile) {
    PolyMesh m;
    m.name = name;
    m.materials = materials;
    const float dx = sizeX / static_cast<float>(cellsX), dy = sizeY / static_cast<float>(cellsY);
    auto at = [&](int i, int j) { return static_cast<std::uint32_t>(j * (cellsX + 1) + i); };
    for (int j = 0; j <= cellsY; ++j)
        for (int i = 0; i <= cellsX; ++i)
            m.AddPosition({-sizeX / 2 + dx * static_cast<float>(i), -sizeY / 2 + dy * static_cast<float>(j), 0});
    auto uv = [&](std::uint32_t k) {
        const Vector3& p = m.positions[k];
        return TexCoord{(uvOrigin.u + p.x) / unitsPerTile, (uvOrigin.v + p.y) / unitsPerTile};
    };
    for (int j = 0; j < cellsY; ++j)
        for (int i = 0; i < cellsX; ++i) {
            const std::uint32_t c[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            m.AddFlat({c[0], c[1], c[2], c[3]}, {uv(c[0]), uv(c[1]), uv(c[2]), uv(c[3])}, cellMaterial(i, j));
        }
    return m;
}

PolyMesh CardMesh(const std::string& name, float width, float height, const MaterialSpec& material, float baseZ) {
    PolyMesh m;
    m.name = name;
    m.materials = {material};
    const float hw = width / 2;
    // Seen from +y, +x is on the left: image column 0 goes there.
    m.AddFlatPoints({{hw, 0, baseZ}, {-hw, 0, baseZ}, {-hw, 0, baseZ + height}, {hw, 0, baseZ + height}},
                    {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, 0);
    return m;
}

PolyMesh TreeCardMesh(const std::string& name, float trunkWidth, float trunkHeight, float crownWidth,
                      float crownHeight, const MaterialSpec& trunk, const MaterialSpec& crown) {
    PolyMesh m;
    m.name = name;
    m.materials = {trunk, crown};
    const float tw = trunkWidth / 2, cw = crownWidth / 2, cz = trunkHeight * 0.55f;
    m.AddFlatPoints({{tw, 0, 0}, {-tw, 0, 0}, {-tw, 0, trunkHeight}, {tw, 0, trunkHeight}},
                    {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, 0);
    // The crown overlaps the trunk's top, a hair nearer the camera so the
    // two never fight over depth.
    const float y = 0.02f * crownWidth;
    m.AddFlatPoints({{cw, y, cz}, {-cw, y, cz}, {-cw, y, cz + crownHeight}, {cw, y, cz + crownHeight}},
                    {{0, 1}, {1, 1}, {1, 0}, {0, 0}}, 1);
    return m;
}

PolyMesh RockMesh(const std::string& name, float radius, int rings, int segments, float roughness,
                  std::uint64_t seed, const MaterialSpec& material) {
    PolyMesh m;
    m.name = name;
    m.materials = {material};
    Rng rng(seed);
    const float floorZ = 0.0f;
    auto point = [&](float lat, float lon) {
        const float r = radius * static_cast<float>(1.0 + roughness * rng.Range(-1.0, 1.0));
        Vector3 p(r * Sin(lat) * Cos(lon), r * Sin(lat) * Sin(lon), 0.8f * r * Cos(lat) + 0.3f * radius);
        p.z = std::max(p.z, floorZ);
        return p;
    };
    const std::uint32_t top = m.AddPosition(point(0, 0));
    std::vector<std::vector<std::uint32_t>> ring(static_cast<std::size_t>(rings - 1));
    for (int k = 1; k < rings; ++k)
        for (int i = 0; i < segments; ++i)
            ring[k - 1].push_back(m.AddPosition(point(kPi * static_cast<float>(k) / static_cast<float>(rings),
                                                      2 * kPi * static_cast<float>(i) / static_cast<float>(segments))));
    const std::uint32_t bottom = m.AddPosition(Vector3(0, 0, floorZ));
    const Vector3 centre(0, 0, 0.3f * radius);
    auto corner = [&](std::uint32_t p, int i, int k) {
        return Corner{p, (m.positions[p] - centre).Normalised(),
                      TexCoord{2.0f * static_cast<float>(i) / static_cast<float>(segments),
                               static_cast<float>(k) / static_cast<float>(rings)}};
    };
    for (int i = 0; i < segments; ++i) {
        const int j = (i + 1) % segments;
        m.polygons.push_back(Polygon{{corner(top, i, 0), corner(ring[0][i], i, 1), corner(ring[0][j], i + 1, 1)}, 0});
        for (int k = 0; k + 1 < rings - 1; ++k)
            m.polygons.push_back(Polygon{{corner(ring[k + 1][i], i, k + 2), corner(ring[k + 1][j], i + 1, k + 2),
                                          corner(ring[k][j], i + 1, k + 1), corner(ring[k][i], i, k + 1)},
                                         0});
        m.polygons.push_back(Polygon{{corner(bottom, i, rings), corner(ring[rings - 2][j], i + 1, rings - 1),
                                      corner(ring[rings - 2][i], i, rings - 1)},
                                     0});
    }
    return m;
}

PolyMesh SkyDomeMesh(const std::string& name, float radius, float height, int rings, int segments,
                     const MaterialSpec& material, float tiles) {
    PolyMesh m;
    m.name = name;
    m.materials = {material};
    std::vector<std::vector<std::uint32_t>> ring(static_cast<std::size_t>(rings));
    for (int k = 0; k < rings; ++k) {
        const float e = 0.5f * kPi * static_cast<float>(k) / static_cast<float>(rings);
        for (int i = 0; i < segments; ++i) {
            const float a = 2 * kPi * static_cast<float>(i) / static_cast<float>(segments);
            ring[k].push_back(m.AddPosition({radius * Cos(e) * Cos(a), radius * Cos(e) * Sin(a),
                                             height * Sin(e)}));
        }
    }
    const std::uint32_t apex = m.AddPosition({0, 0, height});
    auto corner = [&](std::uint32_t p) {
        const Vector3& q = m.positions[p];
        return Corner{p, Vector3(-q.x / radius, -q.y / radius, -q.z / height).Normalised(),
                      TexCoord{(q.x / radius + 1) * 0.5f * tiles, (q.y / radius + 1) * 0.5f * tiles}};
    };
    // Wound clockwise as seen from outside: the inside is the front.
    for (int i = 0; i < segments; ++i) {
        const int j = (i + 1) % segments;
        for (int k = 0; k + 1 < rings; ++k)
            m.polygons.push_back(
                Polygon{{corner(ring[k][j]), corner(ring[k][i]), corner(ring[k + 1][i]), corner(ring[k + 1][j])}, 0});
        m.polygons.push_back(Polygon{{corner(ring[rings - 1][j]), corner(ring[rings - 1][i]), corner(apex)}, 0});
    }
    return m;
}

PolyMesh RibbonMesh(const std::string& name, const std::vector<Vector3>& points, float width,
                    const MaterialSpec& material, float unitsPerTile) {
    PolyMesh m;
    m.name = name;
    m.materials = {material};
    std::vector<std::uint32_t> left, right;
    std::vector<float> along;
    float distance = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const Vector3 prev = points[k == 0 ? 0 : k - 1], next = points[std::min(k + 1, points.size() - 1)];
        const Vector3 t = Vector3(next.x - prev.x, next.y - prev.y, 0).Normalised();
        const Vector3 n(-t.y * width / 2, t.x * width / 2, 0);
        if (k > 0) distance += points[k].Distance(points[k - 1]);
        left.push_back(m.AddPosition(points[k] + n));
        right.push_back(m.AddPosition(points[k] - n));
        along.push_back(distance / unitsPerTile);
    }
    for (std::size_t k = 0; k + 1 < points.size(); ++k)
        m.AddFlat({right[k], right[k + 1], left[k + 1], left[k]},
                  {{1, along[k]}, {1, along[k + 1]}, {0, along[k + 1]}, {0, along[k]}}, 0);
    return m;
}


MeshSpec ManyMaterialsMesh(const std::string& name, std::uint32_t count, const MaterialSpec& material) {
    MeshSpec m;
    m.name = name;
    m.materials.assign(count, material);
    for (std::uint32_t i = 0; i < 3; ++i) {
        m.positions.push_back({static_cast<float>(i), static_cast<float>(i % 2), 0});
        m.vertices.push_back({i});
    }
    m.indices = {0, 1, 2};
    m.polygons.resize(count);
    for (std::uint32_t p = 0; p < count; ++p) {
        m.polygons[p].corners = 3;
        m.polygons[p].material = count - 1 - p;
    }
    return m;
}

}  // namespace wvwrite
