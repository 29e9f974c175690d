// The level as glTF, written by wildview-export, checked by the Khronos
// validator and read back with tinygltf: nodes, meshes, placements, images.
#include <gtest/gtest.h>

#include <tiny_gltf.h>

#include <cmath>
#include <map>
#include <set>

#include "render/gl_setup.h"
#include "output/gltf_export.h"
#include "diag/state_registry.h"
#include "files/texture_database.h"
#include "demo_fixture.h"
#include "gl_fixture.h"
#include "headless/headless_level.h"
#include "scene/level.h"
#include "test_util.h"
#include "scene/model_draw.h"
#include "writer/demo_level.h"

namespace {

class ExportTest : public DemoSuite<GlTest> {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        LoadQuietly();
        SetUpDrawing();
    }
    bool Read(const std::string& path, tinygltf::Model& out) {
        tinygltf::TinyGLTF reader;
        std::string err, warn;
        const bool ok = path.ends_with(".glb") ? reader.LoadBinaryFromFile(&out, &err, &warn, path)
                                               : reader.LoadASCIIFromFile(&out, &err, &warn, path);
        EXPECT_TRUE(ok) << err;
        return ok;
    }
};

// The node matrix T R S as a column-major 4 x 4, as glTF composes it.
std::array<double, 16> NodeMatrix(const tinygltf::Node& n) {
    const double x = n.rotation[0], y = n.rotation[1], z = n.rotation[2], w = n.rotation[3];
    const double s = n.scale[0];
    const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w),
                         2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
                         2 * (x * z + y * w),     2 * (y * z - x * w), 1 - 2 * (x * x + y * y)};
    return {r[0] * s, r[1] * s, r[2] * s, 0, r[3] * s, r[4] * s, r[5] * s, 0,
            r[6] * s, r[7] * s, r[8] * s, 0, n.translation[0], n.translation[1], n.translation[2], 1};
}

TEST_F(ExportTest, NodesMeshesPlacementsAndImagesMatchTheLevel) {
    GltfExportOptions options;
    options.path = dir->File("level.glb");
    GltfExportReport report;
    std::string error;
    ASSERT_TRUE(ExportGltf(options, report, error)) << error;
    tinygltf::Model gltf;
    ASSERT_TRUE(Read(options.path, gltf));

    const auto& instances = TheScene().InstanceList;
    ASSERT_EQ(gltf.scenes.size(), 1u);
    const tinygltf::Node& root = gltf.nodes[static_cast<std::size_t>(gltf.scenes[0].nodes[0])];
    ASSERT_EQ(root.children.size(), instances.size());  // one node an instance
    ASSERT_EQ(root.rotation.size(), 4u);
    EXPECT_NEAR(root.rotation[0], -std::sqrt(0.5), 1e-9);  // z up turned to y up
    EXPECT_NEAR(root.rotation[3], std::sqrt(0.5), 1e-9);

    std::set<int> meshes;
    for (std::size_t k = 0; k < instances.size(); ++k) {
        const Instance& inst = *instances[k];
        const tinygltf::Node& node = gltf.nodes[static_cast<std::size_t>(root.children[k])];
        EXPECT_EQ(node.name, std::string(inst.name) + " #" + std::to_string(inst.SerialId));
        EXPECT_EQ(node.extras.Get("serial").GetNumberAsInt(), static_cast<int>(inst.SerialId));
        meshes.insert(node.mesh);
        // Triangles and vertices: the model's drawable faces, and its
        // vertices that they use (every corner on its own for flat-lit type 1).
        const Model& m = *inst.model;
        std::size_t faces = 0;
        std::set<std::pair<std::uint32_t, std::uint32_t>> used;
        for (const Face& f : m.faces) {
            if (!f.inRange || m.materials[f.material].invisible) continue;
            ++faces;
            for (std::uint32_t c : f.index) used.insert({f.material, c});
        }
        std::size_t triangles = 0, vertices = 0;
        for (const tinygltf::Primitive& p : gltf.meshes[static_cast<std::size_t>(node.mesh)].primitives) {
            triangles += gltf.accessors[static_cast<std::size_t>(p.indices)].count / 3;
            vertices += gltf.accessors[static_cast<std::size_t>(p.attributes.at("POSITION"))].count;
        }
        EXPECT_EQ(triangles, faces) << m.name;
        EXPECT_EQ(vertices, m.SourceGeometryType == 2 ? used.size() : 3 * faces) << m.name;

        // The node's matrix is where GL draws the instance (to the sine
        // table's step), cards turned about z only.
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        Instance placement;
        placement.position = inst.position;
        placement.rotation = inst.AlwaysFace ? Vector3(0, 0, inst.rotation.z) : inst.rotation;
        placement.scale = inst.scale;
        ApplyTransform(placement);
        GLfloat gl[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, gl);
        const std::array<double, 16> mine = NodeMatrix(node);
        for (int e = 0; e < 16; ++e)
            EXPECT_NEAR(mine[static_cast<std::size_t>(e)], gl[e], 1e-3 * (1 + std::fabs(gl[e]))) << m.name << " " << e;
    }
    // One mesh a model (and lighting), shared by its instances.
    std::set<std::pair<const Model*, bool>> models;
    for (const auto& inst : instances) models.insert({inst->model, inst->Unlit});
    EXPECT_EQ(meshes.size(), models.size());
    EXPECT_LT(meshes.size(), instances.size() / 10);
    EXPECT_EQ(report.nodes, instances.size());

    // Images: the pixels the inspector writes for each texture.
    std::size_t compared = 0;
    for (const tinygltf::Image& image : gltf.images) {
        ASSERT_EQ(image.name.rfind("texture", 0), 0u);
        const int entry = std::stoi(image.name.substr(7));
        DecodedImage decoded;
        ASSERT_TRUE(TheTextureDatabase().DecodeImage(entry, false, decoded));
        EXPECT_EQ(static_cast<std::uint32_t>(image.width), decoded.width);
        EXPECT_EQ(image.image, decoded.rgba) << image.name;
        ++compared;
    }
    EXPECT_GE(compared, 10u);
}

