#include "output/gltf_export.h"

#include <nlohmann/json.hpp>
#include <tiny_gltf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <map>
#include <set>

#include "files/png_image.h"
#include "files/texture_database.h"
#include "platform/atomic_file.h"
#include "platform/text_encoding.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "terrain/height_field.h"
#include "terrain/terrain.h"

namespace {

constexpr int kFloat = TINYGLTF_COMPONENT_TYPE_FLOAT;
constexpr int kUint = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
// The ground grid keeps at most this many points a side.
constexpr int kMaxGridPoints = 513;

// A stream's bytes into an atomic file; a failed write fails the stream.
class AtomicFileBuffer : public std::streambuf {
public:
    explicit AtomicFileBuffer(platform::AtomicFile& file) : file_(file) {}

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        return file_.Write(s, static_cast<std::size_t>(n)) ? n : 0;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return file_.Write(&byte, 1) ? c : traits_type::eof();
    }

private:
    platform::AtomicFile& file_;
};

// The binary buffer in pieces: small views share blocks, a big one (a
// picture) is moved in whole, and the file is written from the pieces, so
// a big level's buffer is never copied or grown by doubling.
class Binary {
public:
    std::size_t Size() const { return size_; }
    // The bytes at the next 4-byte boundary; returns their offset.
    std::size_t Add(const void* bytes, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(bytes);
        if (n >= kBlock) return Add(std::vector<unsigned char>(p, p + n));  // a piece of its own
        Pad();
        const std::size_t at = size_;
        Room(n).insert(pieces_.back().end(), p, p + n);
        size_ += n;
        return at;
    }
    std::size_t Add(std::vector<unsigned char>&& bytes) {
        if (bytes.size() < kBlock) return Add(bytes.data(), bytes.size());
        Pad();
        const std::size_t at = size_;
        size_ += bytes.size();
        if (blockOpen_) pieces_.back().shrink_to_fit();  // the block is closed for good
        pieces_.push_back(std::move(bytes));
        blockOpen_ = false;
        return at;
    }
    void Pad() {
        const std::size_t n = (4 - size_ % 4) % 4;
        if (!n) return;
        Room(n).insert(pieces_.back().end(), n, 0);
        size_ += n;
    }
    const std::vector<std::vector<unsigned char>>& Pieces() const { return pieces_; }

private:
    static constexpr std::size_t kBlock = 1u << 20;
    std::vector<unsigned char>& Room(std::size_t n) {
        if (!blockOpen_ || pieces_.back().size() + n > kBlock) {
            if (blockOpen_) pieces_.back().shrink_to_fit();
            pieces_.emplace_back().reserve(kBlock);
            blockOpen_ = true;
        }
        return pieces_.back();
    }
    std::vector<std::vector<unsigned char>> pieces_;
    std::size_t size_ = 0;
    bool blockOpen_ = false;
};

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t k = 0; k < n; ++k)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + k])) != suffix[k]) return false;
    return true;
}

Vector3 UnitOr(const Vector3& v, const Vector3& fallback) {
    const float len = v.Length();
    if (!(len > 1e-12f) || !std::isfinite(len)) return fallback;
    return {v.x / len, v.y / len, v.z / len};
}

// A model's faces that the viewer draws: every corner in range, material
// visible.
bool Drawable(const Model& m, const Face& f) {
    if (!f.inRange) return false;
    return f.material < m.materials.size() && !m.materials[f.material].invisible;
}

// Type 1 geometry carries no normals (every one is (1, 1, 1)): its faces
// are lit flat, by their own normals.
bool HasVertexNormals(const Model& m) { return m.SourceGeometryType == 2; }

// Names in level files are bytes, read as the game's code page (1252) where
// they are not UTF-8 already: glTF's JSON takes nothing else.
std::string Utf8(const std::string& bytes) { return platform::ToUtf8(bytes); }

// How an instance's mesh looks besides its model: lit or not, and seen
// from both sides (the cards the viewer turns to the camera, which the
// export leaves standing).
struct Look {
    bool unlit = false, twoSided = false;
    auto operator<=>(const Look&) const = default;
};

struct Corner {
    Vector3 position, normal;
    float u = 0, v = 0;
};

