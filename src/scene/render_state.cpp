#include "scene/render_state.h"

#include "diag/state_registry.h"

RenderState& TheRenderState() {
    static RenderState state;
    return state;
}

void ResetRenderState() { TheRenderState() = RenderState{}; }

namespace {
const StateReset kRenderReset{"render state", StateLayer::Scene, StateScope::Process, &ResetRenderState};
}  // namespace
