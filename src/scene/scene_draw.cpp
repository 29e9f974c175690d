#include "scene/scene_draw.h"

#include "glh/gl.h"
#include <cmath>

#include "diag/stat_counter.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/model_draw.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {

// The dome: a fan from the zenith over eight points on the horizon square.
void DomeFan() {
    const float F = kFarDistance;
    const GLfloat fan[10][3] = {{0, 0, 40},   {F, 0, -20},  {F, F, -20},   {0, F, -20},  {-F, F, -20},
                                {-F, 0, -20}, {-F, -F, -20}, {0, -F, -20}, {F, -F, -20}, {F, 0, -20}};
    glBegin(GL_TRIANGLE_FAN);
    for (const auto& v : fan) glVertex3fv(v);
    glEnd();
}

}  // namespace

bool TooSmallToDraw(float d, float r) {
    return (d > 500 && 0.07f * d > r) || (d > 200 && 0.04f * d > r) || (d > 10 && 0.02f * d > r) || 0.01f * d > r;
}

void DrawSky() {
    TextureObject* sky = TheScene().SkyTexture.get();
    if (!sky) return;
    if (sky->glName == 0 && TheSceneHooks().createTexture) TheSceneHooks().createTexture(*sky);
    const bool lit = glIsEnabled(GL_LIGHTING);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, sky->glName);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const Vector3& cam = TheCamera().position;
    glPushMatrix();
    glTranslatef(cam.x, cam.y, cam.z);
    const float s = static_cast<float>(std::fmod(TheRenderState().FrameStartTime * 0.005, 1.0));
    const float F = kFarDistance, k = F * 0.005f;
    // The base colour: white, or the tint of level "sum".
    if (TheLevel().quirks.tintedLightsAndSky) glColor4f(0.5647059f, 0.572549f, 0.6901961f, 1.0f);
    else glColor4f(1, 1, 1, 1);
    glDisable(GL_CULL_FACE);
    DomeFan();
    glColor3f(1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    const GLfloat planeS[4] = {k / (2 * F), 0, 0, k / 2}, planeT[4] = {0, k / (2 * F), 0, k / 2};
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glTranslatef(cam.x * (k / (2 * F)) * 0.025f + s, cam.y * (k / (2 * F)) * 0.025f, 0);
    glMatrixMode(GL_MODELVIEW);
    DomeFan();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    // The sun, one unit from the eye against the light.
    const Vector3& l = TheScene().LightDirection;
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    glPointSize(15);
    glBegin(GL_POINTS);
    glVertex3f(-l.x, -l.y, -l.z);
    glEnd();
    glDisable(GL_BLEND);
    glPopMatrix();
    if (lit) glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}

const std::vector<Instance*>& CullInstances() {
    static std::vector<Instance*> visible;  // kept between frames: no allocation per frame
    visible.clear();
    const Frustum* objects = TheFrusta().object.get();
    if (!objects) return visible;
    const Vector3& cam = TheCamera().position;
    SceneState& scene = TheScene();
    for (const CullEntry& e : scene.cull.For(scene.InstanceList)) {
        if (!objects->IntersectsSphere(e.centre, e.radius)) continue;
        if (TooSmallToDraw(cam.Distance(e.position), e.radius)) continue;
        visible.push_back(e.instance);
    }
    return visible;
}

const std::vector<Instance*>& CullInstancesPlain() {
    static std::vector<Instance*> visible;
    visible.clear();
    const Frustum* objects = TheFrusta().object.get();
    if (!objects) return visible;
    const Vector3& cam = TheCamera().position;
    for (auto& inst : TheScene().InstanceList) {
        if (!objects->Intersects(inst->sphere)) continue;
        if (TooSmallToDraw(cam.Distance(inst->position), inst->sphere.radius)) continue;
        visible.push_back(inst.get());
    }
    return visible;
}

void DrawInstances() {
    const Frustum* terrain = TheFrusta().terrain.get();
    glEnable(GL_CULL_FACE);
    for (Instance* inst : CullInstances()) DrawInstance(*inst);
    glDisable(GL_CULL_FACE);
    if (!TheToggles().ObjectPositions) return;
    glPushAttrib(GL_FOG_BIT | GL_LIGHTING_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glColor3f(1, 0, 0);
    glDisable(GL_POINT_SMOOTH);
    glPointSize(3);
    glBegin(GL_POINTS);
    for (const auto& inst : TheScene().InstanceList)
        if (terrain && terrain->Intersects(inst->sphere)) glVertex3f(inst->position.x, inst->position.y, inst->position.z);
    glEnd();
    glPopAttrib();
    glEnable(GL_DEPTH_TEST);
}
