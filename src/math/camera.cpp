#include "math/camera.h"

#include <cmath>
#include <initializer_list>

#include "diag/state_registry.h"

Camera& TheCamera() {
    static Camera camera;
    return camera;
}

void ResetCamera() { TheCamera() = Camera{}; }

Vector3 RotateByCamera(const Camera& camera, const Vector3& v) {
    return Matrix3::RotationZ(camera.yaw) * (Matrix3::RotationX(camera.pitch) * v);
}

CameraVectors CameraBasis(const Camera& camera) {
    return {RotateByCamera(camera, {0, 1, 0}), RotateByCamera(camera, {0, 0, 1}), RotateByCamera(camera, {1, 0, 0})};
}

bool Plane::Intersects(const BoundingSphere& s) const { return normal.Dot(s.centre) + d <= s.radius; }

ViewFrusta& TheFrusta() {
    static ViewFrusta frusta;
    return frusta;
}

void CreateFrusta() {
    DestroyFrusta();
    TheFrusta().object = new Frustum(kObjectRange);
    TheFrusta().terrain = new Frustum(kTerrainRange);
}

void DestroyFrusta() {
    delete TheFrusta().object;
    delete TheFrusta().terrain;
    TheFrusta() = ViewFrusta{};
}

void UpdateFrusta(const Camera& camera, float aspect) {
    const double kDegToRad = 3.14159265358979323846 / 180.0;
    const float tV = static_cast<float>(std::tan(kFieldOfView * 0.5 * kDegToRad));
    const float tH = static_cast<float>(std::tan(aspect * kFieldOfView * 0.5 * kDegToRad));
    const Vector3 normals[5] = {{1, -tH, 0}, {-1, -tH, 0}, {0, -tV, 1}, {0, -tV, -1}, {0, -1, 0}};
    Plane planes[5];
    for (int i = 0; i < 5; ++i) {
        planes[i].normal = RotateByCamera(camera, normals[i]).Normalised();
        planes[i].d = -planes[i].normal.Dot(camera.position);
    }
    for (Frustum* f : {TheFrusta().object, TheFrusta().terrain}) {
        if (!f) continue;
        for (int i = 0; i < 5; ++i) f->planes[i] = planes[i];
        f->rangeSphere.centre = camera.position;
        f->rangeSphere.radius = f->range;
    }
}

namespace {
const StateReset kCameraReset{"camera", StateLayer::Base, StateScope::Process, &ResetCamera};
const StateReset kFrustaReset{"frusta", StateLayer::Base, StateScope::Process, &DestroyFrusta};
}  // namespace
