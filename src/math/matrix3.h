// Row-major 3x3 single-precision matrix: element (row i, column j) at 3i + j.
#pragma once

#include "math/vector3.h"

struct Matrix3 {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    static Matrix3 Identity() { return {}; }
    static Matrix3 Scale(float s) { return {{s, 0, 0, 0, s, 0, 0, 0, s}}; }
    // Rotations by an angle in degrees, from the sine and cosine tables.
    // These turn clockwise for a positive angle seen from the axis's tip
    // (RotationZ(90) takes x to -y): the camera's basis and the rotating
    // sun are built from them.
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

// The rotation drawing applies to an instance (glRotatef about z, then y,
// then x: counter-clockwise for positive angles) for angles in radians,
// from the same tables. Each factor is the transpose of the builder of the
// same angle, so Rz * Ry * Rx here is (RotationX * RotationY * RotationZ)^T.
Matrix3 DrawingRotation(const Vector3& radians);
