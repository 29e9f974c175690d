// The viewer's tools beyond the game's own: the object list, bookmarks,
// saving the edited level, exporting it as glTF and as a map, the window
// title that names the selection and marks unsaved edits, and the question
// before quitting with unsaved edits. The dispatcher calls these; they call
// nothing of the input or the main loop.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

class Instance;

// The object list: every instance and terrain object, filtered and sorted.
class ObjectList : public platform::ListSource {
public:
    std::vector<std::string> Columns() override;
    std::size_t Rows() override;
    std::string Cell(std::size_t row, std::size_t column) override;
    void SetFilter(const std::string& text) override;
    void SortBy(std::size_t column, bool ascending) override;

    // Gathers the objects again (after a delete, an undo, a load).
    void Refresh();
    Instance* At(std::size_t row) const { return row < rows_.size() ? rows_[row] : nullptr; }

private:
    void Apply();
    std::vector<Instance*> all_, rows_;
    std::string filter_;
    std::size_t sortColumn_ = 0;
    bool ascending_ = true;
};

void OpenObjectList();
// The scene's objects changed: the list follows.
void ObjectsChanged();
// Selects the object as a pick would (its "Select:" line and report) and
// puts the camera a few radii from it, looking at it.
void SelectAndFly(Instance& instance);

void AddBookmarkDialog();
void ShowBookmarks();
// A row of a list window chosen; false when the row names nothing.
bool ListChoice(platform::ListKind list, int row, int action);

// The title names the selection and marks unsaved edits; set when it changed.
void UpdateWindowTitle();
std::string WindowTitle();

// Before quitting: true when there is nothing unsaved, or the user saved it
// or chose to drop it.
bool ConfirmQuit();
// The save dialog and the save; true when saved.
bool SaveLevelDialog();
void ExportGltfDialog();
void ExportMapDialog();

constexpr const char* kWindowTitle = "Wildgrove Level Viewer (Wildview v0.0)";