TEST_F(ExportTest, FilesPassTheKhronosValidator) {
    const std::string modules = std::string(WV_SOURCE_DIR) + "/.cache/npm/node_modules";
    if (std::system("command -v node >/dev/null") != 0) GTEST_SKIP() << "node is not installed";
    if (!std::filesystem::exists(modules + "/gltf-validator")) GTEST_SKIP() << "gltf-validator is not installed in " << modules;
    for (const char* name : {"demo.glb", "demo.gltf"}) {
        const RunResult r = RunShell(*dir, std::string(WV_EXPORT) + " " + dir->File("demo-130.swp") + " " +
                                             dir->File(name) + " --terrain");
        if (r.status == 1 && r.err.find("headless GL") != std::string::npos) GTEST_SKIP() << r.err;
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("ground grid every 2.00 units"), std::string::npos) << r.out;
        const RunResult v = RunShell(*dir, "node " + std::string(WV_SOURCE_DIR) + "/tests/gltf/validate.js " + modules +
                                              " " + dir->File(name));
        EXPECT_EQ(v.status, 0) << v.out << v.err;
        EXPECT_NE(v.out.find("errors 0 warnings 0"), std::string::npos) << v.out;
    }
    const RunResult only = RunShell(*dir, std::string(WV_EXPORT) + " " + dir->File("demo-130.swp") + " " +
                                             dir->File("two.glb") + " --only 30 31");
    EXPECT_EQ(only.status, 0) << only.err;
    EXPECT_NE(only.out.find(": 2 nodes"), std::string::npos) << only.out;
    const RunResult bad = RunShell(*dir, std::string(WV_EXPORT) + " " + dir->File("demo-130.swp") + " " +
                                            dir->File("level.obj"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("must end in .glb or .gltf"), std::string::npos) << bad.err;
    EXPECT_FALSE(std::filesystem::exists(dir->File("level.obj")));
}

}  // namespace
