// The one free-flying camera: a position and two angles in degrees. Yaw 0
// looks along +Y and turns right towards +X; a positive pitch looks down.
#pragma once

#include "math/vector3.h"

struct Camera {
    Vector3 position{9.0f, -3.0f, 5.0f};
    float yaw = 0.0f;    // degrees
    float pitch = 0.0f;  // degrees, kept within -89.9 .. 89.9 by mouse-look
};

// Written by scene construction (player start) and by movement; read by
// every draw. ResetCamera puts it back to its start values.
Camera& TheCamera();
void ResetCamera();
