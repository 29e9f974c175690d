// Builds the ".region" block: the list of every placed object of a level.
//
// Layout (little-endian): K (u32), then K records of 44 bytes:
//   0 object handle (the object's main block), 4 name symbol,
//   8 position x y z (f32), 20 rotation x y z (f32, radians), 32 scale (f32),
//   36 property table (index of a List entry in the value table),
//   40 has-table flag (u32, 0 = no table; offset 36 is then ignored)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/block_file.h"
#include "math/vector3.h"
#include "writer/value_table_builder.h"

namespace wvwrite {

class SceneWriter;

constexpr std::size_t kRegionRecordSize = 44;
constexpr std::size_t kRegionRecordsOffset = 4;

struct RegionRecord {
    BlockHandle object = 0;
    SymbolHandle name = 0;
    Vector3 position;
    Vector3 rotation;  // radians
    float scale = 1.0f;
    std::uint32_t table = 0;
    std::uint32_t hasTable = 0;
};

// Where a placed object stands.
struct Placement {
    Vector3 position;
    Vector3 rotation;  // radians, applied about z, then y, then x
    float scale = 1.0f;

    Placement() = default;
    Placement(const Vector3& p, const Vector3& r = {}, float s = 1.0f) : position(p), rotation(r), scale(s) {}
};

class RegionBuilder {
public:
    // Returns the record's index.
    std::size_t Add(const RegionRecord& record);
    // Places an object under an instance name (a symbol of the scene,
    // looked up once per distinct name). An empty property list gives a
    // record without a table; otherwise the properties become a table in
    // values.
    std::size_t Place(SceneWriter& scene, ValueTableBuilder& values, BlockHandle object, const std::string& name,
                      const Placement& at, const std::vector<Property>& properties);

    // K as stored, instead of the number of records added.
    void SetStoredCount(std::uint32_t count) { storedCount_ = count; hasStoredCount_ = true; }

    std::size_t Count() const { return records_.size(); }
    const std::vector<RegionRecord>& Records() const { return records_; }
    std::vector<std::uint8_t> Bytes() const;
    // Adds the block named ".region".
    BlockHandle AddTo(SceneWriter& scene) const;

private:
    std::vector<RegionRecord> records_;
    // The scene's symbol lookups are linear; tens of thousands of records
    // must not pay for one each.
    const SceneWriter* namedIn_ = nullptr;
    std::unordered_map<std::string, SymbolHandle> names_;
    std::uint32_t storedCount_ = 0;
    bool hasStoredCount_ = false;
};

}  // namespace wvwrite
