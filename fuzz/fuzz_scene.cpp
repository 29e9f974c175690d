// Fuzzes the whole level load: a scene file, a texture database and a pixel
// file from memory, for one of the level names with special rules.
//
// Input: u8 level selector, u32 scene file length, the scene file, u32
// database length, the database, then the pixel file.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "diag/log.h"
#include "files/block_file.h"
#include "headless/headless_level.h"
#include "platform/scripted_platform.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"

namespace {

const char* const kLevels[] = {"level", "testscene", "be", "it", "sum", "ij"};

std::span<const std::uint8_t> Take(const std::uint8_t*& data, std::size_t& size) {
    if (size < 4) {
        data += size;
        size = 0;
        return {};
    }
    const std::size_t n = std::min<std::size_t>(LoadU32(data), size - 4);
    const std::span<const std::uint8_t> part(data + 4, n);
    data += 4 + n;
    size -= 4 + n;
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string level = kLevels[data[0] % std::size(kLevels)];
    ++data;
    --size;
    const auto grf = Take(data, size);
    const auto pid = Take(data, size);
    const std::span<const std::uint8_t> swp(data, size);

    SetConsoleStream(nullptr);
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope(pf);
    headless::LoadFromMemory(grf, pid, swp, level);

    // Everything construction built must hold together: the reports walk
    // every face, vertex and property.
    for (const auto& inst : TheScene().InstanceList) {
        if (!inst->model) __builtin_trap();
        DumpInstance(*inst);
        DumpValueTable(*inst);
    }
    for (const auto& model : TheScene().ModelList) {
        for (const Face& f : model->faces) {
            for (std::uint32_t k : f.index)
                if (f.inRange && k >= model->vertices.size()) __builtin_trap();
            if (f.material >= model->materials.size()) __builtin_trap();
        }
        // The report is a line per face and vertex: small models are enough
        // to walk its paths, big ones would only slow the search down.
        if (model->faces.size() + model->vertices.size() <= 256) DumpModel(*model);
    }
    return 0;
}
