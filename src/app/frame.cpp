#include "app/frame.h"

#include "glh/gl.h"
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "app/gl_window.h"
#include "app/input.h"
#include "app/load_sequence.h"
#include "diag/clock.h"
#include "diag/log.h"
#include "app/scene_pass.h"
#include "app/viewer_ui.h"
#include "diag/state_registry.h"
#include "effects/shadow_render.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "terrain/terrain_draw.h"

const char* const kHelpText =
    "Keyboard controls:\nF1\tToggle this help screen\n1-6\tSet movement speed\nW/S/A/D\tMove\nESC\tToggle "
    "flying/selection mode\nP\tToggle object positions (very useful for finding distant OTP stuff)\nU\tToggle bumpmap "
    "mode\nI\t(hack) rotating sun, nice on bumpmaps, stuffs up the shadows though\nDEL\tDelete object\n\nMouse "
    "controls:\n  ESC toggles between\n  - Flying mode: look around\n  - Selection mode: left click and drag to move "
    "objects (shift/ctrl modifies)\n";

namespace {

const platform::FontRequest kOverlayFont{"Arial", 14, 500};
const platform::FontRequest kLoadingFont{"Arial", 64, 700};

// Display lists of characters first .. first + count - 1, one glBitmap each.
unsigned BuildFontLists(const platform::FontRequest& font, int first, int count) {
    std::vector<platform::GlyphBitmap> glyphs;
    platform::Current().RasteriseFont(font, first, count, glyphs);
    const GLuint base = glGenLists(count);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < count; ++i) {
        glNewList(base + static_cast<GLuint>(i), GL_COMPILE);
        if (static_cast<std::size_t>(i) < glyphs.size()) {
            const platform::GlyphBitmap& g = glyphs[static_cast<std::size_t>(i)];
            // An empty glyph (a space) is one clear texel: Mesa's batched
            // bitmap text drops the advance of zero-sized bitmaps.
            static const GLubyte kClear[1] = {0};
            if (g.width == 0 || g.height == 0 || g.bits.empty()) glBitmap(1, 1, 0, 0, g.advance, 0.0f, kClear);
            else glBitmap(g.width, g.height, g.originX, g.originY, g.advance, 0.0f, g.bits.data());
        }
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return base;
}

void RasterPosition(int& x, int& y) {
    GLfloat pos[4] = {0, 0, 0, 0};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    x = static_cast<int>(pos[0]);
    y = static_cast<int>(pos[1]);
}

void Ortho() {
    const GlWindowState& w = TheGlWindow();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w.clientWidth, 0, w.clientHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void LoadingScreen() {
    FrameState& f = TheFrame();
    f.LoadState = 1;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const unsigned lists = BuildFontLists(kLoadingFont, 0, 128);
    Ortho();
    glColor3f(1, 1, 1);
    glRasterPos2i(20, 30);
    glPushAttrib(GL_LIST_BIT);
    glListBase(lists);
    glCallLists(10, GL_UNSIGNED_BYTE, "Loading...");
    glPopAttrib();
    glFlush();
    glDeleteLists(lists, 128);
}

// A label: black text on a white box, as the raster colour is taken when
// the position is set and the box is drawn in the colour current after it.
void Label(int x, int y, const char* format, float a, float b, float c) {
    glColor3f(0, 0, 0);
    glRasterPos2i(x, y);
    glColor3f(1, 1, 1);
    DrawLabel(format, a, b, c);
}

}  // namespace

FrameState& TheFrame() {
    static FrameState state;
    return state;
}

void ResetFrame() { TheFrame() = FrameState{}; }

int NextTabStop(int x0, int cx) { return x0 + ((cx - x0) / 100 + 1) * 100; }

void BuildOverlayFont() { TheFrame().overlayFontBase = BuildFontLists(kOverlayFont, 32, 96); }

void DeleteOverlayFont() {
    FrameState& f = TheFrame();
    if (f.overlayFontBase) glDeleteLists(f.overlayFontBase, 96);
    f.overlayFontBase = 0;
}

void DrawLabel(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    int w = 0, h = 0;
    platform::Current().MeasureText(kOverlayFont, text, w, h);
    int x = 0, y = 0;
    RasterPosition(x, y);
    glRecti(x - 4, y - 4, x + w + 3, y + h - 1);
    glPushAttrib(GL_LIST_BIT);
    glListBase(TheFrame().overlayFontBase - 32);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void DrawTextBlock(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    int x0 = 0, y = 0;
    RasterPosition(x0, y);
    glPushAttrib(GL_LIST_BIT);
    glListBase(TheFrame().overlayFontBase - 32);
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            y -= 18;
            glRasterPos2i(x0, y);
        } else if (*p == '\t') {
            int cx = 0, cy = 0;
            RasterPosition(cx, cy);
            glRasterPos2i(NextTabStop(x0, cx), cy);
        } else {
            glCallLists(1, GL_UNSIGNED_BYTE, p);
        }
    }
    glPopAttrib();
}

