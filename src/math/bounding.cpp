#include "math/bounding.h"

bool BoundingSphere::Intersects(const BoundingSphere& s) const {
    return radius + s.radius >= s.centre.Distance(centre);
}

bool Cylinder::Intersects(const BoundingSphere& s) const {
    const float t = (s.centre - point).Dot(direction);
    const Vector3 q = point + direction * t;
    return s.centre.Distance(q) <= radius + s.radius;
}

Vector3 LookUpFor(const Vector3& d) {
    const float horizontal = d.x * d.x + d.y * d.y;
    return horizontal <= 1e-10f * (d.z * d.z) ? Vector3(0, 1, 0) : Vector3(0, 0, 1);
}
