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

// An infinite cylinder around a line: what lies on the light ray through an
// object (in both directions).
struct Cylinder : BoundingVolume {
    Vector3 point;
    Vector3 direction;  // unit length
    float radius = 0.0f;

    Cylinder() = default;
    // The direction is normalised here.
    Cylinder(const Vector3& p, const Vector3& d, float r) : point(p), direction(d.Normalised()), radius(r) {}
    // Touching counts as intersecting.
    bool Intersects(const BoundingSphere& s) const override;
};

// The up vector for looking along a direction: +z, or +y where the
// direction is (nearly) vertical and +z would leave no plane to look in.
Vector3 LookUpFor(const Vector3& direction);
