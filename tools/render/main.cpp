// wildview-render: a picture of a level without a display. The level is
// loaded and drawn through the viewer's own frame composition (terrain
// update, scene pass, overlay) on a headless EGL context, and the last frame
// is written as PNG.
//
//   wildview-render LEVEL.swp --out VIEW.png [--size WxH] [--camera X Y Z]
//                   [--yaw DEG] [--pitch DEG] [--frames N] [--fog on|off] [--outline]
//                   [--shadows on|off] [--terrain-shadows on|off]
//   wildview-render LEVEL.swp --overview --out MAP.png [--texels-per-unit K] [--map-size N]
#include "glh/gl.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/view.h"
#include "platform/file_system.h"
#include "platform/headless_gl.h"
#include "platform/headless_platform.h"
#include "render/frame.h"
#include "render/gl_setup.h"
#include "render/overview_map.h"
#include "render/view_setup.h"
#include "scene/render_state.h"
#include "terrain/terrain.h"
#include "files/png_image.h"
#include "platform/arguments.h"

namespace {

const char* kUsage =
    "usage: wildview-render LEVEL.swp --out VIEW.png [options]\n"
    "  Renders a level as the viewer shows it, without a display, and writes the\n"
    "  last frame as PNG. NAME.grf and NAME-130.pid must lie beside LEVEL.swp.\n"
    "  --size WxH          picture size (default 800x600)\n"
    "  --camera X Y Z      camera position (default: the level's player start)\n"
    "  --yaw DEG           heading, 0 looks along +y, 90 along +x (default: the start's)\n"
    "  --pitch DEG         positive looks down (default 0)\n"
    "  --frames N          frames to draw (default: until the terrain has settled\n"
    "                      and every quad in view is baked)\n"
    "  --fog on|off        (default on)\n"
    "  --outline           draw the terrain's outline\n"
    "  --shadows on|off    object shadows (default off, as the viewer starts)\n"
    "  --terrain-shadows on|off  shadows baked into the ground (default on)\n"
    "  --overview          a map instead: the whole terrain area from straight above,\n"
    "                      north up, with the corners' world coordinates\n"
    "  --texels-per-unit K the map's scale in pixels a world unit (default 2, fewer\n"
    "                      where the map would pass its size)\n"
    "  --map-size N        the map's longest side at most, in pixels (default 4096,\n"
    "                      at most 8192)\n";

struct Options {
    std::string swp, out;
    int width = 800, height = 600;
    std::optional<Vector3> camera;
    std::optional<float> yaw, pitch;
    int frames = 0;  // 0: until settled
    bool fog = true, outline = false, shadows = false, terrainShadows = true;
    bool overview = false;
    float texelsPerUnit = 2.0f;
    std::uint32_t mapSize = kDefaultOverviewSide;
};

int Usage(const std::string& why) {
    std::fprintf(stderr, "wildview-render: %s\n%s", why.c_str(), kUsage);
    return 2;
}

bool ParseFloat(const char* text, float& out) {
    char* end = nullptr;
    out = std::strtof(text, &end);
    return end != text && *end == '\0';
}

bool OnOff(const std::string& text, bool& out) {
    if (text == "on") out = true;
    else if (text == "off") out = false;
    else return false;
    return true;
}

std::optional<std::string> Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto need = [&](int n) { return i + n < argc; };
        if (a == "--out" && need(1)) {
            o.out = argv[++i];
        } else if (a == "--size" && need(1)) {
            if (std::sscanf(argv[++i], "%dx%d", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
                o.width > 8192 || o.height > 8192)
                return "--size wants WxH, 16 to 8192 each";
        } else if (a == "--camera" && need(3)) {
            Vector3 c;
            if (!ParseFloat(argv[i + 1], c.x) || !ParseFloat(argv[i + 2], c.y) || !ParseFloat(argv[i + 3], c.z))
                return "--camera wants three numbers";
            i += 3;
            o.camera = c;
        } else if ((a == "--yaw" || a == "--pitch") && need(1)) {
            float v = 0;
            if (!ParseFloat(argv[++i], v)) return a + " wants a number of degrees";
            (a == "--yaw" ? o.yaw : o.pitch) = v;
        } else if (a == "--frames" && need(1)) {
            o.frames = std::atoi(argv[++i]);
            if (o.frames < 1 || o.frames > 100000) return "--frames wants a count from 1";
        } else if (a == "--fog" && need(1)) {
            if (!OnOff(argv[++i], o.fog)) return "--fog wants on or off";
        } else if (a == "--shadows" && need(1)) {
            if (!OnOff(argv[++i], o.shadows)) return "--shadows wants on or off";
        } else if (a == "--terrain-shadows" && need(1)) {
            if (!OnOff(argv[++i], o.terrainShadows)) return "--terrain-shadows wants on or off";
        } else if (a == "--overview") {
            o.overview = true;
        } else if (a == "--texels-per-unit" && need(1)) {
            if (!ParseFloat(argv[++i], o.texelsPerUnit) || !(o.texelsPerUnit > 0.0f) || o.texelsPerUnit > 64.0f)
                return "--texels-per-unit wants a number above 0, at most 64";
        } else if (a == "--map-size" && need(1)) {
            char* end = nullptr;
            const long side = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end || side < 16 || side > static_cast<long>(kMaxOverviewSide))
                return "--map-size wants a number of pixels, 16 to 8192";
            o.mapSize = static_cast<std::uint32_t>(side);
        } else if (a == "--outline") {
            o.outline = true;
        } else if (!a.empty() && a[0] == '-') {
            return "unknown or incomplete option " + a;
        } else if (o.swp.empty()) {
            o.swp = a;
        } else {
            return "more than one level given: " + o.swp + " and " + a;
        }
    }
    if (o.swp.empty()) return "no level given";
    if (o.out.empty()) return "no --out file given";
    return std::nullopt;
}

