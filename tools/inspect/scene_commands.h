// The inspector's commands that load a whole level headless.
#pragma once

#include <string>
#include <vector>

namespace inspect {

int SceneCommand(const std::string& swpPath, bool json);
int ValueTableCommand(const std::string& grfPath);
// An object by its record in the level's ".region" block (from 0), the
// number every report and list names it by.
int ModelCommand(const std::string& swpPath, const std::string& record);
// raw: where it lies in the files too.
int InstanceCommand(const std::string& swpPath, const std::string& record, bool raw);
// The level whose database is pidPath (NAME-130.pid, with NAME.grf and
// NAME-130.swp beside it) loaded headless and quietly, for reports about
// its textures; false with the reason.
bool LoadLevelOfDatabase(const std::string& pidPath, std::string& error);

}  // namespace inspect
