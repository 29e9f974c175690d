#include "render/measure.h"

#include <cmath>
#include <cstdio>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "glh/gl.h"
#include "math/camera.h"
#include "render/overlay_text.h"
#include "render/picking.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

const StateReset kMeasureReset{"measure", StateLayer::App, StateScope::Level, [] { TheMeasure() = MeasureState{}; }};

// The face's corner as it is drawn: turned z, y, x and scaled (or turned
// to the camera), then moved; in double, as GL's own rotations are exact.
Vector3 DrawnCorner(const Instance& inst, const Vector3& v, const Vector3& cameraPosition) {
    double p[3] = {v.x * static_cast<double>(inst.scale), v.y * static_cast<double>(inst.scale),
                   v.z * static_cast<double>(inst.scale)};
    const auto turn = [&](int a, int b, double angle) {
        const double c = std::cos(angle), s = std::sin(angle);
        const double pa = p[a], pb = p[b];
        p[a] = c * pa - s * pb;
        p[b] = s * pa + c * pb;
    };
    if (inst.AlwaysFace) {
        turn(0, 1, std::atan2(-(cameraPosition.x - inst.position.x), cameraPosition.y - inst.position.y));
    } else {
        turn(1, 2, inst.rotation.x);  // about x
        turn(2, 0, inst.rotation.y);  // about y
        turn(0, 1, inst.rotation.z);  // about z
    }
    return {static_cast<float>(p[0] + inst.position.x), static_cast<float>(p[1] + inst.position.y),
            static_cast<float>(p[2] + inst.position.z)};
}

Instance* BySerial(std::uint32_t serial) {
    const SceneState& scene = TheScene();
    for (const auto& inst : scene.InstanceList)
        if (inst->SerialId == serial) return inst.get();
    for (const auto& [key, group] : scene.TerrainObjectsByHeight)
        for (const auto& inst : group)
            if (inst->SerialId == serial) return inst.get();
    return nullptr;
}

}  // namespace

MeasureState& TheMeasure() {
    static MeasureState state;
    return state;
}

Measurement MeasureBetween(const Vector3& a, const Vector3& b) {
    Measurement m;
    const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y,
                 dz = static_cast<double>(b.z) - a.z;
    const double h = std::sqrt(dx * dx + dy * dy);
    m.distance = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
    m.horizontal = static_cast<float>(h);
    m.vertical = static_cast<float>(dz);
    m.angle = static_cast<float>(std::atan2(dz, h) / kRad);
    return m;
}

std::string MeasureText(const Measurement& m) {
    char text[160];
    std::snprintf(text, sizeof text, "Distance %.2f (horizontal %.2f, vertical %.2f, angle %.1f degrees)",
                  static_cast<double>(m.distance), static_cast<double>(m.horizontal), static_cast<double>(m.vertical),
                  static_cast<double>(m.angle));
    return text;
}

Vector3 PixelRay(const Camera& camera, const Viewport& viewport, int x, int y) {
    const int w = viewport.width > 0 ? viewport.width : 1, h = viewport.height > 0 ? viewport.height : 1;
    const double t = std::tan(kFieldOfView / 2 * kRad);
    const double nx = (2.0 * (x + 0.5) / w - 1.0) * t * (static_cast<double>(w) / h);
    const double ny = (1.0 - 2.0 * (y + 0.5) / h) * t;
    const CameraVectors basis = CameraBasis(camera);
    const Vector3 d = basis.forward + basis.right * static_cast<float>(nx) + basis.up * static_cast<float>(ny);
    return d.Normalised();
}

std::optional<Vector3> RayHitsFace(const Instance& inst, std::size_t face, const Vector3& origin,
                                   const Vector3& direction, const Vector3& cameraPosition) {
    if (!inst.model || face >= inst.model->faces.size() || !inst.model->faces[face].inRange) return std::nullopt;
    const Face& f = inst.model->faces[face];
    const auto& vs = inst.model->vertices;
    const Vector3 a = DrawnCorner(inst, vs[f.index[0]].position, cameraPosition);
    const Vector3 b = DrawnCorner(inst, vs[f.index[1]].position, cameraPosition);
    const Vector3 c = DrawnCorner(inst, vs[f.index[2]].position, cameraPosition);
    const Vector3 n = (b - a).Cross(c - a);
    const float along = n.Dot(direction);
    if (!(std::abs(along) > 1e-12f * n.Length())) return std::nullopt;
    const float t = n.Dot(a - origin) / along;
    if (!(t >= 0) || !std::isfinite(t)) return std::nullopt;
    return origin + direction * t;
}

