#include "edit/edits.h"

#include <algorithm>
#include <cmath>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {

bool Same(const Placement& a, const Placement& b) { return a.position == b.position && a.rotation == b.rotation; }

// The ground it leaves loses its shadow, and its neighbours on the light
// line theirs: marked before it goes, as a jump (an undo, a typed place)
// has no drag's trail of marks behind it.
void Apply(Instance& inst, const Placement& p) {
    inst.UpdatePlacement();
    inst.position = p.position;
    inst.rotation = p.rotation;
    inst.UpdatePlacement();
}

void Push(EditStep step) {
    EditState& e = TheEdits();
    if (e.savedAt > e.done) e.savedStepsDropped = true;  // the saved state was undone and is now overwritten
    e.steps.resize(e.done);
    e.steps.push_back(std::move(step));
    e.done = e.steps.size();
}

// Takes the instance out of its container; the container keeps the order of
// the others as the delete always has (the list closes up, a terrain group
// moves its last object into the gap).
std::unique_ptr<Instance> Remove(const InstanceSlot& slot, bool& movedLast) {
    SceneState& scene = TheScene();
    std::unique_ptr<Instance> out;
    if (!slot.terrain) {
        auto& list = scene.InstanceList;
        out = std::move(list[slot.index]);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(slot.index));
        movedLast = false;
    } else {
        auto& group = scene.TerrainObjectsByHeight[slot.heightKey];
        out = std::move(group[slot.index]);
        movedLast = slot.index + 1 < group.size();
        group[slot.index] = std::move(group.back());
        group.pop_back();
    }
    // No list may keep pointing at it while it is gone.
    auto& candidates = ShadowCandidates();
    candidates.erase(std::remove(candidates.begin(), candidates.end(), out.get()), candidates.end());
    out->ReleaseShadow();
    // The ground under it is baked again (a terrain object, or a shadow).
    if (TheSceneHooks().markAreaForRebake) TheSceneHooks().markAreaForRebake(out->sphere.centre, out->sphere.radius);
    return out;
}

void PutBack(const InstanceSlot& slot, bool movedLast, std::unique_ptr<Instance> inst) {
    SceneState& scene = TheScene();
    if (!slot.terrain) {
        auto& list = scene.InstanceList;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(slot.index, list.size())), std::move(inst));
        return;
    }
    auto& group = scene.TerrainObjectsByHeight[slot.heightKey];
    if (movedLast && slot.index < group.size()) {
        group.push_back(std::move(group[slot.index]));
        group[slot.index] = std::move(inst);
    } else {
        group.insert(group.begin() + static_cast<std::ptrdiff_t>(std::min(slot.index, group.size())), std::move(inst));
    }
}

const StateReset kEditsReset{"edits", StateLayer::App, StateScope::Level, [] { TheEdits() = EditState{}; }};

}  // namespace

EditState& TheEdits() {
    static EditState state;
    return state;
}

bool FindSlot(const Instance& instance, InstanceSlot& out) {
    const SceneState& scene = TheScene();
    for (std::size_t i = 0; i < scene.InstanceList.size(); ++i)
        if (scene.InstanceList[i].get() == &instance) {
            out = {false, 0, i};
            return true;
        }
    for (const auto& [key, group] : scene.TerrainObjectsByHeight)
        for (std::size_t i = 0; i < group.size(); ++i)
            if (group[i].get() == &instance) {
                out = {true, key, i};
                return true;
            }
    return false;
}

void BeginDrag(Instance& instance) {
    EndDrag();
    EditState& e = TheEdits();
    e.dragging = &instance;
    e.dragStart = {instance.position, instance.rotation};
}

void EndDrag() {
    EditState& e = TheEdits();
    Instance* inst = e.dragging;
    if (!inst) return;
    e.dragging = nullptr;
    const Placement now{inst->position, inst->rotation};
    if (Same(now, e.dragStart)) return;
    EditStep step;
    step.kind = EditStep::Kind::Place;
    step.instance = inst;
    step.before = e.dragStart;
    step.after = now;
    Push(std::move(step));
}

bool PlaceInstance(Instance& instance, const Placement& placement) {
    if (Same({instance.position, instance.rotation}, placement)) return false;
    BeginDrag(instance);
    Apply(instance, placement);
    EndDrag();
    return true;
}

