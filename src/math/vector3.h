// Single-precision 3-vector; world space is Z-up.
#pragma once

#include <cmath>

struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vector3 operator-() const { return {-x, -y, -z}; }
    constexpr Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Vector3& operator+=(const Vector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    Vector3& operator-=(const Vector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    constexpr bool operator==(const Vector3&) const = default;

    constexpr float Dot(const Vector3& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr Vector3 Cross(const Vector3& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    float Length() const { return std::sqrt(Dot(*this)); }
    float Distance(const Vector3& o) const { return (*this - o).Length(); }

    // Within 1e-12 of unit length: unchanged. Shorter than 1e-24: zero.
    // Anything else is divided by its length.
    Vector3 Normalised() const {
        const float len2 = Dot(*this);
        if (std::fabs(len2 - 1.0f) < 1e-12f) return *this;
        const float len = std::sqrt(len2);
        if (len < 1e-24f) return {0.0f, 0.0f, 0.0f};
        return {x / len, y / len, z / len};
    }
    void Normalise() { *this = Normalised(); }
};
