// What the program writes, read back independently, and every writer made
// to fail the ways a disk fails: the saved level, the glTF export, PNG
// pictures, bookmarks and scene files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <tiny_gltf.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "demo_fixture.h"
#include "diag/state_registry.h"
#include "edit/bookmarks.h"
#include "edit/edits.h"
#include "faulty_files.h"
#include "files/png_image.h"
#include "level_reader.h"
#include "math/matrix3.h"
#include "output/gltf_export.h"
#include "output/level_save.h"
#include "platform/file_system.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"
#include "test_util.h"

namespace {

using Fault = FaultyFiles::Fault;

#ifdef _WIN32
constexpr const char* kNoSuchFolder = "Path not found";
#else
constexpr const char* kNoSuchFolder = "No such file or directory";
#endif

// The export read back. Where tinygltf was built without an image decoder
// (Windows), ours decodes the PNGs.
bool ReadGlb(const std::string& path, tinygltf::Model& gltf, std::string& error) {
    tinygltf::TinyGLTF reader;
#ifdef TINYGLTF_NO_STB_IMAGE
    reader.SetImageLoader(
        [](tinygltf::Image* image, int, std::string* err, std::string*, int, int, const unsigned char* bytes, int size,
           void*) {
            std::uint32_t w = 0, h = 0;
            if (!DecodePng({bytes, static_cast<std::size_t>(size)}, w, h, image->image, *err)) return false;
            image->width = static_cast<int>(w), image->height = static_cast<int>(h);
            image->component = 4, image->bits = 8, image->pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
            return true;
        },
        nullptr);
#endif
    std::string warn;
    return reader.LoadBinaryFromFile(&gltf, &error, &warn, path);
}

// Every name in a folder, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> Folder(const std::string& path) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (const auto& e : std::filesystem::directory_iterator(path))
        out[e.path().filename().string()] = ReadAll(e.path().string());
    return out;
}

class OutputTest : public DemoSuite<::testing::Test> {
protected:
    void SetUp() override { LoadQuietly(File("skew-130.swp")); }
    void TearDown() override { ResetState(StateScope::Process); }
    static Instance& Named(const std::string& name) {
        for (const auto& i : TheScene().InstanceList)
            if (name == i->name) return *i;
        for (auto& [key, group] : TheScene().TerrainObjectsByHeight)
            for (const auto& i : group)
                if (name == i->name) return *i;
        throw std::runtime_error("no " + name);
    }
    static void Drag(Instance& inst, const Vector3& by, const Vector3& turn = {}) {
        BeginDrag(inst);
        inst.SetPosition(inst.position.x + by.x, inst.position.y + by.y, inst.position.z + by.z);
        inst.SetRotation(inst.rotation.x + turn.x, inst.rotation.y + turn.y, inst.rotation.z + turn.z);
        EndDrag();
    }
    TempDir out;
    SettingsHome settings{out.path()};
};

// Each writer, asked to write over an earlier file of its own while the
// disk fails it: the earlier file is as it was, nothing is left beside it,
// and the reason is given. With the disk well, the same writer succeeds
// and leaves only its files.
TEST_F(OutputTest, EveryWriterLeavesTheTargetAsItWasWhenTheDiskFails) {
    Drag(Named("crate_a"), {1, 2, 0});
    const std::vector<std::uint8_t> pixels(16 * 8 * 4, 200);
    const auto gltf = [](const std::string& p, std::string& e) {
        GltfExportOptions options;
        options.path = p;
        GltfExportReport report;
        return ExportGltf(options, report, e);
    };
    struct Writer {
        const char* what;
        std::string target;
        std::function<bool(const std::string&, std::string&)> write;
    };
    const Writer writers[] = {
        {"scene file", "copy.grf",
         [](const std::string& p, std::string& e) {
             BlockFile f;
             const bool loaded = f.Load(TheLevelFiles().GrfPath.c_str());
             const bool saved = loaded && f.Save(p.c_str());
             e = f.LastError();
             return saved;
         }},
        {"edited level", "edited.grf", [](const std::string& p, std::string& e) { return SaveLevelAs(p, e); }},
        {"picture", "map.png", [&](const std::string& p, std::string& e) { return WritePngFile(p, 16, 8, pixels, e); }},
        {"bookmarks", "wildview/bookmarks-skew.txt",
         [](const std::string&, std::string& e) { return SaveBookmarks("skew", {{"here", {1, 2, 3}, 4, 5}}, e); }},
        {"glb", "level.glb", gltf},
        {"gltf and its files", "level.gltf", gltf},
    };
    const struct {
        Fault fault;
        const char* reason;
    } faults[] = {{Fault::ShortWrite, "No space left on device"},
                  {Fault::DiskFull, "No space left on device"},
                  {Fault::SyncFails, "Input/output error"},
                  {Fault::RenameRefused, "Permission denied"}};
    for (const Writer& w : writers) {
        TempDir place;
        SettingsHome settings(place.path());
        const std::string target = place.File(w.target);
        std::string error;
        ASSERT_TRUE(w.write(target, error)) << w.what << ": " << error;
        const auto earlier = Folder(platform::FolderOf(target));
        for (const auto& f : faults) {
            FaultyFiles disk(f.fault);
            disk.shortAfter = 10;
            error.clear();
            EXPECT_FALSE(w.write(target, error)) << w.what;
            EXPECT_NE(error.find(f.reason), std::string::npos) << w.what << ": " << error;
            EXPECT_NE(error.find("Could not write " + platform::FolderOf(target)), std::string::npos) << w.what << ": " << error;
            EXPECT_EQ(Folder(platform::FolderOf(target)), earlier) << w.what << ", " << f.reason;
        }
        ASSERT_TRUE(w.write(target, error)) << w.what << ": " << error;
        EXPECT_EQ(Folder(platform::FolderOf(target)).size(), earlier.size()) << w.what;
        // A folder that is not there is named as the reason, and made by nobody.
        if (std::string(w.what) == "bookmarks") continue;
        EXPECT_FALSE(w.write(place.File("none/" + w.target), error)) << w.what;
        EXPECT_NE(error.find(kNoSuchFolder), std::string::npos) << w.what << ": " << error;
        EXPECT_FALSE(std::filesystem::exists(place.File("none")));
    }
}

