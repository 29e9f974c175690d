// Fuzzes the level load without its ground (fuzz_ground has that): a scene
// file, a texture database and a pixel file from memory, for one of the
// level names with special rules; then the reports over what was built.
#include <cstdint>
#include <cstdio>

#include "level_input.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzLevel level(data, size, /*withGround=*/false);
    if (!level.loaded) return 0;

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
