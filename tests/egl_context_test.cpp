// A real headless GL context through EGL (Mesa here), and the extension
// loader running on it.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "glh/glh_extensions.h"
#include "platform/egl/egl_context.h"
#include "platform/scripted_platform.h"

namespace {

using platform::EglContext;
using platform::EglDrawable;
using platform::EglOptions;
using platform::EglPlatform;

struct Rgba { int r, g, b, a; };

Rgba PixelAt(const std::vector<std::uint8_t>& pixels, int width, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
    return {pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]};
}

void ExpectPixel(const Rgba& got, const Rgba& want, const char* where) {
    for (int Rgba::*c : {&Rgba::r, &Rgba::g, &Rgba::b, &Rgba::a}) EXPECT_NEAR(got.*c, want.*c, 1) << where;
}

// Creates the context or says why the test cannot run: only a missing EGL
// display skips; anything failing after that is an error.
#define CREATE_OR_SKIP(context, ...)                                                              \
    do {                                                                                          \
        if (!(context).Create(__VA_ARGS__)) {                                                     \
            if (!(context).FoundDisplay()) GTEST_SKIP() << "no EGL display: " << (context).Reason(); \
            FAIL() << "EGL context creation failed: " << (context).Reason();                     \
        }                                                                                         \
    } while (0)

// Every way to a context: a pbuffer where the driver offers one, else a
// framebuffer object without any surface, on the default or the device
// platform. A path without a display is skipped; any other failure fails.
TEST(EglContextTest, EveryPathGivesAnRgba8DepthDrawableThatReadsBackBottomRowFirst) {
    const struct { const char* label; EglOptions options; } paths[] = {
        {"automatic", {EglPlatform::Automatic, true}},
        {"surfaceless framebuffer", {EglPlatform::Surfaceless, false}},
        {"device platform", {EglPlatform::Device, true}}};
    int ran = 0;
    for (const auto& path : paths) {
        SCOPED_TRACE(path.label);
        EglContext context;
        if (!context.Create(800, 600, path.options)) {
            ASSERT_FALSE(context.FoundDisplay()) << "EGL context creation failed: " << context.Reason();
            std::printf("[ info     ] %s: no EGL display: %s\n", path.label, context.Reason().c_str());
            continue;
        }
        ++ran;
        std::printf("[ info     ] %s: %s platform, %s; GL_VERSION %s; GL_RENDERER %s\n", path.label,
                    context.PlatformName().c_str(), context.KindName(), glGetString(GL_VERSION),
                    glGetString(GL_RENDERER));
        if (!path.options.allowPbuffer) {
            EXPECT_EQ(context.Kind(), EglDrawable::SurfacelessFramebuffer);
        }
        GLint bits[5] = {}, viewport[4] = {};
        const GLenum names[5] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS};
        for (int k = 0; k < 5; ++k) glGetIntegerv(names[k], &bits[k]);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(std::vector<GLint>(bits, bits + 4), (std::vector<GLint>{8, 8, 8, 8}));
        EXPECT_GE(bits[4], 16);
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 800, 600}));

        glClearColor(0.2f, 0.4f, 0.6f, 0.5f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        // A red triangle over the lower-left half, near the viewer, then a
        // green quad over the right half behind it: only the part the
        // triangle leaves free may show.
        glColor3f(1, 0, 0);
        glBegin(GL_TRIANGLES);
        for (const auto& [x, y] : {std::pair{-1, -1}, {1, -1}, {-1, 1}}) glVertex3f(x, y, -0.5f);
        glEnd();
        glColor3f(0, 1, 0);
        glBegin(GL_QUADS);
        for (const auto& [x, y] : {std::pair{0, -1}, {1, -1}, {1, 1}, {0, 1}}) glVertex3f(x, y, 0.5f);
        glEnd();
        glFinish();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

        const std::vector<std::uint8_t> pixels = context.ReadPixels(0, 0, 800, 600);
        ASSERT_EQ(pixels.size(), 800u * 600u * 4u);
        const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, clear{51, 102, 153, 128};
        // Row 0 is the bottom: (100, 50) lies in the triangle, (100, 550) above it.
        ExpectPixel(PixelAt(pixels, 800, 100, 50), red, "bottom left");
        ExpectPixel(PixelAt(pixels, 800, 100, 550), clear, "top left");
        ExpectPixel(PixelAt(pixels, 800, 500, 50), red, "bottom right, triangle in front of the quad");
        ExpectPixel(PixelAt(pixels, 800, 700, 550), green, "top right");
        // A sub-rectangle comes back with the same bytes.
        const std::vector<std::uint8_t> part = context.ReadPixels(96, 48, 8, 4);
        ASSERT_EQ(part.size(), 8u * 4u * 4u);
        ExpectPixel(PixelAt(part, 8, 4, 2), red, "sub-rectangle");
    }
    if (ran == 0) GTEST_SKIP() << "no EGL display";
}

