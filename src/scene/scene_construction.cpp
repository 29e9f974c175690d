#include "scene/scene_construction.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diag/log.h"
#include "files/block_file.h"
#include "files/name_handle.h"
#include "files/texture_database.h"
#include "scene/level.h"
#include "scene/model_loader.h"
#include "scene/view.h"
#include "scene/scene_model.h"

namespace {

// Objects and region records each level keeps out of the height field:
// object handles (stored without bit 31) and record indices.
struct Exclusions {
    std::vector<std::uint32_t> handles;
    std::vector<std::uint32_t> records;
};
const std::array<Exclusions, 9> kLevelExclusions = {{
    {{0x6A2}, {0x19C, 0x1BD, 0x1D4, 0x1EC, 0x200}},
    {{}, {0x80, 0x372, 0x373, 0x46D, 0x5A5, 0x5D9, 0x5FC, 0x5FE, 0x624, 0x628, 0x62B}},
    {{0x1074},
     {0x238, 0x239, 0x23A, 0x23B, 0x23C, 0x23E, 0x23F, 0x240, 0x241, 0x242, 0x243, 0x244, 0x245, 0x246, 0x677,
      0x67B, 0x759, 0x76A, 0x7CA, 0x7CB, 0x9E8, 0xA0C, 0x156C, 0x156D, 0x1570, 0x156F, 0x157A, 0x157B, 0x157C,
      0x158F}},
    {{0x798, 0x79C, 0x7A0, 0x7A4, 0x7A8, 0x7AC, 0x7B0, 0x996, 0x99A},
     {0xF3, 0xF5, 0xF6, 0x967, 0x2304, 0x2305, 0x2306, 0x2307, 0x236C, 0x351E, 0x351F}},
    {{0x1A96, 0x1A9A, 0x1A9E, 0x1AA2, 0x1AA6, 0x1AAA}, {0x863, 0x887, 0x38FD}},
    {{}, {0x625, 0x754, 0x755, 0x826, 0x8DD, 0x8DF, 0x8E5, 0x9A4, 0x1002, 0x1157, 0x1279}},
    {{}, {0x1CD8}},
    {{}, {}},
    {{0x736, 0x77E, 0x782, 0x932, 0x9A8}, {0x1E9, 0x1EA, 0x1EB, 0x402, 0x2CD}},
}};
static_assert(kLevelExclusions.size() == 9, "one exclusion row per level row, plus row 0");

// The classes that decide what an object becomes; every other class
// leaves it out.
enum class ObjectClass { Other, CInstance, CAnimal, CTerrainObj, CSky, Player, CLightDirectional, CStartTrigger };

constexpr std::array<std::pair<std::string_view, ObjectClass>, 7> kClasses = {{
    {"CInstance", ObjectClass::CInstance},
    {"CAnimal", ObjectClass::CAnimal},
    {"CTerrainObj", ObjectClass::CTerrainObj},
    {"CSky", ObjectClass::CSky},
    {"Player", ObjectClass::Player},
    {"CLightDirectional", ObjectClass::CLightDirectional},
    {"CStartTrigger", ObjectClass::CStartTrigger},
}};

ObjectClass ClassOf(std::string_view text) {
    for (const auto& [name, cls] : kClasses)
        if (text == name) return cls;
    return ObjectClass::Other;
}

const char* ClassName(ObjectClass cls) {
    for (const auto& [name, c] : kClasses)
        if (c == cls) return name.data();
    return "";
}

// The property names construction asks for, resolved once per table.
struct Keys {
    explicit Keys(const ValueTable& t)
        : Class(t.Key("Class")), Diffuse(t.Key("Diffuse")), Mesh(t.Key("Mesh")), FogPower(t.Key("FogPower")),
          FogHalf(t.Key("FogHalf")), R(t.Key("R")), G(t.Key("G")), B(t.Key("B")), Visible(t.Key("Visible")),
          AlwaysFace(t.Key("AlwaysFace")), Shadow(t.Key("Shadow")), Unlit(t.Key("Unlit")), Height(t.Key("Height")),
          DeltaX(t.Key("DeltaX")), DeltaY(t.Key("DeltaY")) {}
    PropertyKey Class, Diffuse, Mesh, FogPower, FogHalf, R, G, B, Visible, AlwaysFace, Shadow, Unlit, Height, DeltaX,
        DeltaY;
};

// A fault of the file that is no box's business: the log and the debug output.
void Warning(const std::string& text) {
    LogPrintf("\nWARNING: %s", text.c_str());
    DebugPrintf("\nWARNING: %s", text.c_str());
}

void LogPlacement(std::uint32_t i, std::uint32_t count, ObjectClass cls, const RegionRecord& r) {
    DebugPrintf("\n%d of %d, class '%s'", static_cast<int>(i), static_cast<int>(count), ClassName(cls));
    DebugPrintf(" pos(%.1f %.1f %.1f) rot(%.1f %.1f %.1f) scale(%.2f)", r.position.x, r.position.y, r.position.z,
                r.rotation.x, r.rotation.y, r.rotation.z, r.scale);
}

const char* BlockName(std::uint32_t handle) {
    const BlockRecord* b = TheSceneFile().GetBlock(handle);
    const char* name = b ? b->GetName() : nullptr;
    return name ? name : "";
}

}  // namespace

