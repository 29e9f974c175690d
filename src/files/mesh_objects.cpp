#include "files/mesh_objects.h"

#include <algorithm>
#include <cstring>

#include "diag/log.h"
#include "diag/notices.h"

namespace {

// Plain decoding checks every word it reads; the fast one checks each array
// once (Holds) and then reads its words without a check. Set by DecodeMesh
// for the length of one decode and cleared at its end.
bool gPlainDecode = false;

// The words of a block. operator[] reads 0 past its end; At reads without a
// check, for words a Holds() check has already vouched for (checked all the
// same in a plain decode).
class Words {
public:
    explicit Words(const BlockRecord* block) {
        if (block) {
            bytes_ = block->data.data();
            count_ = block->data.size() / 4;
        }
    }
    std::uint32_t operator[](std::uint64_t k) const { return k < count_ ? LoadU32(bytes_ + 4 * k) : 0; }
    std::uint32_t At(std::uint64_t k) const { return gPlainDecode ? (*this)[k] : LoadU32(bytes_ + 4 * k); }
    float F(std::uint64_t k) const { return k < count_ ? LoadF32(bytes_ + 4 * k) : 0.0f; }
    float FAt(std::uint64_t k) const { return gPlainDecode ? F(k) : LoadF32(bytes_ + 4 * k); }
    Vector3 V(std::uint64_t k) const { return {F(k), F(k + 1), F(k + 2)}; }
    Vector3 VAt(std::uint64_t k) const { return {FAt(k), FAt(k + 1), FAt(k + 2)}; }
    std::uint64_t Count() const { return count_; }
    bool Holds(std::uint64_t words) const { return words <= count_; }

private:
    const std::uint8_t* bytes_ = nullptr;
    std::uint64_t count_ = 0;
};

void Unexpected(const char* text) { ShowNotice(platform::Owner::MainWindow, text, "Unexpected Wildgrove Event"); }

void DecodeMaterials(const BlockFile& file, MeshData& md, BlockHandle mappingHandle) {
    md.hasMapping = mappingHandle != 0;
    if (!md.hasMapping) return;
    const Words mapping(file.GetBlock(mappingHandle));
    const BlockHandle materialHandle = mapping[0];
    if (materialHandle == 0) Unexpected("Mapping but no material");
    const Words material(file.GetBlock(materialHandle));
    const std::uint64_t n = material[0];
    if (material.Holds(1 + 6 * n + 5)) {
        md.materials.resize(static_cast<std::size_t>(n));
        for (std::uint64_t j = 0; j < n; ++j)
            md.materials[j] = {static_cast<std::uint32_t>(j), material.At(1 + j), material.At(1 + n + j),
                               material.At(1 + 2 * n + j)};
        for (int k = 0; k < 5; ++k) md.Lighting[k] = static_cast<std::int32_t>(material.At(1 + 6 * n + k));
    }
    if (md.geometryType != 1) return;
    const std::uint64_t nt = mapping[1], nf = mapping[2];
    if (!mapping.Holds(3 + 2 * nt + 4 * nf)) return;  // counts it cannot hold: no texture vertices
    md.positions.assign(static_cast<std::size_t>(nt), Vector3{});
    md.normals.assign(static_cast<std::size_t>(nt), Vector3{});
    md.texcoords.resize(static_cast<std::size_t>(nt));
    for (std::uint64_t i = 0; i < nt; ++i) md.texcoords[i] = {mapping.FAt(3 + 2 * i), mapping.FAt(4 + 2 * i)};
    md.triangles.resize(static_cast<std::size_t>(nf));
    md.triangleMaterial.resize(static_cast<std::size_t>(nf));
    const std::uint64_t faces = 3 + 2 * nt, materials = faces + 3 * nf;
    for (std::uint64_t t = 0; t < nf; ++t) {
        for (int k = 0; k < 3; ++k) md.triangles[t][k] = mapping.At(faces + 3 * t + k);
        md.triangleMaterial[t] = mapping.At(materials + t);
    }
}

void DecodeGeometry1(const BlockFile& file, MeshData& md, BlockHandle geometryHandle) {
    const Words g(file.GetBlock(geometryHandle));
    const std::uint64_t nv = g[3], nf = g[4];
    if (!g.Holds(10 + 3 * nv + 3 * nf)) return;  // too short for its counts: no geometry
    if (!md.hasMapping) {
        md.triangles.assign(static_cast<std::size_t>(nf), {0, 0, 0});
        md.triangleMaterial.assign(static_cast<std::size_t>(nf), 0);
        md.positions.assign(static_cast<std::size_t>(3 * nf), Vector3{});
        md.texcoords.assign(static_cast<std::size_t>(3 * nf), {0.0f, 0.0f});
    } else if (nf != md.triangles.size()) {
        Unexpected("type1 NumFaces not match");
        return;
    }
    if (md.positions.empty()) {
        md.positions.assign(3 * md.triangles.size(), Vector3{});
        md.texcoords.assign(3 * md.triangles.size(), {0.0f, 0.0f});
    }
    const std::size_t vertexCount = md.positions.size();
    md.normals.assign(vertexCount, Vector3{1.0f, 1.0f, 1.0f});
    std::fill(md.positions.begin(), md.positions.end(), Vector3{});
    // There are nf triangles here, and the block holds their nf faces.
    const std::uint64_t faces = 10 + 3 * nv;
    for (std::size_t t = 0; t < md.triangles.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t face = g.At(faces + 3 * t + k);
            if (!md.hasMapping) md.triangles[t][k] = face;
            const std::int64_t vertex = md.triangles[t][k];
            bool ok = true;
            if (vertex < 0 || static_cast<std::uint64_t>(vertex) >= vertexCount) {
                Unexpected("face overrun");
                ok = false;
            }
            if (face >= nv) {
                Unexpected("face overrun");
                ok = false;
            }
            if (ok) md.positions[static_cast<std::size_t>(vertex)] = g.VAt(10 + 3 * std::uint64_t{face});
        }
    }
}