bool DeleteInstance(Instance& instance) {
    EndDrag();
    InstanceSlot slot;
    if (!FindSlot(instance, slot)) return false;
    EditStep step;
    step.kind = EditStep::Kind::Delete;
    step.slot = slot;
    step.deleted = &instance;
    step.removed = Remove(slot, step.movedLast);
    Push(std::move(step));
    return true;
}

bool CanUndo() { return TheEdits().done > 0; }
bool CanRedo() { return TheEdits().done < TheEdits().steps.size(); }

Instance* Undo() {
    EndDrag();
    EditState& e = TheEdits();
    if (e.done == 0) return nullptr;
    EditStep& step = e.steps[--e.done];
    if (step.kind == EditStep::Kind::Place) {
        Apply(*step.instance, step.before);
        return step.instance;
    }
    Instance* inst = step.removed.get();
    PutBack(step.slot, step.movedLast, std::move(step.removed));
    inst->UpdatePlacement();
    return inst;
}

Instance* Redo() {
    EndDrag();
    EditState& e = TheEdits();
    if (e.done == e.steps.size()) return nullptr;
    EditStep& step = e.steps[e.done++];
    if (step.kind == EditStep::Kind::Place) {
        Apply(*step.instance, step.after);
        return step.instance;
    }
    InstanceSlot slot;
    if (FindSlot(*step.deleted, slot)) step.removed = Remove(slot, step.movedLast);
    return nullptr;
}

bool HasUnsavedEdits() {
    const EditState& e = TheEdits();
    const bool dragged = e.dragging && !Same({e.dragging->position, e.dragging->rotation}, e.dragStart);
    return e.savedStepsDropped || e.done != e.savedAt || dragged;
}

void MarkSaved() {
    EndDrag();
    EditState& e = TheEdits();
    e.savedAt = e.done;
    e.savedStepsDropped = false;
}

Instance* SelectSerial(std::uint32_t serial) {
    Instance* found = nullptr;
    const SceneState& scene = TheScene();
    for (const auto& inst : scene.InstanceList) {
        if (inst->SerialId != serial) continue;
        found = inst.get();
        DumpInstance(*inst);
    }
    for (const auto& [height, group] : scene.TerrainObjectsByHeight) {
        for (const auto& inst : group) {
            if (inst->SerialId != serial) continue;
            found = inst.get();
            DumpInstance(*inst);
        }
    }
    TheEdits().selected = found;
    return found;
}

void DragSelection(float dx, float dy, bool turn, bool vertical) {
    Instance* inst = TheEdits().selected;
    if (!inst) return;
    if (turn) {
        inst->SetRotation(inst->rotation.x, inst->rotation.y + dy * 0.01f, inst->rotation.z + dx * 0.01f);
        return;
    }
    const View& view = TheView();
    const Camera& camera = view.camera;
    const float dist = camera.position.Distance(inst->position);
    const double tan30 = std::tan(30.0 * 3.14159265358979323846 / 180.0);
    const float k = static_cast<float>(tan30 * (2.0 * dist / view.viewport.width) * 1.2);
    const float h = dx * k, v = -(k * dy);
    const CameraVectors basis = CameraBasis(camera);
    const Vector3 second = (vertical ? Vector3(0, 0, 1) : Vector3(0, 0, 1).Cross(basis.right)).Normalised();
    const Vector3 p = inst->position + basis.right * h + second * v;
    inst->SetPosition(p.x, p.y, p.z);
}

bool DeleteSelection() {
    EditState& e = TheEdits();
    if (!e.selected || !DeleteInstance(*e.selected)) return false;
    e.selected = nullptr;
    return true;
}

void UndoOrRedo(bool undo) {
    EditState& e = TheEdits();
    Instance* touched = undo ? Undo() : Redo();
    InstanceSlot slot;
    if (touched) e.selected = touched;
    else if (e.selected && !FindSlot(*e.selected, slot)) e.selected = nullptr;
}

void LoadLevelBookmarks(std::string& problem) {
    problem.clear();
    EditState& e = TheEdits();
    if (e.bookmarksLoaded) return;
    e.bookmarksLoaded = true;
    e.bookmarks = LoadBookmarks(TheLevelFiles().LevelName, problem);
}

bool SaveLevelBookmarks(std::string& error) { return SaveBookmarks(TheLevelFiles().LevelName, TheEdits().bookmarks, error); }
