// Shadows and re-baking without GL: who holds a shadow picture, which
// terrain textures a moved object marks, the texture pool, the volumes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "diag/state_registry.h"
#include "effects/shadows.h"
#include "math/bounding.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"
#include "test_util.h"

namespace {

TEST(VolumeTest, TouchingCountsAndTheCylinderReachesBothWays) {
    EXPECT_TRUE(BoundingSphere({0, 0, 0}, 1).Intersects(BoundingSphere({3, 0, 0}, 2)));
    EXPECT_FALSE(BoundingSphere({0, 0, 0}, 1).Intersects(BoundingSphere({3.001f, 0, 0}, 2)));
    const Cylinder c({0, 0, 0}, {0, 0, -2}, 1.0f);  // normalised: (0, 0, -1)
    ExpectNear(c.direction, {0, 0, -1});
    EXPECT_TRUE(c.Intersects(BoundingSphere({1.5f, 0, 500}, 0.5f)));  // behind the axis point, touching
    EXPECT_TRUE(c.Intersects(BoundingSphere({0, -1.2f, -300}, 0.3f)));
    EXPECT_FALSE(c.Intersects(BoundingSphere({1.6f, 0, 10}, 0.5f)));
    ExpectNear(LookUpFor({0.3f, 0.1f, -1}), {0, 0, 1});
    ExpectNear(LookUpFor({0, 0, -1}), {0, 1, 0});  // straight down: +z gives no view plane
}

TEST(TexturePoolTest, ReusesLastInFirstOutAndNeverHandsOneOutTwice) {
    TexturePool<ShadowTexture> pool;
    ShadowTexture* a = pool.Acquire();
    ShadowTexture* b = pool.Acquire();
    EXPECT_EQ(a->width, 128);
    pool.Release(a);
    pool.Release(b);
    pool.Release(b);  // again: still once in the free list
    EXPECT_EQ(pool.Free(), 2u);
    EXPECT_EQ(pool.Acquire(), b);
    EXPECT_EQ(pool.Acquire(), a);
    EXPECT_NE(pool.Acquire(), a);
    EXPECT_EQ(pool.Created(), 3u);
    EXPECT_EQ(pool.InUse(), 3u);
    pool.Clear();
    EXPECT_EQ(pool.Created(), 0u);
}

class ShadowSlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState(StateScope::Process);
        TheSceneHooks().releaseShadow = &ReleaseShadowSlot;
        model.vertices.push_back({{0, 0, 1}, 0, 0, {1, 0, 0}});  // radius 2 at the usual scale 2: wants a shadow to 50
        model.materials.resize(1);
    }
    void TearDown() override { ResetState(StateScope::Process); }
    Instance& Add(const Vector3& at, bool shadow = true, float scale = 2.0f) {
        auto inst = std::make_unique<Instance>();
        inst->model = &model;
        inst->position = at;
        inst->scale = scale;
        inst->Shadow = shadow;
        inst->UpdateBounds();
        TheScene().InstanceList.push_back(std::move(inst));
        return *TheScene().InstanceList.back();
    }
    std::size_t Held() const {
        std::size_t n = 0;
        for (const auto& inst : TheScene().InstanceList) n += inst->ShadowSlot != nullptr;
        return n;
    }
    Model model;
};

TEST_F(ShadowSlotTest, TheThirtyNearestWantingReceiversWithin50HoldPictures) {
    const Vector3 camera{0, 0, 0};
    for (int k = 40; k > 0; --k) Add({static_cast<float>(k), 0, 0});  // stored farthest first
    Add({3.5f, 0, 0}, false);                                          // casts no shadow: wants none
    Add({150, 0, 0});                                                  // a candidate, too small for its distance
    Add({250, 0, 0});                                                  // not even a candidate
    UpdateShadowCandidates(camera);
    EXPECT_EQ(ShadowCandidates().size(), 42u);
    EXPECT_EQ(ShadowCandidates().front()->position.x, 1.0f);  // nearest first
    const std::vector<Instance*> dirty = AssignShadowSlots(camera, true);
    EXPECT_EQ(dirty.size(), 30u);
    EXPECT_EQ(Held(), 30u);
    for (const auto& inst : TheScene().InstanceList)
        EXPECT_EQ(inst->ShadowSlot != nullptr, inst->Shadow && inst->position.x <= 30.0f) << inst->position.x;
    for (Instance* d : dirty) d->ShadowDirty = false;  // as rendering does
    EXPECT_TRUE(AssignShadowSlots(camera, true).empty());  // a still scene renders nothing again

    // The camera moves: the farthest holders give theirs back to nearer ones.
    UpdateShadowCandidates({20, 0, 0});
    const std::vector<Instance*> moved = AssignShadowSlots({20, 0, 0}, true);
    EXPECT_EQ(Held(), 30u);
    EXPECT_EQ(TheShadows().pool.Created(), 30u);  // the freed pictures are reused
    for (Instance* d : moved) EXPECT_GT(d->position.x, 30.0f);
}

