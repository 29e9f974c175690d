// The user's edits of a level: moves, turns and deletes, kept as steps that
// can be undone and redone, and whether the level has edits not yet saved.
// A drag is one step however many mouse moves it takes; a deleted object is
// kept by its step, so that undoing puts that very object back where it was
// in its container (same serial, same place in the list).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "edit/bookmarks.h"
#include "math/vector3.h"

class Instance;

struct Placement {
    Vector3 position, rotation;
};

// Where an instance lives: the instance list, or a terrain group.
struct InstanceSlot {
    bool terrain = false;
    std::int32_t heightKey = 0;  // the group, for terrain objects
    std::size_t index = 0;
};

struct EditStep {
    enum class Kind { Place, Delete } kind = Kind::Place;
    Instance* instance = nullptr;  // Place: the object moved or turned
    Placement before, after;
    std::unique_ptr<Instance> removed;  // Delete: held here while deleted
    Instance* deleted = nullptr;        // Delete: the object, wherever it is
    InstanceSlot slot;                  // Delete: where it was
    bool movedLast = false;             // Delete from a terrain group: the last one took its place
};

// Owned here: written through the functions below, which the commands call
// (select, drag, delete, undo, redo, bookmarks), and by the save
// (MarkSaved); read by the frame (the selection's outline), the title, the
// lists, the quit question and the save. The level reset empties it.
struct EditState {
    Instance* selected = nullptr;  // the design's SelectedInstance: the object the user picked
    std::vector<EditStep> steps;
    std::size_t done = 0;                      // steps[0, done) are applied
    std::size_t savedAt = 0;                   // `done` when the level was last saved (or loaded)
    bool savedStepsDropped = false;            // a saved state can no longer be reached
    Instance* dragging = nullptr;
    Placement dragStart;
    // The level's bookmarks, read from their file on first use.
    std::vector<Bookmark> bookmarks;
    bool bookmarksLoaded = false;
};
EditState& TheEdits();

// The selection search: every instance with that serial, in InstanceList
// and then in the terrain groups, is reported; the last one found becomes
// the selection (none when there is none), and is returned.
Instance* SelectSerial(std::uint32_t serial);

// Moves or turns the selection by a mouse move of (dx, dy) pixels, as seen
// from the view's camera: turn (Shift) turns it, vertical (Ctrl) moves it
// up and down instead of along the ground.
void DragSelection(float dx, float dy, bool turn, bool vertical);
// Deletes the selection (kept for undo); false when there is none.
bool DeleteSelection();
// Undoes or redoes one step; the object it concerned becomes the selection,
// and a selection that is gone (a redone delete) is dropped.
void UndoOrRedo(bool undo);

// The level's bookmarks, read once; problem: what was wrong with a damaged
// file.
void LoadLevelBookmarks(std::string& problem);
// Writes the bookmarks after a change; false with the reason.
bool SaveLevelBookmarks(std::string& error);

// A drag of the selected object starts and ends; the end records a step when
// the object's placement changed.
void BeginDrag(Instance& instance);
void EndDrag();

// Puts the instance there as typed: one step, the ground baked again under
// where it was and where it goes, the shadows it touches made dirty. False
// when it is there already.
bool PlaceInstance(Instance& instance, const Placement& placement);

// Deletes the instance from its container (the instance list or its terrain
// group), keeping it for undo; false when it is in neither.
bool DeleteInstance(Instance& instance);

// Undo and redo one step; false when there is none. Returns the object the
// step concerned (selected afterwards), or null for none.
Instance* Undo();
Instance* Redo();
bool CanUndo();
bool CanRedo();

// Edits made since the level was loaded or last saved.
bool HasUnsavedEdits();
void MarkSaved();

// Where an instance is now, or false when it is in no container.
bool FindSlot(const Instance& instance, InstanceSlot& out);
