#include "inspect/heights_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "headless/headless_level.h"
#include "inspect/json.h"
#include "math/camera.h"
#include "platform/scripted_platform.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "files/png_image.h"
#include "platform/atomic_file.h"

namespace inspect {

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "wildview-inspect: %s\n", message.c_str());
    return 1;
}

bool WriteRaw(const std::string& path, const HeightField& f, std::string& error) {
    std::vector<std::uint8_t> bytes(f.samples.size() * 4);
    for (std::size_t n = 0; n < f.samples.size(); ++n) {
        std::uint32_t bits;
        std::memcpy(&bits, &f.samples[n], 4);
        for (int k = 0; k < 4; ++k) bytes[4 * n + k] = static_cast<std::uint8_t>(bits >> (8 * k));
    }
    return platform::WriteFileAtomically(path, bytes, error);
}

}  // namespace

int HeightsCommand(const HeightsRequest& r) {
    headless::LoadedLevel level;
    level.console = nullptr;  // the loader's own lines stay off the report
    headless::LoadLevel(r.swpPath, level);
    for (const auto& box : level.platform.boxes)
        if (box.caption == "ERROR") return Fail(r.swpPath + ": " + box.text);
    TerrainState& t = TheTerrain();
    if (t.field.samples.empty()) return Fail(r.swpPath + ": the level has no terrain");
    if (r.centre) {
        Vector3 at = TheCamera().position;
        at.x = r.centre->x;
        at.y = r.centre->y;
        platform::PlatformScope scope(level.platform);
        UpdateTerrain(at);
    }
    const HeightField& f = t.field;
    const auto [lo, hi] = std::minmax_element(f.samples.begin(), f.samples.end());
    if (std::string error; !r.rawPath.empty() && !WriteRaw(r.rawPath, f, error)) return Fail(error);
    if (!r.pngPath.empty()) {
        // North up: the last row of samples is the picture's first.
        const float range = *hi - *lo;
        std::vector<std::uint16_t> grey(f.samples.size());
        for (std::int32_t j = 0; j < f.H; ++j)
            for (std::int32_t i = 0; i < f.W; ++i) {
                const float v = range > 0 ? (f.At(i, j) - *lo) / range : 0.0f;
                grey[static_cast<std::size_t>(f.H - 1 - j) * f.W + i] =
                    static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f));
            }
        std::string error;
        const PngImage image{static_cast<std::uint32_t>(f.W), static_cast<std::uint32_t>(f.H), PngFormat::Grey16,
                             {reinterpret_cast<const std::uint8_t*>(grey.data()), grey.size() * 2}, {}};
        if (!WritePngFile(r.pngPath, image, error)) return Fail(error);
    }
    const auto pinned = static_cast<unsigned long long>(t.lastBuild.pinnedCells);
    if (r.json) {
        std::printf("{\"width\":%d,\"height\":%d,\"origin\":[%s,%s],\"extent\":[%s,%s],\"lowest\":%s,\"highest\":%s,"
                    "\"pinned\":%llu}\n",
                    f.W, f.H, JsonFloat(f.originX).c_str(), JsonFloat(f.originY).c_str(),
                    JsonFloat(f.extentX).c_str(), JsonFloat(f.extentY).c_str(), JsonFloat(*lo).c_str(),
                    JsonFloat(*hi).c_str(), pinned);
    } else {
        std::printf("height field %d x %d, origin (%.1f, %.1f), extent %.1f x %.1f\n", f.W, f.H, f.originX,
                    f.originY, f.extentX, f.extentY);
        std::printf("lowest %.3f, highest %.3f, %llu cells pinned by objects\n", *lo, *hi, pinned);
    }
    return 0;
}

}  // namespace inspect