// An instance moved into the world and cut to a rectangle of it: the sea,
// which reaches far past the island.
struct Placed {
    Matrix3 turn;  // the drawing rotation times the scale
    Vector3 at;
    float minX = 0, minY = 0, maxX = 0, maxY = 0;

    // The triangle in the world, cut to the rectangle: a convex polygon of
    // 0 to 7 corners.
    std::vector<Corner> Cut(const std::array<Corner, 3>& triangle) const {
        std::vector<Corner> poly;
        for (const Corner& c : triangle)
            poly.push_back({turn * c.position + at, UnitOr(turn * c.normal, {0, 0, 1}), c.u, c.v});
        // Each side in turn: what lies beyond it goes, an edge that crosses
        // it ends where it crosses.
        const auto side = [&](auto inside, auto cross) {
            std::vector<Corner> out;
            for (std::size_t k = 0; k < poly.size(); ++k) {
                const Corner &a = poly[k], &b = poly[(k + 1) % poly.size()];
                if (inside(a)) out.push_back(a);
                if (inside(a) != inside(b)) {
                    const float t = cross(a, b);
                    out.push_back({a.position + (b.position - a.position) * t, UnitOr(a.normal + (b.normal - a.normal) * t, a.normal),
                                   a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t});
                }
            }
            poly = std::move(out);
        };
        side([&](const Corner& c) { return c.position.x >= minX; },
             [&](const Corner& a, const Corner& b) { return (minX - a.position.x) / (b.position.x - a.position.x); });
        side([&](const Corner& c) { return c.position.x <= maxX; },
             [&](const Corner& a, const Corner& b) { return (maxX - a.position.x) / (b.position.x - a.position.x); });
        side([&](const Corner& c) { return c.position.y >= minY; },
             [&](const Corner& a, const Corner& b) { return (minY - a.position.y) / (b.position.y - a.position.y); });
        side([&](const Corner& c) { return c.position.y <= maxY; },
             [&](const Corner& a, const Corner& b) { return (maxY - a.position.y) / (b.position.y - a.position.y); });
        return poly;
    }
};

struct Builder {
    tinygltf::Model gltf;
    std::map<std::pair<const Model*, Look>, int> meshes;
    std::map<std::tuple<const Model*, std::uint32_t, Look>, int> materials;
    std::map<std::pair<std::uint32_t, bool>, int> textures;    // (database entry, clamp) -> texture
    std::map<std::uint32_t, int> images;                       // database entry -> image
    int samplers[2] = {-1, -1};                                // clamp, repeat
    GltfExportReport* report = nullptr;
    bool separateFiles = false;
    std::string stem;
    std::string directory;  // with its separator, or empty
    // Files beside a .gltf, each written whole and renamed into place only
    // when the whole export has been written.
    std::vector<std::unique_ptr<platform::AtomicFile>> staged;
    std::string failure;

    Binary binary;

    bool Stage(const std::string& name, const std::vector<std::span<const std::uint8_t>>& pieces) {
        staged.push_back(std::make_unique<platform::AtomicFile>(directory + name));
        platform::AtomicFile& file = *staged.back();
        bool ok = file.Open();
        for (const auto& piece : pieces) ok = ok && file.Write(piece);
        if (ok) return true;
        if (failure.empty()) failure = file.Error();
        return false;
    }

