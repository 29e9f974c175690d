// Headless frames per second at 800 x 600 from a fixed camera, on the demo
// level and on a large bench level, and the share of a frame spent in the
// scene pass's culling walk (CullInstances, timed after each real frame);
// then a flight across the demo level and its worst frame.
//
//   bench_frames [--frames N]
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tests/font_platform.h"
#include "app/frame.h"
#include "app/gl_setup.h"
#include "app/gl_window.h"
#include "app/input.h"
#include "diag/clock.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "app/load_sequence.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "platform/egl/egl_context.h"
#include "scene/scene_model.h"
#include "effects/offscreen.h"
#include "effects/shadow_render.h"
#include "effects/shadows.h"
#include "scene/render_state.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"
#include "scene/scene_draw.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

void Run(const char* label, const std::string& swp, int frames, const Vector3& at, float yaw, float pitch) {
    ResetState(StateScope::Process);
    static std::FILE* devnull = std::fopen("/dev/null", "w");
    SetConsoleStream(devnull);  // the loader's object lines
    ResizeView(800, 600);
    InitGL();
    TheLevelFiles() = LevelFilesBeside(swp);
    TheInput().HelpVisible = false;
    TheFrame().LoadState = 1;  // the next frame loads
    DrawFrame();
    TheCamera().position = at;
    TheCamera().yaw = yaw;
    TheCamera().pitch = pitch;
    for (int i = 0; i < 20; ++i) DrawFrame();  // textures and display lists on first use
    glFinish();

    // Each frame is timed whole; the culling walk is timed again straight
    // after it, with the caches as the frame's drawing left them.
    double total = 0.0, traversal = 0.0;
    std::size_t visible = 0;
    for (int i = 0; i < frames; ++i) {
        const auto start = Clock::now();
        DrawFrame();
        glFinish();
        total += Ms(start);
        const auto walk = Clock::now();
        visible = CullInstances().size();
        traversal += Ms(walk);
    }

    const double perFrame = total / frames;
    std::printf("%-6s %6zu instances, %5zu drawn: %7.1f frames/s (%6.2f ms a frame), culling and traversal %.3f ms "
                "= %.1f%% of the frame\n",
                label, TheScene().InstanceList.size(), visible, 1000.0 / perFrame, perFrame, traversal / frames,
                100.0 * traversal / total);
}

// The demo with both shadow kinds on, from a still camera: frames until
// every quad in view is baked, the bakes and shadow renders of each frame
// (none once settled), the frame rate then, and what one bake and one
// shadow picture cost.
void Shadows(const char* label, int frames) {
    TheToggles().ObjectShadows = true;
    TheToggles().TerrainShadows = true;
    Camera& camera = TheCamera();
    camera.position = {-100, -40, 12};
    camera.yaw = 60;
    camera.pitch = 15;
    std::string counts;
    int settled = -1;
    for (int i = 0; i < 40; ++i) {
        DrawFrame();
        char entry[32];
        std::snprintf(entry, sizeof entry, " %d/%d", TheTerrain().bakesThisFrame, TheShadows().rendersThisFrame);
        counts += entry;
        if (settled < 0 && TheTerrain().bakesThisFrame == 0 && TheShadows().rendersThisFrame == 0) settled = i;
    }
    glFinish();
    double total = 0.0;
    for (int i = 0; i < frames; ++i) {
        const auto start = Clock::now();
        DrawFrame();
        glFinish();
        total += Ms(start);
    }
    // One bake and one shadow picture, timed alone (the GL work included).
    TerrainNode* quad = TheTerrain().root.get();
    while (quad && !(quad->textureLeaf && quad->texture)) {
        TerrainNode* next = nullptr;
        for (auto& c : quad->children)
            if (c && (c->texture || !c->textureLeaf)) next = c.get();
        quad = next;
    }
    double bake = 0.0, shadow = 0.0;
    const int repeats = 50;
    if (quad) {
        const auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            TheTerrain().bakesThisFrame = 0;
            BeginOffscreen();
            BakeTexture(*quad);
            EndOffscreen();
        }
        glFinish();
        bake = Ms(start) / repeats;
    }
    Instance* receiver = nullptr;
    for (Instance* c : ShadowCandidates())
        if (c->ShadowSlot) receiver = c;
    if (receiver) {
        const auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            BeginOffscreen();
            RenderShadowTexture(*receiver);
            EndOffscreen();
        }
        glFinish();
        shadow = Ms(start) / repeats;
    }
    std::printf("%-6s both shadows: %.1f frames/s (%.2f ms a frame) once settled after %d frames; one bake %.2f ms, "
                "one shadow picture %.2f ms\n       bakes/shadow renders per frame from the start:%s\n",
                label, 1000.0 * frames / total, total / frames, settled, bake, shadow, counts.c_str());
    TheToggles().ObjectShadows = false;
}

// Flying across the level at speed 200 (key 6) for `frames` frames of 1/60 s:
// the worst frame is the one that re-centres the terrain window.
void Fly(const char* label, int frames) {
    Camera& camera = TheCamera();
    camera.position = {-900, -170, 40};
    camera.yaw = 90;  // along +x
    camera.pitch = 10;
    DrawFrame();
    double worst = 0.0, total = 0.0, recentre = 0.0;
    int recentres = 0;
    for (int i = 0; i < frames; ++i) {
        const float originBefore = TheTerrain().field.originX;
        camera.position.x += 200.0f / 60.0f;
        const auto start = Clock::now();
        DrawFrame();
        glFinish();
        const double ms = Ms(start);
        total += ms;
        worst = std::max(worst, ms);
        if (TheTerrain().field.originX != originBefore) {
            ++recentres;
            recentre = std::max(recentre, ms);
        }
    }
    std::printf("%-6s flying: %.2f ms a frame, worst %.1f ms; %d re-centrings, the worst of them %.1f ms\n", label,
                total / frames, worst, recentres, recentre);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--frames") frames = std::max(1, std::atoi(argv[i + 1]));
    platform::EglContext context;
    if (!context.Create(800, 600)) {
        std::fprintf(stderr, "bench_frames: no headless GL: %s\n", context.Reason().c_str());
        return 1;
    }
    FontedPlatform pf;
    pf.procAddress = &platform::EglContext::ProcAddress;
    platform::Install(&pf);

    char tmpl[] = "/tmp/wildview-frames-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::string error;
    if (!wvwrite::WriteDemoLevel(dir, &error) || !wvwrite::WriteBenchLevel(dir, 20000, 2000, 500, 1, &error)) {
        std::fprintf(stderr, "bench_frames: %s\n", error.c_str());
        return 1;
    }
    std::printf("%d frames at 800 x 600 on %s\n", frames, reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    Run("demo", dir + "/demo-130.swp", frames, {-170, -170, 24}, 45, 5);
    Shadows("demo", frames);
    Fly("demo", 600);
    Run("bench", dir + "/bench-130.swp", frames, {0, 0, 40}, 30, 10);
    ResetState(StateScope::Process);
    std::filesystem::remove_all(dir);
    platform::Install(nullptr);
    return 0;
}
