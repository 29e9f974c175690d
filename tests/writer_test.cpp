// The level writers, checked by reading their bytes back at the offsets the
// file formats define, and the demo and bench levels as a viewer loads them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "files/load_sequence.h"
#include "files/texture_database.h"
#include "headless/headless_level.h"
#include "math/matrix3.h"
#include "scene/scene_model.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/mesh_builder.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/value_table_builder.h"

namespace {

using wvwrite::MaterialSpec;
using wvwrite::MeshBlocks;
using wvwrite::MeshSpec;
using wvwrite::PolyMesh;
using wvwrite::Property;

// ------------------------------------------------------------ byte reading

// Bounded little-endian reads that remember every byte they touched, so a
// test can tell which bytes no reader looks at.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes), touched_(bytes.size(), false) {}

    bool ok() const { return ok_; }
    std::size_t size() const { return bytes_.size(); }
    bool Touched(std::size_t i) const { return touched_[i]; }

    std::uint32_t U32(std::size_t o) { return Take(o, 4) ? LoadU32(bytes_.data() + o) : 0; }
    std::int32_t I32(std::size_t o) { return static_cast<std::int32_t>(U32(o)); }
    std::int16_t I16(std::size_t o) {
        return Take(o, 2) ? static_cast<std::int16_t>(bytes_[o] | (bytes_[o + 1] << 8)) : 0;
    }
    std::uint8_t U8(std::size_t o) { return Take(o, 1) ? bytes_[o] : 0; }
    float F32(std::size_t o) {
        const std::uint32_t bits = U32(o);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // A zero-terminated string at o; end is set past its zero.
    std::string CStr(std::size_t o, std::size_t& end) {
        std::string s;
        for (end = o; Take(end, 1) && bytes_[end] != 0; ++end) s.push_back(static_cast<char>(bytes_[end]));
        ++end;
        return s;
    }

private:
    bool Take(std::size_t o, std::size_t n) {
        if (o > bytes_.size() || bytes_.size() - o < n) return ok_ = false;
        for (std::size_t i = o; i < o + n; ++i) touched_[i] = true;
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::vector<bool> touched_;
    bool ok_ = true;
};

struct ReadEntry {
    int kind = 0;
    std::uint32_t handle = 0;
    std::size_t offset = 0, size = 0;
    bool b = false;
    std::int32_t i = 0, count = 0;
    float f = 0;
    std::string s;
    std::vector<std::uint32_t> members;
};

struct ReadTable {
    std::vector<std::pair<std::string, std::uint32_t>> names;
    std::int32_t storedCount = 0;
    std::vector<ReadEntry> entries;
    std::size_t end = 0;

    std::string NameOf(std::uint32_t handle) const {
        std::string out;
        for (const auto& [n, h] : names)
            if (h == handle) out = n;  // the last record of a handle counts
        return out;
    }
};

// The ".valuetable" layout: N at 6, names from 20, 5 bytes, M, 9 bytes,
// entries with the name handle at 11 and the payload at 27, then 8 bytes.
ReadTable ReadValueTable(Reader& r) {
    ReadTable t;
    const std::uint32_t n = r.U32(6);
    std::size_t o = 20;
    for (std::uint32_t k = 0; k < n && r.ok(); ++k) {
        std::size_t end = 0;
        std::string name = r.CStr(o, end);
        t.names.emplace_back(name, r.U32(end));
        o = end + 8;
    }
    t.storedCount = r.I32(o + 5);
    o += 18;
    for (std::int32_t k = 0; k < t.storedCount && r.ok(); ++k) {
        ReadEntry e;
        e.offset = o;
        e.kind = r.I16(o);
        e.handle = r.U32(o + 11);
        std::size_t p = o + 27;
        switch (e.kind) {
            case wvwrite::kValueBool: e.b = r.U8(p) != 0; p += 1; break;
            case wvwrite::kValueInt: e.i = r.I32(p); p += 4; break;
            case wvwrite::kValueFloat: e.f = r.F32(p); p += 4; break;
            case wvwrite::kValueString: e.s = r.CStr(p, p); break;
            case wvwrite::kValueList:
                e.count = r.I32(p);
                p += 4;
                for (std::int32_t m = 0; m < e.count; ++m, p += 8) e.members.push_back(r.U32(p));
                break;
            default: break;
        }
        o = p + 8;
        e.size = o - e.offset;
        t.entries.push_back(e);
    }
    t.end = o;
    return t;
}

std::vector<std::uint32_t> Words(const BlockRecord& b) {
    std::vector<std::uint32_t> w(b.data.size() / 4);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = LoadU32(b.data.data() + 4 * k);
    return w;
}

float AsFloat(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The geometry type a reader derives from the blocks alone.
int GeometryTypeOf(const BlockFile& file, BlockHandle main) {
    const std::vector<std::uint32_t> m = Words(*file.GetBlock(main));
    if (m[2] != 0) return file.GetBlock(m[2])->size() == 4 ? 2 : 1;
    return Words(*file.GetBlock(m[1]))[1] == 1 ? 2 : 1;
}

// ------------------------------------------------------------ value table

struct EntryCase {
    const char* what;
    std::function<int(wvwrite::ValueTableBuilder&)> add;
    int kind;
    std::size_t size;  // 27 + payload + 8
    std::function<void(const ReadEntry&)> check;
};

TEST(ValueTableBuilderTest, EveryKindLandsAtItsOffsetsAndNoReaderTouchesTheGaps) {
    const std::uint8_t filler = 0xA5;
    wvwrite::ValueTableBuilder v(filler);
    const std::uint32_t loose = v.UnnamedHandle();
    const std::vector<EntryCase> cases = {
        {"bool true", [](auto& b) { return b.AddBool("Visible", true); }, 0x101, 36, [](auto& e) { EXPECT_TRUE(e.b); }},
        {"bool false", [](auto& b) { return b.AddBool("Unlit", false); }, 0x101, 36, [](auto& e) { EXPECT_FALSE(e.b); }},
        {"empty", [](auto& b) { return b.AddEmpty("Tag"); }, 0x102, 35, [](auto&) {}},
        {"int", [](auto& b) { return b.AddInt("Height", -7); }, 0x103, 39, [](auto& e) { EXPECT_EQ(e.i, -7); }},
        {"float", [](auto& b) { return b.AddFloat("Diffuse", 0.9f); }, 0x104, 39, [](auto& e) { EXPECT_EQ(e.f, 0.9f); }},
        {"string", [](auto& b) { return b.AddString("Class", "CSky"); }, 0x105, 40,
         [](auto& e) { EXPECT_EQ(e.s, "CSky"); }},
        {"empty string", [](auto& b) { return b.AddString("Mesh", ""); }, 0x105, 36, [](auto& e) { EXPECT_EQ(e.s, ""); }},
        {"list", [](auto& b) { return b.AddList("Props", {0, 3}); }, 0x106, 55,
         [](auto& e) { EXPECT_EQ(e.members, (std::vector<std::uint32_t>{0, 3})); }},
        {"negative count", [&](auto& b) { return b.AddRawList(b.NameHandle("Odd"), -2, {}); }, 0x106, 39,
         [](auto& e) { EXPECT_EQ(e.count, -2); EXPECT_TRUE(e.members.empty()); }},
        {"zero count", [&](auto& b) { return b.AddRawList(b.NameHandle("Odd"), 0, {}); }, 0x106, 39,
         [](auto& e) { EXPECT_TRUE(e.members.empty()); }},
        {"member out of range", [&](auto& b) { return b.AddRawList(b.NameHandle("Odd"), 1, {999}); }, 0x106, 47,
         [](auto& e) { EXPECT_EQ(e.members, std::vector<std::uint32_t>{999}); }},
        {"unknown kind", [&](auto& b) { return b.AddEntry(0x777, loose, {}); }, 0x777, 35,
         [&](auto& e) { EXPECT_EQ(e.handle, loose); }},
        {"property", [](auto& b) { return b.AddProperty(Property::Int("R", 214)); }, 0x103, 39,
         [](auto& e) { EXPECT_EQ(e.i, 214); }},
    };
    for (const EntryCase& c : cases) c.add(v);

    const std::vector<std::uint8_t> bytes = v.Bytes();
    Reader r(bytes);
    const ReadTable t = ReadValueTable(r);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(t.entries.size(), cases.size());
    EXPECT_EQ(t.end, bytes.size());
    for (std::size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(cases[k].what);
        const ReadEntry& e = t.entries[k];
        EXPECT_EQ(e.kind, cases[k].kind);
        EXPECT_EQ(e.size, cases[k].size);
        EXPECT_EQ(e.offset, v.EntryOffset(static_cast<int>(k)));
        cases[k].check(e);
    }
    EXPECT_EQ(t.NameOf(t.entries[0].handle), "Visible");
    EXPECT_EQ(t.NameOf(t.entries[5].handle), "Class");
    EXPECT_EQ(t.NameOf(loose), "");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!r.Touched(i)) {
            ASSERT_EQ(bytes[i], filler) << "byte " << i << " is neither read nor filler";
        }
}

TEST(ValueTableBuilderTest, NamesGetOneRecordEachUnlessAddedByHand) {
    wvwrite::ValueTableBuilder v;
    const std::uint32_t cls = v.NameHandle("Class");
    const std::uint32_t height = v.NameHandle("Height");
    const std::uint32_t loose = v.UnnamedHandle();
    EXPECT_EQ(v.NameHandle("Class"), cls);
    v.AddNameRecord("Alias", cls);
    const std::uint32_t later = v.NameHandle("Later");
    EXPECT_EQ(v.NameRecordCount(), 4u);

    const std::vector<std::uint8_t> bytes = v.Bytes();
    Reader r(bytes);
    const ReadTable t = ReadValueTable(r);
    ASSERT_TRUE(r.ok());
    const std::vector<std::pair<std::string, std::uint32_t>> expected = {
        {"Class", cls}, {"Height", height}, {"Alias", cls}, {"Later", later}};
    EXPECT_EQ(t.names, expected);
    EXPECT_EQ(t.NameOf(cls), "Alias");  // a reader keeps the last text of a handle
    const std::set<std::uint32_t> handles = {cls, height, later, loose};
    EXPECT_EQ(handles.size(), 4u) << "the unnamed handle must stay unnamed";
    EXPECT_EQ(t.storedCount, 0);
    EXPECT_EQ(bytes.size(), t.end);
}

TEST(ValueTableBuilderTest, TablesAreListsOfTheirPropertiesAndCountsCanLie) {
    wvwrite::ValueTableBuilder v;
    const int first = v.AddTable({Property::String("Class", "CStartTrigger"), Property::Float("FogPower", 1.5f),
                                  Property::Int("R", 10), Property::Bool("Visible", false), Property::Empty("Mark")});
    const int second = v.AddTable({Property::String("Class", "Player")}, "PlayerTable");
    v.SetStoredEntryCount(-1);

    std::vector<std::uint8_t> bytes = v.Bytes();
    Reader none(bytes);
    const ReadTable empty = ReadValueTable(none);
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_EQ(empty.storedCount, -1);

    // The same table with the true count.
    v.SetStoredEntryCount(v.EntryCount());
    bytes = v.Bytes();
    Reader r(bytes);
    const ReadTable t = ReadValueTable(r);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(t.entries.size(), 8u);
    EXPECT_EQ(first, 5);
    EXPECT_EQ(second, 7);
    const ReadEntry& list = t.entries[5];
    EXPECT_EQ(list.kind, wvwrite::kValueList);
    EXPECT_EQ(list.members, (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
    const std::vector<std::pair<std::string, int>> members = {
        {"Class", 0x105}, {"FogPower", 0x104}, {"R", 0x103}, {"Visible", 0x101}, {"Mark", 0x102}};
    for (std::size_t k = 0; k < members.size(); ++k) {
        EXPECT_EQ(t.NameOf(t.entries[list.members[k]].handle), members[k].first);
        EXPECT_EQ(t.entries[list.members[k]].kind, members[k].second);
    }
    EXPECT_EQ(t.entries[0].s, "CStartTrigger");
    EXPECT_EQ(t.NameOf(t.entries[7].handle), "PlayerTable");
    EXPECT_EQ(t.entries[7].members, std::vector<std::uint32_t>{6});
}

// ------------------------------------------------------------ region

TEST(RegionBuilderTest, RecordsLieEvery44BytesWithTheirTables) {
    wvwrite::SceneWriter scene;
    wvwrite::ValueTableBuilder values;
    wvwrite::RegionBuilder region;
    region.Place(scene, values, 0x80000005, "tree_001", {{1, 2, 3}, {0.1f, 0.2f, 0.3f}, 1.5f},
                 {Property::String("Class", "CInstance"), Property::Bool("AlwaysFace", true)});
    region.Place(scene, values, 0x80000006, "rock", {{-4, 5, -6}}, {});
    region.Place(scene, values, 0x80000005, "tree_001", {{7, 8, 9}, {0, 0, -1}, 0.5f}, {Property::Int("Height", 2)});
    region.Add({0x12345678, 0xABCDEF00, {}, {}, 2.0f, 77, 3});

    const std::vector<std::uint8_t> bytes = region.Bytes();
    ASSERT_EQ(bytes.size(), 4 + 44 * 4u);
    Reader r(bytes);
    EXPECT_EQ(r.U32(0), 4u);
    struct Expect {
        std::uint32_t object;
        const char* name;
        std::array<float, 7> floats;  // position, rotation, scale
        std::uint32_t table, hasTable;
    };
    const Expect expected[] = {
        {0x80000005, "tree_001", {1, 2, 3, 0.1f, 0.2f, 0.3f, 1.5f}, 2, 1},
        {0x80000006, "rock", {-4, 5, -6, 0, 0, 0, 1}, 0, 0},
        {0x80000005, "tree_001", {7, 8, 9, 0, 0, -1, 0.5f}, 4, 1},
        {0x12345678, nullptr, {0, 0, 0, 0, 0, 0, 2}, 77, 3},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const std::size_t o = 4 + 44 * i;
        EXPECT_EQ(r.U32(o), expected[i].object);
        if (expected[i].name) {
            EXPECT_STREQ(scene.file().GetSymbolName(r.U32(o + 4)), expected[i].name);
        }
        for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(r.F32(o + 8 + 4 * k), expected[i].floats[k]);
        EXPECT_EQ(r.U32(o + 36), expected[i].table);
        EXPECT_EQ(r.U32(o + 40), expected[i].hasTable);
    }
    EXPECT_EQ(r.U32(4 + 4), r.U32(4 + 88 + 4)) << "one symbol per distinct name";
    EXPECT_EQ(r.U32(4 + 132 + 4), 0xABCDEF00u);

    // The table indices name List entries of the value table.
    const std::vector<std::uint8_t> vt = values.Bytes();
    Reader vr(vt);
    const ReadTable t = ReadValueTable(vr);
    ASSERT_EQ(t.entries.size(), 5u);
    EXPECT_EQ(t.entries[2].kind, wvwrite::kValueList);
    EXPECT_EQ(t.entries[2].members, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(t.entries[4].members, std::vector<std::uint32_t>{3});

    region.SetStoredCount(9);
    const std::vector<std::uint8_t> lying = region.Bytes();
    EXPECT_EQ(LoadU32(lying.data()), 9u);
    EXPECT_EQ(lying.size(), bytes.size());
    const BlockHandle h = region.AddTo(scene);
    EXPECT_EQ(scene.file().FindBlockHandleByName(".region"), h);
    EXPECT_EQ(scene.file().GetBlock(h)->data, lying);
}

// ------------------------------------------------------------ meshes

// A triangle, a quad and a pentagon over shared positions, two materials.
PolyMesh SampleMesh() {
    PolyMesh m;
    m.name = "sample";
    m.materials = {{"tex\\a", ".bmp", ".tga"}, {"tex\\b", "_1", "_2"}};
    m.lighting = {1, 2, 3, 4, -5};
    m.pivot = {0.5f, -0.25f, 2.0f};
    for (const Vector3& p : {Vector3(0, 0, 0), Vector3(2, 0, 0), Vector3(2, 2, 0), Vector3(0, 2, 0), Vector3(3, 1, 0),
                             Vector3(4, 0, 1), Vector3(5, 1, 1), Vector3(4, 3, 1)})
        m.AddPosition(p);
    m.AddFlat({0, 1, 2, 3}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0);
    m.AddFlat({1, 4, 2}, {{0, 0}, {0.5f, 0.5f}, {0, 1}}, 1);
    m.AddFlat({4, 5, 6, 7, 2}, {{0, 0}, {1, 0}, {2, 1}, {1, 2}, {0, 1}}, 1);
    return m;
}

struct WrittenMesh {
    mutable wvwrite::SceneWriter scene;  // its file() is not const
    MeshBlocks blocks;
    std::vector<std::uint32_t> main, geometry, mapping, material;

    explicit WrittenMesh(const MeshSpec& spec) {
        wvwrite::WriteMesh(scene, spec, &blocks);
        const BlockFile& f = scene.file();
        main = Words(*f.GetBlock(blocks.main));
        if (blocks.geometry) geometry = Words(*f.GetBlock(blocks.geometry));
        if (blocks.mapping) mapping = Words(*f.GetBlock(blocks.mapping));
        if (blocks.material) material = Words(*f.GetBlock(blocks.material));
    }
    std::string Symbol(std::uint32_t h) const {
        const char* s = scene.file().GetSymbolName(h);
        return s ? s : "<none>";
    }
};

// Sum over a face list of the triangles' vector areas, per material: the
// same for any triangulation of the same polygons with the same winding.
using Areas = std::map<std::uint32_t, Vector3>;
void AddArea(Areas& a, std::uint32_t material, const Vector3& p0, const Vector3& p1, const Vector3& p2) {
    a[material] += (p1 - p0).Cross(p2 - p0) * 0.5f;
}

void ExpectSameAreas(const Areas& a, const Areas& b) {
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [m, v] : a) {
        ASSERT_TRUE(b.count(m)) << m;
        const float tolerance = 1e-4f * (1.0f + v.Length());
        EXPECT_NEAR(v.x, b.at(m).x, tolerance);
        EXPECT_NEAR(v.y, b.at(m).y, tolerance);
        EXPECT_NEAR(v.z, b.at(m).z, tolerance);
    }
}

Areas PolygonAreas(const PolyMesh& m) {
    Areas a;
    for (const wvwrite::Polygon& p : m.polygons)
        for (std::size_t k = 1; k + 1 < p.corners.size(); ++k)
            AddArea(a, p.material, m.positions[p.corners[0].position], m.positions[p.corners[k].position],
                    m.positions[p.corners[k + 1].position]);
    return a;
}

// Corner order of the strip triangulation a reader applies to a polygon of
// n corners.
std::vector<std::array<std::size_t, 3>> StripTriangles(std::size_t n) {
    std::vector<std::array<std::size_t, 3>> out;
    if (n < 3) return out;
    const std::size_t half = (n - 1) / 2;
    for (std::size_t k = 0;; ++k) {
        out.push_back({k, k + 1, n - 1 - k});
        if (k + 1 >= half && n % 2 == 1) break;
        out.push_back({k + 1, n - 2 - k, n - 1 - k});
        if (k + 1 >= half) break;
    }
    return out;
}

// The same from a block-level mesh, triangulated as a reader does.
Areas SpecAreas(const MeshSpec& m) {
    Areas a;
    if (m.type == 1) {
        for (std::size_t f = 0; f < m.faces.size(); ++f)
            AddArea(a, m.faceMaterials[f], m.positions[m.faces[f].a], m.positions[m.faces[f].b], m.positions[m.faces[f].c]);
        return a;
    }
    for (const wvwrite::PolygonRecord& p : m.polygons) {
        auto at = [&](std::size_t k) { return m.positions[m.vertices[m.indices[p.first + k]].position]; };
        for (const auto& t : StripTriangles(p.corners)) AddArea(a, p.material, at(t[0]), at(t[1]), at(t[2]));
    }
    return a;
}

TEST(MeshBuilderTest, MainAndMaterialBlocksHoldTheirWords) {
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        const WrittenMesh w(wvwrite::ToMeshSpec(SampleMesh(), type));
        const BlockRecord& main = *w.scene.file().GetBlock(w.blocks.main);
        EXPECT_EQ(main.type, kMeshBlockType);
        EXPECT_STREQ(main.GetName(), "sample");
        EXPECT_EQ(w.main, (std::vector<std::uint32_t>{main.nameSymbol, w.blocks.geometry, w.blocks.mapping}));
        EXPECT_NE(w.blocks.geometry, 0u);
        EXPECT_NE(w.blocks.mapping, 0u);
        EXPECT_EQ(w.mapping[0], w.blocks.material);

        const std::vector<std::uint32_t>& m = w.material;
        const std::size_t n = 2;
        ASSERT_EQ(m.size(), 1 + 6 * n + 5);
        EXPECT_EQ(m[0], n);
        const char* names[2][3] = {{"tex\\a", ".bmp", ".tga"}, {"tex\\b", "_1", "_2"}};
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t list = 0; list < 3; ++list) EXPECT_EQ(w.Symbol(m[1 + list * n + j]), names[j][list]);
        for (std::size_t k = 1 + 3 * n; k < 1 + 6 * n; ++k) EXPECT_EQ(m[k], 0u);
        const std::vector<std::uint32_t> lighting(m.begin() + 1 + 6 * n, m.end());
        EXPECT_EQ(lighting, (std::vector<std::uint32_t>{1, 2, 3, 4, static_cast<std::uint32_t>(-5)}));
    }
}

TEST(MeshBuilderTest, Type1BlocksFollowTheirLayout) {
    const PolyMesh poly = SampleMesh();
    const WrittenMesh w(wvwrite::ToMeshSpec(poly, 1));
    const std::vector<std::uint32_t>& g = w.geometry;
    const std::vector<std::uint32_t>& mp = w.mapping;
    const std::uint32_t nv = g[3], nf = g[4], nt = mp[1];
    EXPECT_NE(g[1], 1u);
    EXPECT_EQ(nv, poly.positions.size());
    EXPECT_EQ(nf, poly.TriangleCount());
    EXPECT_EQ(mp[2], nf);
    EXPECT_EQ(nt, 12u);  // a texture vertex per corner
    ASSERT_EQ(g.size(), 10 + 3 * nv + 3 * nf);
    ASSERT_EQ(mp.size(), 3 + 2 * nt + 4 * nf);
    for (std::uint32_t i = 0; i < nv; ++i)
        EXPECT_EQ(Vector3(AsFloat(g[10 + 3 * i]), AsFloat(g[11 + 3 * i]), AsFloat(g[12 + 3 * i])), poly.positions[i]);

    Areas areas;
    std::set<std::pair<float, float>> uvs;
    for (const wvwrite::Polygon& p : poly.polygons)
        for (const wvwrite::Corner& c : p.corners) uvs.insert({c.uv.u, c.uv.v});
    for (std::uint32_t f = 0; f < nf; ++f) {
        const std::uint32_t* face = &g[10 + 3 * nv + 3 * f];
        const std::uint32_t* tex = &mp[3 + 2 * nt + 3 * f];
        const std::uint32_t material = mp[3 + 2 * nt + 3 * nf + f];
        ASSERT_LT(material, 2u);
        for (int k = 0; k < 3; ++k) {
            ASSERT_LT(face[k], nv);
            ASSERT_LT(tex[k], nt);
            EXPECT_TRUE(uvs.count({AsFloat(mp[3 + 2 * tex[k]]), AsFloat(mp[4 + 2 * tex[k]])}));
        }
        AddArea(areas, material, poly.positions[face[0]], poly.positions[face[1]], poly.positions[face[2]]);
    }
    ExpectSameAreas(areas, PolygonAreas(poly));
}

TEST(MeshBuilderTest, Type2BlocksFollowTheirLayout) {
    const PolyMesh poly = SampleMesh();
    const WrittenMesh w(wvwrite::ToMeshSpec(poly, 2));
    EXPECT_EQ(w.mapping.size(), 1u) << "a type 2 mapping block is exactly 4 bytes";
    const std::vector<std::uint32_t>& g = w.geometry;
    EXPECT_EQ(g[1], 1u);
    EXPECT_EQ(Vector3(AsFloat(g[3]), AsFloat(g[4]), AsFloat(g[5])), poly.pivot);
    const std::uint32_t nv = g[6], nn = g[7], ni = g[8], np = g[10];
    EXPECT_EQ(g[9], 0u);
    EXPECT_EQ(nv, poly.positions.size());
    EXPECT_EQ(nn % 3, 0u);
    EXPECT_GE(nn, 12u);
    EXPECT_EQ(ni, 12u);
    EXPECT_EQ(np, 3u);
    ASSERT_EQ(g.size(), 11 + 3 * nv + 8 * nn + ni + 10 * np);

    const std::size_t records = 11 + 3 * nv, indices = records + 8 * nn, polygons = indices + ni;
    for (std::uint32_t k = 0; k < nn; ++k) {
        EXPECT_LT(g[records + 8 * k], nv);
        EXPECT_EQ(g[records + 8 * k + 6], 1u);
        EXPECT_EQ(g[records + 8 * k + 7], 0u);
    }
    Areas areas;
    for (std::uint32_t p = 0; p < np; ++p) {
        const std::uint32_t* rec = &g[polygons + 10 * p];
        const wvwrite::Polygon& src = poly.polygons[p];
        ASSERT_EQ(rec[0], src.corners.size());
        ASSERT_LE(rec[1] + rec[0], ni);
        for (int k = 2; k < 6; ++k) EXPECT_EQ(rec[k], 0u);
        EXPECT_EQ(rec[6], src.material);
        EXPECT_EQ(rec[7], 0u);
        EXPECT_EQ(rec[8], 0u);
        EXPECT_EQ(rec[9], g[polygons + 9]) << "tex.i3 is the same in every polygon";
        auto position = [&](std::size_t corner) {
            const std::uint32_t vertex = g[indices + rec[1] + corner];
            EXPECT_LT(vertex, nn);
            return poly.positions[g[records + 8 * vertex]];
        };
        for (std::size_t k = 0; k < src.corners.size(); ++k) {
            EXPECT_EQ(position(k), poly.positions[src.corners[k].position]);
            const std::uint32_t vertex = g[indices + rec[1] + k];
            EXPECT_EQ(AsFloat(g[records + 8 * vertex + 4]), src.corners[k].uv.u);
            EXPECT_EQ(AsFloat(g[records + 8 * vertex + 5]), src.corners[k].uv.v);
        }
        for (const auto& t : StripTriangles(rec[0])) AddArea(areas, rec[6], position(t[0]), position(t[1]), position(t[2]));
    }
    ExpectSameAreas(areas, PolygonAreas(poly));
}

TEST(MeshBuilderTest, GeometryTypeCanBeToldFromTheBlocks) {
    PolyMesh empty;
    empty.name = "empty";
    empty.materials = {{"x"}};
    struct Case {
        const char* what;
        PolyMesh mesh;
        int type;
        bool mapping;
    };
    const Case cases[] = {{"type 1", SampleMesh(), 1, true},      {"type 2", SampleMesh(), 2, true},
                          {"type 1 bare", SampleMesh(), 1, false}, {"type 2 bare", SampleMesh(), 2, false},
                          {"type 1 empty", empty, 1, true},       {"type 2 empty", empty, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeshSpec spec = wvwrite::ToMeshSpec(c.mesh, c.type);
        spec.hasMapping = c.mapping;
        const WrittenMesh w(spec);
        EXPECT_EQ(GeometryTypeOf(w.scene.file(), w.blocks.main), c.type);
        EXPECT_EQ(w.blocks.mapping != 0, c.mapping);
    }
}

TEST(MeshBuilderTest, MalformedMeshesAreWrittenAsAsked) {
    struct Case {
        const char* what;
        std::function<void(MeshSpec&)> change;
        std::function<void(const WrittenMesh&)> check;
    };
    const Case cases[] = {
        {"no mapping", [](MeshSpec& s) { s.hasMapping = false; },
         [](const WrittenMesh& w) {
             EXPECT_EQ(w.main[2], 0u);
             EXPECT_EQ(w.blocks.material, 0u);
             EXPECT_EQ(w.scene.file().FindBlockHandleByName("sample.materials"), kNotFound);
         }},
        {"mapping but no material", [](MeshSpec& s) { s.materialHandleZero = true; },
         [](const WrittenMesh& w) {
             EXPECT_EQ(w.mapping, std::vector<std::uint32_t>{0});
             EXPECT_EQ(w.blocks.material, 0u);
         }},
        {"no geometry", [](MeshSpec& s) { s.hasGeometry = false; },
         [](const WrittenMesh& w) {
             EXPECT_EQ(w.main[1], 0u);
             EXPECT_EQ(w.scene.file().GetBlockCount(), 3u);
         }},
        {"foreign main symbol", [](MeshSpec& s) { s.mainSymbol = 0x1234; },
         [](const WrittenMesh& w) { EXPECT_EQ(w.main[0], 0x1234u); }},
        {"stored counts", [](MeshSpec& s) {
             s.stored.positions = 1000;
             s.stored.vertices = 7;
             s.stored.indices = 2;
             s.stored.polygons = 0;
             s.stored.materials = 9;
         },
         [](const WrittenMesh& w) {
             EXPECT_EQ(w.geometry[6], 1000u);
             EXPECT_EQ(w.geometry[7], 7u);
             EXPECT_EQ(w.geometry[8], 2u);
             EXPECT_EQ(w.geometry[10], 0u);
             EXPECT_EQ(w.material[0], 9u);
             EXPECT_EQ(w.material.size(), 1 + 6 * 2 + 5u) << "the data itself stays as it is";
         }},
        {"odd records", [](MeshSpec& s) {
             s.vertices[0].one = 2;
             s.vertices[1].zero = 5;
             s.polygons[1].flags = 4;
             s.polygons[1].i2 = 1;
             s.polygons[2].i3 = 8;
             s.indices[0] = 0xFFFFFFFF;
         },
         [](const WrittenMesh& w) {
             const std::size_t records = 11 + 3 * w.geometry[6], indices = records + 8 * w.geometry[7];
             const std::size_t polygons = indices + w.geometry[8];
             EXPECT_EQ(w.geometry[records + 6], 2u);
             EXPECT_EQ(w.geometry[records + 8 + 7], 5u);
             EXPECT_EQ(w.geometry[indices], 0xFFFFFFFFu);
             EXPECT_EQ(w.geometry[polygons + 10 + 7], 4u);
             EXPECT_EQ(w.geometry[polygons + 10 + 8], 1u);
             EXPECT_EQ(w.geometry[polygons + 20 + 9], 8u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeshSpec spec = wvwrite::ToMeshSpec(SampleMesh(), 2);
        c.change(spec);
        c.check(WrittenMesh(spec));
    }

    // Type 1: mapping and geometry face counts that disagree.
    MeshSpec spec = wvwrite::ToMeshSpec(SampleMesh(), 1);
    spec.stored.mappingFaces = 2;
    spec.stored.faces = 3;
    spec.stored.texVertices = 40;
    const WrittenMesh w(spec);
    EXPECT_EQ(w.mapping[1], 40u);
    EXPECT_EQ(w.mapping[2], 2u);
    EXPECT_EQ(w.geometry[4], 3u);
}

Vector3 NewellNormal(const PolyMesh& m, const wvwrite::Polygon& p) {
    Vector3 n;
    for (std::size_t k = 0; k < p.corners.size(); ++k) {
        const Vector3& a = m.positions[p.corners[k].position];
        const Vector3& b = m.positions[p.corners[(k + 1) % p.corners.size()].position];
        n += a.Cross(b);
    }
    return n.Normalised();
}

Vector3 Centroid(const PolyMesh& m, const wvwrite::Polygon& p) {
    Vector3 c;
    for (const wvwrite::Corner& k : p.corners) c += m.positions[k.position];
    return c * (1.0f / static_cast<float>(p.corners.size()));
}

// Faces are wound counter-clockwise seen from their front; culling hides
// the back. Each shape's fronts must face where a viewer sees them.
TEST(MeshBuilderTest, ShapesFaceTheirViewers) {
    const MaterialSpec a{"a"}, b{"b"};
    enum Facing { kOutward, kInward, kUp, kNorth };
    struct Case {
        const char* what;
        PolyMesh mesh;
        Facing facing;
        Vector3 centre;
    };
    const Case cases[] = {
        {"box", wvwrite::BoxMesh("box", {4, 3, 2}, {a, b}, 1.0f), kOutward, {0, 0, 1}},
        {"tower", wvwrite::TowerMesh("tower", 2, 8, 3, 10, a, b, 2.0f), kOutward, {0, 0, 4}},
        {"rock", wvwrite::RockMesh("rock", 1.5f, 6, 9, 0.2f, 5, a), kOutward, {0, 0, 0.45f}},
        {"sky", wvwrite::SkyDomeMesh("sky", 100, 40, 4, 12, a, 2.0f), kInward, {0, 0, 0}},
        {"grid", wvwrite::GridMesh("grid", 10, 6, 5, 3, {a, b}, [](int i, int j) { return static_cast<std::uint32_t>((i + j) % 2); },
                                   {}, 2.0f), kUp, {}},
        {"ribbon", wvwrite::RibbonMesh("ribbon", {{0, 0, 0}, {10, 3, 0}, {14, 12, 0}, {6, 20, 0}}, 3.0f, a, 4.0f), kUp, {}},
        {"card", wvwrite::CardMesh("card", 3, 2, a), kNorth, {}},
        {"tree", wvwrite::TreeCardMesh("tree", 1, 4, 6, 6, a, b), kNorth, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.mesh.polygons.empty());
        for (const wvwrite::Polygon& p : c.mesh.polygons) {
            ASSERT_GE(p.corners.size(), 3u);
            ASSERT_LT(p.material, c.mesh.materials.size());
            for (const wvwrite::Corner& k : p.corners) ASSERT_LT(k.position, c.mesh.positions.size());
            const Vector3 n = NewellNormal(c.mesh, p);
            const Vector3 out = Centroid(c.mesh, p) - c.centre;
            switch (c.facing) {
                case kOutward: EXPECT_GT(n.Dot(out), 0.0f); break;
                case kInward: EXPECT_LT(n.Dot(out), 0.0f); break;
                case kUp: EXPECT_GT(n.z, 0.99f); break;
                case kNorth: EXPECT_GT(n.y, 0.99f); break;
            }
        }
        // Both geometry types keep every polygon's area and winding.
        for (int type : {1, 2}) ExpectSameAreas(SpecAreas(wvwrite::ToMeshSpec(c.mesh, type)), PolygonAreas(c.mesh));
        EXPECT_EQ(wvwrite::ToMeshSpec(c.mesh, 2).vertices.size() % 3, 0u);
    }
    // A card shows its image upright and unmirrored to a viewer in front
    // (+y): the left column (u = 0) at +x, the top row (v = 0) up.
    const PolyMesh card = wvwrite::CardMesh("card", 3, 2, a);
    for (const wvwrite::Corner& k : card.polygons[0].corners) {
        const Vector3& p = card.positions[k.position];
        EXPECT_EQ(k.uv.u == 0.0f, p.x > 0) << p.x;
        EXPECT_EQ(k.uv.v == 0.0f, p.z > 1) << p.z;
    }
    // The house: walls face out, the roof's upper planes up, their
    // undersides down.
    const PolyMesh house = wvwrite::HouseMesh("house", 5, 4, 3, 2, a, b, 2.0f);
    int up = 0, down = 0;
    for (const wvwrite::Polygon& p : house.polygons) {
        const Vector3 n = NewellNormal(house, p);
        if (p.material == 0) EXPECT_GT(n.Dot(Centroid(house, p) - Vector3(0, 0, 2)), 0.0f);
        else (n.z > 0 ? up : down)++;
    }
    EXPECT_EQ(up, 2);
    EXPECT_EQ(down, 2);
}

// ------------------------------------------------------------ levels

struct Instance {
    std::string name, cls;
    BlockHandle object = 0;
    Vector3 position, rotation;
    float scale = 1;
    std::map<std::string, ReadEntry> props;
};

struct MeshInfo {
    int type = 0;
    std::vector<std::array<std::string, 3>> materials;
    std::vector<Vector3> positions;
};

// A level read back through the block container and texture database.
struct LoadedLevel {
    BlockFile grf;
    TextureDatabase db;
    std::vector<Instance> instances;
    std::size_t regionCount = 0;

    void Load(const std::string& grfPath, const std::string& pidPath, const std::string& swpPath) {
        ASSERT_TRUE(grf.Load(grfPath.c_str())) << grf.LastError();
        ASSERT_TRUE(db.Read(pidPath.c_str()));
        ASSERT_FALSE(db.Truncated());
        ASSERT_TRUE(db.pixelFile.OpenFile(swpPath.c_str()));
        const BlockRecord* vt = grf.FindBlockByName(".valuetable");
        const BlockRecord* rg = grf.FindBlockByName(".region");
        ASSERT_TRUE(vt && rg);
        Reader vr(vt->bytes());
        const ReadTable table = ReadValueTable(vr);
        ASSERT_TRUE(vr.ok());
        ASSERT_EQ(table.end, vt->size());
        Reader r(rg->bytes());
        regionCount = r.U32(0);
        ASSERT_EQ(rg->size(), 4 + 44 * regionCount);
        for (std::size_t i = 0; i < regionCount; ++i) {
            const std::size_t o = 4 + 44 * i;
            Instance in;
            in.object = r.U32(o);
            const char* name = grf.GetSymbolName(r.U32(o + 4));
            ASSERT_NE(name, nullptr) << "record " << i;
            in.name = name;
            in.position = {r.F32(o + 8), r.F32(o + 12), r.F32(o + 16)};
            in.rotation = {r.F32(o + 20), r.F32(o + 24), r.F32(o + 28)};
            in.scale = r.F32(o + 32);
            in.cls = "CInstance";
            if (r.U32(o + 40) != 0) {
                const std::uint32_t t = r.U32(o + 36);
                ASSERT_LT(t, table.entries.size());
                ASSERT_EQ(table.entries[t].kind, wvwrite::kValueList);
                for (std::uint32_t m : table.entries[t].members) {
                    ASSERT_LT(m, table.entries.size());
                    in.props.emplace(table.NameOf(table.entries[m].handle), table.entries[m]);
                }
                if (in.props.count("Class")) in.cls = in.props.at("Class").s;
            }
            instances.push_back(in);
        }
    }

    MeshInfo Mesh(BlockHandle h) const {
        MeshInfo info;
        const BlockRecord* main = grf.GetBlock(h);
        EXPECT_TRUE(main && main->type == kMeshBlockType && main->size() == 12);
        if (!main || main->size() != 12) return info;
        const std::vector<std::uint32_t> m = Words(*main);
        EXPECT_EQ(m[0], main->nameSymbol);
        info.type = GeometryTypeOf(grf, h);
        const std::vector<std::uint32_t> g = Words(*grf.GetBlock(m[1]));
        const std::uint32_t nv = info.type == 1 ? g[3] : g[6], first = info.type == 1 ? 10 : 11;
        for (std::uint32_t i = 0; i < nv; ++i)
            info.positions.emplace_back(AsFloat(g[first + 3 * i]), AsFloat(g[first + 3 * i + 1]), AsFloat(g[first + 3 * i + 2]));
        if (m[2] == 0) return info;
        const std::vector<std::uint32_t> mat = Words(*grf.GetBlock(Words(*grf.GetBlock(m[2]))[0]));
        const std::uint32_t n = mat[0];
        for (std::uint32_t j = 0; j < n; ++j)
            info.materials.push_back({grf.GetSymbolName(mat[1 + j]), grf.GetSymbolName(mat[1 + n + j]),
                                      grf.GetSymbolName(mat[1 + 2 * n + j])});
        return info;
    }

    float Diffuse(const Instance& in) const { return in.props.count("Diffuse") ? in.props.at("Diffuse").f : 1.0f; }

    // The database entry a material resolves to: the first suffix, then the second.
    int Resolve(const std::array<std::string, 3>& m, float diffuse) const {
        for (int s : {1, 2}) {
            const auto it = db.identifiers.find(wvwrite::TextureIdentifier(m[0], m[s], diffuse));
            if (it != db.identifiers.end()) return it->second;
        }
        return -1;
    }

    bool BecomesGeometry(const Instance& in) const {
        return in.cls == "CInstance" || in.cls == "CTerrainObj" || in.cls == "CSky";
    }
};

class DemoLevelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        level_ = new LoadedLevel;
        std::string error;
        ASSERT_TRUE(wvwrite::WriteDemoLevel(dir_->path(), &error)) << error;
        level_->Load(dir_->File("demo.grf"), dir_->File("demo-130.pid"), dir_->File("demo-130.swp"));
    }
    static void TearDownTestSuite() {
        delete level_;
        delete dir_;
    }
    std::vector<const Instance*> OfClass(const std::string& cls) const {
        std::vector<const Instance*> out;
        for (const Instance& in : level_->instances)
            if (in.cls == cls) out.push_back(&in);
        return out;
    }

    static TempDir* dir_;
    static LoadedLevel* level_;
};
TempDir* DemoLevelTest::dir_ = nullptr;
LoadedLevel* DemoLevelTest::level_ = nullptr;

TEST_F(DemoLevelTest, HasEveryClassAndAFewHundredObjects) {
    const LoadedLevel& L = *level_;
    EXPECT_GE(L.regionCount, 150u);
    EXPECT_LE(L.regionCount, 400u);
    for (const char* cls : {"CInstance", "CTerrainObj", "CSky", "Player", "CLightDirectional", "CStartTrigger"})
        EXPECT_FALSE(OfClass(cls).empty()) << cls;
    std::set<std::int32_t> heights;
    for (const Instance* t : OfClass("CTerrainObj")) {
        ASSERT_TRUE(t->props.count("Height"));
        EXPECT_EQ(t->props.at("Height").kind, wvwrite::kValueInt);
        heights.insert(t->props.at("Height").i);
    }
    EXPECT_TRUE(heights.count(1));
    EXPECT_GT(*heights.rbegin(), 1);
    // Names a viewer skips or hides.
    for (const Instance& in : L.instances) {
        EXPECT_NE(in.name[0], 'F') << in.name;
        EXPECT_NE(in.name[0], '$') << in.name;
    }
    for (const BlockRecord& b : L.grf.Blocks()) {
        EXPECT_NE(b.GetName()[0], 'F');
        EXPECT_NE(b.GetName()[0], '$');
    }
}

TEST_F(DemoLevelTest, EveryMaterialTextureIsInTheDatabase) {
    const LoadedLevel& L = *level_;
    std::set<int> types;
    bool bump = false, alphaTree = false;
    for (const Instance& in : L.instances) {
        if (!L.BecomesGeometry(in)) continue;
        SCOPED_TRACE(in.name);
        const MeshInfo mesh = L.Mesh(in.object);
        ASSERT_FALSE(mesh.materials.empty());
        if (in.cls == "CInstance") types.insert(mesh.type);
        for (const auto& m : mesh.materials) {
            const int e = L.Resolve(m, L.Diffuse(in));
            ASSERT_GE(e, 0) << m[0];
            const TextureEntry& entry = *L.db.Entry(e);
            bump = bump || (entry.bump && entry.bits == 16);
            if (in.props.count("AlwaysFace") && in.props.at("AlwaysFace").b) alphaTree = alphaTree || entry.transparent;
        }
    }
    EXPECT_EQ(types, (std::set<int>{1, 2}));
    EXPECT_TRUE(bump) << "some material uses a 16-bit bump texture";
    EXPECT_TRUE(alphaTree) << "always-facing trees use see-through textures";
}

// Terrain is read at up to 128 texels and other models at up to 64: the
// stored textures are larger, with smaller versions that fit.
TEST_F(DemoLevelTest, TexturesAreLargerThanTheLimitsWithVersionsThatFit) {
    LoadedLevel& L = *level_;
    int terrainBig = 0, modelBig = 0;
    for (const Instance& in : L.instances) {
        if (!L.BecomesGeometry(in)) continue;
        const bool terrain = in.cls == "CTerrainObj";
        for (const auto& m : L.Mesh(in.object).materials) {
            const int full = L.Resolve(m, L.Diffuse(in));
            ASSERT_GE(full, 0);
            const TextureEntry& e = *L.db.Entry(full);
            const std::uint32_t limit = terrain || e.bump ? 128 : 64;  // bump textures are read at 128 too
            L.db.MaxTextureSize = static_cast<std::int32_t>(limit);
            const int used = L.db.FindTexture(e.identifier);
            L.db.MaxTextureSize = 64;
            EXPECT_LE(L.db.Entry(used)->width, limit) << m[0];
            if (e.width > limit) {
                EXPECT_NE(used, full) << m[0];
                (terrain ? terrainBig : modelBig)++;
            }
        }
    }
    EXPECT_GT(terrainBig, 0);
    EXPECT_GT(modelBig, 0);
}

TEST_F(DemoLevelTest, SceneObjectsCarryTheirSettings) {
    const LoadedLevel& L = *level_;
    // The ocean: a flat mesh named "ocean...", wider than the island.
    const Instance* ocean = nullptr;
    for (const Instance& in : L.instances)
        if (in.name.rfind("ocean", 0) == 0) ocean = &in;
    ASSERT_NE(ocean, nullptr);
    EXPECT_EQ(ocean->cls, "CInstance");
    float reach = 0;
    for (const Vector3& p : L.Mesh(ocean->object).positions) {
        EXPECT_EQ(p.z, 0.0f);
        reach = std::max(reach, std::hypot(p.x + ocean->position.x, p.y + ocean->position.y));
    }
    EXPECT_GT(reach, 800.0f);

    // A scrolling texture.
    int scrolling = 0;
    for (const Instance* in : OfClass("CInstance"))
        if (in->props.count("DeltaX") && in->props.count("DeltaY")) {
            EXPECT_EQ(in->props.at("DeltaX").kind, wvwrite::kValueInt);
            EXPECT_EQ(in->props.at("DeltaY").kind, wvwrite::kValueInt);
            ++scrolling;
        }
    EXPECT_GE(scrolling, 1);

    // Objects stand on ground between 0 and about 10.
    for (const Instance* in : OfClass("CInstance")) {
        EXPECT_GE(in->position.z, 0.0f) << in->name;
        EXPECT_LE(in->position.z, 11.0f) << in->name;
        EXPECT_LE(std::fabs(in->position.x), 230.0f) << in->name;
        EXPECT_LE(std::fabs(in->position.y), 230.0f) << in->name;
    }

    // Fog: R, G, B integers; the colour is (B, G, R) / 255, light blue-grey.
    const std::vector<const Instance*> triggers = OfClass("CStartTrigger");
    ASSERT_EQ(triggers.size(), 1u);
    const auto& fog = triggers[0]->props;
    for (const char* key : {"FogPower", "FogHalf"}) EXPECT_EQ(fog.at(key).kind, wvwrite::kValueFloat) << key;
    for (const char* key : {"R", "G", "B"}) EXPECT_EQ(fog.at(key).kind, wvwrite::kValueInt) << key;
    const float red = static_cast<float>(fog.at("B").i) / 255, green = static_cast<float>(fog.at("G").i) / 255,
                blue = static_cast<float>(fog.at("R").i) / 255;
    for (float c : {red, green, blue}) {
        EXPECT_GT(c, 0.6f);
        EXPECT_LT(c, 0.9f);
    }
    EXPECT_GT(blue, red);

    // The sun shines down from the south-west.
    const std::vector<const Instance*> lights = OfClass("CLightDirectional");
    ASSERT_EQ(lights.size(), 1u);
    const Vector3 d = PlacementRotation(lights[0]->rotation) * Vector3(0, 0, 1);
    EXPECT_LT(d.z, -0.3f);
    EXPECT_GT(d.x, 0.2f);
    EXPECT_GT(d.y, 0.2f);

    // The player starts off the south-west shore, above the ground, facing
    // the island's centre (yaw = -rotation z; yaw 0 looks along +y).
    const std::vector<const Instance*> players = OfClass("Player");
    ASSERT_EQ(players.size(), 1u);
    const Instance& p = *players[0];
    EXPECT_GT(p.position.z, 12.0f);
    const double yaw = -p.rotation.z;
    const double fx = std::sin(yaw), fy = std::cos(yaw);
    const double len = std::hypot(p.position.x, p.position.y);
    EXPECT_GT((fx * -p.position.x + fy * -p.position.y) / len, 0.95);

    // The sky's texture has see-through clouds.
    const std::vector<const Instance*> skies = OfClass("CSky");
    ASSERT_EQ(skies.size(), 1u);
    const MeshInfo sky = L.Mesh(skies[0]->object);
    const int clouds = L.Resolve(sky.materials[0], L.Diffuse(*skies[0]));
    ASSERT_GE(clouds, 0);
    EXPECT_TRUE(L.db.Entry(clouds)->transparent);
}

TEST_F(DemoLevelTest, TexturesDecode) {
    for (int i = 0; i < static_cast<int>(level_->db.entries.size()); ++i) {
        DecodedImage image;
        ASSERT_TRUE(level_->db.DecodeImage(i, true, image)) << i;
        EXPECT_EQ(image.rgba.size(), 4u * image.width * image.height);
    }
}

// The viewer's own load sequence, run headless: no complaint, and the
// scene it builds is the island that was meant.
TEST_F(DemoLevelTest, LoadsWithoutComplaintIntoTheIntendedScene) {
    headless::LoadedLevel loaded;
    headless::LoadLevel(dir_->File("demo-130.swp"), loaded);
    for (const auto& box : loaded.platform.boxes) ADD_FAILURE() << "message box: " << box.text;
    const SceneState& s = TheScene();
    EXPECT_EQ(s.InstanceList.size(), OfClass("CInstance").size()) << "every object loads and shows";
    ASSERT_NE(s.SkyTexture, nullptr);
    EXPECT_TRUE(s.SkyTexture->hasAlpha);
    std::vector<std::int32_t> heights;
    for (const auto& [h, group] : s.TerrainObjectsByHeight) heights.push_back(h);
    EXPECT_EQ(heights, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_NEAR(s.FogColor[0], 176 / 255.0f, 1e-5f);
    EXPECT_NEAR(s.FogColor[2], 214 / 255.0f, 1e-5f);

    // Every object stands on the ground it pins (lowest point above 0);
    // the ocean stands inside the terrain area, more than a unit up, so
    // that the sea floor is laid under it.
    for (const auto& in : s.InstanceList) {
        SCOPED_TRACE(in->name);
        EXPECT_GT(in->boxMin.z, 0.0f);
        EXPECT_LT(in->boxMin.z, 11.0f);
        if (std::string(in->name).rfind("ocean", 0) != 0) continue;
        EXPECT_GT(in->boxMin.z, 1.0f);
        EXPECT_GE(in->position.x, s.TerrainMin.x);
        EXPECT_LE(in->position.x, s.TerrainMax.x);
        EXPECT_GE(in->position.y, s.TerrainMin.y);
        EXPECT_LE(in->position.y, s.TerrainMax.y);
    }
    ResetLoadedLevel();
}

TEST(BenchLevelTest, SmallLevelIsValidAndVaried) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 300, 40, 20, 7, &error)) << error;
    LoadedLevel L;
    L.Load(dir.File("bench.grf"), dir.File("bench-130.pid"), dir.File("bench-130.swp"));
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    EXPECT_EQ(L.regionCount, 300u);

    std::size_t meshes = 0;
    for (const BlockRecord& b : L.grf.Blocks()) meshes += b.type == kMeshBlockType;
    EXPECT_EQ(meshes, 40u);
    EXPECT_EQ(L.db.identifiers.size(), 20u);
    std::set<std::uint32_t> bits, sizes;
    for (std::size_t i = 0; i < L.db.entries.size(); ++i) {
        const TextureEntry& e = L.db.entries[i];
        if (e.sizeCode != 0) continue;
        bits.insert(e.bits);
        sizes.insert(e.width);
        EXPECT_GE(e.width, 32u);
        EXPECT_LE(e.width, 256u);
        ASSERT_LT(i + 1, L.db.entries.size());
        EXPECT_EQ(L.db.entries[i + 1].identifier, e.identifier) << "a smaller version follows";
        EXPECT_EQ(L.db.entries[i + 1].sizeCode, e.width / 2);
    }
    EXPECT_EQ(bits, (std::set<std::uint32_t>{8, 16}));
    EXPECT_GE(sizes.size(), 3u);

    std::map<std::string, int> classes;
    std::set<int> types, materialCounts;
    int withoutTable = 0;
    for (const Instance& in : L.instances) {
        ++classes[in.cls];
        withoutTable += in.props.empty();
        if (!L.BecomesGeometry(in)) continue;
        const MeshInfo mesh = L.Mesh(in.object);
        types.insert(mesh.type);
        materialCounts.insert(static_cast<int>(mesh.materials.size()));
        for (const auto& m : mesh.materials) EXPECT_GE(L.Resolve(m, L.Diffuse(in)), 0) << m[0];
    }
    EXPECT_EQ(types, (std::set<int>{1, 2}));
    EXPECT_EQ(*materialCounts.begin(), 1);
    EXPECT_EQ(*materialCounts.rbegin(), 4);
    EXPECT_GT(classes["CInstance"], 100);
    EXPECT_GT(classes["CTerrainObj"], 10);
    for (const char* cls : {"CSky", "Player", "CLightDirectional", "CStartTrigger"}) EXPECT_EQ(classes[cls], 1) << cls;
    EXPECT_GT(withoutTable, 10);

    headless::LoadedLevel loaded;
    headless::LoadLevel(dir.File("bench-130.swp"), loaded);
    for (const auto& box : loaded.platform.boxes) ADD_FAILURE() << "message box: " << box.text;
    std::size_t terrain = 0;
    for (const auto& [h, group] : TheScene().TerrainObjectsByHeight) terrain += group.size();
    EXPECT_EQ(terrain, static_cast<std::size_t>(classes["CTerrainObj"]));
    EXPECT_EQ(TheScene().InstanceList.size(), static_cast<std::size_t>(classes["CInstance"] + classes["CSky"]));
    ResetLoadedLevel();
}

TEST(BenchLevelTest, CountsOutOfRangeAreRefused) {
    TempDir dir;
    const int cases[][3] = {{-1, 10, 10}, {10, 0, 10}, {10, 10, 0}, {wvwrite::kMaxBenchInstances + 1, 10, 10}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(wvwrite::WriteBenchLevel(dir.path(), c[0], c[1], c[2], 1, &error));
        EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(wvwrite::WriteBenchLevel(dir.File("missing/deeper"), 10, 2, 2, 1, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

TEST(BenchLevelTest, DefaultSizeIsWrittenInAFewSeconds) {
    TempDir dir;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 20000, 2000, 500, 1, &error)) << error;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10.0);
    BlockFile grf;
    ASSERT_TRUE(grf.Load(dir.File("bench.grf").c_str()));
    EXPECT_EQ(LoadU32(grf.FindBlockByName(".region")->data.data()), 20000u);
    TextureDatabase db;
    ASSERT_TRUE(db.Read(dir.File("bench-130.pid").c_str()));
    EXPECT_EQ(db.identifiers.size(), 500u);
}

// ------------------------------------------------------------ the tool

struct RunResult {
    int status;
    std::string out, err;
};

RunResult MkLevel(const TempDir& dir, const std::string& args) {
    const std::string cmd =
        std::string(WV_MKLEVEL) + " " + args + " >" + dir.File("stdout") + " 2>" + dir.File("stderr");
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir.File("stdout")), ReadText(dir.File("stderr"))};
}

TEST(MkLevelBenchTest, WritesTheSameBytesForTheSameArguments) {
    TempDir a, b;
    for (const TempDir* d : {&a, &b}) {
        const RunResult r = MkLevel(*d, "bench " + d->File("out") + " --instances 120 --meshes 12 --textures 6 --seed 3");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
    for (const char* name : {"bench.grf", "bench-130.pid", "bench-130.swp"}) {
        const std::vector<std::uint8_t> first = ReadAll(a.File("out/") + name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_EQ(first, ReadAll(b.File("out/") + name)) << name;
    }
    const RunResult other = MkLevel(a, "bench " + a.File("other") + " --seed 4 --instances 120 --meshes 12 --textures 6");
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(ReadAll(a.File("other/bench.grf")), ReadAll(a.File("out/bench.grf")));
}

TEST(MkLevelBenchTest, BadArgumentsAreUsageErrorsAndFailuresOneLine) {
    TempDir dir;
    const std::string out = dir.File("x");
    const char* usage[] = {"",
                           "frobnicate " ,
                           "bench",
                           "bench --seed 3",
                           "demo",
                           "bench OUT --instances",
                           "bench OUT --instances -5",
                           "bench OUT --meshes 0",
                           "bench OUT --textures abc",
                           "bench OUT --textures 12x",
                           "bench OUT --colour red"};
    for (const char* args : usage) {
        std::string a = args;
        if (const auto at = a.find("OUT"); at != std::string::npos) a.replace(at, 3, out);
        const RunResult r = MkLevel(dir, a);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage: wildview-mklevel"), std::string::npos) << args;
    }
    // A directory that cannot be made: one line on standard error.
    WriteAll(dir.File("plain"), {1, 2, 3});
    const RunResult r = MkLevel(dir, "bench " + dir.File("plain") + "/sub --instances 10 --meshes 2 --textures 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("wildview-mklevel: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace
