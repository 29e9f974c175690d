// A map of a level: the whole terrain area seen straight from above at a
// stated scale, with the baked ground, its shadows and the objects, and a
// small legend giving the world coordinates of the corners. Drawn tile by
// tile in the off-screen buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct OverviewImage {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;  // rows from the north edge down, opaque
    float minX = 0, minY = 0, maxX = 0, maxY = 0;  // the world rectangle shown
    float texelsPerUnit = 0;
};

// The longest side a map may have, and the one it has unless asked: a
// 4 000-unit level at 2 pixels a unit would be 8 000 pixels square, 256 MB
// to draw and a 135 MB file.
constexpr std::uint32_t kMaxOverviewSide = 8192;
constexpr std::uint32_t kDefaultOverviewSide = 4096;

struct MapRequest {
    // Pixels a world unit (fewer when the map would pass maxSide pixels a
    // side; the image says which).
    float texelsPerUnit = 2.0f;
    bool legend = false;          // the corner coordinates and the scale written into the picture
    bool terrainShadows = true;   // the objects' shadows on the ground (with 8 alpha bits)
    bool lighting = true;         // the objects lit as the viewer lights them
    bool objects = true;          // the placed objects over the ground; without, the ground alone
    std::uint32_t maxSide = kDefaultOverviewSide;  // at most kMaxOverviewSide
    // Told the share drawn after each tile; false stops the drawing.
    std::function<bool(float done)> progress = nullptr;
};

// The loaded level's terrain area as the request asks, drawn in the
// off-screen buffer; the view, the terrain and the GL state the caller
// had are as they were afterwards. The same level and request give the
// same picture whenever it is drawn (scrolling textures stand still).
// False with the reason when the level has no terrain area; false with no
// reason when the progress asked to stop.
bool RenderOverviewMap(const MapRequest& request, OverviewImage& out, std::string& error);