    int View(std::size_t offset, std::size_t size, int target) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = offset;
        view.byteLength = size;
        if (target) view.target = target;
        gltf.bufferViews.push_back(view);
        return static_cast<int>(gltf.bufferViews.size() - 1);
    }
    int View(const void* bytes, std::size_t size, int target) { return View(binary.Add(bytes, size), size, target); }

    int Accessor(int view, int component, std::size_t count, int type, std::vector<double> min = {},
                 std::vector<double> max = {}) {
        tinygltf::Accessor a;
        a.bufferView = view;
        a.componentType = component;
        a.count = count;
        a.type = type;
        a.minValues = std::move(min);
        a.maxValues = std::move(max);
        gltf.accessors.push_back(a);
        return static_cast<int>(gltf.accessors.size() - 1);
    }

    int Floats(const std::vector<float>& values, int type, bool bounds) {
        const int width = type == TINYGLTF_TYPE_VEC3 ? 3 : 2;
        std::vector<double> lo(static_cast<std::size_t>(width), 1e300), hi(static_cast<std::size_t>(width), -1e300);
        if (bounds)
            for (std::size_t k = 0; k < values.size(); ++k) {
                const std::size_t c = k % static_cast<std::size_t>(width);
                lo[c] = std::min(lo[c], static_cast<double>(values[k]));
                hi[c] = std::max(hi[c], static_cast<double>(values[k]));
            }
        const int view = View(values.data(), values.size() * 4, TINYGLTF_TARGET_ARRAY_BUFFER);
        return Accessor(view, kFloat, values.size() / static_cast<std::size_t>(width), type,
                        bounds ? lo : std::vector<double>{}, bounds ? hi : std::vector<double>{});
    }

    int Indices(const std::vector<std::uint32_t>& indices) {
        const int view = View(indices.data(), indices.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
        return Accessor(view, kUint, indices.size(), TINYGLTF_TYPE_SCALAR);
    }

    int Sampler(bool clamp) {
        int& s = samplers[clamp ? 0 : 1];
        if (s >= 0) return s;
        tinygltf::Sampler sampler;
        sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
        sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR;
        sampler.wrapS = sampler.wrapT = clamp ? TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE : TINYGLTF_TEXTURE_WRAP_REPEAT;
        gltf.samplers.push_back(sampler);
        s = static_cast<int>(gltf.samplers.size() - 1);
        return s;
    }

    // Images are PNG, written beside a .gltf or carried in a .glb's binary
    // chunk.
    int ImageOf(std::uint32_t width, std::uint32_t height, const std::vector<unsigned char>& rgba,
                const std::string& name) {
        std::vector<unsigned char> png;
        if (!EncodePng(PngImage{width, height, PngFormat::Rgba8, rgba, {}}, png)) {
            failure = "cannot encode the image " + name;
            return -1;
        }
        tinygltf::Image image;
        image.name = name;
        image.mimeType = "image/png";
        if (separateFiles) {
            image.uri = stem + "_" + name + ".png";
            Stage(image.uri, {png});
        } else {
            const std::size_t size = png.size();
            image.bufferView = View(binary.Add(std::move(png)), size, 0);
        }
        gltf.images.push_back(std::move(image));
        ++report->images;
        return static_cast<int>(gltf.images.size() - 1);
    }

    // The texture of a database entry: the pixels `wildview-inspect texture`
    // writes; -1 when the entry decodes to nothing.
    int Texture(std::uint32_t entry, bool clamp) {
        const auto key = std::make_pair(entry, clamp);
        if (auto it = textures.find(key); it != textures.end()) return it->second;
        int image = -1;
        if (auto it = images.find(entry); it != images.end()) {
            image = it->second;
        } else {
            DecodedImage decoded;
            if (!TheTextureDatabase().DecodeImage(static_cast<int>(entry), false, decoded) || decoded.width == 0 ||
                decoded.height == 0)
                return textures[key] = -1;
            image = ImageOf(decoded.width, decoded.height, decoded.rgba, "texture" + std::to_string(entry));
            if (image < 0) return textures[key] = -1;
            images[entry] = image;
        }
        tinygltf::Texture t;
        t.source = image;
        t.sampler = Sampler(clamp);
        gltf.textures.push_back(t);
        return textures[key] = static_cast<int>(gltf.textures.size() - 1);
    }

    int MaterialOf(const Model& model, std::uint32_t index, Look look) {
        const auto key = std::make_tuple(&model, index, look);
        if (auto it = materials.find(key); it != materials.end()) return it->second;
        const Material& source = model.materials[index];
        tinygltf::Material m;
        m.name = Utf8(model.name) + "/" + std::to_string(index);
        m.pbrMetallicRoughness.metallicFactor = 0.0;
        m.pbrMetallicRoughness.roughnessFactor = 1.0;
        const int texture = source.hasTexture ? Texture(source.textureIndex, source.clamp) : -1;
        if (texture >= 0) {
            m.pbrMetallicRoughness.baseColorTexture.index = texture;
        } else {
            m.pbrMetallicRoughness.baseColorFactor = {source.colour[0], source.colour[1], source.colour[2],
                                                      source.colour[3]};
        }
        if (model.Blended) {
            m.alphaMode = "BLEND";
        } else if (model.HasAlphaTexture) {
            m.alphaMode = "MASK";
            m.alphaCutoff = 0.5;
        }
        if (look.unlit) m.extensions["KHR_materials_unlit"] = tinygltf::Value(tinygltf::Value::Object());
        m.doubleSided = look.twoSided;
        gltf.materials.push_back(m);
        return materials[key] = static_cast<int>(gltf.materials.size() - 1);
    }

    // A model's drawn faces as one primitive a material: in the model's own
    // space, shared by its instances; or, with place, moved into the world
    // and cut to a rectangle (the sea).
    int MeshOf(const Model& model, Look look, const Placed* place = nullptr) {
        const auto key = std::make_pair(&model, look);
        if (!place)
            if (auto it = meshes.find(key); it != meshes.end()) return it->second;
        tinygltf::Mesh mesh;
        mesh.name = Utf8(model.name);
        const bool smooth = HasVertexNormals(model);
        for (std::uint32_t mat = 0; mat < model.materials.size(); ++mat) {
            std::vector<float> positions, normals, uvs;
            std::vector<std::uint32_t> indices;
            std::map<std::uint32_t, std::uint32_t> local;  // model vertex -> primitive vertex
            auto add = [&](const Corner& c) {
                positions.insert(positions.end(), {c.position.x, c.position.y, c.position.z});
                normals.insert(normals.end(), {c.normal.x, c.normal.y, c.normal.z});
                uvs.insert(uvs.end(), {c.u, c.v});
                return static_cast<std::uint32_t>(positions.size() / 3 - 1);
            };
            for (const Face& f : model.faces) {
                if (f.material != mat || !Drawable(model, f)) continue;
                const Vector3& a = model.vertices[f.index[0]].position;
                const Vector3 faceNormal =
                    UnitOr((model.vertices[f.index[1]].position - a).Cross(model.vertices[f.index[2]].position - a),
                           {0, 0, 1});
                std::array<Corner, 3> corners;
                for (int c = 0; c < 3; ++c) {
                    const Vertex& v = model.vertices[f.index[c]];
                    corners[static_cast<std::size_t>(c)] = {v.position, smooth ? UnitOr(v.normal, faceNormal) : faceNormal,
                                                            v.u, v.v};
                }
                if (place) {
                    const std::vector<Corner> cut = place->Cut(corners);
                    for (std::size_t k = 1; k + 1 < cut.size(); ++k) {
                        const Vector3 &p0 = cut[0].position, &p1 = cut[k].position, &p2 = cut[k + 1].position;
                        if (!((p1 - p0).Cross(p2 - p0).Length() > 1e-6f)) continue;  // a sliver along the cut
                        for (const Corner* c : {&cut[0], &cut[k], &cut[k + 1]}) indices.push_back(add(*c));
                        ++report->triangles;
                    }
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    const std::uint32_t k = f.index[c];
                    if (!smooth) {
                        indices.push_back(add(corners[static_cast<std::size_t>(c)]));
                        continue;
                    }
                    auto it = local.find(k);
                    if (it == local.end()) it = local.emplace(k, add(corners[static_cast<std::size_t>(c)])).first;
                    indices.push_back(it->second);
                }
                ++report->triangles;
            }
            if (indices.empty()) continue;
            tinygltf::Primitive p;
            p.mode = TINYGLTF_MODE_TRIANGLES;
            p.attributes["POSITION"] = Floats(positions, TINYGLTF_TYPE_VEC3, true);
            p.attributes["NORMAL"] = Floats(normals, TINYGLTF_TYPE_VEC3, false);
            if (model.materials[mat].hasTexture) p.attributes["TEXCOORD_0"] = Floats(uvs, TINYGLTF_TYPE_VEC2, false);
            p.indices = Indices(indices);
            p.material = MaterialOf(model, mat, look);
            mesh.primitives.push_back(p);
        }
        if (mesh.primitives.empty()) return place ? -1 : meshes[key] = -1;
        gltf.meshes.push_back(mesh);
        ++report->meshes;
        const int made = static_cast<int>(gltf.meshes.size() - 1);
        return place ? made : meshes[key] = made;
    }
};