// A temporary name somebody took first is passed over, never written
// through: what they put there stays, and the target is written whole.
TEST_F(OutputTest, ATakenTemporaryNameIsPassedOver) {
    FaultyFiles disk;
    disk.plantBeforeCreate = 2;
    std::string error;
    const std::vector<std::uint8_t> pixels(2 * 2 * 4, 77);
    ASSERT_TRUE(WritePngFile(out.File("map.png"), 2, 2, pixels, error)) << error;
    ASSERT_EQ(disk.planted.size(), 2u);
    for (const std::string& p : disk.planted) EXPECT_EQ(ReadAll(p), std::vector<std::uint8_t>({'p', 'l', 'a', 'n', 't', 'e', 'd'})) << p;
    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ReadPng(out.File("map.png"), w, h, back));
    EXPECT_EQ(back, pixels);
}

TEST_F(OutputTest, TheLoadedSceneFileIsNeverSavedOverUnderAnySpelling) {
    const std::string grf = TheLevelFiles().GrfPath;
    const std::string folder = platform::FolderOf(grf);
    const std::vector<std::uint8_t> before = ReadAll(grf);
    std::vector<std::string> spellings = {grf, folder + "/./skew.grf", folder + "//skew.grf", out.File("hard.grf")};
    std::filesystem::create_hard_link(grf, out.File("hard.grf"));
#ifdef _WIN32
    // Names differ only in case, and either separator will do.
    std::string backslashed = grf;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    spellings.insert(spellings.end(), {folder + "/SKEW.Grf", backslashed});
#else
    std::filesystem::create_symlink(grf, out.File("link.grf"));
    spellings.push_back(out.File("link.grf"));
#endif
    Drag(Named("crate_b"), {0, 1, 0});
    for (const std::string& spelling : spellings) {
        std::string error;
        EXPECT_FALSE(SaveLevelAs(spelling, error)) << spelling;
        EXPECT_NE(error.find("cannot be saved over a file it was loaded from"), std::string::npos) << error;
    }
    EXPECT_EQ(ReadAll(grf), before);
    EXPECT_TRUE(HasUnsavedEdits());
}

// No tool writes over a file of the level it reads, whatever it is asked:
// the same file under another spelling, through a link, or as a picture.
TEST_F(OutputTest, NoToolWritesOverTheLevelItReads) {
    const std::string swp = TheLevelFiles().SwpPath, grf = TheLevelFiles().GrfPath, pid = TheLevelFiles().PidPath;
    const std::string folder = platform::FolderOf(grf);
    // Another name for the same file: a link, or on Windows (where links
    // need an administrator) a hard link.
#ifdef _WIN32
    const auto link = [](const std::string& to, const std::string& name) { std::filesystem::create_hard_link(to, name); };
#else
    const auto link = [](const std::string& to, const std::string& name) { std::filesystem::create_symlink(to, name); };
#endif
    link(grf, out.File("link.glb"));
    link(pid, out.File("link.png"));
    const std::map<std::string, std::vector<std::uint8_t>> before = Folder(folder);
    const std::string render = std::string(WV_RENDER) + " " + swp + " --size 64x48 --out ";
    const std::string inspect = std::string(WV_INSPECT) + " ";
    for (const std::string& command : {
             render + folder + "/./skew.grf",
             render + out.File("link.png") + " --overview",
             std::string(WV_EXPORT) + " " + swp + " " + out.File("link.glb"),
             inspect + "heights " + swp + " --raw " + folder + "//skew-130.swp",
             inspect + "heights " + swp + " --png " + out.File("link.png"),
             inspect + "texture " + pid + " " + swp + " 0 " + out.File("link.png"),
             inspect + "texture " + pid + " " + swp + " 0 " + out.File("t.png") + " --normals " + swp,
         }) {
        const RunResult r = RunShell(out, command);
        EXPECT_NE(r.status, 0) << command;
        EXPECT_NE(r.err.find("one of the level's own files"), std::string::npos) << command << "\n" << r.err;
    }
    EXPECT_EQ(Folder(folder), before);
}

