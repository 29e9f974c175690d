#include "render/view_setup.h"

#include "glh/gl.h"
#include "scene/view.h"

void ResizeView(int width, int height) {
    if (height == 0) height = 1;
    Viewport& v = TheView().viewport;
    v.aspect = static_cast<float>(width) / static_cast<float>(height);
    v.width = width;
    v.height = height;
    glViewport(0, 0, width, height);
}

void SetProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, TheView().viewport.aspect, kNearDistance, kFarDistance);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void SetupCamera() {
    View& view = TheView();
    const Camera& camera = view.camera;
    const Vector3 forward = RotateByCamera(camera, {0, 1, 0});
    const Vector3 at = camera.position + forward;
    gluLookAt(camera.position.x, camera.position.y, camera.position.z, at.x, at.y, at.z, 0, 0, 1);
    if (view.toggles.FreezeFrustum) return;
    UpdateFrusta(view.frusta, camera, view.viewport.aspect);
}