tinygltf::Value ValueOf(const ValueEntry& e) {
    switch (e.kind) {
        case kValueBool: return tinygltf::Value(e.boolValue);
        case kValueInt: return tinygltf::Value(static_cast<int>(e.intValue));
        case kValueFloat: return tinygltf::Value(static_cast<double>(e.floatValue));
        case kValueString: return tinygltf::Value(Utf8(e.stringValue));
        case kValueList: {
            tinygltf::Value::Array members;
            for (std::uint32_t m : e.members) members.emplace_back(static_cast<int>(m));
            return tinygltf::Value(members);
        }
        default: return tinygltf::Value(std::string());  // a property with no value: its name is what it says
    }
}

// The object's record number and its property table as one object, each
// property by its name: the shape glTF readers make custom properties of.
// A name given twice keeps its first value, as the program's lookups do.
tinygltf::Value Extras(const Instance& inst) {
    const ValueTable& table = TheScene().valueTable;
    tinygltf::Value::Object extras;
    extras["record"] = tinygltf::Value(static_cast<int>(inst.index));
    if (const ValueEntry* list = inst.valueTable != 0xFFFFFFFFu ? table.Entry(inst.valueTable) : nullptr)
        for (std::uint32_t member : list->members)
            if (const ValueEntry* e = table.Entry(member))
                extras.try_emplace(Utf8(std::string(e->name)), ValueOf(*e));  // the first of a name wins
    if (!extras.count("Class")) extras["Class"] = tinygltf::Value(std::string("CInstance"));
    return tinygltf::Value(extras);
}

