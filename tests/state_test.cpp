// One reset puts every registered state back: a level's state alone on
// unload, everything when a test or tool starts over.
#include <gtest/gtest.h>

#include <algorithm>

#include "diag/stat_counter.h"
#include "diag/state_registry.h"
#include "files/block_file.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/model_loader.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {

TEST(StateTest, LevelResetsKeepProcessStateProcessResetsClearAll) {
    const auto names = RegisteredStateNames();
    for (const char* expected : {"level", "view", "render state", "level files", "statistics counters", "clock"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;

    TheScene().InstanceList.push_back(std::make_unique<Instance>());
    TheScene().FogColor[0] = 0.5f;
    TheSceneFile().NewBlock(".region");
    TheMeshLoader().TextureMap.resize(4);
    TheMeshLoader().TextureMap[3] = std::make_unique<TextureObject>();
    TheTextureDatabase().MaxTextureSize = 128;
    TheCamera().position = {1, 2, 3};
    TheToggles().FogEnabled = false;
    TheRenderState().FrameStartTime = 9.0;
    TheLevelFiles().LevelName = "be";
    TheLevel().quirks = QuirksOf("be");
    gTotalTris.value = 7;

    ResetState(StateScope::Level);
    EXPECT_TRUE(TheScene().InstanceList.empty());
    EXPECT_EQ(TheScene().FogColor[0], 1.0f);
    EXPECT_EQ(TheSceneFile().GetBlockCount(), 0u);
    EXPECT_TRUE(TheMeshLoader().TextureMap.empty());
    EXPECT_EQ(TheTextureDatabase().MaxTextureSize, 64);
    EXPECT_EQ(TheCamera().position, Vector3(1, 2, 3));  // the run's, not the level's
    EXPECT_FALSE(TheToggles().FogEnabled);
    EXPECT_EQ(TheRenderState().FrameStartTime, 9.0);
    EXPECT_EQ(TheLevelFiles().LevelName, "be");
    EXPECT_FALSE(TheLevel().quirks.groundSkipsOneFace);  // decided again at the next load
    EXPECT_EQ(gTotalTris.value, 7);

    ResetState(StateScope::Process);
    EXPECT_EQ(TheCamera().position, Camera{}.position);
    EXPECT_TRUE(TheToggles().FogEnabled);
    EXPECT_EQ(TheRenderState().FrameStartTime, 0.0);
    EXPECT_EQ(TheLevelFiles().LevelName, "");
    EXPECT_EQ(gTotalTris.value, 0);
}

}  // namespace