RegionCounts CountRegionRecords(std::span<const std::uint8_t> block) {
    RegionCounts c;
    ReadU32(block, 0, c.stated);
    const std::size_t whole = block.size() >= 4 ? (block.size() - 4) / kRegionRecordSize : 0;
    c.held = static_cast<std::uint32_t>(std::min<std::size_t>(c.stated, whole));
    return c;
}

RegionRecord ReadRegionRecord(std::span<const std::uint8_t> block, std::uint32_t index) {
    const std::size_t at = 4 + std::size_t{index} * kRegionRecordSize;
    RegionRecord r{};
    ReadU32(block, at + 0, r.object);
    ReadU32(block, at + 4, r.name);
    ReadF32(block, at + 8, r.position.x);
    ReadF32(block, at + 12, r.position.y);
    ReadF32(block, at + 16, r.position.z);
    ReadF32(block, at + 20, r.rotation.x);
    ReadF32(block, at + 24, r.rotation.y);
    ReadF32(block, at + 28, r.rotation.z);
    ReadF32(block, at + 32, r.scale);
    ReadU32(block, at + 36, r.table);
    ReadU32(block, at + 40, r.hasTable);
    return r;
}

namespace {
// A record the block holds whole (CountRegionRecords said so), read without checks.
RegionRecord ReadHeldRecord(const std::uint8_t* r) {
    RegionRecord out;
    out.object = LoadU32(r + 0);
    out.name = LoadU32(r + 4);
    out.position = {LoadF32(r + 8), LoadF32(r + 12), LoadF32(r + 16)};
    out.rotation = {LoadF32(r + 20), LoadF32(r + 24), LoadF32(r + 28)};
    out.scale = LoadF32(r + 32);
    out.table = LoadU32(r + 36);
    out.hasTable = LoadU32(r + 40);
    return out;
}
}  // namespace

