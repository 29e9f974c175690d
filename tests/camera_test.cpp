// The camera's vectors, the frusta and the keyboard movement of the loop.
#include <gtest/gtest.h>

#include "test_util.h"

#include <cmath>

#include "app/movement.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "platform/scripted_platform.h"

namespace {

// The convention, from fixed numbers: yaw 0 looks along +Y and turns right
// towards +X, a positive pitch looks down, right stays level, and the three
// stay a right-handed orthonormal set.
TEST(CameraBasisTest, FollowsTheConventionAtAnyAngles) {
    const struct { float yaw, pitch; Vector3 forward, right; } cases[] = {
        {0, 0, {0, 1, 0}, {1, 0, 0}},
        {90, 0, {1, 0, 0}, {0, -1, 0}},
        {-120, 0, {-0.8660254f, -0.5f, 0}, {-0.5f, 0.8660254f, 0}},
        {30, 45, {0.3535534f, 0.6123724f, -0.7071068f}, {0.8660254f, -0.5f, 0}},
        {750, -60, {0.25f, 0.4330127f, 0.8660254f}, {0.8660254f, -0.5f, 0}},  // 750 is 30 turned twice
    };
    for (const auto& k : cases) {
        Camera c;
        c.yaw = k.yaw;
        c.pitch = k.pitch;
        const CameraVectors b = CameraBasis(c);
        ExpectNear(b.forward, k.forward, 2e-4f);
        ExpectNear(b.right, k.right, 2e-4f);
        EXPECT_EQ(b.right.z, 0.0f);
        EXPECT_NEAR(b.forward.Dot(b.up), 0.0f, 1e-5f);
        EXPECT_NEAR(b.up.Length(), 1.0f, 1e-5f);
        ExpectNear(b.right.Cross(b.forward), b.up, 1e-4f);
    }
}

class FrustumTest : public ::testing::Test {
protected:
    void SetUp() override { CreateFrusta(frusta); }
    ViewFrusta frusta;
};

TEST_F(FrustumTest, CullsBySidesEyePlaneAndRangeOnceUpdated) {
    // Never updated: nothing intersects.
    EXPECT_FALSE(frusta.object->Intersects(BoundingSphere({0, 10, 0}, 1)));
    EXPECT_FALSE(frusta.terrain->Intersects(BoundingSphere({0, 0, 0}, 1e6f)));
    Camera c;
    c.position = {0, 0, 0};
    UpdateFrusta(frusta, c, 800.0f / 600.0f);
    const Frustum& f = *frusta.object;
    // At 4:3 the side planes stand at 40 degrees from the view direction.
    const float side = std::tan(40.0f * 3.14159265f / 180.0f);
    const struct { Vector3 centre; float radius; bool visible; } cases[] = {
        {{0, 100, 0}, 1, true},
        {{0, -100, 0}, 1, false},                    // behind the eye
        {{0, -0.5f, 0}, 1, true},                    // straddles the eye plane
        {{0, -1, 0}, 1, true},                       // touches it
        {{100 * side + 5, 100, 0}, 1, false},        // right of the right plane
        {{100 * side + 0.5f, 100, 0}, 1, true},      // straddles it
        {{0, 100, 100 * std::tan(0.5236f) + 5}, 1, false},  // above
        {{0, 749, 0}, 2, true},
        {{0, 760, 0}, 2, false},                     // beyond the 750 range
    };
    for (const auto& k : cases)
        EXPECT_EQ(f.Intersects(BoundingSphere(k.centre, k.radius)), k.visible)
            << k.centre.x << " " << k.centre.y << " " << k.centre.z;
    EXPECT_TRUE(frusta.terrain->Intersects(BoundingSphere({0, 1000, 0}, 1)));  // its range is 1050
    EXPECT_EQ(frusta.terrain->rangeSphere.radius, 1050.0f);
}

TEST_F(FrustumTest, PlanesFollowTheCamera) {
    Camera c;
    c.position = {500, 0, 10};
    c.yaw = 90;  // looking along +X
    UpdateFrusta(frusta, c, 1.0f);
    const Frustum& f = *frusta.object;
    EXPECT_TRUE(f.Intersects(BoundingSphere({600, 0, 10}, 1)));
    EXPECT_FALSE(f.Intersects(BoundingSphere({400, 0, 10}, 1)));
    for (const Plane& p : f.planes) EXPECT_NEAR(p.normal.Dot(c.position) + p.d, 0.0f, 1e-3f);  // through the eye
}

class MovementTest : public ::testing::Test {
protected:
    void Press(int key) { keys[static_cast<std::size_t>(key)] = true; }
    // Where the keys take a camera at the origin.
    Vector3 Moved(const std::vector<int>& pressed, float speed, float frame, float pitch = 0) {
        keys = {};
        for (int k : pressed) Press(k);
        Camera camera{{0, 0, 0}, 0, pitch};
        ApplyKeyboardMovement(camera, keys, speed, frame);
        return camera.position;
    }
    std::array<bool, 256> keys{};
};

TEST_F(MovementTest, KeysAddUpAlongTheCameraVectorsForAtMostATenthOfASecond) {
    // Moved for speed 10, frame 0.05, yaw 0, pitch 0.
    const struct { std::vector<int> keys; Vector3 moved; } cases[] = {
        {{'W'}, {0, 0.5f, 0}},
        {{'X'}, {0, -0.5f, 0}},
        {{'S', 'X'}, {0, -1.0f, 0}},
        {{'W', 'S'}, {0, 0, 0}},
        {{'A'}, {-0.3f, 0, 0}},
        {{'D'}, {0.3f, 0, 0}},
        {{platform::vk::kSpace}, {0, 0, 0.5f}},
        {{'Q', 'Z'}, {0, 0, 0}},
        {{'Z'}, {0, 0, -0.5f}},
    };
    for (const auto& c : cases) ExpectNear(Moved(c.keys, 10.0f, 0.05f), c.moved);
    // Up is the camera's own: pitched down, Space moves forward-ish.
    ExpectNear(Moved({platform::vk::kSpace}, 10.0f, 0.1f, 90), {0, 1, 0});
    // Frame time is capped at a tenth (the load's long frame).
    ExpectNear(Moved({'W'}, 3.3f, 4.0f), {0, 0.33f, 0});
}

TEST_F(MovementTest, SpeedKeysLastInOrderWins) {
    EXPECT_EQ(ApplySpeedKeys(keys, 3.3f), 3.3f);
    Press('1');
    EXPECT_EQ(ApplySpeedKeys(keys, 3.3f), 0.33f);
    keys = {};
    Press('5');
    Press('2');
    EXPECT_EQ(ApplySpeedKeys(keys, 3.3f), 33.0f);
    Press('6');
    EXPECT_EQ(ApplySpeedKeys(keys, 3.3f), 200.0f);
}

TEST(QuitChordTest, F4NowAndAltSinceTheLastQuery) {
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope(pf);
    pf.keysPressed = {platform::vk::kMenu};
    EXPECT_FALSE(QuitChordPressed());  // F4 not down: Alt's bit is left alone
    EXPECT_EQ(pf.keysPressed.count(platform::vk::kMenu), 1u);
    pf.keysDown = {platform::vk::kF4};
    EXPECT_TRUE(QuitChordPressed());
    EXPECT_FALSE(QuitChordPressed());  // the bit was consumed
}

}  // namespace
