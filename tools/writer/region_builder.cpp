#include "writer/region_builder.h"

#include "writer/scene_writer.h"

namespace wvwrite {

std::size_t RegionBuilder::Add(const RegionRecord& record) {
    records_.push_back(record);
    return records_.size() - 1;
}

std::size_t RegionBuilder::Place(SceneWriter& scene, ValueTableBuilder& values, BlockHandle object,
                                 const std::string& name, const Placement& at,
                                 const std::vector<Property>& properties) {
    RegionRecord r;
    r.object = object;
    if (namedIn_ != &scene) {
        names_.clear();
        namedIn_ = &scene;
    }
    const auto known = names_.find(name);
    r.name = known != names_.end() ? known->second : names_.emplace(name, scene.Symbol(name)).first->second;
    r.position = at.position;
    r.rotation = at.rotation;
    r.scale = at.scale;
    if (!properties.empty()) {
        r.table = static_cast<std::uint32_t>(values.AddTable(properties));
        r.hasTable = 1;
    }
    return Add(r);
}

std::vector<std::uint8_t> RegionBuilder::Bytes() const {
    ByteWriter w;
    w.U32(hasStoredCount_ ? storedCount_ : static_cast<std::uint32_t>(records_.size()));
    for (const RegionRecord& r : records_) {
        w.U32(r.object).U32(r.name);
        w.F32(r.position.x).F32(r.position.y).F32(r.position.z);
        w.F32(r.rotation.x).F32(r.rotation.y).F32(r.rotation.z);
        w.F32(r.scale).U32(r.table).U32(r.hasTable);
    }
    return w.Take();
}

BlockHandle RegionBuilder::AddTo(SceneWriter& scene) const { return scene.AddBlock(".region", 0, Bytes()); }

}  // namespace wvwrite
