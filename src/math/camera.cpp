#include "math/camera.h"

Camera& TheCamera() {
    static Camera camera;
    return camera;
}

void ResetCamera() { TheCamera() = Camera{}; }
