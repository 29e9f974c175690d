// Placing an object by typing: its position and its three angles as the
// placement window and the clipboard show them ("x y z yaw pitch roll",
// the angles in degrees), read back to a placement or refused with the
// reason (PlaceInstance makes the typed placement an edit).
#pragma once

#include <array>
#include <string>

#include "edit/edits.h"

// x, y, z, yaw, pitch, roll. Yaw turns about the vertical (the stored
// rotation's z), pitch about y and roll about x, in degrees; the file keeps
// them in radians.
using PlacementTexts = std::array<std::string, 6>;

// The shortest texts that read back to exactly this placement.
PlacementTexts PlacementFields(const Placement& placement);
// The six texts on one line, as the clipboard holds them.
std::string PlacementLine(const PlacementTexts& texts);

// Reads six typed texts. A text equal to what `current` shows keeps its
// exact value; others must be finite numbers the level file can hold.
// False with the reason (naming the field) and `out` untouched otherwise.
bool ReadPlacement(const PlacementTexts& texts, const Placement& current, Placement& out, std::string& why);
// Splits a clipboard line into six numbers' texts (spaces, tabs or commas
// between them); false with the reason when it holds anything else.
bool SplitPlacementLine(const std::string& line, PlacementTexts& out, std::string& why);
