// Which placed objects differ between two scene files: moved, turned,
// removed (and added), record by record, for checking a saved level.
#pragma once

#include <string>

namespace inspect {

int DiffCommand(const std::string& pathA, const std::string& pathB);

}  // namespace inspect
