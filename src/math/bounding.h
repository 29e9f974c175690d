// Bounding volumes for culling and light-ray tests. Every volume answers
// one question: does it intersect a sphere?
#pragma once

#include "math/vector3.h"

struct BoundingSphere;

class BoundingVolume {
public:
    virtual ~BoundingVolume() = default;
    virtual bool Intersects(const BoundingSphere& s) const = 0;
};

struct BoundingSphere : BoundingVolume {
    Vector3 centre{1e20f, 1e20f, 1e20f};
    float radius = 0.0f;

    BoundingSphere() = default;
    BoundingSphere(const Vector3& c, float r) : centre(c), radius(r) {}
    // Touching counts as intersecting.
    bool Intersects(const BoundingSphere& s) const override;
};