void Triangulate(MeshData& md, const std::vector<std::int64_t>& corners, std::uint32_t material) {
    const std::int64_t n = static_cast<std::int64_t>(corners.size());
    if (n < 3) return;
    auto emit = [&](std::int64_t a, std::int64_t b, std::int64_t c) {
        md.triangles.push_back({corners[a], corners[b], corners[c]});
        md.triangleMaterial.push_back(material);
    };
    // Strip order: (k, k+1, n-1-k), then (k+1, n-2-k, n-1-k), meeting in the middle.
    const std::int64_t half = (n - 1) / 2;
    for (std::int64_t k = 0;; ++k) {
        emit(k, k + 1, n - 1 - k);
        if (k + 1 >= half && (n % 2) == 1) break;
        emit(k + 1, n - 2 - k, n - 1 - k);
        if (!(k + 1 < half)) break;
    }
}

// Buffers of the polygon pass, kept from mesh to mesh.
struct PolygonScratch {
    std::vector<std::uint32_t> order, start;
    std::vector<std::int64_t> corners;
};

PolygonScratch& Scratch() {
    static PolygonScratch scratch;
    return scratch;
}

void DecodeGeometry2(const BlockFile& file, MeshData& md, BlockHandle geometryHandle) {
    const Words g(file.GetBlock(geometryHandle));
    md.PivotOffset = g.V(3);
    const std::uint64_t nv = g[6], nn = g[7], ni = g[8], np = g[10];
    const std::uint64_t positions = 11, records = positions + 3 * nv, indices = records + 8 * nn,
                        polygons = indices + ni;
    if (!g.Holds(polygons + 10 * np)) return;  // too short for its counts: no geometry
    // From here every array lies inside the block: positions, vertex
    // records, the index list and the polygon records.
    std::int64_t expected = 0;
    for (std::uint64_t p = 0; p < np; ++p) expected += static_cast<std::int64_t>(g.At(polygons + 10 * p)) - 2;
    if (nn % 3 != 0) {
        Unexpected("Unexpected number of normals");
        return;
    }
    md.positions.resize(static_cast<std::size_t>(nn));
    md.normals.resize(static_cast<std::size_t>(nn));
    md.texcoords.resize(static_cast<std::size_t>(nn));
    for (std::uint64_t i = 0; i < nn; ++i) {
        const std::uint64_t r = records + 8 * i;
        const std::uint32_t position = g.At(r);
        md.positions[i] = position < nv ? g.VAt(positions + 3 * std::uint64_t{position}) : Vector3{};
        md.normals[i] = g.VAt(r + 1);
        md.texcoords[i] = {g.FAt(r + 4), g.FAt(r + 5)};
        if (g.At(r + 6) != 1 || g.At(r + 7) != 0) Unexpected("New values in geom2 normal list");
    }
    md.commonI3 = np ? g.At(polygons + 9) : 0;

    // Polygons grouped by material (0, 1, ... in stored order within each;
    // without materials all of them in stored order). One counting pass, so
    // a file with many materials and many polygons costs no more than one
    // with few; polygons whose material is outside the list are never taken.
    PolygonScratch& scratch = Scratch();
    const std::uint64_t n = md.materials.size();
    std::vector<std::uint32_t>& order = scratch.order;
    order.clear();
    if (n == 0) {
        for (std::uint64_t p = 0; p < np; ++p) order.push_back(static_cast<std::uint32_t>(p));
    } else {
        std::vector<std::uint32_t>& start = scratch.start;
        start.assign(static_cast<std::size_t>(n) + 1, 0);
        for (std::uint64_t p = 0; p < np; ++p)
            if (const std::uint32_t m = g.At(polygons + 10 * p + 6); m < n) ++start[m + 1];
        for (std::size_t m = 0; m < n; ++m) start[m + 1] += start[m];
        order.resize(start[static_cast<std::size_t>(n)]);
        for (std::uint64_t p = 0; p < np; ++p)
            if (const std::uint32_t m = g.At(polygons + 10 * p + 6); m < n) order[start[m]++] = static_cast<std::uint32_t>(p);
    }

    // Real polygons share out the index list, so all their corners together
    // are fewer than the block's words. A file claiming more (counts of
    // millions, or every polygon spanning the whole list) would otherwise
    // size the triangle list by its claims: polygons past that budget are
    // not taken, and the shortfall is reported as any other.
    std::uint64_t cornerBudget = g.Count();
    if (expected > 0 && static_cast<std::uint64_t>(expected) <= cornerBudget) {
        md.triangles.reserve(static_cast<std::size_t>(expected));
        md.triangleMaterial.reserve(static_cast<std::size_t>(expected));
    }
    std::int64_t emitted = 0;
    std::vector<std::int64_t>& corners = scratch.corners;
    for (const std::uint32_t p : order) {
        const std::uint64_t rec = polygons + 10 * std::uint64_t{p};
        const std::uint32_t material = g.At(rec + 6);
        const std::uint64_t count = g.At(rec), first = g.At(rec + 1);
        if (count > cornerBudget) break;
        cornerBudget -= count;
        if (g.At(rec + 7) != 0 && g.At(rec + 7) != 4) Unexpected("New value for geom2 tex.flags");
        if (g.At(rec + 8) != 0) Unexpected("New value for geom2 tex.i2");
        if (g.At(rec + 9) != md.commonI3) Unexpected("Varying values for geom2 tex.i3");
        corners.resize(static_cast<std::size_t>(count));
        for (std::uint64_t c = 0; c < count; ++c) {
            // A corner past the index list has no entry: it is out of range.
            const std::uint64_t at = first + c;
            corners[c] = at < ni ? std::int64_t{static_cast<std::int32_t>(g.At(indices + at))} : -1;
            if (corners[c] < 0 || static_cast<std::uint64_t>(corners[c]) >= nn) Unexpected("index over");
        }
        const std::size_t before = md.triangles.size();
        Triangulate(md, corners, material);
        emitted += static_cast<std::int64_t>(md.triangles.size() - before);
    }
    if (emitted != expected) Unexpected("Can't write type 1 yet");
}

}  // namespace

