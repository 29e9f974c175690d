#include "render/gl_setup.h"

#include "diag/log.h"
#include "effects/offscreen.h"
#include "effects/shadows.h"
#include "glh/gl.h"
#include "glh/glh_extensions.h"
#include "render/overlay_text.h"
#include "scene/model_draw.h"
#include "scene/render_state.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"

namespace {
const char* TrueFalse(bool b) { return b ? "true" : "false"; }
}  // namespace

bool InitGL() {
    GlCapabilities& caps = TheRenderState().caps;
    LogPrintf("\n\n    InitGL\n    =====\n");
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    const GLfloat none[] = {0, 0, 0, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    const GLfloat ambient[] = {0.3f, 0.3f, 0.3f, 1.0f};
    const GLfloat diffuse1[] = {0.9f, 0.9f, 0.9f, 1.0f};
    const GLfloat diffuse2[] = {0.2f, 0.2f, 0.2f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT2, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT2, GL_DIFFUSE, diffuse2);
    glEnable(GL_NORMALIZE);

    bool compression = InitExtensions(" GL_ARB_texture_compression ");
    if (!compression) compression = InitExtensions(" GL_EXT_texture_compression ");
    LogPrintf("\nGL_TextureCompression: %s", TrueFalse(compression));
    LogPrintf(" (manually disabled)");
    caps.HasTextureCompression = false;

    caps.HasAutoMipmaps = InitExtensions(" GL_SGIS_generate_mipmap ");
    LogPrintf("\nGL_AutoGenMipmaps: %s", TrueFalse(caps.HasAutoMipmaps));

    caps.HasDot3 = InitExtensions(" GL_ARB_texture_env_dot3 ");
    if (!caps.HasDot3) caps.HasDot3 = InitExtensions(" GL_EXT_texture_env_dot3 ");
    LogPrintf("\nGL_hasTexDot3: %s", TrueFalse(caps.HasDot3));

    caps.HasMultitexture = InitExtensions(" GL_EXT_texture_env_combine GL_ARB_multitexture ");
    LogPrintf("\nGL_hasMultitex: %s", TrueFalse(caps.HasMultitexture));

    const bool blendColour = InitExtensions(" GL_EXT_blend_color ");
    LogPrintf("\nGL_EXT_blend_color: %s", TrueFalse(blendColour));

    caps.Dot3Available = caps.HasDot3 && caps.HasMultitexture && blendColour;
    InstallSceneGlHooks();
    InstallTerrainGlHooks();
    CreateFrusta(TheView().frusta);
    BuildOverlayFont();
    return true;
}

void KillGL() {
    TerrainTexturePool().Clear();
    TheShadows().pool.Clear();
    KillPBuffer();
    DeleteOverlayFont();
    TheView().frusta = ViewFrusta{};
}