// The exporter's ground picture is the map at 2 pixels a unit unless its
// longest side would pass --map-size (4096 by default); a size the tool
// cannot draw is refused before anything is written.
TEST_F(OutputTest, TheExportedGroundsPictureKeepsToTheMapSize) {
    const std::string swp = File("demo-130.swp");  // 400 units square
    const struct {
        const char* args;
        std::uint32_t side;
    } cases[] = {{"--terrain", 800}, {"--terrain --map-size 300", 300}, {"--terrain --map-size 16", 16}};
    for (const auto& c : cases) {
        const std::string glb = out.File("sized.glb");
        const RunResult r = RunShell(out, std::string(WV_EXPORT) + " " + swp + " " + glb + " " + c.args);
        if (r.status == 1 && r.err.find("headless GL") != std::string::npos) GTEST_SKIP() << r.err;
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        tinygltf::Model gltf;
        std::string error;
        ASSERT_TRUE(ReadGlb(glb, gltf, error)) << error;
        const auto ground = std::find_if(gltf.images.begin(), gltf.images.end(),
                                         [](const tinygltf::Image& i) { return i.name == "ground"; });
        ASSERT_NE(ground, gltf.images.end()) << c.args;
        EXPECT_EQ(ground->width, static_cast<int>(c.side)) << c.args;
        EXPECT_EQ(ground->height, static_cast<int>(c.side)) << c.args;
    }
    for (const char* bad : {"--map-size 8193", "--map-size 15", "--map-size big", "--map-size"}) {
        const RunResult r = RunShell(out, std::string(WV_EXPORT) + " " + swp + " " + out.File("refused.glb") +
                                              " --terrain " + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--map-size wants a number of pixels, 16 to 8192"), std::string::npos) << bad << r.err;
        EXPECT_FALSE(std::filesystem::exists(out.File("refused.glb"))) << bad;
    }
}

// The saved file read back at the format's offsets: the count word one
// less, every record but the edited ones as stored, the moved and turned
// ones with exactly the user's change, the deleted one gone; every other
// block byte for byte. The diff lists the same.
TEST_F(OutputTest, ASavedLevelHoldsExactlyTheEdits) {
    WrittenLevel original;
    original.LoadScene(TheLevelFiles().GrfPath);
    // Unedited, the block comes back as it was, bytes past the last whole record included.
    const std::span<const std::uint8_t> stored = TheSceneFile().FindBlockByName(".region")->bytes();
    std::vector<std::uint8_t> tailed(stored.begin(), stored.end());
    tailed.insert(tailed.end(), {0xAA, 0xBB, 0xCC});
    EXPECT_EQ(EditedRegionBlock(tailed), tailed);
    Drag(Named("crate_a"), {3.5f, -2, 0.25f});
    Drag(Named("crate_b"), {}, {0.1f, -0.2f, 0.3f});
    Drag(Named("terrain_southeast"), {1, 1, 0.5f});  // stored at z 0 whatever height the instance stands at
    const Vector3 movedTo = Named("crate_a").position;
    ASSERT_TRUE(DeleteInstance(Named("crate_c")));
    std::string error;
    ASSERT_TRUE(SaveLevelAs(out.File("edited.grf"), error)) << error;
    EXPECT_FALSE(HasUnsavedEdits());
    EXPECT_EQ(Folder(out.path()).size(), 1u);  // no temporary left

    WrittenLevel saved;
    saved.LoadScene(out.File("edited.grf"));
    ASSERT_EQ(saved.instances.size(), original.instances.size() - 1);
    ASSERT_EQ(LoadU32(saved.grf.FindBlockByName(".region")->data.data()), original.instances.size() - 1);
    for (std::size_t i = 0, j = 0; i < original.instances.size(); ++i) {
        const Placed& a = original.instances[i];
        if (a.name == "crate_c") continue;
        const Placed& b = saved.instances[j++];
        EXPECT_EQ(a.name, b.name);
        if (a.name == "crate_a") {
            EXPECT_EQ(b.position, movedTo);
            EXPECT_EQ(0, std::memcmp(&a.raw[20], &b.raw[20], 24)) << "only the position changes";
        } else if (a.name == "crate_b") {
            EXPECT_EQ(b.rotation, a.rotation + Vector3(0.1f, -0.2f, 0.3f));
            EXPECT_EQ(0, std::memcmp(&a.raw[0], &b.raw[0], 20)) << "only the rotation changes";
        } else if (a.name == "terrain_southeast") {
            EXPECT_EQ(b.position, a.position + Vector3(1, 1, 0.5f));
        } else {
            EXPECT_EQ(a.raw, b.raw) << a.name;  // the last record among them
        }
    }
    ASSERT_EQ(original.grf.GetBlockCount(), saved.grf.GetBlockCount());
    for (std::size_t n = 0; n < original.grf.GetBlockCount(); ++n) {
        const char* name = original.grf.Blocks()[n].GetName();
        if (!name || std::string(name) != ".region") {
            EXPECT_EQ(original.grf.Blocks()[n].data, saved.grf.Blocks()[n].data) << n;
        }
    }

    const RunResult diff = RunShell(out, std::string(WV_INSPECT) + " diff " + TheLevelFiles().GrfPath + " " +
                                            out.File("edited.grf"));
    ASSERT_EQ(diff.status, 0) << diff.err;
    EXPECT_NE(diff.out.find("2 moved, 1 turned, 1 removed, 0 added"), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find(" crate_c\n"), std::string::npos) << diff.out;

    // Opened again with the level's textures, the edits are where they were left.
    for (const char* f : {"skew-130.pid", "skew-130.swp"})
        std::filesystem::copy_file(File(f), out.File(std::string("edited") + (f + 4)));
    LoadQuietly(out.File("edited-130.swp"));
    EXPECT_EQ(Named("crate_a").position, movedTo);
    EXPECT_THROW(Named("crate_c"), std::runtime_error);

    // Where the level's name raises its ground ("it"), a moved piece keeps
    // its stored height plus the user's change, never the raised height.
    for (const char* f : {"skew.grf", "skew-130.pid", "skew-130.swp"})
        std::filesystem::copy_file(File(f), out.File(std::string("it") + (f + 4)));
    LoadQuietly(out.File("it-130.swp"));
    Drag(Named("terrain_southeast"), {1, 1, 0.5f});
    ASSERT_TRUE(SaveLevelAs(out.File("it_edited.grf"), error)) << error;
    WrittenLevel raised;
    raised.LoadScene(out.File("it_edited.grf"));
    for (std::size_t i = 0; i < original.instances.size(); ++i)
        if (original.instances[i].name == "terrain_southeast") {
            EXPECT_EQ(raised.instances[i].position, original.instances[i].position + Vector3(1, 1, 0.5f));
        }
}

// The diff pairs records by what they are (model, name, table, scale), in
// order, to the last one.
TEST_F(OutputTest, TheDiffTellsObjectsApartByIdentityToTheLastRecord) {
    BlockFile level;
    ASSERT_TRUE(level.Load(TheLevelFiles().GrfPath.c_str()));
    const BlockHandle region = level.FindBlockHandleByName(".region");
    const std::vector<std::uint8_t> records(level.GetBlock(region)->data.begin(), level.GetBlock(region)->data.end());
    const std::uint32_t count = LoadU32(records.data());
    const std::uint32_t last = count - 1;
    auto at = [](std::uint32_t record, std::size_t offset) { return 4 + std::size_t{record} * 44 + offset; };
    const SymbolHandle otherName = level.FindSymbolByName("crate_a");
    const std::string first = level.GetSymbolName(LoadU32(&records[at(0, 4)]));
    const struct {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> edit;
        std::string expected;
    } cases[] = {
        {"nothing", [](auto&) {}, "0 moved, 0 turned, 0 removed, 0 added"},
        {"the last moved", [&](auto& b) { b[at(last, 12)] ^= 1; }, "1 moved, 0 turned, 0 removed, 0 added"},
        {"the last turned", [&](auto& b) { b[at(last, 28)] ^= 1; }, "0 moved, 1 turned, 0 removed, 0 added"},
        {"the last gone",
         [&](auto& b) {
             b.resize(at(last, 0));
             PutU32(b, 0, last);
         },
         "0 moved, 0 turned, 1 removed, 0 added"},
        {"another name, same place", [&](auto& b) { PutU32(b, at(2, 4), otherName); },
         "0 moved, 0 turned, 1 removed, 1 added"},
        // As near one way as the other: the first is taken out, then put back.
        {"the first two swapped", [&](auto& b) { std::swap_ranges(&b[at(0, 0)], &b[at(1, 0)], &b[at(1, 0)]); },
         "removed      0 " + first + "\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> edited = records;
        c.edit(edited);
        const std::vector<std::uint8_t> bytes = level.SaveToMemory(region, edited);
        WriteAll(out.File("b.grf"), bytes);
        const RunResult r =
            RunShell(out, std::string(WV_INSPECT) + " diff " + TheLevelFiles().GrfPath + " " + out.File("b.grf"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.what << ":\n" << r.out;
    }
}

// The export read back: one node a placed object with exactly its
// placement, the samplers each material asks for, cut-out cards masked,
// and the ground's image lying as the map lies, north-west in its first
// texel row's start.
TEST_F(OutputTest, TheGltfHoldsPlacementsSamplersAlphaAndAGroundTheRightWayRound) {
    // A map of four quarters, as the overview map draws the skew level.
    GltfTerrain ground{64, 32, std::vector<std::uint8_t>(64 * 32 * 4, 255), wvwrite::skew::kMinX,
                       wvwrite::skew::kMinY, wvwrite::skew::kMaxX, wvwrite::skew::kMaxY};
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x) {
            const int quarter = (y < 16 ? 2 : 0) + (x < 32 ? 0 : 1);  // row 0 is north
            std::memcpy(&ground.rgba[(y * 64 + x) * 4], wvwrite::skew::kColours[quarter], 3);
        }
    GltfExportReport report;
    std::string error;
    GltfExportOptions options;
    options.path = out.File("skew.glb");
    options.terrain = &ground;
    ASSERT_TRUE(ExportGltf(options, report, error)) << error;
    tinygltf::Model gltf;
    ASSERT_TRUE(ReadGlb(out.File("skew.glb"), gltf, error)) << error;

    const tinygltf::Node& root = gltf.nodes[static_cast<std::size_t>(gltf.scenes.at(0).nodes.at(0))];
    EXPECT_EQ(root.rotation, (std::vector<double>{-std::sqrt(0.5), 0, 0, std::sqrt(0.5)}));  // z up turned to y up
    EXPECT_EQ(root.children.size(), TheScene().InstanceList.size() + 1);  // and the ground
    std::map<std::string, const tinygltf::Node*> nodes;
    for (const tinygltf::Node& n : gltf.nodes) nodes[n.name] = &n;
    std::set<std::pair<const Model*, bool>> models;
    std::set<int> meshes;
    for (const auto& inst : TheScene().InstanceList) {
        const std::string name = std::string(inst->name) + " #" + std::to_string(inst->index);
        ASSERT_TRUE(nodes.count(name)) << name;
        const tinygltf::Node& node = *nodes[name];
        // The record, and the property table as one object by names.
        EXPECT_EQ(node.extras.Get("record").GetNumberAsInt(), static_cast<int>(inst->index));
        EXPECT_EQ(node.extras.Get("Class").Get<std::string>(), "CInstance");
        if (std::string(inst->name).rfind("crate", 0) == 0) {
            EXPECT_EQ(node.extras.Get("Weight").GetNumberAsInt(), 7);
            EXPECT_TRUE(node.extras.Get("Shadow").Get<bool>());
        }
        EXPECT_EQ(node.translation, (std::vector<double>{inst->position.x, inst->position.y, inst->position.z}));
        EXPECT_EQ(node.scale, (std::vector<double>(3, inst->scale)));
        // Every drawn face once; one mesh a model, shared.
        std::size_t faces = 0, triangles = 0;
        for (const Face& f : inst->model->faces) faces += f.inRange && !inst->model->materials[f.material].invisible;
        for (const tinygltf::Primitive& p : gltf.meshes[static_cast<std::size_t>(node.mesh)].primitives)
            triangles += gltf.accessors[static_cast<std::size_t>(p.indices)].count / 3;
        EXPECT_EQ(triangles, faces) << name;
        models.insert({inst->model, inst->Unlit});
        meshes.insert(node.mesh);
        // The quaternion turns a vector as the drawing rotation does.
        const Vector3 r = inst->AlwaysFace ? Vector3(0, 0, inst->rotation.z) : inst->rotation;
        const Matrix3 m = DrawingRotation(r);
        const double qx = node.rotation[0], qy = node.rotation[1], qz = node.rotation[2], qw = node.rotation[3];
        const Vector3 v(0.3f, -0.8f, 0.5f), want = m * v;
        // v' = v + 2w (q x v) + 2 q x (q x v)
        const double cx = qy * v.z - qz * v.y, cy = qz * v.x - qx * v.z, cz = qx * v.y - qy * v.x;
        const double got[3] = {v.x + 2 * (qw * cx + qy * cz - qz * cy), v.y + 2 * (qw * cy + qz * cx - qx * cz),
                               v.z + 2 * (qw * cz + qx * cy - qy * cx)};
        EXPECT_NEAR(got[0], want.x, 2e-3) << name;
        EXPECT_NEAR(got[1], want.y, 2e-3) << name;
        EXPECT_NEAR(got[2], want.z, 2e-3) << name;
    }
    EXPECT_EQ(meshes.size(), models.size());
    // The images: the pixels each database entry decodes to.
    for (const tinygltf::Image& image : gltf.images) {
        if (image.name == "ground") continue;
        DecodedImage decoded;
        ASSERT_TRUE(TheTextureDatabase().DecodeImage(std::stoi(image.name.substr(7)), false, decoded)) << image.name;
        EXPECT_EQ(image.image, decoded.rgba) << image.name;
    }

    // Samplers and alpha: as each model's materials ask.
    for (const auto& inst : TheScene().InstanceList) {
        const tinygltf::Mesh& mesh = gltf.meshes[static_cast<std::size_t>(
            nodes[std::string(inst->name) + " #" + std::to_string(inst->index)]->mesh)];
        for (const tinygltf::Primitive& p : mesh.primitives) {
            const tinygltf::Material& mat = gltf.materials[static_cast<std::size_t>(p.material)];
            const int texture = mat.pbrMetallicRoughness.baseColorTexture.index;
            ASSERT_GE(texture, 0) << inst->name;
            const tinygltf::Sampler& s = gltf.samplers[static_cast<std::size_t>(gltf.textures[texture].sampler)];
            const std::size_t index = std::stoul(mat.name.substr(mat.name.rfind('/') + 1));
            const bool clamp = inst->model->materials.at(index).clamp;
            EXPECT_EQ(s.wrapS, clamp ? TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE : TINYGLTF_TEXTURE_WRAP_REPEAT) << inst->name;
            EXPECT_EQ(s.wrapT, s.wrapS);
            EXPECT_EQ(mat.alphaMode, inst->model->HasAlphaTexture ? "MASK" : "OPAQUE") << inst->name;
            // A card stands still in the export: seen from behind too.
            EXPECT_EQ(mat.doubleSided, inst->AlwaysFace) << inst->name;
        }
    }
    EXPECT_EQ(gltf.materials[static_cast<std::size_t>(
                  gltf.meshes[static_cast<std::size_t>(nodes.at("card #" + std::to_string(Named("card").index))->mesh)]
                      .primitives[0].material)].alphaMode, "MASK");

    // The ground: a grid over the bounds whose heights rise to the east,
    // textured so that each corner shows its own quarter's colour.
    ASSERT_TRUE(nodes.count("ground"));
    const tinygltf::Primitive& g = gltf.meshes[static_cast<std::size_t>(nodes["ground"]->mesh)].primitives[0];
    auto floats = [&](int accessor) {
        const tinygltf::Accessor& a = gltf.accessors[static_cast<std::size_t>(accessor)];
        const tinygltf::BufferView& v = gltf.bufferViews[static_cast<std::size_t>(a.bufferView)];
        const auto* f = reinterpret_cast<const float*>(gltf.buffers[0].data.data() + v.byteOffset + a.byteOffset);
        return std::vector<float>(f, f + a.count * (a.type == TINYGLTF_TYPE_VEC3 ? 3 : 2));
    };
    // Faces face the way they wind (glTF's front): the normals of a crate,
    // lit flat by its faces' own normals, agree with the winding.
    for (const tinygltf::Primitive& p :
         gltf.meshes[static_cast<std::size_t>(nodes.at("crate_a #" + std::to_string(Named("crate_a").index))->mesh)]
             .primitives) {
        const std::vector<float> cp = floats(p.attributes.at("POSITION")), cn = floats(p.attributes.at("NORMAL"));
        const tinygltf::Accessor& ia = gltf.accessors[static_cast<std::size_t>(p.indices)];
        const tinygltf::BufferView& iv = gltf.bufferViews[static_cast<std::size_t>(ia.bufferView)];
        const auto* idx = reinterpret_cast<const std::uint32_t*>(gltf.buffers[0].data.data() + iv.byteOffset + ia.byteOffset);
        const auto at = [&](const std::vector<float>& v, std::size_t k) {
            return Vector3(v[3 * idx[k]], v[3 * idx[k] + 1], v[3 * idx[k] + 2]);
        };
        for (std::size_t t = 0; t + 2 < ia.count; t += 3)
            EXPECT_GT((at(cp, t + 1) - at(cp, t)).Cross(at(cp, t + 2) - at(cp, t)).Dot(at(cn, t)), 0.0f) << t;
    }
    const std::vector<float> pos = floats(g.attributes.at("POSITION")), uv = floats(g.attributes.at("TEXCOORD_0"));
    const tinygltf::Material& gm = gltf.materials[static_cast<std::size_t>(g.material)];
    const tinygltf::Image& image =
        gltf.images[static_cast<std::size_t>(gltf.textures[gm.pbrMetallicRoughness.baseColorTexture.index].source)];
    float westHigh = -1e9f, eastHigh = -1e9f;
    for (std::size_t k = 0; k < pos.size() / 3; ++k) {
        const float x = pos[3 * k], y = pos[3 * k + 1], z = pos[3 * k + 2];
        EXPECT_GE(x, wvwrite::skew::kMinX);
        EXPECT_LE(y, wvwrite::skew::kMaxY);
        if (x < -250) westHigh = std::max(westHigh, z);
        if (x > 50) eastHigh = std::max(eastHigh, z);
        // Away from the seams, the texel under the vertex is its quarter's colour.
        if (std::fabs(x + 100) < 20 || std::fabs(y - 50) < 20 || x > 90 || y < -40 || y > 140 || x < -290) continue;
        const int quarter = (y > 50 ? 2 : 0) + (x > -100 ? 1 : 0);
        const auto px = static_cast<std::size_t>(uv[2 * k] * static_cast<float>(image.width - 1) + 0.5f);
        const auto py = static_cast<std::size_t>(uv[2 * k + 1] * static_cast<float>(image.height - 1) + 0.5f);
        EXPECT_EQ(0, std::memcmp(&image.image[(py * static_cast<std::size_t>(image.width) + px) * 4],
                                 wvwrite::skew::kColours[quarter], 3))
            << x << ", " << y;
    }
    EXPECT_GT(eastHigh, westHigh + 10) << "the ground rises to the east";
}

// Names in level files are bytes; the JSON of a glTF takes only UTF-8. A
// name that is not UTF-8 is read as the game's code page, and one that is
// stays as it is.
TEST_F(OutputTest, NamesThatAreNotUtf8LeaveAsCodePage1252) {
    Instance& crate = *TheScene().InstanceList.front();
    crate.name = "hou\xE9" "e\x80";
    ValueTable& table = TheScene().valueTable;
    ASSERT_NE(crate.valueTable, 0xFFFFFFFFu);
    const ValueEntry& list = *table.Entry(crate.valueTable);
    ASSERT_FALSE(list.members.empty());
    ValueEntry& property = table.entries.at(list.members.front());
    property.name = "Gr\xFC\xDF" "e";
    property.kind = kValueString;
    property.stringValue = "caf\xC3\xA9";  // already UTF-8
    GltfExportReport report;
    std::string error;
    GltfExportOptions options;
    options.path = out.File("names.gltf");
    ASSERT_TRUE(ExportGltf(options, report, error)) << error;
    const std::vector<std::uint8_t> bytes = ReadAll(out.File("names.gltf"));
    const nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end());  // throws on invalid UTF-8
    const std::string node = "hou\xC3\xA9" "e\xE2\x82\xAC #" + std::to_string(crate.index);
    bool found = false;
    for (const auto& n : json["nodes"])
        if (n.value("name", "") == node) {
            found = true;
            EXPECT_EQ(n["extras"]["Gr\xC3\xBC\xC3\x9F" "e"], "caf\xC3\xA9");
        }
    EXPECT_TRUE(found) << node;
}

// A level whose scene file was compressed by the old compress.exe loads as
// its plain file does (objects and ground alike) and is saved plain, the
// user told so.
TEST_F(OutputTest, ACompressedLevelLoadsAsItsPlainFileAndIsSavedPlain) {
#ifdef _WIN32
    GTEST_SKIP() << "mscompress is a Linux program; the cross-system check compresses the level for Windows";
#endif
    std::vector<std::tuple<std::string, Vector3, Vector3>> plainObjects;
    for (const auto& i : TheScene().InstanceList) plainObjects.emplace_back(i->name, i->position, i->rotation);
    const auto plainGround = TheTerrain().field.samples;
    ASSERT_GT(plainGround.size(), 1000u);
    std::string error, note = "left over";
    ASSERT_TRUE(SaveLevelAs(out.File("plain.grf"), error, &note)) << error;
    EXPECT_EQ(note, "");
    ResetState(StateScope::Process);

    for (const char* f : {"skew-130.pid", "skew-130.swp"}) std::filesystem::copy_file(File(f), out.File(f));
    ASSERT_TRUE(LzCompress(File("skew.grf"), out.File("skew.grf")));
    LoadQuietly(out.File("skew-130.swp"));
    std::vector<std::tuple<std::string, Vector3, Vector3>> objects;
    for (const auto& i : TheScene().InstanceList) objects.emplace_back(i->name, i->position, i->rotation);
    EXPECT_EQ(objects, plainObjects);
    EXPECT_TRUE(TheTerrain().field.samples == plainGround);
    ASSERT_TRUE(SaveLevelAs(out.File("saved.grf"), error, &note)) << error;
    EXPECT_EQ(note, "The level was read from an LZ-compressed file; it was saved uncompressed:\n" + out.File("saved.grf"));
    EXPECT_TRUE(ReadAll(out.File("saved.grf")) == ReadAll(File("skew.grf")));
}

// A level in a folder with letters outside ASCII and spaces: read, exported,
// and the names on the disk the real ones (on Windows, not the ANSI code page's guess).
TEST(PathTest, NamesOutsideAsciiReadAndWrite) {
    TempDir dir;
    const std::string folder = dir.File("Lévels ä ö/日本 1");
    std::string error;
    ASSERT_TRUE(platform::Files().CreateDirectories(folder, error)) << error;
    ASSERT_TRUE(wvwrite::WriteSkewLevel(folder, nullptr));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(folder + "/skew.grf")));
    headless::LoadedLevel level;
    level.console = nullptr;
    ASSERT_TRUE(headless::LoadLevel(folder + "/skew-130.swp", level));
    EXPECT_FALSE(TheScene().InstanceList.empty());
    GltfExportOptions options;
    options.path = folder + "/Ausfahrt é.glb";
    GltfExportReport report;
    ASSERT_TRUE(ExportGltf(options, report, error)) << error;
    ResetState(StateScope::Process);
    std::vector<std::uint8_t> glb;
    ASSERT_TRUE(platform::ReadWholeFile(options.path, glb, error)) << error;
    EXPECT_EQ(std::string(glb.begin(), glb.begin() + 4), "glTF");
    bool listed = false;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
        listed |= e.path().filename().u8string() == u8"Ausfahrt é.glb";
    EXPECT_TRUE(listed);
}

