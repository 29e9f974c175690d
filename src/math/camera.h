// The one free-flying camera: a position and two angles in degrees. Yaw 0
// looks along +Y and turns right towards +X; a positive pitch looks down.
// Rotations come from the sine and cosine tables, so every vector here
// carries the tables' values.
#pragma once

#include <memory>

#include "math/bounding.h"
#include "math/matrix3.h"
#include "math/vector3.h"

struct Camera {
    Vector3 position{9.0f, -3.0f, 5.0f};
    float yaw = 0.0f;    // degrees
    float pitch = 0.0f;  // degrees, kept within -89.9 .. 89.9 by mouse-look
};

// Projection constants shared by the frame, picking and the frusta.
constexpr float kFieldOfView = 60.0f;  // vertical, degrees
constexpr float kNearDistance = 0.1f;
constexpr float kFarDistance = 1050.0f;
constexpr float kObjectRange = 750.0f;
constexpr float kTerrainRange = 1050.0f;

// Rotates v about X by the pitch, then about Z by the yaw.
Vector3 RotateByCamera(const Camera& camera, const Vector3& v);

struct CameraVectors {
    Vector3 forward, up, right;
};
CameraVectors CameraBasis(const Camera& camera);

// A plane through the eye; its normal points out of the view volume.
struct Plane : BoundingVolume {
    Vector3 normal;
    float d = 0.0f;
    // True unless the sphere lies wholly on the outer side.
    bool Intersects(const BoundingSphere& s) const override;
};

// Five planes (right, left, upper, lower, eye) and a range sphere around
// the camera. No near or far plane: the range sphere bounds the distance.
struct Frustum : BoundingVolume {
    explicit Frustum(float range) { rangeSphere.radius = 0.0f, this->range = range; }
    Plane planes[5];
    BoundingSphere rangeSphere;  // centre 1e20 and radius 0 until the first update
    float range = 0.0f;
    bool Intersects(const BoundingSphere& s) const override { return IntersectsSphere(s.centre, s.radius); }
    // The same test for a sphere given by its parts, without the virtual call.
    bool IntersectsSphere(const Vector3& centre, float radius) const {
        if (!(rangeSphere.radius + radius >= centre.Distance(rangeSphere.centre))) return false;
        for (const Plane& p : planes)
            if (!(p.normal.Dot(centre) + p.d <= radius)) return false;
        return true;
    }
};

// The two view frusta; none until they are created (drawing without them
// culls everything).
struct ViewFrusta {
    std::unique_ptr<Frustum> object;   // range 750: instances and shadows
    std::unique_ptr<Frustum> terrain;  // range 1050: the terrain and the position markers
};
void CreateFrusta(ViewFrusta& frusta);

// Refreshes both frusta from the camera (the look-at is the caller's).
// The side planes are spread by aspect x 30 degrees, wider than the
// picture at 4:3, so culling errs on the safe side.
void UpdateFrusta(ViewFrusta& frusta, const Camera& camera, float aspect);
