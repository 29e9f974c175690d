#include "app/viewer_tools.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/dialogs.h"
#include "app/texture_browser.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "edit/bookmarks.h"
#include "edit/edits.h"
#include "files/png_image.h"
#include "location/level_files.h"
#include "output/gltf_export.h"
#include "output/level_save.h"
#include "render/overview_map.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::ListKind;
using platform::Owner;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const char* NameOf(const Instance& i) { return i.name ? i.name : ""; }

std::string ClassOf(const Instance& inst) {
    const ValueTable& table = TheScene().valueTable;
    if (inst.valueTable != 0xFFFFFFFFu)
        if (const ValueEntry* e = table.FindMember(inst.valueTable, "Class"); e && e->kind == kValueString)
            return e->stringValue;
    return "CInstance";
}

std::string Format(const char* format, double a, double b, double c) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}


// The list window's view of the level's bookmarks (the edits keep them).
class BookmarkList : public platform::ListSource {
public:
    static std::vector<Bookmark>& Marks() { return TheEdits().bookmarks; }
    std::vector<std::string> Columns() override { return {"Name", "Position", "Yaw", "Pitch"}; }
    std::size_t Rows() override { return rows_.size(); }
    std::string Cell(std::size_t row, std::size_t column) override {
        if (row >= rows_.size()) return {};
        const Bookmark& b = Marks()[rows_[row]];
        switch (column) {
            case 0: return b.name;
            case 1: return Format("%.1f, %.1f, %.1f", b.position.x, b.position.y, b.position.z);
            case 2: return Format("%.1f", b.yaw, 0, 0);
            default: return Format("%.1f", b.pitch, 0, 0);
        }
    }
    void SetFilter(const std::string& text) override {
        filter_ = Lower(text);
        Apply();
    }
    void SortBy(std::size_t column, bool ascending) override {
        column_ = column;
        ascending_ = ascending;
        Apply();
    }
    void Apply() {
        rows_.clear();
        const std::vector<Bookmark>& marks = Marks();
        for (std::size_t k = 0; k < marks.size(); ++k)
            if (filter_.empty() || Lower(marks[k].name).find(filter_) != std::string::npos) rows_.push_back(k);
        std::stable_sort(rows_.begin(), rows_.end(), [&](std::size_t a, std::size_t b) {
            const Bookmark &x = marks[a], &y = marks[b];
            const bool less = column_ == 0   ? Lower(x.name) < Lower(y.name)
                              : column_ == 1 ? std::tie(x.position.x, x.position.y) < std::tie(y.position.x, y.position.y)
                              : column_ == 2 ? x.yaw < y.yaw
                                             : x.pitch < y.pitch;
            const bool more = column_ == 0   ? Lower(y.name) < Lower(x.name)
                              : column_ == 1 ? std::tie(y.position.x, y.position.y) < std::tie(x.position.x, x.position.y)
                              : column_ == 2 ? y.yaw < x.yaw
                                             : y.pitch < x.pitch;
            return ascending_ ? less : more;
        });
    }
    std::size_t MarkAt(std::size_t row) const { return row < rows_.size() ? rows_[row] : Marks().size(); }

private:
    std::vector<std::size_t> rows_;
    std::string filter_;
    std::size_t column_ = 0;
    bool ascending_ = true;
};

// Owned here: the list windows' sources (written by the list commands and
// ObjectsChanged) and the last title set (by UpdateWindowTitle). The level
// reset closes the lists and empties it.
struct UiState {
    ObjectList objects;
    BookmarkList bookmarks;
    std::string title;
};

UiState& Ui() {
    static UiState state;
    return state;
}

// The level's objects go: so do the list windows that show them.
const StateReset kUiReset{"viewer tools", StateLayer::App, StateScope::Level, [] {
    platform::Current().CloseList(ListKind::Objects);
    platform::Current().CloseList(ListKind::Bookmarks);
    Ui() = UiState{};
}};


void LoadMarks() {
    std::string problem;
    LoadLevelBookmarks(problem);
    Ui().bookmarks.Apply();
    if (!problem.empty()) Tell(problem, "Bookmarks", Icon::Warning);
}

void SaveMarks() {
    std::string error;
    if (!SaveLevelBookmarks(error)) Tell(error, "Bookmarks", Icon::Warning);
}

}  // namespace

