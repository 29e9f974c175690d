// The level files read back at the format's own offsets, independently of
// the program's readers beyond the block container: property tables, the
// placed objects' records and the meshes' blocks. What the writers write
// and what the program saves are checked against this.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "files/texture_database.h"
#include "test_util.h"
#include "writer/mesh_builder.h"
#include "writer/value_table_builder.h"

// Bounded little-endian reads; a read past the end gives 0 and clears ok.
struct Reader {
    std::span<const std::uint8_t> bytes;
    bool ok = true;

    bool Has(std::size_t o, std::size_t n) { return (o <= bytes.size() && bytes.size() - o >= n) || (ok = false); }
    std::uint32_t U32(std::size_t o) { return Has(o, 4) ? LoadU32(bytes.data() + o) : 0; }
    std::int32_t I32(std::size_t o) { return static_cast<std::int32_t>(U32(o)); }
    std::int16_t I16(std::size_t o) { return Has(o, 2) ? static_cast<std::int16_t>(bytes[o] | (bytes[o + 1] << 8)) : 0; }
    float F32(std::size_t o) { return std::bit_cast<float>(U32(o)); }
    // A zero-terminated string at o; end is set past its zero.
    std::string CStr(std::size_t o, std::size_t& end) {
        std::string s;
        for (end = o; Has(end, 1) && bytes[end] != 0; ++end) s.push_back(static_cast<char>(bytes[end]));
        ++end;
        return s;
    }
};

struct ReadEntry {
    int kind = 0;
    std::uint32_t handle = 0;
    bool b = false;
    std::int32_t i = 0;
    float f = 0;
    std::string s;
    std::vector<std::uint32_t> members;
};

struct ReadTable {
    std::vector<std::pair<std::string, std::uint32_t>> names;
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
inline ReadTable ReadValueTable(Reader& r) {
    ReadTable t;
    std::size_t o = 20;
    for (std::uint32_t k = 0, n = r.U32(6); k < n && r.ok; ++k) {
        std::string name = r.CStr(o, o);
        t.names.emplace_back(name, r.U32(o));
        o += 8;
    }
    const std::int32_t count = r.I32(o + 5);
    o += 18;
    for (std::int32_t k = 0; k < count && r.ok; ++k) {
        ReadEntry e;
        e.kind = r.I16(o);
        e.handle = r.U32(o + 11);
        std::size_t p = o + 27;
        switch (e.kind) {
            case wvwrite::kValueBool: e.b = r.Has(p, 1) && r.bytes[p] != 0; p += 1; break;
            case wvwrite::kValueInt: e.i = r.I32(p); p += 4; break;
            case wvwrite::kValueFloat: e.f = r.F32(p); p += 4; break;
            case wvwrite::kValueString: e.s = r.CStr(p, p); break;
            case wvwrite::kValueList:
                for (std::int32_t m = 0, n = r.I32(p); m < n; ++m) e.members.push_back(r.U32(p + 4 + 8 * m));
                p += 4 + 8 * e.members.size();
                break;
            default: break;
        }
        o = p + 8;
        t.entries.push_back(e);
    }
    t.end = o;
    return t;
}

inline std::vector<std::uint32_t> Words(const BlockRecord& b) {
    std::vector<std::uint32_t> w(b.data.size() / 4);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = LoadU32(b.data.data() + 4 * k);
    return w;
}

struct Placed {
    std::string name, cls;
    BlockHandle object = 0;
    Vector3 position, rotation;
    std::map<std::string, ReadEntry> props;
    std::array<std::uint8_t, 44> raw{};  // the record as stored
};

struct MeshInfo {
    int type = 0;
    std::vector<std::array<std::string, 3>> materials;
    std::vector<Vector3> positions;
};

// A level read back through the block container and texture database.
struct WrittenLevel {
    BlockFile grf;
    TextureDatabase db;
    std::vector<Placed> instances;