std::size_t CountNodes(const TerrainNode& node) {
    std::size_t n = 1;
    for (const auto& child : node.children)
        if (child) n += CountNodes(*child);
    return n;
}

// Quads holding a texture that is still to be baked (black until then).
std::size_t PendingBakes(const TerrainNode& node) {
    std::size_t n = node.texture && node.needsBake ? 1 : 0;
    for (const auto& child : node.children)
        if (child) n += PendingBakes(*child);
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    argv = platform::StartCommandLine(argc, argv);
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o;
    if (const auto why = Parse(argc, argv, o)) return Usage(*why);
    const LevelFiles files = LevelFilesBeside(o.swp);
    for (const std::string& path : {files.SwpPath, files.GrfPath, files.PidPath}) {
        if (platform::Files().KindOf(path) != platform::PathKind::File) {
            std::fprintf(stderr, "wildview-render: %s: no such file\n", path.c_str());
            return 1;
        }
    }

    platform::HeadlessGl context;
    if (!context.Create(o.width, o.height)) {
        std::fprintf(stderr, "wildview-render: no headless GL: %s\n", context.Reason().c_str());
        return 1;
    }
    platform::HeadlessPlatform pf;
    pf.realClock = true;
    platform::Install(&pf);
    ResetState(StateScope::Process);
    SetConsoleStream(nullptr);  // the loader's lines meant for a console
    ResizeView(o.width, o.height);
    InitGL();
    TheLevelFiles() = files;
    TheView().help.visible = false;
    TheView().help.autoHide = false;

    DrawFrame();  // the loading screen
    DrawFrame();  // the load, then the first frame
    int status = 0;
    for (const auto& box : pf.boxes) {
        std::fprintf(stderr, "wildview-render: %s%s%s\n", box.caption.c_str(), box.caption.empty() ? "" : ": ",
                     box.text.c_str());
        if (box.caption == "ERROR") status = 1;
    }
    if (status == 0 && o.overview) {
        OverviewImage map;
        std::string error;
        MapRequest request{o.texelsPerUnit, true, o.terrainShadows, TheToggles().LightingEnabled};
        request.maxSide = o.mapSize;
        if (!RenderOverviewMap(request, map, error) ||
            !WritePngFile(o.out, map.width, map.height, map.rgba, error)) {
            std::fprintf(stderr, "wildview-render: %s\n", error.c_str());
            status = 1;
        } else {
            std::printf("%s: %ux%u, %.3g pixels a unit, world (%.1f, %.1f) to (%.1f, %.1f), north up\n", o.out.c_str(),
                        map.width, map.height, map.texelsPerUnit, map.minX, map.minY, map.maxX, map.maxY);
        }
    } else if (status == 0) {
        Camera& camera = TheCamera();
        if (o.camera) camera.position = *o.camera;
        if (o.yaw) camera.yaw = *o.yaw;
        if (o.pitch) camera.pitch = *o.pitch;
        TheToggles().FogEnabled = o.fog;
        TheToggles().DrawOutline = o.outline;
        TheToggles().ObjectShadows = o.shadows;
        TheToggles().TerrainShadows = o.terrainShadows;
        int drawn = 0;
        if (o.frames > 0) {
            for (; drawn < o.frames; ++drawn) DrawFrame();
        } else {
            // Until the tree stops changing for two frames (the geometry
            // merges one level a frame) and nothing waits to be baked (9
            // bakes a frame), at most 400.
            std::size_t previous = 0;
            int still = 0;
            while (drawn < 400 && still < 2) {
                DrawFrame();
                ++drawn;
                const TerrainNode* root = TheTerrain().root.get();
                const std::size_t nodes = root ? CountNodes(*root) : 0;
                const bool baked = !root || PendingBakes(*root) == 0;
                still = nodes == previous && baked ? still + 1 : 0;
                previous = nodes;
            }
        }
        glFinish();
        const std::vector<std::uint8_t> pixels = context.ReadPixels(0, 0, o.width, o.height);
        std::vector<std::uint8_t> rows(pixels.size());
        const std::size_t stride = static_cast<std::size_t>(o.width) * 4;
        for (int y = 0; y < o.height; ++y)
            std::copy_n(&pixels[static_cast<std::size_t>(y) * stride], stride,
                        &rows[static_cast<std::size_t>(o.height - 1 - y) * stride]);
        // The frame's alpha is the shadows' working channel, not coverage:
        // the picture is opaque, as the window shows it.
        for (std::size_t k = 3; k < rows.size(); k += 4) rows[k] = 255;
        std::string error;
        if (!WritePngFile(o.out, static_cast<std::uint32_t>(o.width), static_cast<std::uint32_t>(o.height), rows, error)) {
            std::fprintf(stderr, "wildview-render: %s\n", error.c_str());
            status = 1;
        } else {
            const Camera& c = TheCamera();
            std::printf("%s: %dx%d, %d frames, camera (%.1f, %.1f, %.1f) yaw %.1f pitch %.1f\n", o.out.c_str(),
                        o.width, o.height, drawn, c.position.x, c.position.y, c.position.z, c.yaw, c.pitch);
        }
    }
    ResetState(StateScope::Process);  // GL objects go while the context is current
    platform::Install(nullptr);
    return status;
}
