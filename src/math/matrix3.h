// Row-major 3x3 single-precision matrix: element (row i, column j) at 3i + j.
#pragma once

#include "math/vector3.h"

struct Matrix3 {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    static Matrix3 Identity() { return {}; }
    static Matrix3 Scale(float s) { return {{s, 0, 0, 0, s, 0, 0, 0, s}}; }
    // Rotations by an angle in degrees, from the sine and cosine tables.
    static Matrix3 RotationX(float degrees);
    static Matrix3 RotationY(float degrees);
    static Matrix3 RotationZ(float degrees);

    Vector3 operator*(const Vector3& v) const {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z,
                m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    Matrix3 operator*(const Matrix3& o) const;
    Matrix3 Transposed() const;
};

// Degrees per radian, as the scene file's rotations are converted.
constexpr double kRadToDeg = 57.29577951308232;

// The placement rotation Rz(z) * Ry(y) * Rx(x) of angles given in radians.
Matrix3 PlacementRotation(const Vector3& radians);