// Pictures read back as written (stb decodes them): the row filters
// predict from the rows the reader has, and 16-bit samples are big-endian.
TEST(PngTest, PicturesReadBackAsWritten) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(4 * x), static_cast<std::uint8_t>(5 * y),
                                     static_cast<std::uint8_t>(x * y), static_cast<std::uint8_t>(255 - x)});
    std::vector<std::uint8_t> png, back;
    std::uint32_t w = 0, h = 0;
    std::string error;
    ASSERT_TRUE(EncodePng(PngImage{64, 48, PngFormat::Rgba8, rgba, {}}, png));
    ASSERT_TRUE(DecodePng(png, w, h, back, error)) << error;
    EXPECT_EQ(back, rgba);

    // Rows that repeat, each sample half the one before: predicting from the
    // row above wins, and from the left when the row above is taken as zero.
    rgba.clear();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) rgba.insert(rgba.end(), 4, static_cast<std::uint8_t>(255 >> (x % 8)));
    ASSERT_TRUE(EncodePng(PngImage{32, 8, PngFormat::Rgba8, rgba, {}}, png));
    ASSERT_TRUE(DecodePng(png, w, h, back, error)) << error;
    EXPECT_EQ(back, rgba);

    const std::uint16_t grey[4] = {0x1234, 0xFF00, 0x00FF, 0x8001};
    ASSERT_TRUE(EncodePng(PngImage{2, 2, PngFormat::Grey16, {reinterpret_cast<const std::uint8_t*>(grey), 8}, {}}, png));
    ASSERT_TRUE(DecodePng(png, w, h, back, error)) << error;
    ASSERT_EQ(back.size(), 16u);
    EXPECT_EQ((std::vector<int>{back[0], back[4], back[8], back[12]}), (std::vector<int>{0x12, 0xFF, 0x00, 0x80}));
}