void ExportGltfDialog() {
    const LevelFiles& level = TheLevelFiles();
    const std::string path = AskWhereTo("Export glTF", level.LevelName + ".glb",
                                         {"glTF files (.glb, .gltf)", "*.{glb,gltf}"}, {".glb", ".gltf"});
    if (path.empty()) return;
    platform::Platform& pf = platform::Current();
    const auto show = [&pf](const char* text, float from, float share) {
        return [&pf, text, from, share](float done) { return pf.ShowProgress(text, from + share * done); };
    };
    MapRequest request{2.0f, false, TheToggles().TerrainShadows, true, false};
    request.progress = show("Drawing the ground's map...", 0.0f, 0.4f);
    OverviewImage map;
    std::string error;
    const bool withGround = request.progress(0.0f) && RenderOverviewMap(request, map, error);
    GltfTerrain ground;
    if (withGround) ground = {map.width, map.height, std::move(map.rgba), map.minX, map.minY, map.maxX, map.maxY};
    map = OverviewImage{};
    GltfExportReport report;
    bool written = false;
    // A map that cannot be drawn leaves the ground out; a cancelled one, all.
    if (withGround || !error.empty()) {
        GltfExportOptions options;
        options.path = path;
        options.terrain = withGround ? &ground : nullptr;
        options.progress = show("Exporting glTF...", 0.4f, 0.6f);
        error.clear();
        written = ExportGltf(options, report, error);
    }
    pf.HideProgress();
    if (!written && error.empty()) {
        LogPrintf("The glTF export was cancelled: nothing was written.\n");
        return;
    }
    if (!written) {
        Tell(error, "Export glTF", Icon::Exclamation);
        return;
    }
    Tell(path + ":\n" + std::to_string(report.nodes) + " objects, " + std::to_string(report.meshes) + " meshes, " +
             std::to_string(report.images) + " images" + (withGround ? ", and the ground." : "."),
         "Export glTF");
}

void ExportMapDialog() {
    const LevelFiles& level = TheLevelFiles();
    const std::string path = AskWhereTo("Export overview map", level.LevelName + "-map.png", {"PNG images", "*.png"},
                                         {".png"});
    if (path.empty()) return;
    platform::Platform& pf = platform::Current();
    const RenderToggles& toggles = TheToggles();
    MapRequest request{2.0f, true, toggles.TerrainShadows, toggles.LightingEnabled};
    request.progress = [&pf](float done) { return pf.ShowProgress("Drawing the overview map...", 0.8f * done); };
    OverviewImage map;
    std::string error;
    const bool drawn = request.progress(0.0f) && RenderOverviewMap(request, map, error);
    const bool written = drawn && pf.ShowProgress("Writing the picture...", 0.8f) &&
                         WritePngFile(path, map.width, map.height, map.rgba, error);
    pf.HideProgress();
    if (!written && error.empty()) {
        LogPrintf("The map export was cancelled: nothing was written.\n");
        return;
    }
    if (!written) {
        Tell(error, "Export overview map", Icon::Exclamation);
        return;
    }
    char scale[160];
    std::snprintf(scale, sizeof scale, "\n%u x %u pixels, %.3g a world unit, from (%.1f, %.1f) to (%.1f, %.1f).",
                  map.width, map.height, map.texelsPerUnit, map.minX, map.minY, map.maxX, map.maxY);
    Tell(path + scale, "Export overview map");
}

std::vector<std::string> ObjectList::Columns() { return {"Record", "Name", "Model", "Class", "Position"}; }

std::size_t ObjectList::Rows() { return rows_.size(); }

std::string ObjectList::Cell(std::size_t row, std::size_t column) {
    const Instance* inst = At(row);
    if (!inst) return {};
    switch (column) {
        case 0: return std::to_string(inst->index);
        case 1: return NameOf(*inst);
        case 2: return inst->model ? inst->model->name : "";
        case 3: return ClassOf(*inst);
        default: return Format("%.1f, %.1f, %.1f", inst->position.x, inst->position.y, inst->position.z);
    }
}

void ObjectList::SetFilter(const std::string& text) {
    filter_ = Lower(text);
    Apply();
}

void ObjectList::SortBy(std::size_t column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    Apply();
}

void ObjectList::Refresh() {
    all_.clear();
    const SceneState& scene = TheScene();
    for (const auto& inst : scene.InstanceList) all_.push_back(inst.get());
    for (const auto& [key, group] : scene.TerrainObjectsByHeight)
        for (const auto& inst : group) all_.push_back(inst.get());
    Apply();
}

void ObjectList::Apply() {
    rows_.clear();
    for (Instance* inst : all_) {
        if (!filter_.empty() && Lower(NameOf(*inst)).find(filter_) == std::string::npos &&
            !(inst->model && Lower(inst->model->name).find(filter_) != std::string::npos))
            continue;
        rows_.push_back(inst);
    }
    const std::size_t column = sortColumn_;
    // Text keys lower-cased once per row, not once per comparison: a sort of
    // 20 000 rows makes some 300 000 comparisons.
    std::vector<std::string> keys;
    if (column >= 1 && column <= 3) {
        keys.reserve(rows_.size());
        for (const Instance* i : rows_)
            keys.push_back(Lower(column == 1 ? std::string(NameOf(*i))
                                 : column == 2 ? (i->model ? i->model->name : std::string())
                                               : std::string(ClassOf(*i))));
    }
    std::vector<std::size_t> order(rows_.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        const Instance *a = rows_[x], *b = rows_[y];
        bool less = false, more = false;
        if (column == 0) {
            less = a->index < b->index;
            more = b->index < a->index;
        } else if (column == 4) {
            const auto pa = std::tie(a->position.x, a->position.y, a->position.z);
            const auto pb = std::tie(b->position.x, b->position.y, b->position.z);
            less = pa < pb;
            more = pb < pa;
        } else {
            less = keys[x] < keys[y];
            more = keys[y] < keys[x];
        }
        return ascending_ ? less : more;
    });
    std::vector<Instance*> sorted(rows_.size());
    for (std::size_t k = 0; k < order.size(); ++k) sorted[k] = rows_[order[k]];
    rows_ = std::move(sorted);
}

