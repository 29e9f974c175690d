// A small level with nothing symmetric about it, for the tests that an
// axis swapped, a sign lost or an order reversed would otherwise pass:
//
// - the ground is 400 units east-west by 200 north-south, from (-300, -50)
//   to (100, 150), in four pieces of one colour each: red in the
//   south-west, green in the south-east, blue in the north-west, yellow in
//   the north-east;
// - it rises from west to east and not at all from south to north:
//   pillars along y = 100 and y = 0 stand at z = 1 + 0.05 (x + 300);
// - crates are turned about all three axes, each differently, standing
//   about as high as the ground around them;
// - the player starts at (-260, 10, 20) looking 70 degrees east of north,
//   off every diagonal;
// - one always-facing card, one house turned about z only.
// The same bytes on every run.
#pragma once

#include <string>

#include "math/vector3.h"

namespace wvwrite {

// Writes DIR/skew.grf, DIR/skew-130.pid and DIR/skew-130.swp.
bool WriteSkewLevel(const std::string& dir, std::string* error);

// What the tests check against.
namespace skew {
inline constexpr float kMinX = -300, kMaxX = 100, kMinY = -50, kMaxY = 150;
// The pieces' colours: south-west, south-east, north-west, north-east.
inline constexpr unsigned char kColours[4][3] = {{220, 40, 40}, {40, 200, 60}, {50, 70, 220}, {230, 210, 40}};
inline float PillarTop(float x) { return 1.0f + 0.05f * (x - kMinX); }
inline const Vector3 kStart{-260, 10, 20};
inline constexpr float kStartYaw = 70;
// The turned crates: where they stand and how they are turned (radians).
struct Crate {
    const char* name;
    Vector3 position, rotation;
    float scale;
};
inline const Crate kCrates[3] = {
    {"crate_a", {-150, 30, 7.5f}, {0.4f, -0.3f, 1.2f}, 1.5f},
    {"crate_b", {40, 120, 17}, {0.9f, 0.2f, -0.6f}, 1.0f},
    {"crate_c", {-20, -30, 14}, {-0.25f, 0.7f, 2.5f}, 2.0f},
};
}  // namespace skew

}  // namespace wvwrite
