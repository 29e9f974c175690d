#include "math/bounding.h"

bool BoundingSphere::Intersects(const BoundingSphere& s) const {
    return radius + s.radius >= s.centre.Distance(centre);
}
