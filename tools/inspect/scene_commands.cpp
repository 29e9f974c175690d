#include "inspect/scene_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/log.h"
#include "diag/stat_counter.h"
#include "files/block_file.h"
#include "level/load_sequence.h"
#include "platform/file_system.h"
#include "headless/headless_level.h"
#include "inspect/json.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/value_table.h"
#include "scene/view.h"

namespace inspect {

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "wildview-inspect: %s\n", message.c_str());
    return 1;
}

std::string Floats(std::initializer_list<float> values) {
    std::string out = "[";
    bool first = true;
    for (float v : values) {
        if (!first) out += ',';
        out += JsonFloat(v);
        first = false;
    }
    return out + "]";
}

std::string Vec(const Vector3& v) { return Floats({v.x, v.y, v.z}); }

std::string ModelJson(const Model& m) {
    std::string out = "{\"handle\":" + std::to_string(m.handle) + ",\"name\":" + JsonString(m.name) +
                      ",\"geometry\":" + std::to_string(m.SourceGeometryType) +
                      ",\"vertices\":" + std::to_string(m.vertices.size()) +
                      ",\"faces\":" + std::to_string(m.faces.size()) + ",\"flags\":{\"overlay\":" +
                      JsonBool(m.Overlay) + ",\"blended\":" + JsonBool(m.Blended) + ",\"alpha\":" +
                      JsonBool(m.HasAlphaTexture) + ",\"bump\":" + JsonBool(m.HasBumpMaterial) +
                      ",\"scrolling\":" + JsonBool(m.ScrollingTexture) + "},\"scroll\":" +
                      Floats({m.ScrollX, m.ScrollY}) + ",\"materials\":[";
    for (std::size_t i = 0; i < m.materials.size(); ++i) {
        const Material& mat = m.materials[i];
        if (i) out += ',';
        out += "{\"texture\":" + (mat.hasTexture ? std::to_string(mat.textureIndex) : std::string("null")) +
               ",\"name\":" + JsonString(mat.textureName) + ",\"alpha\":" +
               JsonBool(mat.hasTexture && mat.texture && mat.texture->hasAlpha) + ",\"bump\":" + JsonBool(mat.hasBump) +
               ",\"invisible\":" + JsonBool(mat.invisible) + ",\"clamp\":" + JsonBool(mat.clamp) + "}";
    }
    return out + "]}";
}

std::string InstanceJson(const Instance& inst) {
    return "{\"record\":" + std::to_string(inst.index) +
           ",\"name\":" + JsonString(inst.name ? inst.name : "") +
           ",\"model\":" + std::to_string(inst.model ? inst.model->handle : 0) + ",\"position\":" + Vec(inst.position) +
           ",\"rotation\":" + Vec(inst.rotation) + ",\"scale\":" + JsonFloat(inst.scale) +
           ",\"alwaysFace\":" + JsonBool(inst.AlwaysFace) + ",\"shadow\":" + JsonBool(inst.Shadow) +
           ",\"unlit\":" + JsonBool(inst.Unlit) + ",\"exclude\":" + JsonBool(inst.ExcludeFromHeightField) +
           ",\"valuetable\":" +
           (inst.valueTable == 0xFFFFFFFFu ? std::string("null") : std::to_string(inst.valueTable)) +
           ",\"sphere\":" +
           Floats({inst.sphere.centre.x, inst.sphere.centre.y, inst.sphere.centre.z, inst.sphere.radius}) +
           ",\"box\":[" + Vec(inst.boxMin) + "," + Vec(inst.boxMax) + "]}";
}

bool LevelExists(const std::string& swpPath, std::string& error) {
    if (platform::Files().OpenForReading(swpPath, error)) return true;
    error = swpPath + ": " + error;
    return false;
}

// The object of a record of the level's ".region" block.
const Instance* FindRecord(std::uint32_t record) {
    for (const auto& inst : TheScene().InstanceList)
        if (inst->index == record) return inst.get();
    for (const auto& [height, group] : TheScene().TerrainObjectsByHeight)
        for (const auto& inst : group)
            if (inst->index == record) return inst.get();
    return nullptr;
}

// The info dialog's text as lines with plain line feeds.
std::string Unix(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

bool ParseRecord(const std::string& s, std::uint32_t& out) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 10);
    if (s.empty() || *end || v > 0xFFFFFFFFul) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

bool LoadLevelOfDatabase(const std::string& pidPath, std::string& error) {
    const std::size_t dot = pidPath.rfind('.');
    const std::string swpPath = (dot == std::string::npos ? pidPath : pidPath.substr(0, dot)) + ".swp";
    if (!LevelExists(swpPath, error)) return false;
    static headless::LoadedLevel level;  // the level stays loaded for the report
    level.console = nullptr;
    // Who uses a texture is a matter of lists: no bounds.
    return headless::LoadLevel(swpPath, level, &error, Ground::Skip, Bounds::Skip);
}