// A picture with a map's structure: smooth gradients, flat bands and noise
// in the low bits.
struct TestPicture {
    std::uint32_t width, height;
    PngFormat format;
    std::vector<std::uint8_t> pixels, palette;
    PngImage image() const { return {width, height, format, pixels, palette}; }
};

TestPicture MakePicture(PngFormat format, std::uint32_t width, std::uint32_t height) {
    static constexpr std::size_t kBpp[] = {4, 3, 2, 1};
    const std::size_t bpp = kBpp[static_cast<int>(format)];
    TestPicture p{width, height, format, {}, {}};
    p.pixels.resize(std::size_t{width} * height * bpp);
    std::uint32_t noise = 12345;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x)
            for (std::size_t c = 0; c < bpp; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const bool flat = (y / 50) % 4 == 1;
                const std::size_t smooth = (x * (c + 1) + y * (3 - c % 3)) / 3 + (x * y) / 4096;
                std::uint8_t v = static_cast<std::uint8_t>(flat ? 90 + c : smooth + ((noise >> 24) & 7));
                if (format == PngFormat::Indexed8) v %= 200;
                p.pixels[(y * width + x) * bpp + c] = v;
            }
    if (format == PngFormat::Indexed8)
        for (int k = 0; k < 200; ++k)
            p.palette.insert(p.palette.end(), {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
                                               static_cast<std::uint8_t>(k * 7), static_cast<std::uint8_t>(k < 20 ? k * 12 : 255)});
    return p;
}