void OpenObjectList() {
    Ui().objects.Refresh();
    platform::Current().ShowList(ListKind::Objects, "Objects", Ui().objects);
}

void ObjectsChanged() {
    TexturesChanged();
    if (!platform::Current().ListShown(ListKind::Objects)) return;
    Ui().objects.Refresh();
    platform::Current().RefreshList(ListKind::Objects);
}

void SelectAndFly(Instance& inst) {
    TheEdits().selected = &inst;
    DebugPrintf("\nSelect: %d %d", static_cast<int>(inst.SerialId), 0);
    DumpInstance(inst);
    AimCameraAt(TheCamera(), inst.boxMin, inst.boxMax, inst.sphere.centre, inst.sphere.radius);
}

void AddBookmarkDialog() {
    LoadMarks();
    std::vector<Bookmark>& marks = TheEdits().bookmarks;
    std::string name = "Bookmark " + std::to_string(marks.size() + 1);
    if (!platform::Current().AskText("Add bookmark", "Name of this place:", name)) return;
    name = CleanBookmarkName(name);
    if (name.empty()) return;
    const Camera& c = TheCamera();
    marks.push_back({name, c.position, c.yaw, c.pitch});
    Ui().bookmarks.Apply();
    SaveMarks();
    platform::Current().RefreshList(ListKind::Bookmarks);
}

void ShowBookmarks() {
    LoadMarks();
    platform::Current().ShowList(ListKind::Bookmarks, "Bookmarks", Ui().bookmarks);
}

std::string WindowTitle() {
    std::string title = kWindowTitle;
    if (const Instance* s = TheEdits().selected)
        title += std::string(" - ") + NameOf(*s) + " #" + std::to_string(s->index);
    if (HasUnsavedEdits()) title += "  [unsaved edits]";
    return title;
}

void UpdateWindowTitle() {
    std::string title = WindowTitle();
    if (title == Ui().title) return;
    Ui().title = title;
    platform::Current().SetMainWindowTitle(title);
}

bool SaveLevelDialog() {
    const LevelFiles& level = TheLevelFiles();
    const std::string path = AskWhereTo("Save level as", level.LevelName + "_edited.grf", {"GRF files", "*.grf"},
                                         {".grf"});
    if (path.empty()) return false;
    if (SceneFileChangedSinceLoad() &&
        platform::Current().ShowMessageBox(
            Owner::MainWindow,
            level.GrfPath + "\nhas changed on disk since the level was loaded.\n\nThe saved level will be the one " +
                "loaded, with your edits; what changed on disk will not be in it. Save anyway?",
            "Save level as", Buttons::YesNo, Icon::Warning) != Answer::Yes)
        return false;
    std::string error, note;
    if (!SaveLevelAs(path, error, &note)) {
        Tell(error, "Could not save the level", Icon::Exclamation);
        return false;
    }
    if (!note.empty()) Tell(note, "Save level as", Icon::Information);
    UpdateWindowTitle();
    return true;
}

bool ConfirmQuit() {
    if (!HasUnsavedEdits()) return true;
    const Answer a = platform::Current().ShowMessageBox(
        Owner::MainWindow, "The level has edits that are not saved.\nSave them before quitting?", "Unsaved edits",
        Buttons::YesNoCancel, Icon::Warning);
    if (a == Answer::Yes) return SaveLevelDialog();
    return a == Answer::No;
}

bool ListChoice(ListKind kind, int row, int action) {
    if (kind == ListKind::Textures) return action == platform::kListActivate && ChooseTexture(row);
    if (kind == ListKind::Objects) {
        Instance* inst = Ui().objects.At(static_cast<std::size_t>(std::max(row, 0)));
        if (!inst || action != platform::kListActivate) return false;
        SelectAndFly(*inst);
        return true;
    }
    BookmarkList& list = Ui().bookmarks;
    std::vector<Bookmark>& marks = TheEdits().bookmarks;
    const std::size_t k = list.MarkAt(static_cast<std::size_t>(std::max(row, 0)));
    if (k >= marks.size()) return false;
    if (action == platform::kListDelete) {
        marks.erase(marks.begin() + static_cast<std::ptrdiff_t>(k));
        list.Apply();
        SaveMarks();
        platform::Current().RefreshList(ListKind::Bookmarks);
        return true;
    }
    Camera& camera = TheCamera();
    camera.position = marks[k].position;
    camera.yaw = marks[k].yaw;
    camera.pitch = marks[k].pitch;
    return true;
}
