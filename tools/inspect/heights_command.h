// The inspector's height field command: the ground the viewer infers from a
// level's objects, built without a window.
#pragma once

#include <optional>
#include <string>

#include "math/vector3.h"

namespace inspect {

struct HeightsRequest {
    std::string swpPath;
    std::optional<Vector3> centre;  // x, y of the camera the window is placed for
    std::string rawPath, pngPath;
    bool json = false;
};

int HeightsCommand(const HeightsRequest& request);

}  // namespace inspect