void SceneConstruction(Bounds bounds) {
    BlockFile& file = TheSceneFile();
    SceneState& scene = TheScene();
    const BlockRecord* region = file.FindBlockByName(".region");
    if (!region) return;
    const LevelQuirks& quirks = TheLevel().quirks;

    scene.HeightFieldExclusions.clear();
    const Exclusions& ex = kLevelExclusions[static_cast<std::size_t>(quirks.row)];
    for (std::uint32_t h : ex.handles) scene.HeightFieldExclusions.insert(h | 0x80000000u);
    for (std::uint32_t i : ex.records) scene.HeightFieldExclusions.insert(i);

    ValueTable& table = scene.valueTable;
    table.Clear();
    if (const BlockRecord* vt = file.FindBlockByName(".valuetable")) {
        // Objects whose tables were lost lose their class and properties:
        // the log has to say why the level came out so.
        if (const std::string cut = table.Decode(vt->bytes()).Warning(); !cut.empty()) Warning(cut);
    } else {
        DebugPrintf("\nValuetable not found");
    }

    scene.FogColor[0] = scene.FogColor[1] = scene.FogColor[2] = scene.FogColor[3] = 1.0f;
    TheMeshLoader().LoadTextures = true;
    const std::span<const std::uint8_t> bytes = region->bytes();
    // Only whole records that the block holds are visited.
    const RegionCounts counts = CountRegionRecords(bytes);
    const std::uint32_t count = counts.stated, records = counts.held;
    if (records < count)
        Warning("the .region block is cut short: it holds " + std::to_string(records) + " of its " +
                std::to_string(count) + " records");

    const Keys key(table);
    const bool swapRedBlue = quirks.fogRedBlueSwapped;
    const bool findBounds = bounds == Bounds::Find;
    for (std::uint32_t i = 0; i < records; ++i) {
        const RegionRecord r = ReadHeldRecord(bytes.data() + 4 + std::size_t{i} * kRegionRecordSize);
        ObjectClass cls = ObjectClass::CInstance;
        const char* name = file.GetSymbolName(r.name);
        const char first = name ? name[0] : '\0';
        bool skip = true;
        std::uint32_t mesh = 0xFFFFFFFFu;
        float diffuse = 1.0f;
        bool alwaysFace = false, shadow = true, unlit = false;
        // A table index that names no entry counts as no table.
        const bool hasTable = r.hasTable != 0 && r.table < table.entries.size();
        const std::uint32_t t = r.table;

        if (!hasTable) {
            skip = first == 'F';
        } else {
            // "Class" has a default, so its lookup never warns.
            const ValueEntry* classMember = table.FindMember(t, key.Class);
            cls = classMember ? ClassOf(classMember->stringValue) : ObjectClass::CInstance;
            diffuse = table.LookupFloat(t, key.Diffuse);
            skip = cls == ObjectClass::Other || cls == ObjectClass::CStartTrigger;
            if (cls == ObjectClass::CAnimal) {
                const ValueEntry* meshMember = table.FindMember(t, key.Mesh);
                if (meshMember && !meshMember->stringValue.empty())
                    mesh = file.FindBlockHandleByName(meshMember->stringValue.c_str());
            } else if (cls == ObjectClass::CStartTrigger) {
                if (table.HasKey(t, key.FogPower) && table.HasKey(t, key.FogHalf) && table.HasKey(t, key.R) &&
                    table.HasKey(t, key.G) && table.HasKey(t, key.B)) {
                    std::int32_t red = table.LookupInt(t, key.R), green = table.LookupInt(t, key.G),
                                 blue = table.LookupInt(t, key.B);
                    if (swapRedBlue) std::swap(red, blue);
                    DebugPrintf("\n%d of %d, class '%s'", static_cast<int>(i), static_cast<int>(count), ClassName(cls));
                    DebugPrintf("\n  Found fog, color: %d, %d, %d", blue, green, red);
                    const float k = static_cast<float>(0.00392156862745098);
                    scene.FogColor[0] = static_cast<float>(blue) * k;
                    scene.FogColor[1] = static_cast<float>(green) * k;
                    scene.FogColor[2] = static_cast<float>(red) * k;
                    scene.FogColor[3] = 1.0f;
                }
            } else if (cls == ObjectClass::CInstance) {
                const bool visible = table.LookupBool(t, key.Visible);
                alwaysFace = table.LookupBool(t, key.AlwaysFace);
                shadow = table.LookupBool(t, key.Shadow);
                unlit = table.LookupBool(t, key.Unlit);
                if (alwaysFace) shadow = false;
                if (!visible) skip = true;
            }
        }
        if (first == '$') skip = true;
        if (skip) continue;

        if (cls == ObjectClass::CSky) {
            LogPlacement(i, count, cls, r);
            scene.SkyTexture = LoadMeshTexture(r.object, FloatBits(diffuse));
        }
        if (cls == ObjectClass::Player) {
            LogPlacement(i, count, cls, r);
            Camera& camera = TheCamera();
            camera.position = r.position;
            camera.yaw = static_cast<float>(-(r.rotation.z * kRadToDeg));
            scene.StartCamera = camera;
            continue;
        }
        if (cls == ObjectClass::CLightDirectional) {
            LogPlacement(i, count, cls, r);
            const Vector3 direction = DrawingRotation(r.rotation) * Vector3(0, 0, 1);
            DebugPrintf("\n  direction(%.2f %.2f %.2f)", direction.x, direction.y, direction.z);
            scene.LightDirection = direction;
            continue;
        }
        if (cls == ObjectClass::CTerrainObj) {
            const std::int32_t heightKey = table.LookupInt(t, key.Height);
            const bool base = heightKey == 1;
            TextureDatabase& db = TheTextureDatabase();
            const std::int32_t saved = db.MaxTextureSize;
            db.MaxTextureSize = 128;  // ground textures are worth more texels
            Model* model = GetOrLoadModel(r.object, FloatBits(diffuse), findBounds);
            db.MaxTextureSize = saved;
            if (!model) {
                DebugPrintf("\nskipped unloadable terrain %s", BlockName(r.object));
                continue;
            }
            if (!base) {
                model->Overlay = true;
                model->Blended = true;
            }
            auto inst = std::make_unique<Instance>();
            inst->model = model;
            inst->position = r.position;
            inst->rotation = r.rotation;
            inst->scale = r.scale;
            inst->position.z = 0.0f;
            // The shared model is flattened in place; its points follow.
            bool flattened = false;
            for (Vertex& v : model->vertices) {
                flattened |= v.position.z != 0.0f || std::signbit(v.position.z);
                v.position.z = 0.0f;
            }
            if (flattened) model->PreparePoints();
            if (quirks.raisedGround) {
                inst->position.z = 43.9f;
                TheCamera().position.z = 47.0f;
            }
            inst->index = i;
            inst->name = name;
            inst->valueTable = hasTable ? t : 0xFFFFFFFFu;
            inst->loadedPosition = inst->position;
            inst->loadedRotation = inst->rotation;
            inst->UpdateBounds();
            if (base) {
                Vector3& lo = scene.TerrainMin;
                Vector3& hi = scene.TerrainMax;
                lo = {std::min(lo.x, inst->boxMin.x), std::min(lo.y, inst->boxMin.y), std::min(lo.z, inst->boxMin.z)};
                hi = {std::max(hi.x, inst->boxMax.x), std::max(hi.y, inst->boxMax.y), std::max(hi.z, inst->boxMax.z)};
            }
            std::int32_t key = heightKey;
            if (quirks.raisedTestObjects && (r.object & 0xFFFFFF) == 1734) key += 5;
            scene.TerrainObjectsByHeight[key].push_back(std::move(inst));
            continue;
        }
        // CInstance, CAnimal and CSky become ordinary instances.
        const std::uint32_t handle = mesh != 0xFFFFFFFFu ? mesh : r.object;
        Model* model = GetOrLoadModel(handle, FloatBits(diffuse), findBounds);
        if (!model) {
            DebugPrintf("\nskipped unloadable geometry %s", BlockName(r.object));
            continue;
        }
        if (model->materials.size() == 1 && model->materials[0].invisible) continue;
        auto inst = std::make_unique<Instance>();
        inst->model = model;
        inst->position = r.position;
        inst->rotation = r.rotation;
        inst->scale = r.scale;
        inst->AlwaysFace = alwaysFace;
        inst->Shadow = shadow;
        inst->Unlit = unlit;
        inst->index = i;
        inst->name = name;
        inst->valueTable = hasTable ? t : 0xFFFFFFFFu;
        inst->loadedPosition = inst->position;
        inst->loadedRotation = inst->rotation;
        if (findBounds) inst->UpdateBounds();
        if (scene.HeightFieldExclusions.count(model->handle) || scene.HeightFieldExclusions.count(i))
            inst->ExcludeFromHeightField = true;
        if (hasTable && table.HasKey(t, key.DeltaX) && table.HasKey(t, key.DeltaY)) {
            model->ScrollX = static_cast<float>(table.LookupInt(t, key.DeltaX));
            model->ScrollY = static_cast<float>(table.LookupInt(t, key.DeltaY));
            model->ScrollingTexture = true;
        }
        scene.InstanceList.push_back(std::move(inst));
    }
}
