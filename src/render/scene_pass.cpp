#include "render/scene_pass.h"

#include <algorithm>

#include "glh/gl.h"
#include "diag/stat_counter.h"
#include "scene/model_draw.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_draw.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain_draw.h"

namespace {

// Level "sum" tints both lights with its fog every frame.
void SumLights() {
    const float* f = TheScene().FogColor;
    const GLfloat diffuse1[] = {0.7f * f[0] + 0.07f, 0.7f * f[1] + 0.07f, 0.7f * f[2], 1.0f};
    const GLfloat ambient[] = {0.25f, 0.25f, 0.32f, 1.0f};
    const GLfloat diffuse2[] = {0.3f * diffuse1[0], 0.3f * diffuse1[1], 0.3f * diffuse1[2], 1.0f};
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT2, GL_DIFFUSE, diffuse2);
    glLightfv(GL_LIGHT2, GL_AMBIENT, ambient);
}

}  // namespace

void DrawScenePass() {
    if (TheLevel().quirks.tintedLightsAndSky) SumLights();
    gVisibleVerts.value = 0;
    gVisibleTris.value = 0;
    gVisibleDisplayLists.value = 0;
    gNeighbourTriTex.value = 0;
    const bool fog = TheToggles().FogEnabled;
    if (fog) {
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_DENSITY, 0.0035f);
        glFogfv(GL_FOG_COLOR, TheScene().FogColor);
        glHint(GL_FOG_HINT, GL_DONT_CARE);
    }
    DrawSky();
    if (fog) {
        glFogi(GL_FOG_MODE, GL_EXP2);
        glFogf(GL_FOG_DENSITY, 0.0022f);
    }
    DrawTerrain();
    DrawInstances();
    if (fog) glDisable(GL_FOG);
}

void ModelBox(const Model& model, Vector3& lo, Vector3& hi) {
    lo = {1e30f, 1e30f, 1e30f};
    hi = {-1e30f, -1e30f, -1e30f};
    for (const Vertex& v : model.vertices) {
        lo = {std::min(lo.x, v.position.x), std::min(lo.y, v.position.y), std::min(lo.z, v.position.z)};
        hi = {std::max(hi.x, v.position.x), std::max(hi.y, v.position.y), std::max(hi.z, v.position.z)};
    }
}

void DrawOutlineBox(const Instance& inst, const Vector3& lo, const Vector3& hi, float r, float g, float b) {
    if (!inst.model || TheRenderState().PickingActive || !(lo.x <= hi.x)) return;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glColor3f(r, g, b);
    glLineWidth(1.5f);
    glPushMatrix();
    ApplyTransform(inst);
    const float x[2] = {lo.x, hi.x}, y[2] = {lo.y, hi.y}, z[2] = {lo.z, hi.z};
    glBegin(GL_LINES);
    for (int a = 0; a < 2; ++a)
        for (int c = 0; c < 2; ++c) {
            glVertex3f(x[0], y[a], z[c]);
            glVertex3f(x[1], y[a], z[c]);
            glVertex3f(x[a], y[0], z[c]);
            glVertex3f(x[a], y[1], z[c]);
            glVertex3f(x[a], y[c], z[0]);
            glVertex3f(x[a], y[c], z[1]);
        }
    glEnd();
    glPopMatrix();
    glPopAttrib();
}

void DrawSelectionOutline(const Instance& inst) {
    if (!inst.model) return;
    // The model's own box, turned and scaled as it is drawn.
    Vector3 lo, hi;
    ModelBox(*inst.model, lo, hi);
    DrawOutlineBox(inst, lo, hi, 1.0f, 0.85f, 0.1f);
}
