#include "effects/shadow_render.h"

#include "glh/gl.h"

#include <cmath>

#include "effects/offscreen.h"
#include "effects/shadows.h"
#include "math/bounding.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/model_draw.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"

void RenderShadowTexture(Instance& x) {
    if (!x.ShadowSlot) return;
    const Vector3& l = TheScene().LightDirection;
    DrawInto(*x.ShadowSlot);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    ClearCorner(*x.ShadowSlot, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glPushMatrix();
    // The picture spans 2 sqrt(3) times the receiver's scale around it; a
    // scale of 0 (or worse) would fill the matrix with infinities.
    const float k = static_cast<float>(1.0 / std::sqrt(3.0));
    glScalef(k, k, k);
    const float inverse = x.scale > 0.0f && std::isfinite(1.0f / x.scale) ? 1.0f / x.scale : 1.0f;
    glScalef(inverse, inverse, inverse);
    const Vector3 at = x.position + l, up = LookUpFor(l);
    gluLookAt(x.position.x, x.position.y, x.position.z, at.x, at.y, at.z, up.x, up.y, up.z);
    glDepthFunc(GL_LEQUAL);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    DrawAdditive(x);  // only the receiver's depth
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    const Cylinder ray(x.sphere.centre, l, x.sphere.radius);
    glColor4f(1, 1, 1, 1);
    for (Instance* y : ShadowCandidates())
        if (y != &x && y->Shadow && ray.Intersects(y->sphere)) DrawAdditive(*y);
    glDepthMask(GL_TRUE);
    glDisable(GL_DEPTH_TEST);
    glPopMatrix();
    CopyToTexture(*x.ShadowSlot);
    x.ShadowDirty = false;
}

void UpdateShadows() {
    const Vector3 camera = TheCamera().position;
    TheShadows().rendersThisFrame = 0;
    UpdateShadowCandidates(camera);
    if (TheRenderState().PickingActive || !TheShadows().ShadowsPossible) return;
    const bool on = TheToggles().ObjectShadows;
    const std::vector<Instance*> dirty = AssignShadowSlots(camera, on);
    if (!on) return;
    // Every setting the pictures change is put back, with the matrices,
    // the viewport and the framebuffer.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    const OffscreenPass pass;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -200, 20);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    for (Instance* receiver : dirty) RenderShadowTexture(*receiver);
    TheShadows().rendersThisFrame = static_cast<std::int32_t>(dirty.size());
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}
