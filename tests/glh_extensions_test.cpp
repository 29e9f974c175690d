// The extension loader against a scripted driver: GL_EXTENSIONS and
// GL_VERSION come from the test, entry points from the scripted platform's
// lookup, which hands out a distinct address per name (never called).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "glh/glh_extensions.h"
#include "platform/scripted_platform.h"

// Allocation failure on demand, for the out-of-memory exits: every request
// of at least this many bytes throws.
namespace {
std::size_t failAllocationsFrom = std::numeric_limits<std::size_t>::max();
}  // namespace

// GCC sees the malloc/free pair through the replaced operators and
// mistakes it for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (size >= failAllocationsFrom) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

void* PointerValue(const ExtensionEntryPoint& entry) {
    void* value = nullptr;
    std::memcpy(&value, entry.pointer, sizeof value);
    return value;
}

template <typename Fn>
void* AsVoid(Fn fn) {
    void* value = nullptr;
    std::memcpy(&value, &fn, sizeof value);
    return value;
}

const KnownExtension& Known(const std::string& name) {
    for (const KnownExtension& k : KnownExtensions())
        if (name == k.name) return k;
    ADD_FAILURE() << name << " is not in the table";
    static const KnownExtension none{"", {}};
    return none;
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetExtensions();
        SetGlStringSource([this](GLenum name) -> const char* {
            ++stringReads[name];
            if (name == GL_EXTENSIONS) return glExtensions.c_str();
            if (name == GL_VERSION) return glVersion.c_str();
            return nullptr;
        });
        pf.procAddress = [this](const char* name) -> void* {
            lookups.push_back(name);
            if (missing.count(name)) return nullptr;
            return Address(name);
        };
    }
    void TearDown() override {
        SetGlStringSource({});
        ResetExtensions();
    }

    // The address the driver gives a name in the current generation.
    void* Address(const std::string& name) { return &cells[generation][name]; }

    std::string glExtensions;
    std::string glVersion = "1.2.1";
    std::set<std::string> missing;
    std::vector<std::string> lookups;
    std::map<GLenum, int> stringReads;
    int generation = 0;
    std::map<int, std::map<std::string, char>> cells;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(LoaderTest, RequestsSplitOnBlanksAndReportTheirFailuresInRequestOrder) {
    // Nothing is listed, so every name of a request fails and is reported.
    const struct { const char* request; bool result; const char* unsupported; } cases[] = {
        {" WGL_ARB_pbuffer  WGL_ARB_pixel_format ", false, "WGL_ARB_pbuffer WGL_ARB_pixel_format "},
        {"\tGL_EXT_abgr\n\nGL_EXT_bgra", false, "GL_EXT_abgr GL_EXT_bgra "},
        {" \t\n ", true, ""},
        {nullptr, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request ? c.request : "(null)");
        EXPECT_EQ(InitExtensions(c.request), c.result);
        EXPECT_STREQ(UnsupportedExtensions(), c.unsupported);
    }
    EXPECT_TRUE(lookups.empty());

    // Two failing names among listed ones; the next call starts afresh.
    ResetExtensions();
    glExtensions = "GL_ARB_multitexture GL_EXT_bgra";
    EXPECT_FALSE(InitExtensions(" GL_EXT_blend_color GL_ARB_multitexture GL_EXT_abgr GL_EXT_bgra "));
    EXPECT_STREQ(UnsupportedExtensions(), "GL_EXT_blend_color GL_EXT_abgr ");

    EXPECT_TRUE(InitExtensions(" GL_EXT_bgra "));
    EXPECT_STREQ(UnsupportedExtensions(), "");
    EXPECT_FALSE(InitExtensions("GL_EXT_abgr"));
    EXPECT_STREQ(UnsupportedExtensions(), "GL_EXT_abgr ");

    // A listed name the table does not know is unsupported.
    ResetExtensions();
    lookups.clear();
    glExtensions = "GL_ARB_texture_compression GL_EXT_texture_compression";
    EXPECT_TRUE(IsExtensionListed("GL_EXT_texture_compression"));
    EXPECT_FALSE(InitExtension("GL_EXT_texture_compression"));
    EXPECT_FALSE(InitExtensions(" GL_EXT_texture_compression "));
    EXPECT_STREQ(UnsupportedExtensions(), "GL_EXT_texture_compression ");
    EXPECT_TRUE(lookups.empty());
    EXPECT_FALSE(InitExtension(""));
    EXPECT_FALSE(InitExtension(nullptr));
}

