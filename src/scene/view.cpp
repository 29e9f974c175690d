#include "scene/view.h"

#include <algorithm>
#include <cmath>

#include "diag/state_registry.h"

View& TheView() {
    static View view;
    return view;
}

void ResetView() { TheView() = View{}; }

void AimCameraAt(Camera& camera, const Vector3& boxMin, const Vector3& boxMax, const Vector3& sphereCentre,
                 float sphereRadius) {
    constexpr double kPi = 3.14159265358979323846;
    Vector3 centre = sphereCentre;
    float size = sphereRadius;
    if (boxMin.x <= boxMax.x) {
        centre = (boxMin + boxMax) * 0.5f;
        size = (boxMax - boxMin).Length() * 0.5f;
    }
    const float distance = 3.0f * std::max(size, 1.0f) + 2.0f;
    float hx = camera.position.x - centre.x, hy = camera.position.y - centre.y;
    const float h = std::hypot(hx, hy);
    if (h > 1e-3f) hx /= h, hy /= h;
    else hx = 0, hy = -1;
    const float up = static_cast<float>(std::sin(25.0 * kPi / 180.0)), out = static_cast<float>(std::cos(25.0 * kPi / 180.0));
    camera.position = centre + Vector3(hx * out, hy * out, up) * distance;
    const Vector3 look = centre - camera.position;
    camera.yaw = static_cast<float>(std::atan2(look.x, look.y) * 180.0 / kPi);
    camera.pitch = std::clamp(static_cast<float>(std::atan2(-look.z, std::hypot(look.x, look.y)) * 180.0 / kPi), -89.9f,
                              89.9f);
}

namespace {
const StateReset kViewReset{"view", StateLayer::Scene, StateScope::Process, &ResetView};
}  // namespace
