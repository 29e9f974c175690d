#include "effects/offscreen.h"

#include "glh/gl.h"

#include "diag/log.h"
#include "diag/state_registry.h"
#include "effects/shadows.h"
#include "glh/glh_extensions.h"
#include "platform/platform.h"
#include "scene/gl_texture.h"

namespace {

const char* Text(const char* s) { return s ? s : ""; }

// The framebuffer object with its colour and depth storage; false (and
// nothing left behind) when the driver will not complete it.
bool MakeFramebuffer(OffscreenState& o) {
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    GLuint fb = 0, rb[2] = {0, 0};
    glh::glGenFramebuffers(1, &fb);
    glh::glGenRenderbuffers(2, rb);
    glh::glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
    glh::glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, o.width, o.height);
    glh::glBindRenderbuffer(GL_RENDERBUFFER, rb[1]);
    glh::glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, o.width, o.height);
    glh::glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glh::glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glh::glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb[0]);
    glh::glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rb[1]);
    const GLenum status = glh::glCheckFramebufferStatus(GL_FRAMEBUFFER);
    GLint alpha = 0;
    if (status == GL_FRAMEBUFFER_COMPLETE) glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glh::glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    if (status != GL_FRAMEBUFFER_COMPLETE || alpha < 8) {
        glh::glDeleteFramebuffers(1, &fb);
        glh::glDeleteRenderbuffers(2, rb);
        LogPrintf("pbuffer creation error:  framebuffer object incomplete (status 0x%X, %d alpha bits)\n", status,
                  alpha);
        return false;
    }
    o.framebuffer = fb;
    o.colour = rb[0];
    o.depth = rb[1];
    // The size the driver gave, as the pixel buffer's size was queried.
    GLint w = 0, h = 0;
    glh::glBindRenderbuffer(GL_RENDERBUFFER, rb[0]);
    glh::glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &w);
    glh::glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &h);
    glh::glBindRenderbuffer(GL_RENDERBUFFER, 0);
    o.width = w;
    o.height = h;
    LogPrintf("\n Created a %d x %d pbuffer", o.width, o.height);
    return true;
}

void CreateTexture(GlTexture& t, GLint internalFormat, GLint wrap) {
    GLuint name = 0;
    glGenTextures(1, &name);
    t.glName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    while (glGetError() != GL_NO_ERROR) {
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    if (glGetError() != GL_NO_ERROR) {  // a driver without edge clamping
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, t.width, t.height, 0, GL_RGB, GL_FLOAT, nullptr);
}

const StateReset kOffscreenReset{"off-screen buffer", StateLayer::Effects, StateScope::Process,
                                 [] { TheOffscreen() = OffscreenState{}; }};

}  // namespace

OffscreenState& TheOffscreen() {
    static OffscreenState state;
    return state;
}

void InitPBuffer() {
    OffscreenState& o = TheOffscreen();
    LogPrintf("\n\n    InitPBuffer:\n    ===========\n");
    KillPBuffer();
    o.UsePBuffer = false;
    TheShadows().ShadowsPossible = false;
    if (!InitExtensions(" WGL_ARB_pbuffer  WGL_ARB_pixel_format ")) {
        LogPrintf("\nFailed Init GL Extensions");
        LogPrintf("\nExtensions: \n  %s", Text(SupportedExtensions()));
        LogPrintf("\nNecessary extensions were not supported:\n  %s", Text(UnsupportedExtensions()));
        LogPrintf("\nUsing back buffer instead of pbuffer:");
    } else if (MakeFramebuffer(o)) {
        o.UsePBuffer = true;
    } else {
        // A viewer without its own off-screen buffer still works: the bakes
        // go to the back buffer, before the frame clears it.
        LogPrintf("\nUsing back buffer instead of pbuffer:");
    }
    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    LogPrintf("\n  Color bits: %d (%d:%d:%d)", red + green + blue, red, green, blue);
    LogPrintf("\n  Alpha bits: %d", alpha);
    LogPrintf("\n  Depth bits: %d", depth);
    TheShadows().ShadowsPossible = alpha == 8;
    if (alpha != 8)
        platform::Current().ShowMessageBox(platform::Owner::MainWindow,
                                       "NOTE: The screen must be in a True Color (32bit) display mode for shadows to "
                                       "work.",
                                       "NOTE", platform::Buttons::Ok, platform::Icon::None);
}

void KillPBuffer() {
    OffscreenState& o = TheOffscreen();
    if (o.framebuffer && glh::glDeleteFramebuffers) {
        const GLuint fb = o.framebuffer;
        const GLuint rb[2] = {o.colour, o.depth};
        glh::glDeleteFramebuffers(1, &fb);
        glh::glDeleteRenderbuffers(2, rb);
    }
    o.framebuffer = o.colour = o.depth = 0;
    o.UsePBuffer = false;
}

OffscreenPass::OffscreenPass() {
    const OffscreenState& o = TheOffscreen();
    glGetIntegerv(GL_VIEWPORT, savedViewport_);
    if (!o.UsePBuffer) return;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &savedFramebuffer_);
    glh::glBindFramebuffer(GL_FRAMEBUFFER, o.framebuffer);
}

OffscreenPass::~OffscreenPass() {
    glViewport(savedViewport_[0], savedViewport_[1], savedViewport_[2], savedViewport_[3]);
    if (TheOffscreen().UsePBuffer) glh::glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(savedFramebuffer_));
}

std::int32_t OffscreenPass::Width() const {
    return TheOffscreen().UsePBuffer ? TheOffscreen().width : savedViewport_[2];
}

std::int32_t OffscreenPass::Height() const {
    return TheOffscreen().UsePBuffer ? TheOffscreen().height : savedViewport_[3];
}

void DrawInto(const GlTexture& texture) { glViewport(0, 0, texture.width, texture.height); }

void ClearCorner(const GlTexture& t, std::uint32_t mask) {
    glPushAttrib(GL_SCISSOR_BIT);
    glScissor(0, 0, t.width, t.height);
    glEnable(GL_SCISSOR_TEST);
    glClear(mask);
    glPopAttrib();
}

void CopyToTexture(const GlTexture& t) {
    glBindTexture(GL_TEXTURE_2D, t.glName);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, t.width, t.height);
}

// Neighbouring quads' textures meet edge to edge: clamped to the border
// colour (where GL_CLAMP is taken literally) each edge would blend half a
// texel of black into a dark seam. Shadow pictures keep GL_CLAMP, whose
// transparent border means no shadow beyond the picture.
void CreateTerrainTexture(GlTexture& t) { CreateTexture(t, GL_RGB5, GL_CLAMP_TO_EDGE); }
void CreateShadowTexture(GlTexture& t) { CreateTexture(t, GL_ALPHA, GL_CLAMP); }