// GL_VERSION_1_2 is listed by the version string alone, whatever the
// extension strings say.
TEST_F(LoaderTest, NamesAreFoundByAPlainSearchForTheNameAndASpace) {
    const struct {
        const char *glExtensions, *windowSystem, *name;
        bool listed;
        const char* version = "1.2.1";
    } cases[] = {
        // A name that ends another listed name matches too.
        {"GL_XYZ_GL_EXT_blend_color ", "", "GL_EXT_blend_color", true},
        {"GL_EXT_blend_colorful ", "", "GL_EXT_blend_color", false},
        // The space after the GL string comes from the loader.
        {"GL_EXT_abgr GL_EXT_bgra", "", "GL_EXT_bgra", true},
        {"", "GL_EXT_abgr", "GL_EXT_abgr", true},
        {"GL_EXT_abgr", "", "GL_EXT_ab", false},
        {"GL_EXT_abgr", "", "", false},
        {"GL_VERSION_1_2 ", "", "GL_VERSION_1_2", false, "1.0"},
        {"GL_VERSION_1_2 ", "", "GL_VERSION_1_2", false, "1.1 Mesa 3.0"},
        {"", "", "GL_VERSION_1_2", true, "1.2"},
        {"", "", "GL_VERSION_1_2", true, "2.1 Mesa 22.3.6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.glExtensions) + " | " + c.windowSystem + " : " + c.name + " @ " + c.version);
        ResetExtensions();
        glExtensions = c.glExtensions;
        pf.windowSystemExtensions = c.windowSystem;
        glVersion = c.version;
        EXPECT_EQ(IsExtensionListed(c.name), c.listed);
        if (*c.name) {
            EXPECT_EQ(InitExtensions((std::string(" ") + c.name + " ").c_str()), c.listed);
        }
    }
    EXPECT_EQ(AsVoid(glh::glBlendColor), Address("glBlendColor"));
    EXPECT_EQ(AsVoid(glh::glCopyTexSubImage3D), Address("glCopyTexSubImage3D"));
    ResetExtensions();
    glExtensions = "GL_XYZ_GL_EXT_blend_color ";
    EXPECT_TRUE(InitExtensions(" GL_EXT_blend_color "));
    EXPECT_EQ(AsVoid(glh::glBlendColorEXT), Address("glBlendColorEXT"));
}

TEST_F(LoaderTest, SupportedExtensionsJoinTheGlAndWindowSystemStringsAndAreReadOnce) {
    glExtensions = "GL_EXT_abgr GL_EXT_bgra";
    pf.windowSystemExtensions = "EGL_KHR_image_base EGL_KHR_surfaceless_context";
    EXPECT_STREQ(SupportedExtensions(), "");
    EXPECT_TRUE(InitExtensions(" GL_EXT_bgra "));
    EXPECT_STREQ(SupportedExtensions(), "GL_EXT_abgr GL_EXT_bgra EGL_KHR_image_base EGL_KHR_surfaceless_context ");
    EXPECT_TRUE(IsExtensionListed("EGL_KHR_image_base"));

    // A later context is assumed to offer the same.
    glExtensions = "GL_EXT_packed_pixels";
    EXPECT_FALSE(InitExtensions(" GL_EXT_packed_pixels "));
    EXPECT_TRUE(InitExtensions(" GL_EXT_abgr "));
    EXPECT_EQ(stringReads[GL_EXTENSIONS], 1);

    ResetExtensions();
    pf.windowSystemExtensions.clear();
    EXPECT_TRUE(InitExtensions(" GL_EXT_packed_pixels "));
    EXPECT_STREQ(SupportedExtensions(), "GL_EXT_packed_pixels  ");
    EXPECT_EQ(stringReads[GL_EXTENSIONS], 2);
}

TEST_F(LoaderTest, AnUnresolvedEntryPointFailsTheNameAndKeepsWhatWasResolvedBeforeIt) {
    glExtensions = "GL_ARB_texture_compression";
    ASSERT_TRUE(InitExtensions(" GL_ARB_texture_compression "));
    const auto entries = Known("GL_ARB_texture_compression").entryPoints;
    const std::vector<std::string> names = lookups;  // looked up in the table's order
    ASSERT_EQ(names.size(), entries.size());
    ASSERT_GE(names.size(), 5u);

    // A second driver generation that lacks the fourth entry point.
    generation = 1;
    lookups.clear();
    missing = {names[3]};
    EXPECT_FALSE(InitExtensions(" GL_ARB_texture_compression "));
    EXPECT_STREQ(UnsupportedExtensions(), "GL_ARB_texture_compression ");
    EXPECT_EQ(lookups, std::vector<std::string>(names.begin(), names.begin() + 4));

    // Before the gap: the new generation; the gap: null; after it: the old.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].name);
        EXPECT_EQ(names[i], entries[i].name);
        void* const expected = i < 3 ? &cells[1][names[i]] : i == 3 ? nullptr : &cells[0][names[i]];
        EXPECT_EQ(PointerValue(entries[i]), expected);
    }
}