// The pixels as an RGBA decoder gives them: grey's high byte, the palette's
// colours.
std::vector<std::uint8_t> AsRgba(const TestPicture& p) {
    std::vector<std::uint8_t> rgba;
    const std::size_t n = std::size_t{p.width} * p.height;
    rgba.reserve(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
        switch (p.format) {
            case PngFormat::Rgba8: rgba.insert(rgba.end(), &p.pixels[4 * i], &p.pixels[4 * i] + 4); break;
            case PngFormat::Rgb8:
                rgba.insert(rgba.end(), &p.pixels[3 * i], &p.pixels[3 * i] + 3);
                rgba.push_back(255);
                break;
            case PngFormat::Grey16: {
                std::uint16_t v;
                std::memcpy(&v, &p.pixels[2 * i], 2);
                const auto g = static_cast<std::uint8_t>(v >> 8);
                rgba.insert(rgba.end(), {g, g, g, 255});
                break;
            }
            case PngFormat::Indexed8:
                rgba.insert(rgba.end(), &p.palette[4 * p.pixels[i]], &p.palette[4 * p.pixels[i]] + 4);
                break;
        }
    }
    return rgba;
}

// The IDAT chunks' bytes joined, every chunk's CRC checked, and how many
// IDAT chunks there were.
bool ZlibStream(const std::vector<std::uint8_t>& png, std::vector<std::uint8_t>& stream, int& idats) {
    auto u32 = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 | std::uint32_t{png[at + 2]} << 8 |
               png[at + 3];
    };
    stream.clear();
    idats = 0;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t size = u32(at);
        if (at + 12 + size > png.size()) return false;
        if (crc32(crc32(0L, nullptr, 0), &png[at + 4], size + 4) != u32(at + 8 + size)) return false;
        const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               png.begin() + static_cast<std::ptrdiff_t>(at + 8));
        if (type == "IDAT") {
            stream.insert(stream.end(), &png[at + 8], &png[at + 8] + size);
            ++idats;
        }
        at += 12 + size;
        if (type == "IEND") return at == png.size();
    }
    return false;
}