int SceneCommand(const std::string& swpPath, bool json) {
    std::string error;
    if (!LevelExists(swpPath, error)) return Fail(error);
    headless::LoadedLevel level;
    level.console = json ? nullptr : stdout;  // the loader's lines stay out of a JSON document
    // The summary counts; only the JSON document says where objects reach.
    if (!headless::LoadLevel(swpPath, level, &error, Ground::Skip, json ? Bounds::Find : Bounds::Skip))
        return Fail(error);
    const SceneState& scene = TheScene();
    const Camera& camera = TheCamera();

    if (!json) {
        std::fputs(level.log.c_str(), stdout);
        std::fputs(level.platform.debug.c_str(), stdout);
        std::printf("\n\nlevel '%s': %zu models, %zu instances, %zu terrain groups, sky %s\n",
                    TheLevelFiles().LevelName.c_str(), scene.ModelList.size(), scene.InstanceList.size(),
                    scene.TerrainObjectsByHeight.size(), scene.SkyTexture ? "yes" : "no");
        for (const auto& box : level.platform.boxes)
            std::printf("message [%s] %s\n", box.caption.c_str(), box.text.c_str());
        return 0;
    }

    std::string out = "{\"level\":" + JsonString(TheLevelFiles().LevelName) + ",\"fog\":" +
                      Floats({scene.FogColor[0], scene.FogColor[1], scene.FogColor[2], scene.FogColor[3]}) +
                      ",\"light\":" + Vec(scene.LightDirection) + ",\"camera\":{\"position\":" + Vec(camera.position) +
                      ",\"yaw\":" + JsonFloat(camera.yaw) + ",\"pitch\":" + JsonFloat(camera.pitch) +
                      "},\"sky\":" + JsonBool(scene.SkyTexture != nullptr) + ",\"counters\":{";
    bool first = true;
    for (const StatCounter* c : StatRegistry()) {
        if (!first) out += ',';
        out += JsonString(c->name) + ":" + std::to_string(c->value);
        first = false;
    }
    out += "},\"messages\":[";
    for (std::size_t i = 0; i < level.platform.boxes.size(); ++i) {
        if (i) out += ',';
        out += "{\"caption\":" + JsonString(level.platform.boxes[i].caption) +
               ",\"text\":" + JsonString(level.platform.boxes[i].text) + "}";
    }
    out += "],\"debug\":" + JsonString(level.platform.debug) + ",\"log\":" + JsonString(level.log) + ",\"models\":[";
    for (std::size_t i = 0; i < scene.ModelList.size(); ++i) {
        if (i) out += ',';
        out += ModelJson(*scene.ModelList[i]);
    }
    out += "],\"instances\":[";
    for (std::size_t i = 0; i < scene.InstanceList.size(); ++i) {
        if (i) out += ',';
        out += InstanceJson(*scene.InstanceList[i]);
    }
    out += "],\"terrain\":{";
    first = true;
    for (const auto& [height, group] : scene.TerrainObjectsByHeight) {
        if (!first) out += ',';
        out.append("\"").append(std::to_string(height)).append("\":[");
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (i) out += ',';
            out += InstanceJson(*group[i]);
        }
        out += "]";
        first = false;
    }
    out += "}}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

int ValueTableCommand(const std::string& grfPath) {
    BlockFile file;
    if (!file.Load(grfPath.c_str())) return Fail(grfPath + ": " + file.LastError());
    const BlockRecord* block = file.FindBlockByName(".valuetable");
    if (!block) return Fail(grfPath + ": the scene file has no .valuetable block");
    ValueTable table;
    const ValueTableDecode decoded = table.Decode(block->bytes());
    std::printf("%zu names, %zu entries\n", table.names.size(), table.entries.size());
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        const ValueEntry& e = table.entries[i];
        std::printf("%5zu  ", i);
        switch (e.kind) {
            case kValueBool: std::printf("Bool    %s = %s\n", e.NameText(), e.boolValue ? "true" : "false"); break;
            case kValueEmpty: std::printf("Empty   %s\n", e.NameText()); break;
            case kValueInt: std::printf("Int     %s = %d\n", e.NameText(), e.intValue); break;
            case kValueFloat: std::printf("Float   %s = %g\n", e.NameText(), e.floatValue); break;
            case kValueString: std::printf("String  %s = \"%s\"\n", e.NameText(), e.stringValue.c_str()); break;
            case kValueList:
                std::printf("List    %s =", e.NameText());
                for (std::uint32_t m : e.members) std::printf(" %u", m);
                std::printf("\n");
                break;
            default: std::printf("0x%04X  %s\n", static_cast<unsigned>(e.kind & 0xFFFF), e.NameText()); break;
        }
    }
    if (decoded.cutShort) return Fail(grfPath + ": " + decoded.Warning());
    return 0;
}

namespace {

// Loads the level and finds the object of a record; an error text when
// either fails.
std::string LoadForRecord(const std::string& swpPath, const std::string& recordText, headless::LoadedLevel& level,
                          const Instance*& inst) {
    std::uint32_t record = 0;
    if (!ParseRecord(recordText, record)) return "RECORD must be a number";
    std::string error;
    if (!LevelExists(swpPath, error)) return error;
    level.console = nullptr;
    if (!headless::LoadLevel(swpPath, level, &error, Ground::Skip)) return error;
    inst = FindRecord(record);
    if (!inst || !inst->model) return "record " + recordText + " is no object with a model";
    return {};
}

}  // namespace

int ModelCommand(const std::string& swpPath, const std::string& recordText) {
    headless::LoadedLevel level;
    const Instance* inst = nullptr;
    if (const std::string error = LoadForRecord(swpPath, recordText, level, inst); !error.empty()) return Fail(error);
    platform::PlatformScope scope(level.platform);
    ShowInfoDialog();
    DumpModel(*inst->model);
    std::printf("%s\n", Unix(level.platform.infoText).c_str());
    return 0;
}

int InstanceCommand(const std::string& swpPath, const std::string& recordText, bool raw) {
    headless::LoadedLevel level;
    const Instance* inst = nullptr;
    if (const std::string error = LoadForRecord(swpPath, recordText, level, inst); !error.empty()) return Fail(error);
    platform::PlatformScope scope(level.platform);
    level.platform.debug.clear();
    DumpInstance(*inst);
    ShowInfoDialog();
    DumpValueTable(*inst);
    if (raw) DumpFileOffsets(*inst);
    std::printf("%s%s\n", level.platform.debug.c_str(), Unix(level.platform.infoText).c_str());
    return 0;
}

}  // namespace inspect
