#include "app/scene_pass.h"

#include "glh/gl.h"

#include "diag/stat_counter.h"
#include "location/level_files.h"
#include "scene/render_state.h"
#include "scene/scene_draw.h"
#include "scene/scene_model.h"
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
    if (TheLevelFiles().LevelName == "sum") SumLights();
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