// zlib's own inflate of the PNG's stream, which checks the Adler-32 the stb
// decoder ignores: the filtered rows, or empty.
std::vector<std::uint8_t> Inflated(const std::vector<std::uint8_t>& png, std::size_t expected, int* idats = nullptr) {
    std::vector<std::uint8_t> stream, filtered(expected + 1);
    int chunks = 0;
    if (!ZlibStream(png, stream, chunks)) return {};
    if (idats) *idats = chunks;
    uLongf size = static_cast<uLongf>(filtered.size());
    if (uncompress(filtered.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return {};
    filtered.resize(size);
    return filtered;
}

// The filters undone as the format defines them, the rows in the file's
// byte order (16-bit samples big-endian).
std::vector<std::uint8_t> Unfiltered(const std::vector<std::uint8_t>& filtered, std::size_t rowBytes, std::size_t bpp) {
    std::vector<std::uint8_t> rows, up(rowBytes, 0);
    for (std::size_t at = 0; at + rowBytes + 1 <= filtered.size(); at += rowBytes + 1) {
        const std::uint8_t type = filtered[at];
        std::vector<std::uint8_t> row(filtered.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                      filtered.begin() + static_cast<std::ptrdiff_t>(at + 1 + rowBytes));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            const int predictor[] = {0, a, b, (a + b) / 2, paeth};
            row[i] = static_cast<std::uint8_t>(row[i] + (type < 5 ? predictor[type] : 0));
        }
        rows.insert(rows.end(), row.begin(), row.end());
        up = row;
    }
    return rows;
}

std::vector<std::uint8_t> FileOrder(const TestPicture& p) {
    std::vector<std::uint8_t> bytes = p.pixels;
    if (p.format == PngFormat::Grey16)
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            std::uint16_t v;
            std::memcpy(&v, &p.pixels[i], 2);
            bytes[i] = static_cast<std::uint8_t>(v >> 8), bytes[i + 1] = static_cast<std::uint8_t>(v);
        }
    return bytes;
}

