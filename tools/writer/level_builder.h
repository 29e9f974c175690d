// A level being written: its scene file, property tables and placed
// objects, and what every level maker places the same way.
#pragma once

#include <string>
#include <vector>

#include "writer/mesh_builder.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"
#include "writer/value_table_builder.h"

namespace wvwrite {

inline Property Class(const std::string& c) { return Property::String("Class", c); }

struct LevelBuilder {
    SceneWriter scene;
    ValueTableBuilder values;
    RegionBuilder region;

    void Place(BlockHandle object, const std::string& name, const Placement& at, const std::vector<Property>& props) {
        region.Place(scene, values, object, name, at, props);
    }

    // The player start (turned about z by startTurn, radians), the sun
    // (turned by sunTurn) and the fog's trigger, its colour stored as the
    // game stores it: the blue in "R", the red in "B". They point at a
    // marker box without a mapping, as the game's own do.
    void PlaceLevelObjects(const Vector3& start, float startTurn, const Vector3& sunTurn, const Vector3& trigger,
                           Rgb fog) {
        MeshSpec marker = ToMeshSpec(BoxMesh("marker", {1, 1, 1}, {}, 1.0f), 2);
        marker.hasMapping = false;
        const BlockHandle markerHandle = WriteMesh(scene, marker);
        Place(markerHandle, "player_start", {start, {0, 0, startTurn}}, {Class("Player")});
        Place(markerHandle, "sun", {{0, 0, 200}, sunTurn}, {Class("CLightDirectional")});
        Place(markerHandle, "start_trigger", {trigger},
              {Class("CStartTrigger"), Property::Float("FogPower", 1.0f), Property::Float("FogHalf", 300.0f),
               Property::Int("R", fog.b), Property::Int("G", fog.g), Property::Int("B", fog.r)});
    }

    // DIR/NAME-130.pid, DIR/NAME-130.swp and DIR/NAME.grf.
    bool Write(const TextureSetWriter& textures, const std::string& dir, const std::string& name, std::string* error) {
        if (!textures.Write(dir + "/" + name + "-130.pid", dir + "/" + name + "-130.swp", error)) return false;
        values.AddTo(scene);
        region.AddTo(scene);
        return scene.Save(dir + "/" + name + ".grf", error);
    }
};

}  // namespace wvwrite
