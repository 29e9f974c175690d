// wildview-export: a level as glTF 2.0, for Blender, game engines and glTF
// viewers.
//
//   wildview-export LEVEL.swp OUT.glb|OUT.gltf [--terrain [--terrain-shadows on|off] [--map-size N]] [--full-sea]
//                   [--only RECORD...]
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "effects/offscreen.h"
#include "headless/headless_level.h"
#include "location/level_files.h"
#include "output/gltf_export.h"
#include "platform/arguments.h"
#include "platform/file_system.h"
#include "platform/headless_gl.h"
#include "platform/headless_platform.h"
#include "platform/large_memory.h"
#include "render/gl_setup.h"
#include "render/overview_map.h"
#include "render/view_setup.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"

namespace {

const char* kUsage =
    "usage: wildview-export LEVEL.swp OUT.glb|OUT.gltf [--terrain [--terrain-shadows on|off] [--map-size N]]\n"
    "                       [--full-sea] [--only RECORD...]\n"
    "  Writes the level as glTF 2.0: a .glb is one binary file, a .gltf is JSON with\n"
    "  its .bin and .png files beside it. Every placed object becomes a node sharing\n"
    "  its model's mesh; the level's z-up world is turned to glTF's y-up and a world\n"
    "  unit is a metre. NAME.grf and NAME-130.pid must lie beside LEVEL.swp.\n"
    "  --terrain          add the inferred ground, textured with its baked picture (the\n"
    "                     terrain pieces as the viewer's ground shows them)\n"
    "  --terrain-shadows on|off  the objects' shadows in that picture (default on)\n"
    "  --map-size N       that picture's longest side at most, in pixels: 2 a world\n"
    "                     unit up to this (default 4096, at most 8192)\n"
    "  --full-sea         the sea as the level has it; by default it is cut to the\n"
    "                     ground's extent and a quarter of it around\n"
    "  --only RECORD...   only these objects, by their records in the level's .region\n"
    "                     (from 0: the number the viewer, the reports and the diff show)\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "wildview-export: %s\n%s", why.c_str(), kUsage);
    return 2;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "wildview-export: %s\n", why.c_str());
    return 1;
}

// Loads the level with its ground and draws its map on a context of its
// own, gone (with everything drawn) by the time this returns.
bool MapOfLevel(const std::string& swp, headless::LoadedLevel& level, bool shadows, std::uint32_t mapSize,
                GltfTerrain& ground, std::string& why) {
    headless::LoadLevel(swp, level, nullptr, Ground::Infer);
    for (const auto& box : level.platform.boxes)
        if (box.caption == "ERROR") {
            why = swp + ": " + box.text;
            return false;
        }
    platform::HeadlessGl context;
    if (!context.Create(512, 512)) {
        why = "the ground needs headless GL: " + context.Reason();
        return false;
    }
    platform::HeadlessPlatform pf;
    platform::Install(&pf);
    SetConsoleStream(nullptr);
    ResizeView(512, 512);
    InitGL();
    InitPBuffer();
    OverviewImage map;
    MapRequest request{2.0f, false, shadows, true, false};
    request.maxSide = mapSize;
    const bool drawn = RenderOverviewMap(request, map, why);
    if (drawn) ground = {map.width, map.height, std::move(map.rgba), map.minX, map.minY, map.maxX, map.maxY};
    else why = swp + ": " + why;
    ResetState(StateScope::Process);  // GL objects go while the context is current
    platform::Install(nullptr);
    return drawn;
}

}  // namespace

int main(int argc, char** argv) {
    argv = platform::StartCommandLine(argc, argv);
    std::vector<std::string> positional;
    std::vector<std::uint32_t> only;
    bool terrain = false, shadows = true, fullSea = false;
    std::uint32_t mapSize = kDefaultOverviewSide;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--terrain") {
            terrain = true;
        } else if (a == "--full-sea") {
            fullSea = true;
        } else if (a == "--terrain-shadows") {
            const std::string v = i + 1 < argc ? argv[++i] : "";
            if (v != "on" && v != "off") return Usage("--terrain-shadows wants on or off");
            shadows = v == "on";
        } else if (a == "--map-size") {
            char* end = nullptr;
            const char* v = i + 1 < argc ? argv[++i] : "";
            const long side = std::strtol(v, &end, 10);
            if (end == v || *end || side < 16 || side > static_cast<long>(kMaxOverviewSide))
                return Usage("--map-size wants a number of pixels, 16 to 8192");
            mapSize = static_cast<std::uint32_t>(side);
        } else if (a == "--only") {
            while (i + 1 < argc && argv[i + 1][0] != '-') {
                char* end = nullptr;
                errno = 0;
                const unsigned long record = std::strtoul(argv[++i], &end, 10);
                if (*end || errno || end == argv[i] || record > 0xFFFFFFFFul)
                    return Usage(std::string("--only wants record numbers, not ") + argv[i]);
                only.push_back(static_cast<std::uint32_t>(record));
            }
            if (only.empty()) return Usage("--only wants at least one record number");
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage("wants LEVEL.swp and OUT.glb or OUT.gltf");
    const LevelFiles files = LevelFilesBeside(positional[0]);
    for (const std::string& path : {files.SwpPath, files.GrfPath, files.PidPath}) {
        if (platform::Files().KindOf(path) != platform::PathKind::File) return Fail(path + ": no such file");
    }

    const auto start = std::chrono::steady_clock::now();
    headless::LoadedLevel level;
    level.console = nullptr;
    // The ground's picture is the level's map, drawn on a headless context
    // that goes once it is made: the driver's compiled shaders and texture
    // copies would otherwise stay beside everything the scene's file needs.
    GltfTerrain ground;
    if (terrain) {
        std::string why;
        if (!MapOfLevel(positional[0], level, shadows, mapSize, ground, why)) return Fail(why);
        platform::ReturnFreeMemory();
    }
    // The objects alone never read the ground.
    headless::LoadLevel(positional[0], level, nullptr, terrain ? Ground::Infer : Ground::Skip);
    for (const auto& box : level.platform.boxes)
        if (box.caption == "ERROR") return Fail(positional[0] + ": " + box.text);

    GltfExportOptions options;
    options.path = positional[1];
    options.only = only;
    options.terrain = terrain ? &ground : nullptr;
    options.fullSea = fullSea;
    GltfExportReport report;
    std::string error;
    const bool written = ExportGltf(options, report, error);
    if (!written) return Fail(error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu nodes, %zu meshes, %zu images, %zu triangles", options.path.c_str(), report.nodes,
                report.meshes, report.images, report.triangles);
    if (report.gridSpacing > 0) std::printf(", ground grid every %.2f units", report.gridSpacing);
    std::printf(" (%.2f s)\n", seconds);
    return 0;
}
