#include "effects/shadows.h"

#include <algorithm>

#include "diag/state_registry.h"
#include "scene/level.h"

namespace {

float Distance2(const Instance& inst, const Vector3& camera) {
    const Vector3 d = inst.position - camera;
    return d.Dot(d);
}

// The pictures outlive levels: they go at program end with their context.
const StateReset kShadowsReset{"shadows", StateLayer::Effects, StateScope::Process, [] {
    TheShadows().pool.Clear();
    TheShadows().pool.create = nullptr;
    TheShadows().ShadowsPossible = false;
    TheShadows().shadowsWereOn = false;
}};

}  // namespace

ShadowState& TheShadows() {
    static ShadowState state;
    return state;
}

bool WantsShadow(const Instance& inst, const Vector3& camera) {
    return kShadowSizeFactor * inst.position.Distance(camera) <= inst.sphere.radius && inst.Shadow;
}

void UpdateShadowCandidates(const Vector3& camera) {
    std::vector<Instance*>& candidates = ShadowCandidates();
    candidates.clear();
    for (const auto& inst : TheScene().InstanceList)
        if (inst->position.Distance(camera) < kShadowCandidateRange) candidates.push_back(inst.get());
    std::stable_sort(candidates.begin(), candidates.end(), [&](const Instance* a, const Instance* b) {
        return Distance2(*a, camera) < Distance2(*b, camera);
    });
}

std::vector<Instance*> AssignShadowSlots(const Vector3& camera, bool objectShadows) {
    ShadowState& s = TheShadows();
    std::vector<Instance*>& candidates = ShadowCandidates();
    std::vector<Instance*> dirty;
    if (!objectShadows) {
        if (s.shadowsWereOn) {
            s.shadowsWereOn = false;
            for (Instance* c : candidates) c->ReleaseShadow();
        }
        return dirty;
    }
    s.shadowsWereOn = true;
    std::size_t wanting = 0;
    for (Instance* c : candidates) {
        const bool wants = WantsShadow(*c, camera);
        wanting += wants;
        if (!c->ShadowSlot) continue;
        if (!(wants && c->position.Distance(camera) <= kShadowReceiverRange && wanting <= kMaxShadowTextures))
            c->ReleaseShadow();
    }
    std::size_t held = 0;
    for (Instance* c : candidates) {
        if (held == kMaxShadowTextures) break;
        if (!WantsShadow(*c, camera)) continue;
        if (c->position.Distance(camera) > kShadowReceiverRange) break;  // the list is sorted
        if (!c->ShadowSlot) {
            c->ShadowSlot = s.pool.Acquire();
            c->ShadowDirty = true;
        }
        ++held;
        if (c->ShadowDirty) dirty.push_back(c);
    }
    return dirty;
}

void ReleaseShadowSlot(ShadowTexture* slot) { TheShadows().pool.Release(slot); }
