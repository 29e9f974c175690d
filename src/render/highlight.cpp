#include "render/highlight.h"

#include <algorithm>
#include <map>

#include "diag/state_registry.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "render/scene_pass.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {
const StateReset kHighlightReset{"highlight", StateLayer::App, StateScope::Level,
                                 [] { TheHighlight() = HighlightState{}; }};
}  // namespace

HighlightState& TheHighlight() {
    static HighlightState state;
    return state;
}

int DrawHighlights() {
    std::vector<const Model*>& models = TheHighlight().models;
    // The marks belong to the chosen texture's picture: gone with it.
    if (!models.empty() && !platform::Current().PictureShown()) models.clear();
    if (models.empty()) return 0;
    const Vector3 camera = TheCamera().position;
    std::map<const Model*, std::pair<Vector3, Vector3>> boxes;  // each model's box, once a frame
    int drawn = 0;
    for (const auto& inst : TheScene().InstanceList) {
        if (!inst->model || std::find(models.begin(), models.end(), inst->model) == models.end()) continue;
        if (camera.Distance(inst->sphere.centre) - inst->sphere.radius > kObjectRange) continue;
        auto it = boxes.find(inst->model);
        if (it == boxes.end()) {
            it = boxes.emplace(inst->model, std::pair<Vector3, Vector3>{}).first;
            ModelBox(*inst->model, it->second.first, it->second.second);
        }
        DrawOutlineBox(*inst, it->second.first, it->second.second, 0.2f, 0.9f, 1.0f);
        ++drawn;
    }
    return drawn;
}