TEST(EglContextTest, ContextsOfOtherSizesComeAndGoWithoutDisturbingEachOther) {
    EglContext context;
    EXPECT_FALSE(context.Create(0, 600));
    EXPECT_FALSE(context.Reason().empty());
    EXPECT_EQ(context.Kind(), EglDrawable::None);

    CREATE_OR_SKIP(context, 128, 96);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport + 2, viewport + 4), (std::vector<GLint>{128, 96}));
    EXPECT_EQ(context.Width(), 128);
    context.Destroy();
    EXPECT_EQ(context.Kind(), EglDrawable::None);
    EXPECT_TRUE(context.ReadPixels(0, 0, 1, 1).empty());

    // Destroyed while current, the first leaves the second on the same
    // display working.
    EglContext first, second;
    CREATE_OR_SKIP(first, 32, 32);
    CREATE_OR_SKIP(second, 32, 32);
    ASSERT_TRUE(first.MakeCurrent());
    first.Destroy();
    ASSERT_TRUE(second.MakeCurrent());
    glClearColor(1, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ExpectPixel(PixelAt(second.ReadPixels(0, 0, 32, 32), 32, 5, 5), {255, 255, 0, 255}, "second context");
}

// The extension loader on the real driver.
class RealLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CREATE_OR_SKIP(context);
        pf.procAddress = EglContext::ProcAddress;
        pf.windowSystemExtensions = context.Extensions();
        ResetExtensions();
    }
    void TearDown() override { ResetExtensions(); }

    EglContext context;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(RealLoaderTest, TheProgramsRequestsOnThisDriverAndTheirPointersReachIt) {
    ASSERT_TRUE(InitExtensions(" GL_ARB_multitexture ")) << UnsupportedExtensions();
    EXPECT_STREQ(UnsupportedExtensions(), "");
    EXPECT_NE(std::string(SupportedExtensions()).find(context.Extensions()), std::string::npos);

    glh::glActiveTextureARB(GL_TEXTURE1_ARB);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE1_ARB);
    const GLfloat coords[2] = {0.25f, 0.75f};
    glh::glMultiTexCoord2fvARB(GL_TEXTURE1_ARB, coords);
    GLfloat current[4] = {};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current);
    EXPECT_FLOAT_EQ(current[0], 0.25f);
    EXPECT_FLOAT_EQ(current[1], 0.75f);
    glh::glActiveTextureARB(GL_TEXTURE0_ARB);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A compatibility-profile GL with framebuffer objects has all of these.
    EXPECT_TRUE(InitExtensions(" GL_EXT_texture_env_combine GL_ARB_multitexture "));
    EXPECT_TRUE(InitExtensions(" WGL_ARB_pbuffer  WGL_ARB_pixel_format ")) << UnsupportedExtensions();
    // Never known to the table, whatever the driver lists.
    EXPECT_FALSE(InitExtensions(" GL_EXT_texture_compression "));

    if (InitExtensions(" GL_EXT_blend_color ")) {
        glh::glBlendColorEXT(0.25f, 0.5f, 0.75f, 1.0f);
        GLfloat colour[4] = {};
        glGetFloatv(GL_BLEND_COLOR_EXT, colour);
        EXPECT_FLOAT_EQ(colour[1], 0.5f);
    }
}

}  // namespace
