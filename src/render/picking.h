// Picking: which instance is under a point of the view. The scene is drawn
// again in GL selection mode through a one-pixel region around the point,
// and the nearest hit names the instance and its triangle. A query: it
// selects nothing (the commands do that with its answer).
#pragma once

#include <cstdint>
#include <optional>

struct PickHit {
    std::uint32_t serial = 0;    // the instance's SerialId
    std::uint32_t triangle = 0;  // its model's triangle
};

// The nearest named hit at client (x, y), y down; none for the sky, the
// terrain, empty space and an overflowing selection buffer. Of equally near
// hits the last drawn wins.
std::optional<PickHit> PickObject(int x, int y);
