#include "math/matrix3.h"

#include "math/trig_tables.h"

// Sine and cosine come from one index: the angle is reduced once.
Matrix3 Matrix3::RotationX(float degrees) {
    const int i = TrigTableIndex(degrees);
    const float s = SinTable[i], c = CosTable[i];
    return {{1, 0, 0, 0, c, s, 0, -s, c}};
}

Matrix3 Matrix3::RotationY(float degrees) {
    const int i = TrigTableIndex(degrees);
    const float s = SinTable[i], c = CosTable[i];
    return {{c, 0, -s, 0, 1, 0, s, 0, c}};
}

Matrix3 Matrix3::RotationZ(float degrees) {
    const int i = TrigTableIndex(degrees);
    const float s = SinTable[i], c = CosTable[i];
    return {{c, s, 0, -s, c, 0, 0, 0, 1}};
}

Matrix3 Matrix3::operator*(const Matrix3& o) const {
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[3 * i + j] = m[3 * i] * o.m[j] + m[3 * i + 1] * o.m[3 + j] + m[3 * i + 2] * o.m[6 + j];
    return r;
}

Matrix3 Matrix3::Transposed() const {
    return {{m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]}};
}

Matrix3 DrawingRotation(const Vector3& radians) {
    return Matrix3::RotationZ(static_cast<float>(radians.z * kRadToDeg)).Transposed() *
           Matrix3::RotationY(static_cast<float>(radians.y * kRadToDeg)).Transposed() *
           Matrix3::RotationX(static_cast<float>(radians.x * kRadToDeg)).Transposed();
}
