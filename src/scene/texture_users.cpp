#include "scene/texture_users.h"

#include <algorithm>
#include <unordered_map>

#include "scene/level.h"
#include "scene/scene_model.h"

std::vector<TextureUsers> FindTextureUsers(std::size_t entryCount) {
    std::vector<TextureUsers> users(entryCount);
    // Each model's entries once, however many of its materials share one.
    std::unordered_map<const Model*, std::vector<std::uint32_t>> entriesOf;
    const SceneState& scene = TheScene();
    for (const auto& model : scene.ModelList) {
        std::vector<std::uint32_t>& entries = entriesOf[model.get()];
        for (const Material& m : model->materials)
            if (m.hasTexture && m.textureIndex < entryCount &&
                std::find(entries.begin(), entries.end(), m.textureIndex) == entries.end())
                entries.push_back(m.textureIndex);
        for (std::uint32_t e : entries) users[e].models.push_back(model.get());
    }
    const auto add = [&](const Instance& inst) {
        if (const auto it = entriesOf.find(inst.model); it != entriesOf.end())
            for (std::uint32_t e : it->second) users[e].records.push_back(inst.index);
    };
    for (const auto& inst : scene.InstanceList) add(*inst);
    for (const auto& [height, group] : scene.TerrainObjectsByHeight)
        for (const auto& inst : group) add(*inst);
    for (TextureUsers& u : users) {
        std::sort(u.records.begin(), u.records.end());
        u.records.erase(std::unique(u.records.begin(), u.records.end()), u.records.end());
    }
    return users;
}
