#include "scene/dumps.h"

#include <cstdio>
#include <vector>

#include "diag/log.h"
#include "files/block_file.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "platform/file_system.h"
#include "scene/level.h"
#include "scene/scene_construction.h"
#include "scene/scene_model.h"
#include "scene/value_table.h"

void DumpInstance(const Instance& inst) {
    DebugPrintf("\n\nInstance: %5d %s", static_cast<int>(inst.index), inst.name ? inst.name : "");
    const Model* m = inst.model;
    DebugPrintf("\nModel:    %5d %s", m ? static_cast<int>(m->handle & 0xFFFFFF) : 0, m ? m->name.c_str() : "");
    DebugPrintf("\n  position: <%.1f, %.1f, %.1f>", inst.position.x, inst.position.y, inst.position.z);
    DebugPrintf("\n  rotation: <%.2f, %.2f, %.2f>", inst.rotation.x, inst.rotation.y, inst.rotation.z);
    DebugPrintf("\n  scale:    %.2f", inst.scale);
}

void DumpModel(const Model& m) {
    InfoPrintf("\nModel: %d %s", static_cast<int>(m.handle & 0xFFFFFF), m.name.c_str());
    InfoPrintf("\nSource geometry type: %d", static_cast<int>(m.SourceGeometryType));
    InfoPrintf("\n%d Vertices, %d Faces, %d Materials", static_cast<int>(m.vertices.size()),
               static_cast<int>(m.faces.size()), static_cast<int>(m.materials.size()));
    InfoPrintf("\nPivot Offset: %.2f %.2f %.2f", m.PivotOffset.x, m.PivotOffset.y, m.PivotOffset.z);
    InfoPrintf("\n\nMaterials:");
    InfoPrintf("\nLighting");
    for (std::int32_t l : m.Lighting) InfoPrintf(" %d", l);
    for (std::size_t i = 0; i < m.materials.size(); ++i) {
        const Material& mat = m.materials[i];
        if (mat.hasTexture)
            InfoPrintf("\n%3d: pid texture %d '%s'", static_cast<int>(i), static_cast<int>(mat.textureIndex),
                       mat.textureName.c_str());
        else
            InfoPrintf("\n%3d: no texture", static_cast<int>(i));
    }
    InfoPrintf("\n\nFaces:");
    std::vector<std::uint32_t> uses(m.vertices.size(), 0);
    for (std::size_t i = 0; i < m.faces.size(); ++i) {
        const Face& f = m.faces[i];
        InfoPrintf("\n%3d: %3d %3d %3d, tex %d", static_cast<int>(i), static_cast<int>(f.index[0]),
                   static_cast<int>(f.index[1]), static_cast<int>(f.index[2]), static_cast<int>(f.material));
        if (!f.inRange) continue;  // listed, but it uses no vertex
        for (std::uint32_t k : f.index) ++uses[k];
    }
    InfoPrintf("\n\nVerts:");
    std::uint32_t used = 0, reused = 0;
    for (std::size_t i = 0; i < m.vertices.size(); ++i) {
        const Vector3& p = m.vertices[i].position;
        InfoPrintf("\n%3d: %.2f %.2f %.2f, used %d", static_cast<int>(i), p.x, p.y, p.z, static_cast<int>(uses[i]));
        if (uses[i] >= 1) ++used;
        if (uses[i] >= 2) ++reused;
    }
    // A model without vertices reports 0% rather than dividing by zero.
    const std::uint32_t n = static_cast<std::uint32_t>(m.vertices.size());
    InfoPrintf("\nVerts used:   %d%%", static_cast<int>(n ? used * 100 / n : 0));
    InfoPrintf("\nVerts reused: %d%%", static_cast<int>(n ? reused * 100 / n : 0));
    ScrollInfoToTop();
}

