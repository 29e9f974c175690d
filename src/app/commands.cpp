#include "app/commands.h"

#include <algorithm>
#include <array>

#include "app/modder_tools.h"
#include "app/pointer.h"
#include "app/texture_browser.h"
#include "app/dialogs.h"
#include "app/viewer_tools.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "edit/edits.h"
#include "render/measure.h"
#include "render/picking.h"
#include "resources/resources.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"

namespace {

// The toggles that have a menu check; the table is the one place that
// ties an item to its flag.
constexpr std::array<int, 7> kCheckedCommands = {kCmdDrawOutline, kCmdFreezeUpdate,   kCmdFog,         kCmdTerrainShadows,
                                                 kCmdObjectShadows, kCmdFreezeFrustum, kCmdOnscreenHelp};

bool* ToggleOf(int id) {
    View& v = TheView();
    switch (id) {
        case kCmdDrawOutline: return &v.toggles.DrawOutline;
        case kCmdFreezeUpdate: return &v.toggles.FreezeUpdate;
        case kCmdFog: return &v.toggles.FogEnabled;
        case kCmdTerrainShadows: return &v.toggles.TerrainShadows;
        case kCmdObjectShadows: return &v.toggles.ObjectShadows;
        case kCmdFreezeFrustum: return &v.toggles.FreezeFrustum;
        case kCmdOnscreenHelp: return &v.help.visible;
        case kCmdRotatingSun: return &v.toggles.RotatingSun;
        case kCmdObjectPositions: return &v.toggles.ObjectPositions;
        default: return nullptr;
    }
}

// Owned here: the checks last sent to the menu (-1: not yet), written by
// SyncMenuChecks; the process reset forgets them.
std::array<int, kCheckedCommands.size()> gChecksShown = [] {
    std::array<int, kCheckedCommands.size()> a{};
    a.fill(-1);
    return a;
}();

const StateReset kChecksReset{"menu checks", StateLayer::App, StateScope::Process, [] { gChecksShown.fill(-1); }};

void ModelReport() {
    ShowInfoDialog();
    const Instance* selected = TheEdits().selected;
    if (selected && selected->model) DumpModel(*selected->model);
    else InfoPrintf("No object is selected. Press Escape for selection mode and click an object, or "
                    "choose one in View / Objects.");
}

// The design's report lines, under a heading that names the object.
void ValueReport() {
    ShowInfoDialog();
    const Instance* selected = TheEdits().selected;
    if (!selected) {
        InfoPrintf("No object is selected. Press Escape for selection mode and click an object, or "
                   "choose one in View / Objects.");
        return;
    }
    InfoPrintf("\nProperties of %s #%u", selected->name ? selected->name : "", static_cast<unsigned>(selected->index));
    DumpValueTable(*selected);
    DumpFileOffsets(*selected);
}

void BumpMode() {
    if (!TheRenderState().caps.Dot3Available) {
        platform::Current().ShowMessageBox(
            platform::Owner::MainWindow,
            "Can't display bumpmaps, video card does not support hardware OpenGL Dot3 bumpmapping", "NOTE",
            platform::Buttons::Ok, platform::Icon::None);
        return;
    }
    RenderToggles& t = TheToggles();
    t.BumpMode = (t.BumpMode + 1) % 4;
}

bool Action(int id) {
    if (bool* flag = ToggleOf(id)) {
        *flag = !*flag;
        if (id == kCmdOnscreenHelp) TheView().help.autoHide = false;  // asked for: no longer hidden by itself
        SyncMenuChecks();
        return true;
    }
    switch (id) {
        case kCmdExit:
            if (ConfirmQuit()) platform::Current().PostQuitMessage(0);
            return true;
        case kCmdSaveAs: return SaveLevelDialog();
        case kCmdExportGltf: ExportGltfDialog(); return true;
        case kCmdExportMap: ExportMapDialog(); return true;
        case kCmdObjects: OpenObjectList(); return true;
        case kCmdTextures: OpenTextureBrowser(); return true;
        case kCmdSaveTexturePng: return SaveChosenTexture();
        case kCmdAddBookmark: AddBookmarkDialog(); return true;
        case kCmdBookmarks: ShowBookmarks(); return true;
        case kCmdUndo:
        case kCmdRedo:
            UndoOrRedo(id == kCmdUndo);
            ObjectsChanged();
            return true;
        case kCmdPlacement: PlacementDialog(); return true;
        case kCmdDelete: {
            const bool deleted = DeleteSelection();
            ObjectsChanged();
            return deleted;
        }
        case kCmdFlyingMode:
            if (!ClearMeasure()) SetFlyingMode(!ThePointer().FlyingMode);  // a measure shown goes first
            return true;
        case kCmdPlayerStart: TheCamera() = TheScene().StartCamera; return true;
        case kCmdModelReport: ModelReport(); return true;
        case kCmdValueReport: ValueReport(); return true;
        case kCmdLighting: {
            RenderToggles& t = TheToggles();
            t.LightingEnabled = !t.LightingEnabled;
            t.TerrainShadows = !t.TerrainShadows;
            SyncMenuChecks();
            return true;
        }
        case kCmdBumpMode: BumpMode(); return true;
        case kCmdUpdateTerrain: UpdateTerrain(TheCamera().position); return true;
        default: return false;
    }
}

void Look(const Command& c) {
    Camera& camera = TheCamera();
    const CameraVectors basis = CameraBasis(camera);
    if (c.shift) {
        camera.position -= basis.forward * (0.02f * c.dy);
        camera.position += basis.right * (0.02f * c.dx);
    } else {
        camera.yaw += c.dx * 0.4f;
        camera.pitch = std::clamp(camera.pitch + c.dy * 0.4f, -89.9f, 89.9f);
    }
}

// A click selects what lies under it; in selection mode it also starts a
// drag of the selection, which is one edit however long it lasts.
void Pick(const Command& c) {
    EndDrag();
    // Shift and Ctrl together measure instead; the selection stays.
    if (!ThePointer().FlyingMode && c.shift && c.control) {
        MeasureClick(c.x, c.y);
        return;
    }
    const std::optional<PickHit> hit = PickObject(c.x, c.y);
    if (!hit) {
        TheEdits().selected = nullptr;
    } else {
        DebugPrintf("\nSelect: %d %d", static_cast<int>(hit->serial), static_cast<int>(hit->triangle));
        SelectSerial(hit->serial);
    }
    if (!ThePointer().FlyingMode && TheEdits().selected) BeginDrag(*TheEdits().selected);
}

}  // namespace

