// Headless frames per second at 800 x 600 from a fixed camera, on the demo
// level and on bench levels of 20 000 and 80 000 instances, and the share of
// a frame spent in the scene pass's culling walk: the real CullInstances,
// timed after each real frame with the caches as cold as a frame leaves them
// (a buffer larger than the L2 caches is streamed through first), and again
// warm straight after. Then the heap: the level's own data (the load, no GL
// in it) apart from what the GL driver holds for the frames' objects. Then
// flights over the demo level at keys 5 and 6 (and round its island at 6),
// three times each, and their worst frames.
//
//   bench_frames [--frames N] [--instances N[,N...]|none] [--keys 5,6] [--frame-times FILE]
// --frame-times: each flight's frames (least ms over the rounds, bakes,
// window) to FILE.straight.KEY or FILE.circle.KEY, one line a frame.
#include "glh/gl.h"
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_levels.h"
#include "diag/clock.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "level/load_sequence.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "platform/headless_gl.h"
#include "platform/headless_platform.h"
#include "render/frame.h"
#include "render/gl_setup.h"
#include "render/view_setup.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "effects/offscreen.h"
#include "effects/shadow_render.h"
#include "effects/shadows.h"
#include "scene/render_state.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"
#include "scene/scene_draw.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Heap in use, in MiB: the arena's chunks and the mapped ones.
double HeapMiB() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd) / (1 << 20);
}

// Leaves the caches as a frame's drawing does: what the culling reads is no
// longer in L1 or L2.
void EvictCaches() {
    static std::vector<unsigned char> junk(16u << 20, 1);
    static volatile unsigned sink = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < junk.size(); i += 64) sum += junk[i]++;
    sink = sink + sum;
}

void Run(const char* label, const std::string& swp, int frames, const Vector3& at, float yaw, float pitch,
         double heapStart) {
    ResetState(StateScope::Process);
    SetConsoleStream(nullptr);  // the loader's object lines
    ResizeView(800, 600);
    InitGL();
    TheLevelFiles() = LevelFilesBeside(swp);
    TheView().help.visible = false;
    const double heapBefore = HeapMiB();
    TheFrame().LoadState = 1;  // the next frame loads
    DrawFrame();
    const double heapLoaded = HeapMiB();
    TheCamera().position = at;
    TheCamera().yaw = yaw;
    TheCamera().pitch = pitch;
    for (int i = 0; i < 20; ++i) DrawFrame();  // textures and display lists on first use
    glFinish();
    const double heapDrawn = HeapMiB();

    // Each frame is timed whole; the culling walk is timed again after it,
    // once cold and once warm.
    double total = 0.0, cold = 0.0, warm = 0.0;
    std::size_t visible = 0;
    for (int i = 0; i < frames; ++i) {
        const auto start = Clock::now();
        DrawFrame();
        glFinish();
        total += Ms(start);
        EvictCaches();
        auto walk = Clock::now();
        visible = CullInstances().size();
        cold += Ms(walk);
        walk = Clock::now();
        CullInstances();
        warm += Ms(walk);
    }

    const double perFrame = total / frames;
    std::printf("%-6s %6zu instances, %5zu drawn: %7.1f frames/s (%6.2f ms a frame); culling %.3f ms cold = %.1f%% of "
                "the frame (%.3f ms warm)\n",
                label, TheScene().InstanceList.size(), visible, 1000.0 / perFrame, perFrame, cold / frames,
                100.0 * cold / total, warm / frames);
    std::printf("       heap: %.1f MiB for the level's own data (scene file, models, instances, terrain); the GL "
                "driver's: %.1f MiB for the context, %.1f MiB for the GL objects of the level's first frames\n",
                heapLoaded - heapBefore, heapBefore - heapStart, heapDrawn - heapLoaded);
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
            const OffscreenPass pass;
            BakeTexture(*quad);
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
            const OffscreenPass pass;
            RenderShadowTexture(*receiver);
        }
        glFinish();
        shadow = Ms(start) / repeats;
    }
    std::printf("%-6s both shadows: %.1f frames/s (%.2f ms a frame) once settled after %d frames; one bake %.2f ms, "
                "one shadow picture %.2f ms\n       bakes/shadow renders per frame from the start:%s\n",
                label, 1000.0 * frames / total, total / frames, settled, bake, shadow, counts.c_str());
    TheToggles().ObjectShadows = false;
}

// One flight at `speed` units/s for `frames` frames of 1/60 s, each frame
// timed whole: straight across the level along +x, out past the island over
// the empty sea (most of its frames show little), or round the island 450
// units from its middle, looking at it (every frame shows it). Both cross
// several re-centrings of the terrain window.
enum class Path { Straight, Circle };

