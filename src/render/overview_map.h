// A map of a level: the whole terrain area seen straight from above at a
// stated scale, with the baked ground, its shadows and the objects, and a
// small legend giving the world coordinates of the corners. Drawn tile by
// tile in the off-screen buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OverviewImage {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;  // rows from the north edge down, opaque
    float minX = 0, minY = 0, maxX = 0, maxY = 0;  // the world rectangle shown
    float texelsPerUnit = 0;
};

constexpr std::uint32_t kMaxOverviewSide = 8192;

struct MapRequest {
    // Pixels a world unit (fewer when the map would pass 8192 pixels a
    // side; the image says which).
    float texelsPerUnit = 2.0f;
    bool legend = false;          // the corner coordinates and the scale written into the picture
    bool terrainShadows = true;   // the objects' shadows on the ground (with 8 alpha bits)
    bool lighting = true;         // the objects lit as the viewer lights them
    bool objects = true;          // the placed objects over the ground; without, the ground alone
};

// The loaded level's terrain area as the request asks, drawn in the
// off-screen buffer; the view, the terrain and the GL state the caller
// had are as they were afterwards. The same level and request give the
// same picture whenever it is drawn (scrolling textures stand still).
// False with the reason when the level has no terrain area.
bool RenderOverviewMap(const MapRequest& request, OverviewImage& out, std::string& error);
