#include <gtest/gtest.h>

#include "test_util.h"

#include <cmath>
#include <limits>

#include "math/bounding.h"
#include "math/matrix3.h"
#include "math/trig_tables.h"
#include "math/vector3.h"

namespace {

TEST(Vector3Test, NormaliseFollowsItsThreeRulesAndArithmeticItsOwn) {
    const struct { Vector3 in, out; } cases[] = {
        {{1, 0, 0}, {1, 0, 0}},                  // unit already: untouched
        {{3, 4, 0}, {0.6f, 0.8f, 0}},            // divided by its length
        {{1e-30f, 0, 0}, {0, 0, 0}},             // shorter than 1e-24: zero
    };
    for (const auto& c : cases) ExpectNear(c.in.Normalised(), c.out, 1e-7f);
    const Vector3 a(1, 2, 3), b(-2, 0.5f, 4);
    EXPECT_EQ(a + b, Vector3(-1, 2.5f, 7));
    EXPECT_EQ(a - b, Vector3(3, 1.5f, -1));
    EXPECT_FLOAT_EQ(a.Dot(b), 11.0f);
    EXPECT_EQ(Vector3(1, 0, 0).Cross(Vector3(0, 1, 0)), Vector3(0, 0, 1));
    EXPECT_FLOAT_EQ(Vector3(0, 3, 4).Length(), 5.0f);
    EXPECT_FLOAT_EQ(a.Distance(a + Vector3(0, 0, 2)), 2.0f);
}

TEST(TrigTableTest, AnglesAreWrappedAndTruncatedToSixtyFourthsOfADegreeAndHoldSineAndCosine) {
    const struct { float degrees; int index; } cases[] = {
        {-90.0f, 270 * 64},
        {720.5f, 32},
        {1.0f / 64.0f - 1e-6f, 0},  // truncated, not rounded
        {359.99997f, kTrigTableSize - 1},
        {-1e-8f, 0},  // -1e-8 + 360 rounds to 360, which wraps to 0
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(TrigTableIndex(c.degrees), c.index) << c.degrees;
    // Huge angles finish and stay in the table.
    for (float a : {1e10f, -1e10f, 3.4e38f, -3.4e38f, 123456789.0f}) {
        EXPECT_GE(TrigTableIndex(a), 0) << a;
        EXPECT_LT(TrigTableIndex(a), kTrigTableSize) << a;
    }
    // The entries hold sine and cosine.
    EXPECT_FLOAT_EQ(SinTable[90 * 64], 1.0f);
    EXPECT_NEAR(SinTable[30 * 64], 0.5f, 1e-7f);
    EXPECT_NEAR(TableSin(-30.0f), -0.5f, 1e-7f);
    EXPECT_FLOAT_EQ(TableCos(720.5f), CosTable[32]);
}

TEST(Matrix3Test, RotationsProductsTransposeAndDrawingRotation) {
    // Yaw turns +Y towards +X; pitch tilts +Y downwards.
    ExpectNear(Matrix3::RotationZ(90) * Vector3(0, 1, 0), {1, 0, 0});
    ExpectNear(Matrix3::RotationZ(90) * Vector3(1, 0, 0), {0, -1, 0});
    ExpectNear(Matrix3::RotationX(90) * Vector3(0, 1, 0), {0, 0, -1});
    ExpectNear(Matrix3::RotationY(90) * Vector3(1, 0, 0), {0, 0, 1});
    ExpectNear(Matrix3::RotationY(90) * Vector3(0, 0, 1), {-1, 0, 0});
    const Matrix3 a = Matrix3::RotationZ(30), b = Matrix3::RotationX(45);
    const Vector3 v(0.3f, -1.2f, 2.0f);
    ExpectNear((a * b) * v, a * (b * v));
    ExpectNear(a.Transposed() * (a * v), v);
    // The drawing rotation turns counter-clockwise, x first and z last.
    const float quarter = static_cast<float>(3.14159265358979323846 / 2);
    ExpectNear(DrawingRotation({0, 0, quarter}) * Vector3(1, 0, 0), {0, 1, 0});
    ExpectNear(DrawingRotation({0, quarter, 0}) * Vector3(0, 0, 1), {1, 0, 0});
    ExpectNear(DrawingRotation({quarter, 0, 0}) * Vector3(0, 1, 0), {0, 0, 1});
    ExpectNear(DrawingRotation({quarter, 0, quarter}) * Vector3(0, 0, 1), {1, 0, 0});
    ExpectNear(DrawingRotation({quarter, 0, quarter}) * Vector3(0, 1, 0), {0, 0, 1});
    ExpectNear(Matrix3::Scale(2.0f) * v, v * 2.0f);
}

TEST(BoundingSphereTest, TouchingSpheresIntersect) {
    const BoundingSphere a({0, 0, 0}, 1.0f);
    EXPECT_TRUE(a.Intersects(BoundingSphere({3, 0, 0}, 2.0f)));
    EXPECT_FALSE(a.Intersects(BoundingSphere({3.01f, 0, 0}, 2.0f)));
    EXPECT_TRUE(a.Intersects(BoundingSphere({0.1f, 0, 0}, 0.0f)));
    const BoundingSphere fresh;  // centre at 1e20, radius 0
    EXPECT_FALSE(fresh.Intersects(a));
}

}  // namespace