TEST_F(ShadowSlotTest, AReceiverAtExactly50QualifiesAndJustBeyondDoesNot) {
    Instance& at = Add({0, 50, 0}, true, 3.0f);     // radius 3 >= 0.04 x 50
    Instance& beyond = Add({0, -50.01f, 0}, true, 3.0f);
    UpdateShadowCandidates({0, 0, 0});
    AssignShadowSlots({0, 0, 0}, true);
    EXPECT_NE(at.ShadowSlot, nullptr);
    EXPECT_EQ(beyond.ShadowSlot, nullptr);
}

TEST_F(ShadowSlotTest, SwitchingObjectShadowsOffReturnsThePicturesAndOnGivesFreshOnes) {
    for (int k = 1; k <= 5; ++k) Add({static_cast<float>(k), 0, 0});
    UpdateShadowCandidates({0, 0, 0});
    for (Instance* d : AssignShadowSlots({0, 0, 0}, true)) d->ShadowDirty = false;
    EXPECT_EQ(Held(), 5u);
    EXPECT_TRUE(AssignShadowSlots({0, 0, 0}, false).empty());
    EXPECT_EQ(Held(), 0u);
    EXPECT_EQ(TheShadows().pool.Free(), 5u);
    const std::vector<Instance*> again = AssignShadowSlots({0, 0, 0}, true);
    EXPECT_EQ(again.size(), 5u);  // every slot fresh, so dirty
    EXPECT_EQ(TheShadows().pool.Created(), 5u);
    // Deleting a holder gives its picture back.
    TheScene().InstanceList.erase(TheScene().InstanceList.begin());
    ShadowCandidates().clear();
    EXPECT_EQ(TheShadows().pool.Free(), 1u);
}

// A moved object marks for re-baking exactly the texture quads whose squares
// overlap the box of half-size 1.5 r + 2 around it (touching counts).
TEST(RebakeTest, AMovedObjectMarksTheQuadsUnderItsBox) {
    ResetState(StateScope::Process);
    TheTerrain().root = MakeRootNode();
    TerrainNode& root = *TheTerrain().root;
    // Texture leaves of 64 units around the origin: depth 7 under the root.
    std::vector<TerrainNode*> quads;
    std::function<void(TerrainNode&)> split = [&](TerrainNode& n) {
        if (n.maxX - n.minX <= 64.0f) {
            n.textureLeaf = true;
            n.texture = TerrainTexturePool().Acquire();
            quads.push_back(&n);
            return;
        }
        Subdivide(n);
        n.textureLeaf = false;
        // Only the quadrant nearest the origin goes deeper.
        for (auto& c : n.children) {
            if (c->minX <= 0 && c->maxX >= 0 && c->minY <= 0 && c->maxY >= 0) split(*c);
            else c->textureLeaf = false;
        }
    };
    split(root);
    ASSERT_EQ(quads.size(), 4u);  // the four 64-unit quads meeting at the origin
    // Radius 4: half-size 8 around (10, 10) covers 2..18: only the quad
    // (0..64, 0..64).
    MarkAreaForRebake({10, 10, 7}, 4.0f);
    for (TerrainNode* q : quads) EXPECT_EQ(q->needsBake, q->minX == 0 && q->minY == 0) << q->minX << "," << q->minY;
    for (TerrainNode* q : quads) q->needsBake = false;
    // At (8, -10) the box reaches from -0 .. 16 in x: touching x = 0 counts.
    MarkAreaForRebake({8, -10, 0}, 4.0f);
    int marked = 0;
    for (TerrainNode* q : quads) marked += q->needsBake;
    EXPECT_EQ(marked, 2);
    for (TerrainNode* q : quads) q->needsBake = false;
    MarkForRebake(root);
    for (TerrainNode* q : quads) EXPECT_TRUE(q->needsBake);
    ResetState(StateScope::Process);
}

}  // namespace