void DumpValueTable(const Instance& inst) {
    if (static_cast<std::int32_t>(inst.valueTable) < 0) {
        InfoPrintf("\n\nNo valuetable entry. ");
        return;
    }
    const ValueTable& table = TheScene().valueTable;
    InfoPrintf("\n\nValueTable: ");
    const ValueEntry* list = table.Entry(inst.valueTable);
    if (!list) return;
    for (auto it = list->members.rbegin(); it != list->members.rend(); ++it) {
        const ValueEntry* e = table.Entry(*it);
        InfoPrintf("\n%4d %s = ", static_cast<int>(*it), e ? e->NameText() : "");
        if (!e) continue;
        switch (e->kind) {
            case kValueBool: InfoPrintf("%s", e->boolValue ? "true" : "false"); break;
            case kValueInt: InfoPrintf("%d", e->intValue); break;
            case kValueFloat: InfoPrintf("%ff", e->floatValue); break;
            case kValueString: InfoPrintf("%s", e->stringValue.c_str()); break;
            case kValueList:
                for (std::uint32_t m : e->members) InfoPrintf("%d ", static_cast<int>(m));
                break;
            default: break;
        }
    }
}

namespace {

const char* KindName(std::int32_t kind) {
    switch (kind) {
        case kValueBool: return "bool";
        case kValueEmpty: return "empty";
        case kValueInt: return "int";
        case kValueFloat: return "float";
        case kValueString: return "string";
        case kValueList: return "list";
        default: return "unknown";
    }
}

}  // namespace

void DumpFileOffsets(const Instance& inst) {
    const LevelFiles& files = TheLevelFiles();
    const std::string grf = platform::NameOf(files.GrfPath), pid = platform::NameOf(files.PidPath),
                      swp = platform::NameOf(files.SwpPath);
    const BlockFile& scene = TheSceneFile();
    InfoPrintf("\n\nIn the files (byte offsets from each file's start):");
    if (const BlockRecord* region = scene.FindBlockByName(".region"))
        InfoPrintf("\nrecord %u of the .region block: %s at %llu, %u bytes", static_cast<unsigned>(inst.index),
                   grf.c_str(),
                   static_cast<unsigned long long>(region->fileOffset + 4ull + std::uint64_t{inst.index} * kRegionRecordSize),
                   static_cast<unsigned>(kRegionRecordSize));
    if (const Model* m = inst.model)
        if (const BlockRecord* block = scene.GetBlock(m->handle)) {
            const char* name = block->GetName();
            InfoPrintf("\nmodel block '%s', handle 0x%08X: %s at %u, %u bytes", name ? name : "", block->handle,
                       grf.c_str(), block->fileOffset, block->size());
        }
    const ValueTable& table = TheScene().valueTable;
    const BlockRecord* values = scene.FindBlockByName(".valuetable");
    if (const ValueEntry* list = static_cast<std::int32_t>(inst.valueTable) < 0 ? nullptr : table.Entry(inst.valueTable);
        list && values) {
        InfoPrintf("\nproperty table, entry %u of the .valuetable block: %s at %llu", static_cast<unsigned>(inst.valueTable),
                   grf.c_str(), static_cast<unsigned long long>(std::uint64_t{values->fileOffset} + list->offset));
        for (std::uint32_t member : list->members)
            if (const ValueEntry* e = table.Entry(member))
                InfoPrintf("\n  entry %u, %s %s: %s at %llu", static_cast<unsigned>(member), KindName(e->kind),
                           e->NameText(), grf.c_str(),
                           static_cast<unsigned long long>(std::uint64_t{values->fileOffset} + e->offset));
    }
    const TextureDatabase& db = TheTextureDatabase();
    if (inst.model)
        for (std::size_t i = 0; i < inst.model->materials.size(); ++i) {
            const Material& mat = inst.model->materials[i];
            const TextureEntry* e = mat.hasTexture ? db.Entry(static_cast<int>(mat.textureIndex)) : nullptr;
            if (!e) {
                InfoPrintf("\nmaterial %u: no texture", static_cast<unsigned>(i));
                continue;
            }
            char palette[32];
            if (e->palette == kDefaultPaletteIndex) std::snprintf(palette, sizeof palette, "the default palette");
            else std::snprintf(palette, sizeof palette, "palette %u", static_cast<unsigned>(e->palette));
            InfoPrintf("\nmaterial %u: texture entry %u: %s at %llu, %u bytes, %s; first pixel: %s at %u",
                       static_cast<unsigned>(i), static_cast<unsigned>(mat.textureIndex), pid.c_str(),
                       static_cast<unsigned long long>(db.entriesOffset + std::uint64_t{mat.textureIndex} * sizeof(TextureEntry)),
                       static_cast<unsigned>(sizeof(TextureEntry)), palette, swp.c_str(), static_cast<unsigned>(e->offset));
        }
}