// The ground over the terrain bounds, its heights from the height field
// (re-centred block by block where the bounds are wider than its window).
int GroundNode(Builder& b, GltfTerrain& t, GltfExportReport& report) {
    const float w = t.maxX - t.minX, h = t.maxY - t.minY;
    // About what the ground can hold, the square of the terrain's tree (a
    // map's edge may overhang it by a texel): wider bounds would mean blocks
    // without end.
    constexpr float kReach = 2 * kTerrainHalfSize;
    if (!(w > 0 && h > 0) || t.rgba.empty() ||
        !(t.minX >= -kReach && t.maxX <= kReach && t.minY >= -kReach && t.maxY <= kReach))
        return -1;
    const float spacing = std::max(2.0f, std::max(w, h) / static_cast<float>(kMaxGridPoints - 1));
    const int nx = static_cast<int>(std::ceil(w / spacing)) + 1, ny = static_cast<int>(std::ceil(h / spacing)) + 1;
    report.gridSpacing = spacing;
    // The heights come from fields of the exporter's own, built block by
    // block as the viewer's would be with the camera at each block's
    // middle: the viewer's terrain and its toggles are never touched.
    std::vector<float> heights(static_cast<std::size_t>(nx) * ny);
    const GroundSource source = LevelGround();
    HeightField field;
    field.W = field.H = kHeightFieldSize;
    field.samples.assign(static_cast<std::size_t>(field.W) * field.H, 0.0f);
    auto pyramid = std::make_unique<HeightPyramid>();
    constexpr float kBlock = 1024.0f;  // well inside the 2048-unit window
    const int blocksX = static_cast<int>(std::ceil((w + spacing) / kBlock)) + 1;
    const int blocksY = static_cast<int>(std::ceil((h + spacing) / kBlock)) + 1;
    for (int byk = 0; byk < blocksY; ++byk)
        for (int bxk = 0; bxk < blocksX; ++bxk) {
            const float bx = t.minX + kBlock * static_cast<float>(bxk), by = t.minY + kBlock * static_cast<float>(byk);
            bool any = false;
            for (int j = 0; j < ny; ++j)
                for (int i = 0; i < nx; ++i) {
                    const float x = std::min(t.minX + spacing * static_cast<float>(i), t.maxX);
                    const float y = std::min(t.minY + spacing * static_cast<float>(j), t.maxY);
                    if (x < bx || x >= bx + kBlock || y < by || y >= by + kBlock) continue;
                    if (!any) {
                        field.originX = std::trunc(bx + kBlock / 2) - field.extentX / 2;
                        field.originY = std::trunc(by + kBlock / 2) - field.extentY / 2;
                        BuildHeightField(field, *pyramid, source);
                        any = true;
                    }
                    heights[static_cast<std::size_t>(j) * nx + i] = TerrainHeightAt(field, x, y);
                }
        }

    std::vector<float> positions, normals, uvs;
    auto height = [&](int i, int j) {
        return heights[static_cast<std::size_t>(std::clamp(j, 0, ny - 1)) * nx + std::clamp(i, 0, nx - 1)];
    };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const float x = std::min(t.minX + spacing * static_cast<float>(i), t.maxX);
            const float y = std::min(t.minY + spacing * static_cast<float>(j), t.maxY);
            positions.insert(positions.end(), {x, y, height(i, j)});
            const Vector3 n = UnitOr({(height(i - 1, j) - height(i + 1, j)) / (2 * spacing),
                                      (height(i, j - 1) - height(i, j + 1)) / (2 * spacing), 1},
                                     {0, 0, 1});
            normals.insert(normals.end(), {n.x, n.y, n.z});
            uvs.insert(uvs.end(), {(x - t.minX) / w, (t.maxY - y) / h});
        }
    std::vector<std::uint32_t> indices;
    for (int j = 0; j + 1 < ny; ++j)
        for (int i = 0; i + 1 < nx; ++i) {
            const auto at = [nx](int a, int c) { return static_cast<std::uint32_t>(c * nx + a); };
            indices.insert(indices.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1),
                                           at(i, j + 1)});
        }
    tinygltf::Material m;
    m.name = "ground";
    m.pbrMetallicRoughness.metallicFactor = 0.0;
    m.pbrMetallicRoughness.roughnessFactor = 1.0;
    tinygltf::Texture texture;
    texture.source = b.ImageOf(t.width, t.height, t.rgba, "ground");
    std::vector<std::uint8_t>().swap(t.rgba);
    if (texture.source < 0) return -1;
    texture.sampler = b.Sampler(true);
    b.gltf.textures.push_back(texture);
    m.pbrMetallicRoughness.baseColorTexture.index = static_cast<int>(b.gltf.textures.size() - 1);
    b.gltf.materials.push_back(m);
    tinygltf::Primitive p;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    p.attributes["POSITION"] = b.Floats(positions, TINYGLTF_TYPE_VEC3, true);
    p.attributes["NORMAL"] = b.Floats(normals, TINYGLTF_TYPE_VEC3, false);
    p.attributes["TEXCOORD_0"] = b.Floats(uvs, TINYGLTF_TYPE_VEC2, false);
    p.indices = b.Indices(indices);
    p.material = static_cast<int>(b.gltf.materials.size() - 1);
    tinygltf::Mesh mesh;
    mesh.name = "ground";
    mesh.primitives.push_back(p);
    b.gltf.meshes.push_back(mesh);
    ++report.meshes;
    tinygltf::Node node;
    node.name = "ground";
    node.mesh = static_cast<int>(b.gltf.meshes.size() - 1);
    b.gltf.nodes.push_back(node);
    return static_cast<int>(b.gltf.nodes.size() - 1);
}

}  // namespace

