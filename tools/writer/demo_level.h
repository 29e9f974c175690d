// The demo level that wildview-mklevel writes: a small island of about
// 400 x 400 units in a sea, the same bytes on every run.
//
// Ground: flat terrain pieces (grass, sand, cliff, seabed) over the island,
// overlay pieces for a path, a pond and meadows, and a water surface named
// "ocean..." 1.5 units up around the island (the viewer lays the sea floor
// one unit under it). Heights come from where the objects stand: trees,
// bushes, rocks and buildings sit on a ground of 1.8 at the shore rising
// to about 10 on a hill in the north-east.
// Objects: always-facing trees and bushes, rocks and buildings of both
// geometry types (bump-mapped bricks and stone among them), a lighthouse,
// a jetty, a waterfall with a scrolling texture, a cloud sky, the player
// start in the south-west looking north-east, a sun low in the south-west
// and a light blue-grey fog.
#pragma once

#include <string>

namespace wvwrite {

// Writes DIR/demo.grf, DIR/demo-130.pid and DIR/demo-130.swp.
bool WriteDemoLevel(const std::string& dir, std::string* error);

}  // namespace wvwrite
