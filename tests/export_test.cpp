// The level as glTF, written by wildview-export with its ground and checked
// by the Khronos validator. (What the exporter writes is read back in the
// output tests.)
#include <gtest/gtest.h>

#include "demo_fixture.h"
#include "test_util.h"
#include "writer/demo_level.h"

namespace {

using ExportTest = DemoSuite<::testing::Test>;

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

// assimp reads what we write and converts it (its converter once stopped
// on our nodes' properties).
TEST_F(ExportTest, AssimpReadsAndConvertsTheExport) {
    for (const char* name : {"demo.glb", "demo.gltf"}) {
        const std::string path = dir->File(std::string("assimp-") + name);
        const RunResult r = RunShell(*dir, std::string(WV_EXPORT) + " " + dir->File("demo-130.swp") + " " + path);
        ASSERT_EQ(r.status, 0) << r.err;
        const RunResult info = RunShell(*dir, "assimp info " + path);
        EXPECT_EQ(info.status, 0) << info.out << info.err;
        EXPECT_NE(info.out.find("Meshes:"), std::string::npos) << info.out;
        const std::string obj = path + ".obj";
        const RunResult converted = RunShell(*dir, "assimp export " + path + " " + obj);
        EXPECT_EQ(converted.status, 0) << converted.out << converted.err;
        const std::vector<std::uint8_t> text = ReadAll(obj);
        EXPECT_NE(std::string(text.begin(), text.end()).find("\nv "), std::string::npos) << "no vertices in " << obj;
    }
}

}  // namespace