std::uint32_t GeometryTypeOf(const BlockFile& file, BlockHandle handle) {
    const Words main(file.GetBlock(handle));
    if (main[2] != 0) {
        const BlockRecord* mapping = file.GetBlock(main[2]);
        return (mapping && mapping->size() == 4) ? 2 : 1;
    }
    return Words(file.GetBlock(main[1]))[1] == 1 ? 2 : 1;
}

void DecodeMesh(const BlockFile& file, BlockHandle handle, MeshData& md, bool plain) {
    gPlainDecode = plain;
    // Cleared, not freed: a loader decoding mesh after mesh reuses the room.
    md.name.clear();
    md.handle = handle;
    md.geometryType = 1;
    md.PivotOffset = {};
    md.positions.clear();
    md.texcoords.clear();
    md.normals.clear();
    md.triangles.clear();
    md.triangleMaterial.clear();
    md.hasMapping = false;
    md.materials.clear();
    const std::int32_t lighting[5] = {50, 50, 50, 100, 0};
    std::copy(std::begin(lighting), std::end(lighting), md.Lighting);
    md.commonI3 = 0;

    const BlockRecord* main = file.GetBlock(handle);
    const char* name = main ? main->GetName() : nullptr;
    if (name) md.name.assign(name, strnlen(name, 64));
    ConsolePrintf("\nLoading object '%s'", md.name.c_str());
    const Words words(main);
    if (main && words[0] != main->nameSymbol) Unexpected("Main symbol handle's don't match");
    md.geometryType = GeometryTypeOf(file, handle);
    DecodeMaterials(file, md, words[2]);
    if (words[1] == 0) {
        Unexpected("Main block has no geometry");
    } else if (md.geometryType == 1) {
        DecodeGeometry1(file, md, words[1]);
    } else {
        DecodeGeometry2(file, md, words[1]);
    }
    gPlainDecode = false;
}

MeshData DecodeMesh(const BlockFile& file, BlockHandle handle) {
    MeshData md;
    DecodeMesh(file, handle, md);
    return md;
}