std::optional<Vector3> RayHitsGround(const Vector3& origin, const Vector3& direction, float range) {
    if (TheTerrain().field.samples.empty()) return std::nullopt;  // no ground drawn, none to hit
    const auto above = [&](float t) {
        const Vector3 p = origin + direction * t;
        return p.z - TerrainHeightAt(p.x, p.y);
    };
    constexpr float kStep = 0.5f;
    float before = 0;
    if (above(0) <= 0) return std::nullopt;  // under the ground: what would be seen is not the ground
    for (float t = kStep; t <= range; t += kStep) {
        if (above(t) <= 0) {
            // The crossing lies between the last two samples: halve it down.
            float lo = before, hi = t;
            for (int k = 0; k < 40; ++k) {
                const float mid = (lo + hi) / 2;
                (above(mid) > 0 ? lo : hi) = mid;
            }
            return origin + direction * hi;
        }
        before = t;
    }
    return std::nullopt;
}

std::optional<Vector3> PointUnder(int x, int y) {
    const View& view = TheView();
    const Camera& camera = view.camera;
    const Vector3 ray = PixelRay(camera, view.viewport, x, y);
    if (const std::optional<PickHit> hit = PickObject(x, y))
        if (const Instance* inst = BySerial(hit->serial))
            if (auto p = RayHitsFace(*inst, hit->triangle, camera.position, ray, camera.position)) return p;
    return RayHitsGround(camera.position, ray, kFarDistance);
}

bool MeasureClick(int x, int y) {
    MeasureState& m = TheMeasure();
    m.pressHeld = true;
    const std::optional<Vector3> p = PointUnder(x, y);
    if (!p) return false;
    if (m.points == 1) {
        m.b = *p;
        m.points = 2;
        LogPrintf("Measured from (%.2f, %.2f, %.2f) to (%.2f, %.2f, %.2f): %s\n", static_cast<double>(m.a.x),
                  static_cast<double>(m.a.y), static_cast<double>(m.a.z), static_cast<double>(m.b.x),
                  static_cast<double>(m.b.y), static_cast<double>(m.b.z), MeasureText(MeasureBetween(m.a, m.b)).c_str());
    } else {
        m.a = *p;
        m.points = 1;
    }
    return true;
}

bool ClearMeasure() {
    MeasureState& m = TheMeasure();
    const bool shown = m.points != 0;
    m.points = 0;
    return shown;
}

void DrawMeasureLine() {
    const MeasureState& m = TheMeasure();
    if (m.points == 0) return;
    // Over everything: a measure through a wall still shows where it runs.
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_POINT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glColor3f(1.0f, 0.2f, 1.0f);  // magenta: apart from the selection's yellow, the sky and the grass
    glPointSize(7.0f);
    glBegin(GL_POINTS);
    glVertex3f(m.a.x, m.a.y, m.a.z);
    if (m.points == 2) glVertex3f(m.b.x, m.b.y, m.b.z);
    glEnd();
    if (m.points == 2) {
        glLineWidth(2.0f);
        glBegin(GL_LINES);
        glVertex3f(m.a.x, m.a.y, m.a.z);
        glVertex3f(m.b.x, m.b.y, m.b.z);
        glEnd();
    }
    glPopAttrib();
}

void DrawMeasureLabel() {
    const MeasureState& m = TheMeasure();
    if (m.points == 0) return;
    glColor3f(0, 0, 0);
    glRasterPos2i(10, 30);
    glColor3f(1, 1, 1);
    if (m.points == 1) DrawLabel("Measuring: Shift+Ctrl+click the second point (Esc: stop)");
    else DrawLabel("%s   (Esc: stop)", MeasureText(MeasureBetween(m.a, m.b)).c_str());
}