void SetupCamera() {
    const Camera& camera = TheCamera();
    const Vector3 forward = RotateByCamera(camera, {0, 1, 0});
    const Vector3 at = camera.position + forward;
    gluLookAt(camera.position.x, camera.position.y, camera.position.z, at.x, at.y, at.z, 0, 0, 1);
    if (TheToggles().FreezeFrustum) return;
    UpdateFrusta(camera, TheGlWindow().aspect);
}

bool DrawFrame() {
    FrameState& f = TheFrame();
    if (f.LoadState == 0) {
        LoadingScreen();
        return true;
    }
    if (f.LoadState == 1) {
        f.LoadState = 2;
        InitModels();
    }
    InputState& in = TheInput();
    SceneState& scene = TheScene();
    const GlWindowState& w = TheGlWindow();

    TheRenderState().FrameStartTime = GetTime();
    if (f.HelpStartTime < 0) f.HelpStartTime = GetTime();
    if (TheToggles().RotatingSun) scene.LightDirection = Matrix3::RotationZ(2.0f) * scene.LightDirection;
    scene.LightDirection.Normalise();
    const double delta = GetFrameDelta();
    f.FrameTime = static_cast<float>(delta);
    if (!TheRenderState().PickingActive) {
        UpdateTerrainFrame();
        UpdateShadows();
    }

    glClearColor(scene.FogColor[0], scene.FogColor[1], scene.FogColor[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    SetProjection();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetupCamera();
    const GLfloat light[4] = {-scene.LightDirection.x, -scene.LightDirection.y, -scene.LightDirection.z, 0.0f};
    glLightfv(GL_LIGHT1, GL_POSITION, light);
    glLightfv(GL_LIGHT2, GL_POSITION, light);
    if (TheToggles().LightingEnabled) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT1);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    DrawScenePass();
    DrawSelectionOutline();
    UpdateWindowTitle();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    Ortho();
    const Camera& camera = TheCamera();
    Label(10, w.clientHeight - 24, "Location: %.1f, %.1f, %.1f", camera.position.x, camera.position.y,
          camera.position.z);
    const Vector3 forward = RotateByCamera(camera, {0, 1, 0});
    Label(10, w.clientHeight - 40, "Facing: %.1f, %.1f, %.1f", forward.x, forward.y, forward.z);
    f.smoothedFrameTime = f.smoothedFrameTime * 0.96 + delta * 0.04;
    glColor3f(0, 0, 0);
    glRasterPos2i(w.clientWidth - 50, w.clientHeight - 20);
    glColor3f(1, 1, 1);
    DrawLabel("%.0ffps", 1.0 / f.smoothedFrameTime);

    bool showHelp = in.HelpVisible;
    if (in.HelpAutoHide && GetTime() - f.HelpStartTime > 8.0) {
        in.HelpAutoHide = false;
        in.HelpVisible = false;
        showHelp = false;
    }
    if (showHelp) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.4f, 0.4f, 0.4f, 0.7f);
        glRecti(40, 40, w.clientWidth - 40, w.clientHeight - 40);
        glDisable(GL_BLEND);
        glColor3f(1, 1, 1);
        glRasterPos2i(100, w.clientHeight - 100);
        DrawTextBlock("%s", kHelpText);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    return true;
}

namespace {
const StateReset kFrameReset{"frame", StateLayer::App, StateScope::Process, &ResetFrame};
}  // namespace
