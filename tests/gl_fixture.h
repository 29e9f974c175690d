// A headless GL context with the scripted platform, for drawing tests that
// read pixels back.
#pragma once

#include <gtest/gtest.h>

#include "glh/gl.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "level/load_sequence.h"
#include "files/texture_database.h"
#include "diag/state_registry.h"
#include "glh/glh_extensions.h"
#include "math/camera.h"
#include "platform/headless_gl.h"
#include "platform/scripted_platform.h"
#include "render/frame.h"
#include "render/gl_setup.h"
#include "render/view_setup.h"
#include "scene/level.h"
#include "scene/model_draw.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "writer/texture_writer.h"

// What a pass that draws off-screen must leave as it found it: the
// framebuffer, the viewport, the matrices and their stacks, and the switches
// and settings the frame relies on.
struct GlState {
    GLint framebuffer = 0, viewport[4] = {}, matrixMode = 0, depths[3] = {}, depthFunc = 0, blend[2] = {};
    GLfloat modelview[16] = {}, projection[16] = {}, clear[4] = {};
    GLboolean enabled[10] = {}, colourMask[4] = {}, depthMask = 0;

    static GlState Now() {
        GlState s;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &s.framebuffer);
        glGetIntegerv(GL_VIEWPORT, s.viewport);
        glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
        const GLenum stacks[3] = {GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH};
        for (int k = 0; k < 3; ++k) glGetIntegerv(stacks[k], &s.depths[k]);
        glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
        glGetIntegerv(GL_BLEND_SRC, &s.blend[0]);
        glGetIntegerv(GL_BLEND_DST, &s.blend[1]);
        glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
        glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clear);
        const GLenum caps[10] = {GL_LIGHTING,  GL_DEPTH_TEST,    GL_FOG,           GL_BLEND,      GL_CULL_FACE,
                                 GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_ALPHA_TEST, GL_LIGHT1};
        for (int k = 0; k < 10; ++k) s.enabled[k] = glIsEnabled(caps[k]);
        glGetBooleanv(GL_COLOR_WRITEMASK, s.colourMask);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
        return s;
    }
    bool operator==(const GlState& o) const {
        auto same = [](const auto& a, const auto& b) { return std::equal(std::begin(a), std::end(a), std::begin(b)); };
        return framebuffer == o.framebuffer && same(viewport, o.viewport) && matrixMode == o.matrixMode &&
               same(depths, o.depths) && depthFunc == o.depthFunc && same(blend, o.blend) &&
               same(modelview, o.modelview) && same(projection, o.projection) && same(clear, o.clear) &&
               same(enabled, o.enabled) && same(colourMask, o.colourMask) && depthMask == o.depthMask;
    }
};

class GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!context.Create(kWidth, kHeight)) GTEST_SKIP() << "no headless GL here: " << context.Reason();
        pf.procAddress = &platform::HeadlessGl::ProcAddress;
        ResetState(StateScope::Process);
        InstallSceneGlHooks();
        ResizeView(kWidth, kHeight);
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
    }
    // GL names go while the context is current.
    void TearDown() override { ResetState(StateScope::Process); }
    // A headless load resets every state: the test's platform, the GL hooks
    // and the view come back.
    void SetUpDrawing() {
        platform::Install(&pf);
        InstallSceneGlHooks();
        ResizeView(kWidth, kHeight);
        CreateFrusta(TheFrusta());
        TheToggles().FogEnabled = false;
    }

    // Unit square (0..1)^2 in z = 0 seen straight on from +z.
    static void Flat() {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void Clear(float r = 0, float g = 0, float b = 0) {
        glClearColor(r, g, b, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    std::vector<std::uint8_t> Pixels() { return context.ReadPixels(0, 0, kWidth, kHeight); }
    std::array<std::uint8_t, 4> Pixel(int x, int y) {
        const auto p = context.ReadPixels(x, y, 1, 1);
        return {p[0], p[1], p[2], p[3]};
    }

    // Puts a writer's textures in the level's database.
    void UseTextures(const wvwrite::TextureSetWriter& w) {
        pid = w.PidBytes();
        swp = w.SwpBytes();
        ASSERT_TRUE(TheTextureDatabase().ReadFromMemory(pid));
        TheTextureDatabase().pixelFile.OpenMemory(swp);
    }

    // A quad over (x0, y0)-(x1, y1) at height z, two faces of one material.
    static void AddQuad(Model& m, float x0, float y0, float x1, float y1, float z, std::uint32_t material,
                        float uMax = 1.0f) {
        const std::uint32_t base = static_cast<std::uint32_t>(m.vertices.size());
        m.vertices.push_back({{0, 0, 1}, 0, 0, {x0, y0, z}});
        m.vertices.push_back({{0, 0, 1}, uMax, 0, {x1, y0, z}});
        m.vertices.push_back({{0, 0, 1}, uMax, 1, {x1, y1, z}});
        m.vertices.push_back({{0, 0, 1}, 0, 1, {x0, y1, z}});
        m.faces.push_back({{base, base + 1, base + 2}, material});
        m.faces.push_back({{base, base + 2, base + 3}, material});
    }

    // An instance of m at position in the scene's list.
    static Instance* AddInstance(Model& m, Vector3 position) {
        auto inst = std::make_unique<Instance>();
        inst->model = &m;
        inst->position = position;
        inst->UpdateBounds();
        TheScene().InstanceList.push_back(std::move(inst));
        return TheScene().InstanceList.back().get();
    }

    static constexpr int kWidth = 64, kHeight = 64;
    platform::HeadlessGl context;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
    std::vector<std::uint8_t> pid, swp;
};
