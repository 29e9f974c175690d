#include "render/picking.h"

#include <algorithm>

#include "glh/gl.h"
#include "math/camera.h"
#include "render/scene_pass.h"
#include "render/view_setup.h"
#include "scene/render_state.h"

namespace {
constexpr int kSelectionWords = 512;
}

std::optional<PickHit> PickObject(int x, int y) {
    // The caller's settings and matrices are put back: a pick may come
    // between any two draws.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLuint buffer[kSelectionWords] = {};
    glSelectBuffer(kSelectionWords, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(x, viewport[3] - y, 1, 1, viewport);
    const GLint w = viewport[2] - viewport[0], h = viewport[3] - viewport[1];
    gluPerspective(kFieldOfView, h != 0 ? static_cast<double>(w) / h : 1.0, kNearDistance, kFarDistance);
    SetupCamera();  // with the projection selected: the look-at lands there
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    TheRenderState().PickingActive = true;  // names pushed, plain triangles drawn
    DrawScenePass();
    TheRenderState().PickingActive = false;
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();

    // An overflowing buffer reports -1: counted as no hit.
    const GLint hits = glRenderMode(GL_RENDER);
    if (hits <= 0) return std::nullopt;
    std::size_t at = 0, kept = 0;
    bool any = false;
    GLuint nearest = 0;
    for (GLint i = 0; i < hits && at + 3 <= kSelectionWords; ++i) {
        const GLuint count = buffer[at], minDepth = buffer[at + 1];
        if (at + 3 + count > kSelectionWords) break;
        // Of equally near hits the last one wins.
        if (!any || minDepth <= nearest) {
            nearest = minDepth;
            kept = at;
            any = true;
        }
        at += 3 + count;
    }
    if (!any || buffer[kept] == 0) return std::nullopt;  // the sky, the terrain: nothing named
    PickHit hit;
    hit.serial = buffer[kept + 3];
    if (buffer[kept] > 1) hit.triangle = buffer[kept + 4];
    return hit;
}