struct Flight {
    std::vector<double> times;
    std::vector<int> bakes;      // ground quads baked in each frame
    std::vector<bool> building;  // a window was being built on the worker
    std::vector<bool> landed;    // a window was swapped in
};

void MoveAlong(Path path, float speed) {
    Camera& camera = TheCamera();
    if (path == Path::Straight) {
        camera.position.x += speed / 60.0f;
        return;
    }
    constexpr float kRadius = 450.0f;
    const float angle = std::atan2(camera.position.y, camera.position.x) + speed / 60.0f / kRadius;
    camera.position = {kRadius * std::cos(angle), kRadius * std::sin(angle), 40.0f};
    camera.yaw = static_cast<float>(std::atan2(-std::cos(angle), -std::sin(angle)) * 180.0 / 3.14159265358979);
}

Flight FlyOnce(Path path, float speed, int frames) {
    Camera& camera = TheCamera();
    camera.position = path == Path::Straight ? Vector3{-900, -170, 40} : Vector3{0, -450, 40};
    camera.yaw = path == Path::Straight ? 90 : 0;
    camera.pitch = 10;
    // Two seconds of flight first: the jump here bakes the whole view anew
    // (nine quads a frame), which is no part of flying.
    for (int i = 0; i < 120; ++i) {
        MoveAlong(path, speed);
        DrawFrame();
    }
    glFinish();
    Flight f;
    for (int i = 0; i < frames; ++i) {
        const float originBefore = TheTerrain().field.originX;
        f.building.push_back(BackgroundBuildPending());
        MoveAlong(path, speed);
        const auto start = Clock::now();
        DrawFrame();
        glFinish();
        f.times.push_back(Ms(start));
        f.bakes.push_back(std::min(TheTerrain().bakesThisFrame, kMaxBakesPerFrame));
        f.landed.push_back(TheTerrain().field.originX != originBefore);
    }
    AbandonBackgroundBuild();
    return f;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The frame most above the median of the frames around it (30 on each
// side): a flight from houses out over the sea halves its frames' cost on
// the way, so against the whole flight's median a heavy view counts as a
// hitch; against its neighbours only what that one frame did stands out.
std::pair<std::size_t, double> WorstAgainstNeighbours(const std::vector<double>& times) {
    constexpr std::size_t kSide = 30;
    std::pair<std::size_t, double> worst{0, 0.0};
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::size_t from = i < kSide ? 0 : i - kSide, to = std::min(times.size(), i + kSide + 1);
        const double ratio = times[i] / Median({times.begin() + static_cast<std::ptrdiff_t>(from),
                                                times.begin() + static_cast<std::ptrdiff_t>(to)});
        if (ratio > worst.second) worst = {i, ratio};
    }
    return worst;
}

// The worst frame by the number of ground quads baked in it.
std::string ByBakes(const std::vector<double>& times, const std::vector<int>& bakes) {
    std::string out;
    for (int n = 0; n <= kMaxBakesPerFrame; ++n) {
        double worst = 0;
        int count = 0;
        for (std::size_t i = 0; i < times.size(); ++i)
            if (bakes[i] == n) worst = std::max(worst, times[i]), ++count;
        if (!count) continue;
        char entry[48];
        std::snprintf(entry, sizeof entry, " %d: %d frames, worst %.1f;", n, count, worst);
        out += entry;
    }
    return out;
}

// The same flight `rounds` times, through several re-centrings of the
// terrain window (built on the worker, swapped in between frames). Each
// round: min, median and max of its frames, the frames that swapped a
// window in, the worst while one was built. A frame that is slow in every
// round is slow for what it does (bakes, a landing, the view); one slow in
// a single round met the machine (two cores shared by the renderer's
// threads, the worker and the system). So each frame's least time over the
// rounds is its own cost, and its worst against its median is the hitch.
void Fly(const char* label, Path path, int key, float speed, int frames, int rounds, const std::string& timesFile) {
    std::vector<Flight> flights;
    for (int r = 0; r < rounds; ++r) {
        const Flight f = FlyOnce(path, speed, frames);
        std::vector<double> sorted = f.times;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        double building = 0.0;
        std::string landed;
        for (std::size_t i = 0; i < f.times.size(); ++i) {
            if (f.building[i]) building = std::max(building, f.times[i]);
            if (!f.landed[i]) continue;
            char entry[16];
            std::snprintf(entry, sizeof entry, " %.1f", f.times[i]);
            landed += entry;
        }
        std::printf("%-6s flying %s at key %d (%.0f units/s, %.0f units), round %d: frames min %.2f, median %.2f, "
                    "max %.1f ms (%.2fx the median); windows swapped in (ms):%s; worst while one was built %.1f\n",
                    label, path == Path::Straight ? "straight" : "round the island", key, speed, speed * static_cast<float>(frames) / 60.0f, r + 1, sorted.front(), median,
                    sorted.back(), sorted.back() / median, landed.c_str(), building);
        flights.push_back(f);
    }
    std::vector<double> least(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < least.size(); ++i) {
        least[i] = flights[0].times[i];
        for (const Flight& f : flights) least[i] = std::min(least[i], f.times[i]);
    }
    if (!timesFile.empty()) {
        // One line a frame: its least time, quads baked, a window being built, one swapped in.
        const std::string name = timesFile + (path == Path::Straight ? ".straight." : ".circle.") + std::to_string(key);
        if (FILE* out = std::fopen(name.c_str(), "w")) {
            for (std::size_t i = 0; i < least.size(); ++i)
                std::fprintf(out, "%zu %.3f %d %d %d\n", i, least[i], flights[0].bakes[i],
                             static_cast<int>(flights[0].building[i]), static_cast<int>(flights[0].landed[i]));
            std::fclose(out);
        }
    }
    const double median = Median(least);
    const auto worst = std::max_element(least.begin(), least.end());
    const std::size_t at = static_cast<std::size_t>(worst - least.begin());
    std::printf("       each frame's least over %d rounds: median %.2f, worst %.1f ms = %.2fx the median (frame %zu, %d "
                "quads baked%s)\n       by quads baked in them (ms):%s\n",
                rounds, median, *worst, *worst / median, at, flights[0].bakes[at],
                flights[0].landed[at] ? ", a window swapped in" : "", ByBakes(least, flights[0].bakes).c_str());
    // The few worst, with what else happened in them: a window's build
    // started (on the worker from then on), running, or swapped in.
    std::vector<std::size_t> order(least.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const std::size_t shown = std::min<std::size_t>(6, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(shown), order.end(),
                      [&](std::size_t a, std::size_t b) { return least[a] > least[b]; });
    const auto [hitch, ratio] = WorstAgainstNeighbours(least);
    std::printf("       against the 60 frames around it, the worst is frame %zu: %.1f ms = %.2fx their median\n", hitch,
                least[hitch], ratio);
    std::printf("       the worst (least ms, frame, bakes, window):");
    const Flight& f = flights[0];
    for (std::size_t k = 0; k < shown; ++k) {
        const std::size_t i = order[k];
        const bool started = !f.building[i] && i + 1 < f.building.size() && f.building[i + 1];
        const char* window = f.landed[i] ? "swapped" : started ? "started" : f.building[i] ? "building" : "-";
        std::printf(" %.1f #%zu %d %s;", least[i], i, f.bakes[i], window);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 300;
    std::vector<int> instanceCounts = {20000, 80000};
    std::vector<int> keys = {5, 6};  // the flights' speed keys
    std::string timesFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--frames") frames = std::max(1, std::atoi(argv[i + 1]));
        if (flag == "--instances")
            instanceCounts = std::string(argv[i + 1]) == "none" ? std::vector<int>{} : bench::CountList(argv[i + 1]);
        if (flag == "--keys") keys = bench::CountList(argv[i + 1]);
        if (flag == "--frame-times") timesFile = argv[i + 1];
    }
    char tmpl[] = "/tmp/wildview-frames-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::string error;
    const std::vector<std::string> levels = bench::WriteLevels(dir, instanceCounts, error);
    if (levels.empty()) {
        std::fprintf(stderr, "bench_frames: %s\n", error.c_str());
        return 1;
    }

    // Each level in a process of its own, so that its heap is its own.
    int failed = 0;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const double heapStart = HeapMiB();
            platform::HeadlessGl context;
            if (!context.Create(800, 600)) {
                std::fprintf(stderr, "bench_frames: no headless GL: %s\n", context.Reason().c_str());
                std::_Exit(1);
            }
            platform::HeadlessPlatform pf;
            platform::Install(&pf);
            if (k == 0) {
                std::printf("%d frames at 800 x 600 on %s\n", frames,
                            reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
                Run("demo", levels[k], frames, {-170, -170, 24}, 45, 5, heapStart);
                Shadows("demo", frames);
                for (int key : keys) {
                    if (key == 5) Fly("demo", Path::Straight, 5, 33.0f, 3600, 3, timesFile);
                    if (key == 6) Fly("demo", Path::Straight, 6, 200.0f, 1500, 3, timesFile);
                    if (key == 6) Fly("demo", Path::Circle, 6, 200.0f, 1500, 3, timesFile);
                }
            } else {
                const std::string label = "b" + std::to_string(instanceCounts[k - 1] / 1000) + "k";
                Run(label.c_str(), levels[k], frames, {0, 0, 40}, 30, 10, heapStart);
            }
            ResetState(StateScope::Process);
            platform::Install(nullptr);
            std::fflush(stdout);
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::filesystem::remove_all(dir);
    return failed ? 1 : 0;
}
