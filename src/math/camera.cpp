#include "math/camera.h"

#include <cmath>
#include <initializer_list>


Vector3 RotateByCamera(const Camera& camera, const Vector3& v) {
    return Matrix3::RotationZ(camera.yaw) * (Matrix3::RotationX(camera.pitch) * v);
}

CameraVectors CameraBasis(const Camera& camera) {
    return {RotateByCamera(camera, {0, 1, 0}), RotateByCamera(camera, {0, 0, 1}), RotateByCamera(camera, {1, 0, 0})};
}

bool Plane::Intersects(const BoundingSphere& s) const { return normal.Dot(s.centre) + d <= s.radius; }

void CreateFrusta(ViewFrusta& frusta) {
    frusta.object = std::make_unique<Frustum>(kObjectRange);
    frusta.terrain = std::make_unique<Frustum>(kTerrainRange);
}

void UpdateFrusta(ViewFrusta& frusta, const Camera& camera, float aspect) {
    const double kDegToRad = 3.14159265358979323846 / 180.0;
    const float tV = static_cast<float>(std::tan(kFieldOfView * 0.5 * kDegToRad));
    const float tH = static_cast<float>(std::tan(aspect * kFieldOfView * 0.5 * kDegToRad));
    const Vector3 normals[5] = {{1, -tH, 0}, {-1, -tH, 0}, {0, -tV, 1}, {0, -tV, -1}, {0, -1, 0}};
    Plane planes[5];
    for (int i = 0; i < 5; ++i) {
        planes[i].normal = RotateByCamera(camera, normals[i]).Normalised();
        planes[i].d = -planes[i].normal.Dot(camera.position);
    }
    for (Frustum* f : {frusta.object.get(), frusta.terrain.get()}) {
        if (!f) continue;
        for (int i = 0; i < 5; ++i) f->planes[i] = planes[i];
        f->rangeSphere.centre = camera.position;
        f->rangeSphere.radius = f->range;
    }
}