// Big pictures are deflated in strips on several threads. Each shape reads
// back whole through stb and through zlib (which checks the Adler-32);
// the rows are filtered as the single stream filters them; the bytes are
// the same twice over and on one thread or many; a picture of one strip is
// written exactly as the single stream writes it.
TEST(PngTest, PicturesInStripsReadBackAndAreTheSameOnAnyNumberOfThreads) {
    struct Shape {
        const char* name;
        PngFormat format;
        std::uint32_t width;
        std::uint32_t fullStrips, extraRows;  // the height, in strips and rows
    };
    const Shape shapes[] = {
        {"RGBA inside one strip", PngFormat::Rgba8, 300, 0, 200},
        {"RGBA filling one strip", PngFormat::Rgba8, 300, 1, 0},
        {"RGBA one row past a strip", PngFormat::Rgba8, 300, 1, 1},
        {"RGBA in many strips", PngFormat::Rgba8, 1024, 4, 37},
        {"RGB ending on a strip's end", PngFormat::Rgb8, 1000, 3, 0},
        {"grey16 in many strips", PngFormat::Grey16, 700, 3, 11},
        {"indexed in many strips", PngFormat::Indexed8, 1500, 3, 100},
        {"one pixel wide", PngFormat::Rgba8, 1, 2, 7},
        {"one row, wider than a strip", PngFormat::Rgb8, 400000, 0, 1},
        {"rows wider than a strip", PngFormat::Rgba8, 300000, 3, 0},
    };
    bool severalIdats = false;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::size_t rowsPerStrip = png_detail::RowsPerStrip(PngImage{shape.width, 1, shape.format, {}, {}});
        const auto height = static_cast<std::uint32_t>(shape.fullStrips * rowsPerStrip + shape.extraRows);
        const TestPicture picture = MakePicture(shape.format, shape.width, height);
        const PngImage image = picture.image();
        const std::size_t bpp = picture.pixels.size() / (std::size_t{shape.width} * height);
        const std::size_t rowBytes = shape.width * bpp;
        const bool oneStrip = height <= rowsPerStrip;

        std::vector<std::uint8_t> plain, png, again, oneThread, anyCores;
        ASSERT_TRUE(png_detail::EncodePngPlain(image, plain, kPngCompressionLevel));
        ASSERT_TRUE(png_detail::EncodePngOn(image, png, kPngCompressionLevel, 4));
        ASSERT_TRUE(png_detail::EncodePngOn(image, again, kPngCompressionLevel, 4));
        ASSERT_TRUE(png_detail::EncodePngOn(image, oneThread, kPngCompressionLevel, 1));
        ASSERT_TRUE(EncodePng(image, anyCores));
        EXPECT_TRUE(png == again);
        EXPECT_TRUE(png == oneThread);
        EXPECT_TRUE(png == anyCores);
        EXPECT_EQ(png == plain, oneStrip);

        int idats = 0;
        const std::vector<std::uint8_t> filtered = Inflated(png, height * (rowBytes + 1), &idats);
        ASSERT_EQ(filtered.size(), height * (rowBytes + 1)) << "zlib does not read the stream back";
        severalIdats |= !oneStrip && idats > 1;
        EXPECT_TRUE(filtered == Inflated(plain, filtered.size())) << "rows filtered otherwise than by one stream";
        EXPECT_TRUE(Unfiltered(filtered, rowBytes, bpp) == FileOrder(picture));

        std::vector<std::uint8_t> back;
        std::uint32_t w = 0, h = 0;
        std::string error;
        ASSERT_TRUE(DecodePng(png, w, h, back, error)) << error;
        EXPECT_EQ(w, shape.width);
        EXPECT_EQ(h, height);
        EXPECT_TRUE(back == AsRgba(picture));
    }
    EXPECT_TRUE(severalIdats) << "no strips' stream crossed an IDAT chunk";
}

// Every zlib level through the strips, stored blocks included, reads back and
// does not depend on the threads.
TEST(PngTest, PicturesInStripsReadBackAtEveryLevel) {
    const std::size_t rowsPerStrip = png_detail::RowsPerStrip(PngImage{512, 1, PngFormat::Rgba8, {}, {}});
    const TestPicture picture = MakePicture(PngFormat::Rgba8, 512, static_cast<std::uint32_t>(2 * rowsPerStrip + 5));
    const std::size_t filteredSize = picture.height * (512 * 4 + 1);
    for (int level : {0, 1, 6, 9, Z_DEFAULT_COMPRESSION}) {
        SCOPED_TRACE(level);
        std::vector<std::uint8_t> png, oneThread, back;
        ASSERT_TRUE(png_detail::EncodePngOn(picture.image(), png, level, 3));
        ASSERT_TRUE(png_detail::EncodePngOn(picture.image(), oneThread, level, 1));
        EXPECT_TRUE(png == oneThread);
        EXPECT_EQ(Inflated(png, filteredSize).size(), filteredSize);
        std::uint32_t w = 0, h = 0;
        std::string error;
        ASSERT_TRUE(DecodePng(png, w, h, back, error)) << error;
        EXPECT_TRUE(back == picture.pixels);
    }
}

// A picture that cannot be written, or a level zlib refuses, leaves no bytes,
// in one stream or in strips.
TEST(PngTest, PicturesThatCannotBeEncodedLeaveNothing) {
    const TestPicture big = MakePicture(PngFormat::Rgba8, 1024, 600);  // three strips
    const TestPicture small = MakePicture(PngFormat::Rgba8, 16, 16);
    const std::uint8_t palette[4] = {1, 2, 3, 255};
    const struct Case {
        const char* name;
        PngImage image;
        int level;
    } cases[] = {
        {"pixels short of the size", PngImage{1024, 601, PngFormat::Rgba8, big.pixels, {}}, kPngCompressionLevel},
        {"no width", PngImage{0, 16, PngFormat::Rgba8, {}, {}}, kPngCompressionLevel},
        {"indexed without a palette", PngImage{256, 4, PngFormat::Indexed8, small.pixels, {}}, kPngCompressionLevel},
        {"palette not in whole colours", PngImage{256, 4, PngFormat::Indexed8, small.pixels, {palette, 3}},
         kPngCompressionLevel},
        {"no such level, one stream", small.image(), 42},
        {"no such level, in strips", big.image(), 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> out(10, 7), plain(10, 7);
        EXPECT_FALSE(EncodePng(c.image, out, c.level));
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(png_detail::EncodePngPlain(c.image, plain, c.level));
        EXPECT_TRUE(plain.empty());
    }
}

}  // namespace