std::array<double, 4> DrawingQuaternion(float rx, float ry, float rz) {
    // q = qz * qy * qx: x is turned first, as glRotatef z, y, x applies it.
    const double cx = std::cos(rx / 2.0), sx = std::sin(rx / 2.0);
    const double cy = std::cos(ry / 2.0), sy = std::sin(ry / 2.0);
    const double cz = std::cos(rz / 2.0), sz = std::sin(rz / 2.0);
    // qz * qy
    const double w1 = cz * cy, x1 = -sz * sy, y1 = cz * sy, z1 = sz * cy;
    // (qz * qy) * qx
    return {w1 * sx + x1 * cx, y1 * cx + z1 * sx, z1 * cx - y1 * sx, w1 * cx - x1 * sx};
}

namespace {

// The loaded level's scene in b, its images and buffer in place (or staged
// beside a .gltf); false with the reason.
bool Assemble(const GltfExportOptions& options, bool binary, Builder& b, GltfExportReport& report,
              std::string& error) {
    b.report = &report;
    b.separateFiles = !binary;
    const std::string name = platform::NameOf(options.path);
    b.stem = name.substr(0, name.rfind('.'));
    b.directory = options.path.substr(0, options.path.size() - name.size());
    b.gltf.asset.version = "2.0";
    b.gltf.asset.generator = "Wildview";

    tinygltf::Node root;
    root.name = "level (z up)";
    root.rotation = {-std::sqrt(0.5), 0.0, 0.0, std::sqrt(0.5)};  // z up becomes y up
    const std::set<std::uint32_t> only(options.only.begin(), options.only.end());
    const auto& list = TheScene().InstanceList;
    const SceneState& level = TheScene();
    const float marginX = 0.25f * (level.TerrainMax.x - level.TerrainMin.x);
    const float marginY = 0.25f * (level.TerrainMax.y - level.TerrainMin.y);
    const float margin = std::max(marginX, marginY);
    const bool cutSea = !options.fullSea && level.TerrainMin.x < level.TerrainMax.x && level.TerrainMin.y < level.TerrainMax.y;
    bool anyUnlit = false;
    // The ground first: its picture, the biggest, is encoded and let go
    // before the objects fill the buffer.
    const int ground = options.terrain ? GroundNode(b, *options.terrain, report) : -1;
    for (std::size_t n = 0; n < list.size(); ++n) {
        const Instance& inst = *list[n];
        if (options.progress && n % 256 == 0 &&
            !options.progress(0.9f * static_cast<float>(n) / static_cast<float>(list.size()))) {
            error.clear();
            return false;
        }
        if (!only.empty() && !only.count(inst.index)) continue;
        if (!inst.model) continue;
        const Look look{inst.Unlit, inst.AlwaysFace};
        tinygltf::Node node;
        node.name = Utf8(inst.name ? inst.name : "") + " #" + std::to_string(inst.index);
        if (cutSea && IsSea(inst)) {
            // Cut in the world: the node stands at the origin, unturned.
            const Placed place{inst.ModelMatrix(), inst.position,
                               level.TerrainMin.x - margin, level.TerrainMin.y - margin,
                               level.TerrainMax.x + margin, level.TerrainMax.y + margin};
            node.mesh = b.MeshOf(*inst.model, look, &place);
        } else {
            node.mesh = b.MeshOf(*inst.model, look);
            node.translation = {inst.position.x, inst.position.y, inst.position.z};
            const std::array<double, 4> q = inst.AlwaysFace ? DrawingQuaternion(0, 0, inst.rotation.z)
                                                            : DrawingQuaternion(inst.rotation.x, inst.rotation.y,
                                                                                inst.rotation.z);
            node.rotation = {q[0], q[1], q[2], q[3]};
            node.scale = {inst.scale, inst.scale, inst.scale};
        }
        if (node.mesh < 0) continue;
        anyUnlit = anyUnlit || inst.Unlit;
        node.extras = Extras(inst);
        b.gltf.nodes.push_back(node);
        root.children.push_back(static_cast<int>(b.gltf.nodes.size() - 1));
        ++report.nodes;
    }
    if (ground >= 0) root.children.push_back(ground);
    if (anyUnlit) b.gltf.extensionsUsed.push_back("KHR_materials_unlit");
    b.gltf.nodes.push_back(root);
    tinygltf::Scene scene;
    scene.name = "level";
    scene.nodes.push_back(static_cast<int>(b.gltf.nodes.size() - 1));
    b.gltf.scenes.push_back(scene);
    b.gltf.defaultScene = 0;
    b.binary.Pad();
    if (!b.failure.empty()) {
        error = b.failure;
        return false;
    }
    if (options.progress && !options.progress(0.95f)) {
        error.clear();
        return false;
    }
    return true;
}

// b's scene as JSON text without its buffer; the JSON library throws on
// text it cannot write: a failure here, never the end of the program.
bool SceneJson(Builder& b, bool pretty, std::string& text, const std::string& path, std::string& error) {
    try {
        tinygltf::TinyGLTF writer;
        writer.SetImageWriter(nullptr, nullptr);  // the images are in the buffer or beside
        std::ostringstream out;
        if (writer.WriteGltfSceneToStream(&b.gltf, out, pretty, false)) {
            text = std::move(out).str();
            while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
            if (!text.empty() && text.back() == '}') return true;
        }
    } catch (const std::exception& e) {
        error = "Could not write " + path + ": " + e.what();
        return false;
    }
    error = "Could not write " + path + ": the scene could not be serialised";
    return false;
}

void PutLe32(std::ostream& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    out.write(bytes, 4);
}

// b's scene as one .glb: the JSON chunk, then the buffer's pieces as the
// binary chunk.
bool WriteGlb(Builder& b, std::ostream& out, const std::string& path, std::string& error) {
    std::string json;
    if (!SceneJson(b, false, json, path, error)) return false;
    const std::size_t bin = b.binary.Size();
    if (bin) json.insert(json.size() - 1, ",\"buffers\":[{\"byteLength\":" + std::to_string(bin) + "}]");
    while (json.size() % 4) json.push_back(' ');
    const std::uint64_t total = 12 + 8 + json.size() + (bin ? 8 + bin : 0);
    if (total > 0xFFFFFFFFu) {
        error = "Could not write " + path + ": a .glb holds at most 4 GB; write a .gltf instead";
        return false;
    }
    out.write("glTF", 4);
    PutLe32(out, 2);
    PutLe32(out, static_cast<std::uint32_t>(total));
    PutLe32(out, static_cast<std::uint32_t>(json.size()));
    out.write("JSON", 4);
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    if (bin) {
        PutLe32(out, static_cast<std::uint32_t>(bin));
        out.write("BIN\0", 4);
        for (const auto& piece : b.binary.Pieces())
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    }
    if (out.flush()) return true;
    error = "Could not write " + path + ": the scene could not be serialised";
    return false;
}

}  // namespace