int KeyCommand(int key, bool control) {
    if (control)
        for (const KeyBinding& b : kKeyBindings)
            if (b.key == key && b.control) return b.command;
    for (const KeyBinding& b : kKeyBindings)
        if (b.key == key && !b.control) return b.command;
    return 0;
}

void SyncMenuChecks() {
    for (std::size_t k = 0; k < kCheckedCommands.size(); ++k) {
        const int now = *ToggleOf(kCheckedCommands[k]) ? 1 : 0;
        if (gChecksShown[k] == now) continue;
        gChecksShown[k] = now;
        platform::Current().SetMenuCheck(kCheckedCommands[k], now != 0);
    }
}

namespace {

bool RunUnguarded(const Command& c) {
    switch (c.kind) {
        case Command::Kind::Action: return Action(c.id);
        case Command::Kind::Look: Look(c); return true;
        case Command::Kind::Drag:
            if (!TheEdits().selected || TheMeasure().pressHeld) return false;
            DragSelection(c.dx, c.dy, c.shift, c.control);
            return true;
        case Command::Kind::Pick: Pick(c); return true;
        case Command::Kind::Release:
            TheMeasure().pressHeld = false;
            if (!TheEdits().dragging) return false;
            EndDrag();
            ObjectsChanged();  // the list shows where it went
            return true;
        case Command::Kind::ListChoice: return ListChoice(c.list, c.row, c.action);
    }
    return false;
}

}  // namespace

// A library's exception (a name it cannot write, memory it cannot have)
// fails the one command: the viewer and its unsaved edits go on.
bool RunCommand(const Command& c) {
    try {
        return RunUnguarded(c);
    } catch (const std::exception& e) {
        platform::Current().HideProgress();
        LogPrintf("The command failed: %s\n", e.what());
        Tell(std::string("The command failed: ") + e.what(), "Wildview", platform::Icon::Exclamation);
        return true;
    }
}
