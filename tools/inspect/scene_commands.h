// The inspector's commands that load a whole level headless.
#pragma once

#include <string>
#include <vector>

namespace inspect {

int SceneCommand(const std::string& swpPath, bool json);
int ValueTableCommand(const std::string& grfPath);
int ModelCommand(const std::string& swpPath, const std::string& serial);
int InstanceCommand(const std::string& swpPath, const std::string& serial);

}  // namespace inspect
