#include "app/picking.h"

#include "glh/gl.h"
#include <algorithm>

#include "app/frame.h"
#include "app/input.h"
#include "diag/log.h"
#include "math/camera.h"
#include "scene/dumps.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "app/scene_pass.h"

namespace {
constexpr int kSelectionWords = 512;
}

bool PickObject(int x, int y, int capacity, std::uint32_t* names) {
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

    // An overflowing buffer reports -1: counted as no hit.
    const GLint hits = glRenderMode(GL_RENDER);
    if (hits <= 0) return false;
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
    if (!any || buffer[kept] == 0) return false;  // the sky, the terrain: nothing named
    const GLuint count = std::min<GLuint>(buffer[kept], static_cast<GLuint>(capacity));
    for (GLuint n = 0; n < count; ++n) names[n] = buffer[kept + 3 + n];
    return true;
}

void SelectAt(int x, int y) {
    InputState& in = TheInput();
    in.mouseX = x;
    in.mouseY = y;
    std::uint32_t names[2] = {0, 0};
    if (!PickObject(x, y, 2, names)) {
        in.SelectedInstance = nullptr;
        return;
    }
    DebugPrintf("\nSelect: %d %d", static_cast<int>(names[0]), static_cast<int>(names[1]));
    in.SelectedInstance = SelectSerial(names[0]);
}

Instance* SelectSerial(std::uint32_t serial) {
    Instance* found = nullptr;
    for (const auto& inst : TheScene().InstanceList) {
        if (inst->SerialId != serial) continue;
        found = inst.get();
        DumpInstance(*inst);
    }
    for (const auto& [height, group] : TheScene().TerrainObjectsByHeight) {
        for (const auto& inst : group) {
            if (inst->SerialId != serial) continue;
            found = inst.get();
            DumpInstance(*inst);
        }
    }
    return found;
}
