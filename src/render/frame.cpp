#include "render/frame.h"

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "edit/edits.h"
#include "effects/shadow_render.h"
#include "glh/gl.h"
#include "level/load_sequence.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "render/highlight.h"
#include "render/measure.h"
#include "render/overlay_text.h"
#include "render/scene_pass.h"
#include "render/view_setup.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain_draw.h"

const char* const kHelpText =
    "Keyboard controls:\nF1\tToggle this help screen\n1-6\tSet movement speed\nW/S/A/D\tMove\nESC\tToggle "
    "flying/selection mode\nP\tToggle object positions (very useful for finding distant OTP stuff)\nU\tToggle bumpmap "
    "mode\nI\t(hack) rotating sun, nice on bumpmaps, stuffs up the shadows though\nDEL\tDelete object\n\nMouse "
    "controls:\n  ESC toggles between\n  - Flying mode: look around\n  - Selection mode: left click and drag to move "
    "objects (shift/ctrl modifies)\n"
    "\nMore keys:\nQ, Space / Z\tMove up / down\nShift+mouse\tFlying mode: pan instead of turning\nShift / Ctrl"
    "\tSelection mode, dragging: turn it / move it up and down\nB, V\tModel and property reports of the selection\n"
    "L, T\tToggle lighting (and terrain shadows); rebuild the terrain around the camera\n"
    "O, Home\tObject list; back to the player start\n"
    "Shift+Ctrl+click\tSelection mode: measure between two points (Esc clears)\n"
    "Ctrl+Z, Y, P\tUndo, redo; place the selection by numbers\n"
    "Alt\tFree the pointer for the menus (a click in the view takes it back); Alt+F, E, V, O open them\n";

namespace {

const platform::FontRequest kLoadingFont{"Arial", 64, 700};

void Ortho() {
    const Viewport& w = TheView().viewport;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w.width, 0, w.height, -1, 1);
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

bool DrawFrame(const OverlayStatus* status) {
    FrameState& f = TheFrame();
    if (f.LoadState == 0) {
        LoadingScreen();
        return true;
    }
    if (f.LoadState == 1) {
        f.LoadState = 2;
        InitModels();
    }
    SceneState& scene = TheScene();
    View& view = TheView();
    const Viewport& w = view.viewport;

    TheRenderState().FrameStartTime = GetTime();
    if (view.help.startTime < 0) view.help.startTime = GetTime();
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
    if (const Instance* selected = TheEdits().selected) DrawSelectionOutline(*selected);
    DrawHighlights();
    DrawMeasureLine();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    Ortho();
    const Camera& camera = TheCamera();
    Label(10, w.height - 24, "Location: %.1f, %.1f, %.1f", camera.position.x, camera.position.y,
          camera.position.z);
    const Vector3 forward = RotateByCamera(camera, {0, 1, 0});
    Label(10, w.height - 40, "Facing: %.1f, %.1f, %.1f", forward.x, forward.y, forward.z);
    f.smoothedFrameTime = f.smoothedFrameTime * 0.96 + delta * 0.04;
    glColor3f(0, 0, 0);
    glRasterPos2i(w.width - 50, w.height - 20);
    glColor3f(1, 1, 1);
    DrawLabel("%.0ffps", 1.0 / f.smoothedFrameTime);
    if (status) {
        // Which mode the pointer serves, how to change it, and the speed.
        glColor3f(0, 0, 0);
        glRasterPos2i(10, 12);
        glColor3f(1, 1, 1);
        DrawLabel("%s mode (Esc: %s)   Speed %g units/s (keys 1-6)   F1: help",
                  status->flying ? "Flying" : "Selection", status->flying ? "select objects" : "fly",
                  static_cast<double>(status->speed));
    }
    DrawMeasureLabel();

    if (view.help.autoHide && GetTime() - view.help.startTime > 8.0) {
        view.help.autoHide = false;
        view.help.visible = false;
    }
    if (view.help.visible) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.4f, 0.4f, 0.4f, 0.7f);
        glRecti(kHelpInset, kHelpInset, w.width - kHelpInset, w.height - kHelpInset);
        glDisable(GL_BLEND);
        glColor3f(1, 1, 1);
        glRasterPos2i(100, w.height - kHelpTextTop);
        DrawTextBlock("%s", kHelpText);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    return true;
}

namespace {
const StateReset kFrameReset{"frame", StateLayer::App, StateScope::Process, &ResetFrame};
}  // namespace
