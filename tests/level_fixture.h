// A level built in a test: scene file, property tables, placed objects and
// textures, saved to a temporary directory and loaded headless.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/state_registry.h"
#include "headless/headless_level.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "test_util.h"
#include "writer/mesh_builder.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"
#include "writer/value_table_builder.h"

class LevelTest : public ::testing::Test {
protected:
    void TearDown() override { ResetState(StateScope::Process); }

    // Adds a texture under name + suffix for an instance Diffuse value.
    int AddTexture(const std::string& name, const std::string& suffix, float diffuse = 1.0f, std::uint32_t size = 8,
                   bool transparent = false, int smaller = 0) {
        wvwrite::TextureSpec t;
        t.identifier = wvwrite::TextureIdentifier(name, suffix, diffuse);
        t.width = t.height = size;
        t.transparent = transparent;
        t.indices.assign(std::size_t{size} * size, 1);
        t.smallerVersions = smaller;
        return textures.AddTexture(t);
    }

    // A square in the xy plane with one material; with no texture, a mesh
    // without materials.
    static wvwrite::PolyMesh SquareMesh(const std::string& name, const std::string& texture = "tex", float extent = 1.0f) {
        wvwrite::PolyMesh m;
        m.name = name;
        if (!texture.empty()) m.materials = {{texture, ".tga", ""}};
        m.AddFlatPoints({{0, 0, 0}, {extent, 0, 0}, {extent, extent, 0}, {0, extent, 0}},
                        {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0);
        return m;
    }
    BlockHandle Square(const std::string& name, const std::string& texture = "tex", int type = 2, float extent = 1.0f) {
        return wvwrite::WriteMesh(scene, SquareMesh(name, texture, extent), type);
    }
    // One triangle per material, the k-th at height k and of material k.
    static wvwrite::PolyMesh Triangles(const std::string& name, std::vector<wvwrite::MaterialSpec> materials,
                                       float uMax = 1.0f) {
        wvwrite::PolyMesh m;
        m.name = name;
        m.materials = std::move(materials);
        for (std::uint32_t k = 0; k < m.materials.size(); ++k) {
            const float z = static_cast<float>(k);
            m.AddFlatPoints({{0, 0, z}, {1, 0, z}, {1, 1, z}}, {{0, 0}, {uMax, 0}, {1, 1}}, k);
        }
        return m;
    }

    std::size_t Place(BlockHandle object, const std::string& name, const std::vector<wvwrite::Property>& properties,
                      Vector3 position = {}, Vector3 rotation = {}, float scale = 1.0f) {
        return region.Place(scene, values, object, name, {position, rotation, scale}, properties);
    }

    // Writes NAME.grf, NAME-130.pid and NAME-130.swp and loads them.
    void Load(const std::string& levelName = "level", bool withValues = true, bool withRegion = true) {
        if (withValues) values.AddTo(scene);
        if (withRegion) region.AddTo(scene);
        ASSERT_TRUE(scene.Save(dir.File(levelName + ".grf"), nullptr));
        ASSERT_TRUE(textures.Write(dir.File(levelName + "-130.pid"), dir.File(levelName + "-130.swp"), nullptr));
        headless::LoadLevel(dir.File(levelName + "-130.swp"), loaded);
    }

    bool Debug(const std::string& text) const { return loaded.platform.debug.find(text) != std::string::npos; }
    bool Logged(const std::string& text) const { return loaded.log.find(text) != std::string::npos; }

    const SceneState& S() const { return TheScene(); }
    const Instance* Named(const std::string& name) const {
        for (const auto& i : S().InstanceList)
            if (i->name && name == i->name) return i.get();
        for (const auto& [h, group] : S().TerrainObjectsByHeight)
            for (const auto& i : group)
                if (i->name && name == i->name) return i.get();
        return nullptr;
    }

    TempDir dir;
    wvwrite::SceneWriter scene;
    wvwrite::ValueTableBuilder values;
    wvwrite::RegionBuilder region;
    wvwrite::TextureSetWriter textures;
    headless::LoadedLevel loaded;
};