bool ExportGlbToMemory(const GltfExportOptions& options, std::vector<std::uint8_t>& out, GltfExportReport& report,
                       std::string& error) {
    report = GltfExportReport{};
    out.clear();
    Builder b;
    if (!Assemble(options, true, b, report, error)) return false;
    std::ostringstream stream;
    if (!WriteGlb(b, stream, options.path.empty() ? "the export" : options.path, error)) return false;
    const std::string bytes = std::move(stream).str();
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool ExportGltf(const GltfExportOptions& options, GltfExportReport& report, std::string& error) {
    report = GltfExportReport{};
    const bool binary = EndsWith(options.path, ".glb");
    if (!binary && !EndsWith(options.path, ".gltf")) {
        error = options.path + ": the file name must end in .glb or .gltf";
        return false;
    }
    Builder b;
    if (!Assemble(options, binary, b, report, error)) return false;
    platform::AtomicFile main(options.path);
    if (!main.Open()) {
        error = main.Error();
        return false;
    }
    bool serialised = false;
    if (binary) {
        AtomicFileBuffer buffer(main);
        std::ostream stream(&buffer);
        serialised = WriteGlb(b, stream, options.path, error);
        if (!serialised && main.Failed()) error = main.Error();  // the disk's reason, not the stream's
    } else {
        // The JSON names its binary buffer beside it, written whole like the
        // images.
        std::string text;
        if (SceneJson(b, true, text, options.path, error)) {
            try {
                nlohmann::json json = nlohmann::json::parse(text);
                if (const std::size_t bin = b.binary.Size()) {
                    const std::string uri = b.stem + ".bin";
                    json["buffers"] = nlohmann::json::array({{{"byteLength", bin}, {"uri", uri}}});
                    std::vector<std::span<const std::uint8_t>> pieces(b.binary.Pieces().begin(), b.binary.Pieces().end());
                    b.Stage(uri, pieces);
                }
                const std::string out = json.dump(2);
                serialised = main.Write(out.data(), out.size());
            } catch (const std::exception& e) {
                error = "Could not write " + options.path + ": " + e.what();
            }
        }
    }
    if (!serialised && error.empty() && !main.Failed()) error = "Could not write " + options.path + ": the scene could not be serialised";
    if (!b.failure.empty() || main.Failed() || !serialised) {
        if (error.empty()) error = !b.failure.empty() ? b.failure : main.Error();
        return false;
    }
    // Beside files first: the main file appears only with everything it names.
    for (auto& file : b.staged)
        if (!file->Commit()) {
            error = file->Error();
            return false;
        }
    if (!main.Commit()) {
        error = main.Error();
        return false;
    }
    if (options.progress) options.progress(1.0f);
    return true;
}
