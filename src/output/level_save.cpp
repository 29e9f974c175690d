#include "output/level_save.h"

#include <cstring>
#include <map>
#include <set>

#include "edit/edits.h"
#include "files/block_file.h"
#include "location/level_files.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "scene/level.h"
#include "scene/scene_construction.h"
#include "scene/scene_model.h"

namespace {

void PutF32(std::vector<std::uint8_t>& bytes, std::size_t at, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int k = 0; k < 4; ++k) bytes[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(bits >> (8 * k));
}

// The stored component plus what the user changed; untouched components
// keep their stored bits (a moved terrain object keeps its stored height).
// Where the load took the stored value as it was, the new value is written
// as it is: adding the change back could be a step off what was typed.
void Patch(std::vector<std::uint8_t>& bytes, std::size_t at, const Vector3& stored, const Vector3& loaded,
           const Vector3& now) {
    const float s[3] = {stored.x, stored.y, stored.z}, l[3] = {loaded.x, loaded.y, loaded.z}, n[3] = {now.x, now.y, now.z};
    for (int k = 0; k < 3; ++k)
        if (std::memcmp(&l[k], &n[k], 4) != 0)
            PutF32(bytes, at + 4 * static_cast<std::size_t>(k),
                   std::memcmp(&s[k], &l[k], 4) == 0 ? n[k] : s[k] + (n[k] - l[k]));
}

}  // namespace

std::vector<std::uint8_t> EditedRegionBlock(std::span<const std::uint8_t> original) {
    const RegionCounts counts = CountRegionRecords(original);
    // Every live object by its record; deleted records are those of the
    // objects the applied steps hold.
    std::map<std::uint32_t, const Instance*> live;
    const SceneState& scene = TheScene();
    for (const auto& inst : scene.InstanceList) live[inst->index] = inst.get();
    for (const auto& [key, group] : scene.TerrainObjectsByHeight)
        for (const auto& inst : group) live[inst->index] = inst.get();
    std::set<std::uint32_t> deleted;
    const EditState& edits = TheEdits();
    for (std::size_t k = 0; k < edits.done; ++k)
        if (edits.steps[k].removed) deleted.insert(edits.steps[k].removed->index);

    std::vector<std::uint8_t> out(original.begin(), original.begin() + std::min<std::size_t>(4, original.size()));
    std::uint32_t removed = 0;
    for (std::uint32_t i = 0; i < counts.held; ++i) {
        if (deleted.count(i) && !live.count(i)) {
            ++removed;
            continue;
        }
        const std::size_t at = 4 + std::size_t{i} * kRegionRecordSize, start = out.size();
        out.insert(out.end(), original.begin() + static_cast<std::ptrdiff_t>(at),
                   original.begin() + static_cast<std::ptrdiff_t>(at + kRegionRecordSize));
        if (auto it = live.find(i); it != live.end()) {
            const Instance& inst = *it->second;
            const RegionRecord r = ReadRegionRecord(original, i);
            Patch(out, start + kRegionPositionOffset, r.position, inst.loadedPosition, inst.position);
            Patch(out, start + kRegionRotationOffset, r.rotation, inst.loadedRotation, inst.rotation);
        }
    }
    // Whatever follows the whole records stays as it was.
    const std::size_t tail = 4 + std::size_t{counts.held} * kRegionRecordSize;
    if (tail < original.size()) out.insert(out.end(), original.begin() + static_cast<std::ptrdiff_t>(tail), original.end());
    if (out.size() >= 4) {
        const std::uint32_t stated = counts.stated - removed;
        for (int k = 0; k < 4; ++k) out[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(stated >> (8 * k));
    }
    return out;
}

std::string SaveRefusal(const std::string& path) {
    if (!IsLevelFile(path)) return {};
    return "The level cannot be saved over a file it was loaded from:\n" + path +
           "\nChoose another name; the texture files stay the level's own.";
}

bool SceneFileChangedSinceLoad() {
    const Level& level = TheLevel();
    if (!level.sceneFileStamp) return false;
    platform::FileStamp now;
    return !platform::Files().StampOf(level.files.GrfPath, now) || !(now == *level.sceneFileStamp);
}

bool SaveLevelAs(const std::string& path, std::string& error, std::string* note) {
    if (note) note->clear();
    EndDrag();
    if (path.empty()) {
        error = "No file name was given.";
        return false;
    }
    if (IsLevelFile(path)) {
        error = SaveRefusal(path);
        return false;
    }
    const BlockFile& file = TheSceneFile();
    const BlockHandle region = file.FindBlockHandleByName(".region");
    if (region == kNotFound) {
        error = "The level has no placed objects to save.";
        return false;
    }
    // The scene file stays as read: the edited block stands in only in the copy.
    const std::vector<std::uint8_t> edited = EditedRegionBlock(file.GetBlock(region)->bytes());
    if (!platform::WriteFileAtomically(path, file.SaveToMemory(region, edited), error)) return false;
    MarkSaved();
    if (note && file.LoadedCompressed())
        *note = "The level was read from an LZ-compressed file; it was saved uncompressed:\n" + path;
    return true;
}