TEST_F(LoaderTest, NamesWithoutEntryPointsNeedNoLookupAndEveryEntryPointLandsInItsOwnPointer) {
    std::string bare, request;
    for (const KnownExtension& k : KnownExtensions()) {
        glExtensions += std::string(k.name) + " ";
        (k.entryPoints.empty() ? bare : request) += std::string(" ") + k.name;
    }
    glExtensions += "GL_ARB_framebuffer_object";
    ASSERT_FALSE(bare.empty());
    EXPECT_TRUE(InitExtensions(bare.c_str())) << UnsupportedExtensions();
    EXPECT_TRUE(lookups.empty());
    ASSERT_TRUE(InitExtensions(request.c_str())) << UnsupportedExtensions();

    std::set<void*> pointers;
    std::set<std::string> names;
    std::size_t total = 0;
    for (const KnownExtension& k : KnownExtensions())
        for (const ExtensionEntryPoint& e : k.entryPoints) {
            SCOPED_TRACE(e.name);
            EXPECT_EQ(PointerValue(e), Address(e.name));
            pointers.insert(e.pointer);
            names.insert(e.name);
            ++total;
        }
    EXPECT_EQ(pointers.size(), total);
    EXPECT_EQ(names.size(), total);
    EXPECT_EQ(lookups.size(), total);
}

TEST_F(LoaderTest, ThePixelBufferPairIsAnsweredByFramebufferObjectsAndFailsByHalves) {
    const struct { const char *glExtensions, *windowSystem, *version; bool listed; const char* suffix; } cases[] = {
        {"GL_ARB_framebuffer_object", "", "2.1", true, ""},
        {"GL_EXT_framebuffer_object", "", "2.1", true, "EXT"},
        {"GL_ARB_framebuffer_object GL_EXT_framebuffer_object", "", "2.1", true, ""},
        {"", "GL_EXT_framebuffer_object", "2.1", true, "EXT"},
        {"", "", "3.0 Mesa 22.3.6", true, ""},
        {"", "", "10.1", true, ""},
        {"GL_EXT_framebuffer_object", "", "4.6 (Compatibility Profile)", true, ""},
        {"", "", "2.1", false, ""},
        {"WGL_ARB_pbuffer WGL_ARB_pixel_format", "WGL_ARB_pbuffer WGL_ARB_pixel_format", "1.5", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.glExtensions) + " | " + c.windowSystem + " | " + c.version);
        ResetExtensions();
        lookups.clear();
        glExtensions = c.glExtensions;
        pf.windowSystemExtensions = c.windowSystem;
        glVersion = c.version;
        EXPECT_EQ(InitExtensions(" WGL_ARB_pbuffer  WGL_ARB_pixel_format "), c.listed);
        if (!c.listed) {
            EXPECT_STREQ(UnsupportedExtensions(), "WGL_ARB_pbuffer WGL_ARB_pixel_format ");
            EXPECT_TRUE(lookups.empty());
            continue;
        }
        // Both halves' calls, all under the one suffix.
        ASSERT_GE(lookups.size(), 10u);
        for (const std::string& name : lookups) EXPECT_EQ(name.ends_with("EXT"), *c.suffix != 0) << name;
        EXPECT_EQ(AsVoid(glh::glGenFramebuffers), Address(std::string("glGenFramebuffers") + c.suffix));
        EXPECT_EQ(AsVoid(glh::glDeleteRenderbuffers), Address(std::string("glDeleteRenderbuffers") + c.suffix));
    }
    // A missing call fails only its half of the pair.
    ResetExtensions();
    glExtensions = "GL_EXT_framebuffer_object";
    glVersion = "2.1";
    missing = {"glRenderbufferStorageEXT"};
    EXPECT_FALSE(InitExtensions(" WGL_ARB_pbuffer  WGL_ARB_pixel_format "));
    EXPECT_STREQ(UnsupportedExtensions(), "WGL_ARB_pixel_format ");
}

using LoaderDeathTest = LoaderTest;

// exit(-1) as each system reports it: the low byte on Linux, all of it on Windows.
#ifdef _WIN32
constexpr int kExitMinusOne = -1;
#else
constexpr int kExitMinusOne = 255;
#endif

// Out of memory for the extension strings or for the request: the process
// ends with the message on standard output.
TEST_F(LoaderDeathTest, NoMemoryEndsTheProcess) {
    const auto outOfMemory = [](const char* request) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        failAllocationsFrom = 3000;
        InitExtensions(request);
    };
    glExtensions = std::string(4000, 'x');
    EXPECT_EXIT(outOfMemory(" GL_EXT_abgr "), ::testing::ExitedWithCode(kExitMinusOne),
                "Error allocating memory in file glh_extensions, line 101\n");
    glExtensions = "GL_EXT_abgr";
    ASSERT_TRUE(InitExtensions(" GL_EXT_abgr "));
    const std::string request = " GL_EXT_abgr" + std::string(4000, ' ');
    EXPECT_EXIT(outOfMemory(request.c_str()), ::testing::ExitedWithCode(kExitMinusOne),
                "Error allocating memory in file glh_extensions, line 120\n");
}

}  // namespace
