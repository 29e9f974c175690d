// Picking the object under the cursor: the scene is drawn again in GL
// selection mode through a one-pixel region, and the nearest hit names the
// instance and the triangle.
#pragma once

#include <cstdint>

class Instance;

// Writes at most capacity names of the nearest hit at client (x, y), y
// down; false when nothing named was hit.
bool PickObject(int x, int y, int capacity, std::uint32_t* names);

// The selection that follows a left click: "Select:" line, the instance
// made SelectedInstance and its report.
void SelectAt(int x, int y);
// The selection search: every instance with that serial, in InstanceList
// and then in the terrain groups, is reported; the last one found is
// selected (none when there is none).
Instance* SelectSerial(std::uint32_t serial);