    void Load(const TempDir& dir, const std::string& level) {
        ASSERT_TRUE(db.Read(dir.File(level + "-130.pid").c_str()));
        ASSERT_FALSE(db.Truncated());
        ASSERT_TRUE(db.pixelFile.OpenFile(dir.File(level + "-130.swp").c_str()));
        LoadScene(dir.File(level + ".grf"));
    }

    // The scene file alone: its tables and records.
    void LoadScene(const std::string& path) {
        ASSERT_TRUE(grf.Load(path.c_str())) << grf.LastError();
        const BlockRecord* vt = grf.FindBlockByName(".valuetable");
        const BlockRecord* rg = grf.FindBlockByName(".region");
        ASSERT_TRUE(vt && rg);
        Reader vr{vt->bytes()};
        const ReadTable table = ReadValueTable(vr);
        ASSERT_TRUE(vr.ok);
        ASSERT_EQ(table.end, vt->size());
        Reader r{rg->bytes()};
        const std::size_t count = r.U32(0);
        ASSERT_EQ(rg->size(), 4 + 44 * count);
        for (std::size_t o = 4; o < rg->size(); o += 44) {
            Placed in;
            std::copy_n(rg->bytes().begin() + static_cast<std::ptrdiff_t>(o), 44, in.raw.begin());
            in.object = r.U32(o);
            const char* name = grf.GetSymbolName(r.U32(o + 4));
            ASSERT_NE(name, nullptr) << "record at " << o;
            in.name = name;
            in.position = {r.F32(o + 8), r.F32(o + 12), r.F32(o + 16)};
            in.rotation = {r.F32(o + 20), r.F32(o + 24), r.F32(o + 28)};
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

    // The geometry type and materials from the blocks alone: the mapping
    // block of a type 2 mesh holds one word; without one, the geometry's
    // second word says.
    MeshInfo Mesh(BlockHandle h) const {
        MeshInfo info;
        const BlockRecord* main = grf.GetBlock(h);
        EXPECT_TRUE(main && main->type == kMeshBlockType && main->size() == 12);
        if (!main || main->size() != 12) return info;
        const std::vector<std::uint32_t> m = Words(*main);
        EXPECT_EQ(m[0], main->nameSymbol);
        const std::vector<std::uint32_t> g = Words(*grf.GetBlock(m[1]));
        info.type = m[2] != 0 ? (grf.GetBlock(m[2])->size() == 4 ? 2 : 1) : (g[1] == 1 ? 2 : 1);
        const std::uint32_t nv = info.type == 1 ? g[3] : g[6], first = info.type == 1 ? 10 : 11;
        for (std::uint32_t i = first; i < first + 3 * nv; i += 3)
            info.positions.emplace_back(std::bit_cast<float>(g[i]), std::bit_cast<float>(g[i + 1]),
                                        std::bit_cast<float>(g[i + 2]));
        if (m[2] == 0) return info;
        const std::vector<std::uint32_t> mat = Words(*grf.GetBlock(Words(*grf.GetBlock(m[2]))[0]));
        for (std::uint32_t j = 0, n = mat[0]; j < n; ++j)
            info.materials.push_back({grf.GetSymbolName(mat[1 + j]), grf.GetSymbolName(mat[1 + n + j]),
                                      grf.GetSymbolName(mat[1 + 2 * n + j])});
        return info;
    }

    // The database entry a material resolves to: the first suffix, then the second.
    int Resolve(const std::array<std::string, 3>& m, const Placed& in) const {
        const float diffuse = in.props.count("Diffuse") ? in.props.at("Diffuse").f : 1.0f;
        for (int s : {1, 2}) {
            const auto it = db.identifiers.find(wvwrite::TextureIdentifier(m[0], m[s], diffuse));
            if (it != db.identifiers.end()) return it->second;
        }
        return -1;
    }

    static bool BecomesGeometry(const Placed& in) {
        return in.cls == "CInstance" || in.cls == "CTerrainObj" || in.cls == "CSky";
    }

    std::vector<const Placed*> OfClass(const std::string& cls) const {
        std::vector<const Placed*> out;
        for (const Placed& in : instances)
            if (in.cls == cls) out.push_back(&in);
        return out;
    }
};

