#include "glh/glh_extensions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>

#include "diag/state_registry.h"
#include "platform/platform.h"

namespace glh {
#define GLH_DEFINE_POINTER(type, name) type name = nullptr;
GLH_ALL_ENTRY_POINTS(GLH_DEFINE_POINTER)
#undef GLH_DEFINE_POINTER
}  // namespace glh

// Resolved addresses are stored into the typed pointers through their
// object representation, as dlsym users do.
static_assert(sizeof(void*) == sizeof(void (*)()), "function and object pointers must have one size");

namespace {

#define GLH_TABLE_ENTRY(type, name) ExtensionEntryPoint{#name, &glh::name},

constexpr ExtensionEntryPoint kArbMultitexture[] = {GLH_ARB_MULTITEXTURE(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kArbTextureCompression[] = {GLH_ARB_TEXTURE_COMPRESSION(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kArbTransposeMatrix[] = {GLH_ARB_TRANSPOSE_MATRIX(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtBlendColor[] = {GLH_EXT_BLEND_COLOR(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtBlendMinmax[] = {GLH_EXT_BLEND_MINMAX(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtCompiledVertexArray[] = {GLH_EXT_COMPILED_VERTEX_ARRAY(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtFogCoord[] = {GLH_EXT_FOG_COORD(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtPalettedTexture[] = {GLH_EXT_PALETTED_TEXTURE(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtPointParameters[] = {GLH_EXT_POINT_PARAMETERS(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtSecondaryColor[] = {GLH_EXT_SECONDARY_COLOR(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtTextureObject[] = {GLH_EXT_TEXTURE_OBJECT(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtTexture3D[] = {GLH_EXT_TEXTURE3D(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtVertexArray[] = {GLH_EXT_VERTEX_ARRAY(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kExtVertexWeighting[] = {GLH_EXT_VERTEX_WEIGHTING(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvEvaluators[] = {GLH_NV_EVALUATORS(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvFence[] = {GLH_NV_FENCE(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvRegisterCombiners[] = {GLH_NV_REGISTER_COMBINERS(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvRegisterCombiners2[] = {GLH_NV_REGISTER_COMBINERS2(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvVertexArrayRange[] = {GLH_NV_VERTEX_ARRAY_RANGE(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kNvVertexProgram[] = {GLH_NV_VERTEX_PROGRAM(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kVersion12[] = {GLH_VERSION_1_2(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kWinSwapHint[] = {GLH_WIN_SWAP_HINT(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kFramebufferTarget[] = {GLH_FRAMEBUFFER_TARGET(GLH_TABLE_ENTRY)};
constexpr ExtensionEntryPoint kFramebufferStorage[] = {GLH_FRAMEBUFFER_STORAGE(GLH_TABLE_ENTRY)};

#undef GLH_TABLE_ENTRY

// Every name the loader knows, in the original order. A name without entry
// points needs only to be listed by the driver.
//
// There is no WGL on this system: WGL_ARB_pbuffer and WGL_ARB_pixel_format
// stand for the off-screen buffer, which here is a framebuffer object in the
// window's own context (being the same context, it shares every texture).
// Those two names count as listed when GL_ARB_framebuffer_object or
// GL_EXT_framebuffer_object is listed or the GL version is 3.0 or later, and
// load the framebuffer-object entry points instead of the WGL ones.
constexpr KnownExtension kKnownExtensions[] = {
    {"GL_ARB_texture_env_dot3", {}},
    {"GL_EXT_texture_env_dot3", {}},
    {"GL_ARB_multitexture", kArbMultitexture},
    {"GL_ARB_texture_border_clamp", {}},
    {"GL_ARB_texture_compression", kArbTextureCompression},
    {"GL_ARB_texture_cube_map", {}},
    {"GL_ARB_transpose_matrix", kArbTransposeMatrix},
    {"GL_EXT_abgr", {}},
    {"GL_EXT_bgra", {}},
    {"GL_EXT_blend_color", kExtBlendColor},
    {"GL_EXT_blend_minmax", kExtBlendMinmax},
    {"GL_EXT_blend_subtract", {}},
    {"GL_EXT_compiled_vertex_array", kExtCompiledVertexArray},
    {"GL_EXT_fog_coord", kExtFogCoord},
    {"GL_EXT_packed_pixels", {}},
    {"GL_EXT_paletted_texture", kExtPalettedTexture},
    {"GL_EXT_point_parameters", kExtPointParameters},
    {"GL_EXT_rescale_normal", {}},
    {"GL_EXT_secondary_color", kExtSecondaryColor},
    {"GL_EXT_separate_specular_color", {}},
    {"GL_EXT_shared_texture_palette", {}},
    {"GL_EXT_stencil_wrap", {}},
    {"GL_EXT_texture_env_add", {}},
    {"GL_EXT_texture_env_combine", {}},
    {"GL_EXT_texture_filter_anisotropic", {}},
    {"GL_EXT_texture_lod_bias", {}},
    {"GL_EXT_texture_object", kExtTextureObject},
    {"GL_EXT_texture3D", kExtTexture3D},
    {"GL_EXT_vertex_array", kExtVertexArray},
    {"GL_EXT_vertex_weighting", kExtVertexWeighting},
    {"GL_NV_blend_square", {}},
    {"GL_NV_evaluators", kNvEvaluators},
    {"GL_NV_fence", kNvFence},
    {"GL_NV_fog_distance", {}},
    {"GL_NV_packed_depth_stencil", {}},
    {"GL_NV_register_combiners", kNvRegisterCombiners},
    {"GL_NV_register_combiners2", kNvRegisterCombiners2},
    {"GL_NV_texgen_reflection", {}},
    {"GL_NV_texture_env_combine4", {}},
    {"GL_NV_texture_rectangle", {}},
    {"GL_NV_texture_shader", {}},
    {"GL_NV_vertex_array_range", kNvVertexArrayRange},
    {"GL_NV_vertex_program", kNvVertexProgram},
    {"GL_SGIS_generate_mipmap", {}},
    {"GL_SGIS_texture_lod", {}},
    {"GL_SGIX_depth_texture", {}},
    {"GL_SGIX_shadow", {}},
    {"GL_VERSION_1_2", kVersion12},
    {"GL_WIN_swap_hint", kWinSwapHint},
    {"WGL_ARB_pbuffer", kFramebufferTarget, true},
    {"WGL_ARB_pixel_format", kFramebufferStorage, true},
};
static_assert(std::size(kKnownExtensions) == 51, "the loader knows exactly 51 names");

// Owned here for the run: the extension strings, read once, and the report
// of the latest request. Written by InitExtensions (GL set-up, the
// off-screen set-up), read by the report calls; the process reset clears it.
struct LoaderState {
    bool built = false;
    std::string supported;
    std::string unsupported;
    GlStringSource glStrings;
};

LoaderState& State() {
    static LoaderState state;
    return state;
}

[[noreturn]] void OutOfMemory(int line) {
    std::printf("Error allocating memory in file %s, line %d\n", "glh_extensions", line);
    std::exit(-1);
}

const char* GlString(GLenum name) {
    const LoaderState& s = State();
    const char* text = s.glStrings ? s.glStrings(name) : reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

void BuildSupported() {
    LoaderState& s = State();
    try {
        const char* gl = GlString(GL_EXTENSIONS);
        const std::string windowSystem = platform::Current().WindowSystemExtensions();
        std::string text;
        text.reserve(std::strlen(gl) + windowSystem.size() + 2);
        text += gl;
        text += ' ';
        text += windowSystem;
        text += ' ';
        s.supported = std::move(text);
    } catch (const std::bad_alloc&) {
        OutOfMemory(101);
    }
    s.built = true;
}

// The plain substring search of "name ": a listed name that merely ends
// with the one asked for matches too, as it always has.
bool ListedInStrings(std::string_view name) {
    const std::string& text = State().supported;
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
        if (at + name.size() < text.size() && text[at + name.size()] == ' ') return true;
    return false;
}

int GlMajorVersion() {
    int major = 0;
    for (const char* p = GlString(GL_VERSION); *p >= '0' && *p <= '9'; ++p) major = major * 10 + (*p - '0');
    return major;
}

// Framebuffer objects without a suffix: core since 3.0, or the ARB extension.
bool CoreFramebufferObjects() {
    return ListedInStrings("GL_ARB_framebuffer_object") || GlMajorVersion() >= 3;
}

const KnownExtension* FindKnown(std::string_view name) {
    for (const KnownExtension& known : kKnownExtensions)
        if (name == known.name) return &known;
    return nullptr;
}

void* Resolve(const ExtensionEntryPoint& entry, bool extSuffix) {
    if (!extSuffix) return platform::Current().GlProcAddress(entry.name);
    char name[96];
    std::snprintf(name, sizeof name, "%sEXT", entry.name);
    return platform::Current().GlProcAddress(name);
}

}  // namespace

std::span<const KnownExtension> KnownExtensions() { return kKnownExtensions; }

void SetGlStringSource(GlStringSource source) { State().glStrings = std::move(source); }

const char* SupportedExtensions() { return State().supported.c_str(); }

const char* UnsupportedExtensions() { return State().unsupported.c_str(); }

void ResetExtensions() {
    LoaderState& s = State();
    s.built = false;
    s.supported.clear();
    s.unsupported.clear();
}

bool IsExtensionListed(const char* name) {
    if (!name || !*name) return false;
    if (!State().built) BuildSupported();
    const std::string_view wanted(name);
    if (wanted == "GL_VERSION_1_2") {
        const std::string_view version = GlString(GL_VERSION);
        return !version.starts_with("1.0") && !version.starts_with("1.1");
    }
    const KnownExtension* known = FindKnown(wanted);
    if (known && known->framebufferStandIn)
        return CoreFramebufferObjects() || ListedInStrings("GL_EXT_framebuffer_object");
    return ListedInStrings(wanted);
}

bool InitExtension(const char* name) {
    if (!name || !*name) return false;
    const KnownExtension* known = FindKnown(name);
    if (!known) return false;
    const bool extSuffix = known->framebufferStandIn && !CoreFramebufferObjects();
    for (const ExtensionEntryPoint& entry : known->entryPoints) {
        void* address = Resolve(entry, extSuffix);
        std::memcpy(entry.pointer, &address, sizeof address);
        if (!address) return false;
    }
    return true;
}

bool InitExtensions(const char* request) {
    LoaderState& s = State();
    if (!s.built) BuildSupported();

    // Names are cut out of a private copy in place; the report can never
    // outgrow the request plus one space, so it is sized once here.
    std::string names;
    try {
        names = request ? request : "";
        s.unsupported.reserve(names.size() + 1);
    } catch (const std::bad_alloc&) {
        OutOfMemory(120);
    }
    s.unsupported.clear();

    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    bool result = true;
    std::size_t at = 0;
    while (at < names.size()) {
        while (at < names.size() && blank(names[at])) ++at;
        if (at == names.size()) break;
        std::size_t end = at;
        while (end < names.size() && !blank(names[end])) ++end;
        if (end < names.size()) names[end] = '\0';
        const char* name = names.c_str() + at;
        if (!IsExtensionListed(name) || !InitExtension(name)) {
            s.unsupported.append(name, end - at);
            s.unsupported += ' ';
            result = false;
        }
        at = end + 1;
    }
    return result;
}

namespace {
const StateReset kExtensionsReset{"extensions", StateLayer::Base, StateScope::Process, &ResetExtensions};
}  // namespace
